#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "env_test_support.h"
#include "support/text.h"
#include "zem_util/env.h"

namespace zem_util {
namespace {

using test_support::text;

// The native separator, as the library adds it.
const char kNative = text(getCurrentDirectory()).back();

// In the tables below "/" is written for a separator; each case runs once with "/" and once with "\".
// A "|" stands for the separator the library adds itself, which is the native one whatever the input used.
std::string spell(const char* pattern, char separator) {
  std::string result(pattern);
  for (char& c : result) {
    if (c == '/') c = separator;
    if (c == '|') c = kNative;
  }
  return result;
}

struct Case {
  const char* input;
  const char* expected;
};

// The last nine cases cancel the first segment of a relative path by the "../" after it: our choice where the
// rules stop.
TEST(CompactPathTest, ListedResultsHoldWithEitherSeparator) {
  // clang-format off
  const Case cases[] = {
      {"C:/dir/sub/../file.txt", "C:/dir/file.txt"}, {"C:/a/b/c/../../../d", "C:/d"}, {"C:/a/../b/../c", "C:/c"},
      {"./a/b", "a/b"}, {"././/a", "a"}, {"a/./b", "a/b"},
      {"a/b/./././c", "a/b/c"}, {"/.", "/"}, {"a/.", "a/"},
      {"x/./y/../z", "x/z"}, {"C:/dir///file", "C:/dir/file"}, {"//a", "/a"},
      {"C:/a/b/..", "C:/a/"}, {"C:/a/..", "C:/"}, {"a/b/..", "a/"},
      {"/abc/../def", "/def"}, {"../../x", "../../x"}, {"../a", "../a"},
      {"./../x", "../x"}, {"../a/../b", "../b"}, {"C:/a/../../b", "C:/../b"},
      {"abc/../", ".|"}, {"abc/..", "abc/.."}, {"C:/..", "C:/.."},
      {"C:/a/b/../", "C:/a/b/../"}, {"a/./", "a/./"}, {"a//", "a//"},
      {"a///", "a/"}, {"", ""}, {"a", "a"},
      {"/", "/"}, {".", "."}, {"//", "//"},
      {"./", ""}, {".//", ""}, {"../..", "../.."},
      {"abc/../def", "def"}, {"x/../../y", "../y"}, {"a/../..", ".."},
      {"a/../b/..", ".|"}, {"a/.././b", "b"}, {"../x/../y", "../y"},
      {"a/../b/../", ".|"}, {"a/../bc/../d", "d"}, {"a/../b/../../c", "../c"},
  };
  // clang-format on
  for (const Case& c : cases) {
    for (char separator : {'/', '\\'}) {
      ArrayPtr<char> path(spell(c.input, separator).c_str());
      compactPath(path);
      EXPECT_EQ(text(path), spell(c.expected, separator)) << "input " << spell(c.input, separator);
    }
  }
  ArrayPtr<char> mixed("C:\\dir/sub\\..//file");
  compactPath(mixed);
  EXPECT_EQ(text(mixed), "C:\\dir/file");
}

TEST(CompactPathTest, WorksInPlaceAndOnlyInsideTheWindow) {
  // Characters move down inside the block, which every handle on it sees, and a NUL follows the new end.
  const ArrayPtr<char> block("a/./b/.REST");
  ArrayPtr<char> path = block.slice(0, 7);  // "a/./b/."
  compactPath(path);
  EXPECT_EQ(text(path), "a/b/");
  EXPECT_EQ(path.toPtr(), block.toPtr());
  EXPECT_EQ(std::string(block.toPtr(), 11), std::string("a/b/\0/.REST", 11));
  // A leading "./" only moves the start: nothing is written, not even a NUL past the window.
  const ArrayPtr<char> dotted("./abcREST");
  ArrayPtr<char> skipped = dotted.slice(0, 5);
  compactPath(skipped);
  EXPECT_EQ(skipped.toPtr(), dotted.toPtr() + 2);
  EXPECT_EQ(text(dotted), "./abcREST");
}

TEST(CatenatePathTest, JoinsWithOneSeparatorAndCompacts) {
  struct Join {
    const char* first;
    const char* second;
    const char* expected;
  };
  const Join cases[] = {
      {"C:/dir", "file.txt", "C:/dir|file.txt"},
      {"C:/dir/", "/file.txt", "C:/dir/file.txt"},
      {"C:/dir/", "file.txt", "C:/dir/file.txt"},
      {"C:/dir", "/file.txt", "C:/dir/file.txt"},
      {"", "./x", "x"},
      {"./x", "", "x"},
      {"", "", ""},
      {"C:/a/b", "../c", "C:/a/c"},
      {"logs", "../server.log", "server.log"},
      {"/", "/", "//"},
  };
  for (const Join& c : cases) {
    for (char separator : {'/', '\\'}) {
      const ArrayPtr<char> first(spell(c.first, separator).c_str());
      const ArrayPtr<char> second(spell(c.second, separator).c_str());
      const ArrayPtr<char> result = catenatePath(first, second);
      EXPECT_EQ(text(result), spell(c.expected, separator)) << text(first) << " + " << text(second);
      // Always a new block: compaction must never edit a caller's text.
      if (result.length() > 0) {
        EXPECT_FALSE(result.sharesBlockWith(first));
        EXPECT_FALSE(result.sharesBlockWith(second));
      }
    }
  }
  EXPECT_EQ(text(catenatePath(ArrayPtr<char>(), ArrayPtr<char>())), "");
}

TEST(PathPartsTest, DirectoryNameAndExtension) {
  struct Parts {
    const char* path;
    const char* directory;
    const char* name;
    const char* extension;
  };
  // clang-format off
  const Parts cases[] = {
      {"C:/app/bin/server.exe", "C:/app/bin/", "server", ".exe"}, {"dir/archive.tar.gz", "dir/", "archive.tar", ".gz"},
      {"dir/.profile", "dir/", "", ".profile"}, {".profile", ".|", "", ".profile"},
      {"dir.d/file", "dir.d/", "file", ""}, {"dir/", "dir/", "", ""},
      {"name.", ".|", "name", "."}, {"dir/.", "dir/", "", ""},
      {"..", ".|", ".", ""}, {"dir/..", "dir/", ".", ""},
      {"a..", ".|", "a.", "."}, {"file", ".|", "file", ""},
      {"/", "/", "", ""}, {".", ".|", "", ""},
      {"x", ".|", "x", ""}, {"", ".|", "", ""},
  };
  // clang-format on
  for (const Parts& c : cases) {
    for (char separator : {'/', '\\'}) {
      const ArrayPtr<char> path(spell(c.path, separator).c_str());
      EXPECT_EQ(text(getDirectory(path)), spell(c.directory, separator)) << text(path);
      EXPECT_EQ(text(getFileName(path)), spell(c.name, separator)) << text(path);
      EXPECT_EQ(text(getFileExtension(path)), spell(c.extension, separator)) << text(path);
    }
  }
  // Views on the argument's block, not copies.
  const ArrayPtr<char> path("C:/app/bin/server.exe");
  EXPECT_EQ(getDirectory(path).toPtr(), path.toPtr());
  EXPECT_EQ(getFileName(path).toPtr(), path.toPtr() + 11);
  EXPECT_EQ(getFileExtension(path).toPtr(), path.toPtr() + 17);
}

TEST(IsRelativePathTest, RootsAndDrives) {
  for (const char* relative : {"", "a", "a/b", "C:", "C:a", "C:name", "..", "./x", "1:"}) {
    EXPECT_TRUE(isRelativePath(relative)) << relative;
  }
  for (const char* absolute : {"/", "\\", "/a", "\\a", "C:/", "C:\\a", "1:/x"}) {
    EXPECT_FALSE(isRelativePath(absolute)) << absolute;
  }
  EXPECT_TRUE(isRelativePath(ArrayPtr<char>()));
}

TEST(PathBadInputTest, NullsNulsSeparatorsAndHugePaths) {
  ArrayPtr<char> null;
  compactPath(null);
  EXPECT_TRUE(null.isNull());
  EXPECT_TRUE(getFileName(null).isNull());
  // Embedded NULs are ordinary characters to the path functions, but never reach the system.
  const ArrayPtr<char> nul("a\0b/c.d", 0, 7);
  EXPECT_EQ(text(getDirectory(nul)), std::string("a\0b/", 4));
  EXPECT_EQ(text(getFileName(nul)), "c");
  EXPECT_EQ(getFullPath(nul).length(), 0);
  EXPECT_FALSE(isFileReadable(ArrayPtr<char>(".\0x", 0, 3)));
  for (const char* separators : {"\\/\\/", "/\\/\\/"}) EXPECT_EQ(text(getDirectory(separators)), separators);
  // Every pattern the passes look for, 20000 times over; only the final "/../", which ends the path, stays.
  std::string huge, compacted;
  for (int i = 0; i < 20000; ++i) {
    huge += "a/./b//../";
    compacted += "a/";
  }
  ArrayPtr<char> path(huge.c_str());
  compactPath(path);
  EXPECT_EQ(text(path), compacted + "b/../");
}

TEST(FullPathTest, AbsoluteFormOfTheCurrentDirectory) {
  const std::string cwd = text(getCurrentDirectory());
  ASSERT_FALSE(cwd.empty());
  EXPECT_TRUE(cwd.back() == '/' || cwd.back() == '\\');
  EXPECT_FALSE(isRelativePath(cwd.c_str()));
  EXPECT_EQ(text(getFullPath("sub/../x")), cwd + "x");
  EXPECT_EQ(text(getFullPath("a/./b/")), cwd + "a" + kNative + "b" + kNative);
  EXPECT_EQ(text(getFullPath((cwd + "a/../b").c_str())), cwd + "b");
  EXPECT_EQ(text(getFullPath(".")) + kNative, cwd);
  EXPECT_EQ(getFullPath("").length(), 0);
  // Longer than the 260 characters of a Windows path buffer: the whole text or nothing, never a cut.
  const std::string longName(600, 'n');
  const ArrayPtr<char> full = getFullPath(longName.c_str());
  EXPECT_TRUE(full.length() == 0 || text(full) == cwd + longName) << full.length();
}

TEST(FileReadableTest, OnlyExistingVisibleFiles) {
  test_support::TempDir dir;
  const std::string file = dir.createFile("data.txt");
  const std::string sub = dir.createDirectory("sub");
  const std::string hidden = test_support::createHiddenFile(dir);
  EXPECT_TRUE(isFileReadable(file.c_str()));
  EXPECT_TRUE(isFileReadable((dir / "sub\\..\\data.txt").c_str()));  // either separator
  EXPECT_FALSE(isFileReadable(sub.c_str()));
  EXPECT_FALSE(isFileReadable(hidden.c_str()));
  EXPECT_FALSE(isFileReadable((dir / "missing.txt").c_str()));
  EXPECT_FALSE(isFileReadable(""));
}

}  // namespace
}  // namespace zem_util

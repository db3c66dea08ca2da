// Paths, the running process, the environment, CharConv.txt, the table of libraries and languages. What holds for
// any path (compaction in place inside its window, joining, parts as views, full paths) is checked by the path
// fuzz target, whose corpus ctest replays; here are the exact results.
#include <gtest/gtest.h>
#include <zem_util/env.h>
#include <zem_util/export.h>
#include <zem_util/system.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/platform.h"
#include "support/temp_dir.h"
#include "support/threads.h"
#include "testing/test_access.h"

// Looked up in the executable itself by the library tests.
extern "C" ZEM_UTIL_PLUGIN_EXPORT int zemEnvTestExecutableFunction() { return 7; }

// Tests that watch a process-wide cache being filled for the first time must be the only test of their process,
// as ctest runs them; among others they skip.
#define ZEM_SKIP_UNLESS_ALONE_IN_PROCESS()                          \
  if (::testing::UnitTest::GetInstance()->test_to_run_count() != 1) \
  GTEST_SKIP() << "watches the first use of a process-wide cache: run it alone (ctest does)"

namespace zem_util {
namespace {

using test_support::onThreads;

// The native separator, as the library adds it.
const char kNative = getCurrentDirectory().str().back();

// In the tables "/" is written for a separator, and each case runs once with "/" and once with "\"; "|" stands
// for the separator the library adds itself, which is the native one whatever the input used.
std::string spell(const char* pattern, char separator) {
  std::string result(pattern);
  for (char& c : result) c = c == '/' ? separator : c == '|' ? kNative : c;
  return result;
}

// The last nine cancel the first segment of a relative path by the "../" after it: our choice where the rules stop.
TEST(PathTest, CompactionResultsHoldWithEitherSeparator) {
  const struct {
    const char* input;
    const char* expected;
  } cases[] = {
      // clang-format off
      {"C:/dir/sub/../file.txt", "C:/dir/file.txt"}, {"C:/a/b/c/../../../d", "C:/d"}, {"C:/a/../b/../c", "C:/c"},
      {"./a/b", "a/b"}, {"/./a", "/a"}, {"././/a", "a"}, {"a/./b", "a/b"}, {"a/b/./././c", "a/b/c"}, {"/.", "/"},
      {"a/.", "a/"}, {"x/./y/../z", "x/z"}, {"C:/dir///file", "C:/dir/file"}, {"//a", "/a"}, {"C:/a/b/..", "C:/a/"},
      {"C:/a/..", "C:/"}, {"a/b/..", "a/"}, {"/abc/../def", "/def"}, {"../../x", "../../x"}, {"../a", "../a"},
      {"./../x", "../x"}, {"../a/../b", "../b"}, {"C:/a/../../b", "C:/../b"}, {"abc/../", ".|"},
      {"abc/..", "abc/.."}, {"C:/..", "C:/.."}, {"C:/a/b/../", "C:/a/b/../"}, {"a/./", "a/./"}, {"a//", "a//"},
      {"a///", "a/"}, {"", ""}, {"a", "a"}, {"/", "/"}, {".", "."}, {"//", "//"}, {"./", ""}, {".//", ""},
      {"../..", "../.."}, {"abc/../def", "def"}, {"x/../../y", "../y"}, {"a/../..", ".."}, {"a/../b/..", ".|"},
      {"a/.././b", "b"}, {"../x/../y", "../y"}, {"a/../b/../", ".|"}, {"a/../bc/../d", "d"},
      {"a/../b/../../c", "../c"}, {"/ab/..", "/"}, {"ab/../cd", "cd"},
      // clang-format on
  };
  for (const auto& c : cases) {
    for (char separator : {'/', '\\'}) {
      ArrayPtr<char> path(spell(c.input, separator).c_str());
      compactPath(path);
      EXPECT_EQ(path.str(), spell(c.expected, separator)) << "input " << spell(c.input, separator);
    }
  }
  ArrayPtr<char> mixed("C:\\dir/sub\\..//file"), null;
  compactPath(mixed);
  compactPath(null);
  EXPECT_EQ(mixed.str(), "C:\\dir/file");
  EXPECT_TRUE(null.isNull() && getFileName(null).isNull());
}

TEST(PathTest, DirectoryNameExtensionAndRoots) {
  const struct {
    const char *path, *directory, *name, *extension;
  } cases[] = {
      // clang-format off
      {"C:/app/bin/server.exe", "C:/app/bin/", "server", ".exe"}, {"dir/archive.tar.gz", "dir/", "archive.tar", ".gz"},
      {"dir/.profile", "dir/", "", ".profile"}, {".profile", ".|", "", ".profile"}, {"dir.d/file", "dir.d/", "file", ""},
      {"dir/", "dir/", "", ""}, {"name.", ".|", "name", "."}, {"dir/.", "dir/", "", ""}, {"..", ".|", ".", ""},
      {"dir/..", "dir/", ".", ""}, {"a..", ".|", "a.", "."}, {"/", "/", "", ""}, {".", ".|", "", ""},
      {"x", ".|", "x", ""}, {"", ".|", "", ""},
      // clang-format on
  };
  for (const auto& c : cases) {
    for (char separator : {'/', '\\'}) {
      const ArrayPtr<char> path(spell(c.path, separator).c_str());
      EXPECT_EQ(getDirectory(path).str() + "," + getFileName(path).str() + "," + getFileExtension(path).str(),
                spell(c.directory, separator) + "," + c.name + "," + c.extension)
          << path.str();
    }
  }
  for (const char* relative : {"", "a", "a/b", "C:", "C:a", "..", "./x", "1:"}) EXPECT_TRUE(isRelativePath(relative));
  for (const char* absolute : {"/", "\\a", "C:/", "C:\\a", "1:/x"}) EXPECT_FALSE(isRelativePath(absolute));
  EXPECT_TRUE(isRelativePath(ArrayPtr<char>()));
}

TEST(PathTest, FullPathsAndReadableFiles) {
  const std::string cwd = getCurrentDirectory().str();
  EXPECT_FALSE(isRelativePath(cwd.c_str()));
  EXPECT_EQ(getFullPath("sub/../x").str(), cwd + "x");
  EXPECT_EQ(getFullPath("a/./b/").str(), cwd + "a" + kNative + "b" + kNative);
  EXPECT_EQ(getFullPath((cwd + "a/../b").c_str()).str(), cwd + "b");
  EXPECT_EQ(getFullPath(".").str() + kNative, cwd);
  EXPECT_EQ(getFullPath("").length() + getFullPath(ArrayPtr<char>("a\0b", 0, 3)).length(), 0);
  // Longer than the 260 characters of a Windows path buffer: the whole text or nothing, never a cut.
  const std::string longName(600, 'n');
  const ArrayPtr<char> full = getFullPath(longName.c_str());
  EXPECT_TRUE(full.length() == 0 || full.str() == cwd + longName) << full.length();

  const std::string here = "z." + std::to_string(getCurrentProcessId());  // a name without a directory
  std::ofstream(here).put('x');
  EXPECT_TRUE(isFileReadable(here.c_str()));
  std::filesystem::remove(here);
  test_support::TempDir dir;
  const std::string file = dir.createFile("data.txt"), sub = dir.createDirectory("sub");
  EXPECT_TRUE(isFileReadable(file.c_str()));
  EXPECT_TRUE(isFileReadable((dir / "sub\\..\\data.txt").c_str()));  // either separator
  for (const std::string& unreadable :
       {sub, test_support::createHiddenFile(dir / ""), dir / "missing.txt", std::string(), file + '\0'}) {
    EXPECT_FALSE(isFileReadable(ArrayPtr<char>(unreadable.data(), 0, static_cast<int>(unreadable.size()))))
        << unreadable;
  }
}

TEST(ProcessTest, PathDirectoryAndNameDescribeTheExecutableOnce) {
  std::vector<ArrayPtr<char>> directories(8), names(8);
  onThreads(8, [&](int i) {  // concurrent first use fills each cache once
    directories[i] = getProcessDirectory();
    names[i] = getProcessName();
  });
  for (int i = 1; i < 8; ++i) EXPECT_TRUE(directories[i].sharesBlockWith(directories[0]) && names[i] == names[0]);
  const ArrayPtr<char> path = getProcessPath();
  EXPECT_TRUE(!isRelativePath(path) && isFileReadable(path) && getProcessPath().sharesBlockWith(path)) << path.str();
  EXPECT_EQ(directories[0].str() + names[0].str(), getDirectory(path).str() + "env_test");
}

TEST(ProcessFirstUseTest, SetProcessPathMovesDirectoryAndNameOnlyBeforeTheirFirstUse) {
  ZEM_SKIP_UNLESS_ALONE_IN_PROCESS();
  const ArrayPtr<char> executable = getProcessPath();
  setProcessPath("app/bin/../bin/server.exe");  // relative: its absolute form is kept
  const std::string cwd = getCurrentDirectory().str();
  const std::string expected = cwd + "app" + cwd.back() + "bin" + cwd.back() + "server.exe";
  EXPECT_EQ(getProcessPath().str(), expected);
  EXPECT_EQ(getProcessDirectory().str(), expected.substr(0, expected.size() - 10));
  EXPECT_EQ(getProcessName().str(), "server");
  // Once used they stay; an empty path drops the replacement, and the system is asked again.
  setProcessPath((cwd + "other/x.bin").c_str());
  EXPECT_EQ(getProcessPath().str(), cwd + "other" + cwd.back() + "x.bin");
  EXPECT_EQ(getProcessName().str(), "server");
  setProcessPath("");
  EXPECT_EQ(getProcessPath().str(), executable.str());
  EXPECT_EQ(getProcessDirectory().str(), expected.substr(0, expected.size() - 10));
}

TEST(ProcessTest, SetsAndRemovesEnvironmentVariables) {
  std::string value;
  setEnvironmentVariable("ZEM_ENV_TEST_VARIABLE", "off");
  setEnvironmentVariable("ZEM_ENV_TEST_VARIABLE", "on");  // replaces
  EXPECT_TRUE(test_support::getSystemEnvironmentVariable("ZEM_ENV_TEST_VARIABLE", &value) && value == "on");
  setEnvironmentVariable("ZEM_ENV_TEST_VARIABLE", ArrayPtr<char>());  // null: removed
  // Names the system cannot take, and texts with a NUL of their own, change nothing.
  setEnvironmentVariable("", "x");
  setEnvironmentVariable(ArrayPtr<char>("ZEM_ENV_NUL\0X", 0, 13), "x");
  setEnvironmentVariable("ZEM_ENV_VALUE", ArrayPtr<char>("a\0b", 0, 3));
  for (const char* unset : {"ZEM_ENV_TEST_VARIABLE", "ZEM_ENV_NUL", "ZEM_ENV_VALUE"}) {
    EXPECT_FALSE(test_support::getSystemEnvironmentVariable(unset, &value)) << unset;
  }
}

// CharConv.txt is looked for beside the executable, then on the PATH; each test moves the process path into a
// directory of its own first, so that it sees only the files it makes.
class CharconvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ZEM_SKIP_UNLESS_ALONE_IN_PROCESS();
    setProcessPath((bin_ + "app.exe").c_str());
    const char list = getCurrentDirectory().str().back() == '/' ? ':' : ';';
    // Searched in order; the empty entry is skipped, and entries that end with a separator get one more.
    const std::string path = root_.createDirectory("b") + list + list + root_.createDirectory("a") + list + c_;
    test_support::setRuntimeEnvironmentVariable("PATH", path.c_str());
  }

  test_support::TempDir root_;
  const std::string bin_ = root_.createDirectory("bin");
  const std::string c_ = root_.createDirectory("c");
};

TEST_F(CharconvTest, SearchesThePathInOrderUntilFoundThenKeepsTheAnswer) {
  EXPECT_EQ(getCharconvPath().length(), 0);
  root_.createFile("c/CharConv.txt");
  const std::string expected = root_.createFile("b/CharConv.txt");
  EXPECT_EQ(getCharconvPath().str(), root_ / "b" + bin_.back() + bin_.back() + "CharConv.txt");
  std::filesystem::remove(expected);
  EXPECT_TRUE(getCharconvPath().sharesBlockWith(getCharconvPath()));
}

TEST_F(CharconvTest, PrefersTheCopyBesideTheExecutable) {
  root_.createFile("c/CharConv.txt");
  root_.createFile("bin/CharConv.txt");
  EXPECT_EQ(getCharconvPath().str(), bin_ + "CharConv.txt");
}

using Counter = int (*)();
const char kPlugin[] = "zem_env_plugin";  // built beside this test, named without its extension
const char kCount[] = "zemTestPluginNextCount";

// The plug-in's counter starts from 0 with every load, so it tells a library that stayed loaded from one
// loaded anew.
Counter counterOf(const ArrayPtr<char>& library, const ArrayPtr<char>& function = kCount) {
  void* address = getFunctionPointer(function, library);
  Counter counter = nullptr;
  std::memcpy(&counter, &address, sizeof address);
  return counter;
}

// Every test leaves the table empty, as it found it.
class LibraryTest : public ::testing::Test {
 protected:
  void TearDown() override { freeAllLibraries(); }
};

TEST_F(LibraryTest, LoadsOnceByEachSpellingAndFreeAllLoadsAnew) {
  const Counter next = counterOf(kPlugin);
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(next() + next(), 3);
  EXPECT_EQ(counterOf(kPlugin), next);
  const ArrayPtr<char> fileName = getLibraryFileName(kPlugin);
  EXPECT_EQ(getDirectory(fileName).str() + getFileName(fileName).str(), getProcessDirectory().str() + kPlugin);
  EXPECT_EQ(counterOf(fileName)(), 3);  // another spelling: another entry and load of the same module
  freeAllLibraries();                   // both are released: the module goes
  EXPECT_EQ(counterOf(kPlugin)(), 1);
  // A dot in a directory is no extension.
  EXPECT_NE(counterOf((getProcessDirectory().str() + "./" + kPlugin).c_str()), nullptr);
  // An empty (or null) library name is the executable itself.
  EXPECT_EQ(counterOf("", "zemEnvTestExecutableFunction")() + counterOf(nullptr, "zemEnvTestExecutableFunction")(), 14);
}

TEST_F(LibraryTest, BadNamesGiveNullAndFailuresAreNotRemembered) {
  // A NUL inside either name would make the system see another name.
  const ArrayPtr<char> pluginNul("zem_env_plugin\0x", 0, 16), countNul("zemTestPluginNextCount\0x", 0, 24);
  EXPECT_EQ(getLibraryFileName("").length() + getLibraryFileName("zem_env_no_such_library").length(), 0);
  const ArrayPtr<char> pairs[][2] = {
      // clang-format off
      {kPlugin, "zemNoSuchFunction"}, {"", "zemNoSuchFunction"}, {kPlugin, ""}, {"zem_env_no_such_library", kCount},
      {"/", kCount}, {".", kCount}, {"\\", kCount}, {pluginNul, kCount}, {kPlugin, countNul},
      // clang-format on
  };
  for (const auto& [library, function] : pairs) EXPECT_EQ(counterOf(library, function), nullptr) << library.str();
  // A library that appears after a failed request is loaded by the next one.
  const std::string late = "zem_env_late_" + std::to_string(getCurrentProcessId());
  const std::string lateFile = getProcessDirectory().str() + late + getFileExtension(getLibraryFileName(kPlugin)).str();
  EXPECT_EQ(counterOf(late.c_str()), nullptr);
  std::filesystem::copy_file(getLibraryFileName(kPlugin).str(), lateFile);
  const Counter next = counterOf(late.c_str());
  EXPECT_TRUE(next != nullptr && next() == 1);
  // Concurrent first requests share one entry: whatever the race, the module is freed completely.
  Counter found[8] = {};
  onThreads(8, [&](int i) {
    for (int round = 0; round < 50; ++round) found[i] = counterOf(kPlugin);
  });
  for (Counter counter : found) EXPECT_EQ(counter, found[0]);
  freeAllLibraries();
  EXPECT_EQ(counterOf(kPlugin)(), 1);
  freeAllLibraries();
  std::filesystem::remove(lateFile);
}

TEST(LanguageTest, CodesAndIdentifiersTranslateBothWays) {
  EXPECT_EQ(getLanguageCode("fr_FR"), 0x040Cu);
  EXPECT_EQ(getLanguageCode("es_PA"), 0x180Au);  // the first of its two rows
  // The library's own spellings are the vocabulary, not the usual ones; the whole text must match.
  EXPECT_EQ(getLanguageCode("no_NO_B") + getLanguageCode("cz_CZ") + getLanguageCode("so_SO"),
            0x0414u + 0x0405 + 0x0424);
  for (const ArrayPtr<char>& unknown : {ArrayPtr<char>("cs_CZ"), ArrayPtr<char>("en_us"), ArrayPtr<char>("en"),
                                        ArrayPtr<char>("en_US "), ArrayPtr<char>(), ArrayPtr<char>("en_US\0x", 0, 7)}) {
    EXPECT_EQ(getLanguageCode(unknown), 0u) << unknown.str();
  }
  EXPECT_EQ(getLanguageCode(ArrayPtr<char>("en_US!", 0, 5)), 0x0409u);  // a window, not NUL-terminated
  // 105 rows with distinct identifiers; each code leads back to its row, except that Paraguay's "es_PA" finds
  // Panama's first.
  int rows = 0;
  for (unsigned code = 0; code <= 0xFFFF; ++code) {
    const ArrayPtr<char> language = getLanguageFromCode(code);
    if (language.isNull()) continue;
    ++rows;
    EXPECT_EQ(getLanguageCode(language), code == 0x3C0A ? 0x180Au : code) << language.str();
  }
  EXPECT_EQ(rows, 105);
}

const struct Locale {
  const char* posixName;  // generated by scripts/setup-locales.sh where the system lacks it
  unsigned windowsId;     // what the platform reports for it
  const char* language;
} kLocales[] = {
    // Serbia's two scripts (sr_RS) are two identifiers, neither of them a row of the table.
    {"de_DE.UTF-8", 0x0407, "de_DE"},       {"fr_FR.UTF-8", 0x040C, "fr_FR"}, {"sr_RS.UTF-8", 0x281A, "en_US"},
    {"sr_RS.UTF-8@latin", 0x241A, "en_US"}, {"fr_FR.UTF-8", 0x040C, "fr_FR"}, {"cs_CZ.UTF-8", 0x0405, "cz_CZ"},
    {"nb_NO.UTF-8", 0x0414, "no_NO_B"},     {"af_ZA.UTF-8", 0x0436, "af_AF"}, {"es_PA.UTF-8", 0x180A, "es_PA"},
};

// The language a thread of its own gets under `locale` (and the platform's identifier); null without the locale.
ArrayPtr<char> languageIn(const Locale& locale, unsigned* id = nullptr) {
  ArrayPtr<char> language;
  std::thread([&] {
    if (test_support::setThreadLocale(locale.posixName, locale.windowsId)) language = getCurrentLanguage();
    if (id) *id = test_access::getThreadLocaleId();
    test_support::restoreThreadLocale();
  }).join();
  return language;
}

TEST(LanguageTest, FollowsTheCallingThreadsLocale) {
  std::string missing;
  std::vector<ArrayPtr<char>> seen;
  for (const Locale& locale : kLocales) {
    unsigned id = 0;
    seen.push_back(languageIn(locale, &id));
    if (seen.back().isNull()) {
      missing += std::string(" ") + locale.posixName;
    } else {
      EXPECT_EQ(seen.back().str(), locale.language) << locale.posixName;
      EXPECT_EQ(id, locale.windowsId) << locale.posixName;
    }
  }
  // Unlisted locales give English and leave the cache alone: French again is the text cached the first time.
  EXPECT_TRUE(seen[1].isNull() || seen[4].sharesBlockWith(seen[1]));
  std::atomic<int> wrong{0};
  onThreads(4, [&](int i) {  // threads with different locales each get their own
    const Locale& locale = kLocales[i % 2];
    if (!test_support::setThreadLocale(locale.posixName, locale.windowsId)) return;
    for (int round = 0; round < 500; ++round) wrong += getCurrentLanguage().str() != locale.language;
    test_support::restoreThreadLocale();
  });
  EXPECT_EQ(wrong, 0);
  if (!missing.empty()) GTEST_SKIP() << "missing locales (scripts/setup-locales.sh makes them):" << missing;
}

}  // namespace
}  // namespace zem_util

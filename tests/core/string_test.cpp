#include <gtest/gtest.h>
#include <zem_util/core.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "support/text.h"
#include "testing/test_access.h"

namespace zem_util {
namespace {

TEST(StringTest, NullAndEmptyDifferOnlyInPointers) {
  ArrayPtr<char> null(static_cast<const char*>(nullptr));
  ArrayPtr<char> empty("");
  EXPECT_TRUE(null.isNull());
  EXPECT_EQ(null.length(), 0);
  EXPECT_EQ(null.toPtr(), nullptr);
  EXPECT_EQ(null.toNullTerminatedPtr(), nullptr);
  EXPECT_FALSE(empty.isNull());
  EXPECT_STREQ(empty.toNullTerminatedPtr(), "");
  EXPECT_TRUE(null == empty);
  EXPECT_TRUE(ArrayPtr<char>(nullptr, 0, 5).isNull());

  ArrayPtr<char> sum = null + null;
  EXPECT_FALSE(sum.isNull());
  EXPECT_EQ(sum.length(), 0);
  EXPECT_STREQ((ArrayPtr<char>("ab") + static_cast<const char*>(nullptr)).toNullTerminatedPtr(), "ab");
  EXPECT_STREQ((null + "cd").toNullTerminatedPtr(), "cd");
}

TEST(StringTest, EqualityComparesWindowsByteForByte) {
  ArrayPtr<char> a("path/to/file");
  ArrayPtr<char> b("xxto/");
  EXPECT_TRUE(a.slice(5, 3) == b.slice(2, 3));
  EXPECT_FALSE(a.slice(5, 3) == b.slice(2, 2));
  EXPECT_FALSE(ArrayPtr<char>("abc") == ArrayPtr<char>("abC"));
  EXPECT_TRUE(ArrayPtr<char>("a\0b", 0, 3) == ArrayPtr<char>("a\0b", 0, 3));
  EXPECT_FALSE(ArrayPtr<char>("a\0b", 0, 3) == ArrayPtr<char>("a\0c", 0, 3));
}

TEST(StringTest, SliceBecomesPrivateCopyWhenTerminated) {
  ArrayPtr<char> whole("directory/name");
  ArrayPtr<char> head = whole.slice(0, 9);
  ArrayPtr<char> tail = whole.slice(10, 4);
  EXPECT_EQ(tail.toNullTerminatedPtr(), whole.toPtr() + 10);  // already ends at the NUL: no copy
  char* c = head.toNullTerminatedPtr();
  EXPECT_STREQ(c, "directory");
  EXPECT_FALSE(head.sharesBlockWith(whole));
  EXPECT_EQ(head.offset(), 0);
  EXPECT_STREQ(whole.toNullTerminatedPtr(), "directory/name");  // the shared block is untouched
  EXPECT_EQ(test_access::getBlockCount(whole), 2);              // whole + tail
}

TEST(StringTest, SetSliceRebindsInPlace) {
  ArrayPtr<char> line("key=value");
  ArrayPtr<char> other("elsewhere");
  ArrayPtr<char> part = line;
  part.setSlice(line, 4, 5);  // same block: only the window moves
  EXPECT_EQ(test_access::getBlockCount(line), 2);
  EXPECT_EQ(part.offset(), 4);
  EXPECT_TRUE(part == ArrayPtr<char>("value"));
  part.setSlice(part, 1, 2);  // relative to its own window
  EXPECT_TRUE(part == ArrayPtr<char>("al"));
  part.setSlice(other.slice(4, 5), 0, 4);  // another block: taken, the old one released
  EXPECT_EQ(test_access::getBlockCount(line), 1);
  EXPECT_EQ(test_access::getBlockCount(other), 2);
  EXPECT_TRUE(part == ArrayPtr<char>("wher"));
}

TEST(StringTest, EmbeddedNulsAreCopied) {
  ArrayPtr<char> text("ab\0cd", 1, 3);
  EXPECT_EQ(text.length(), 3);
  EXPECT_EQ(std::memcmp(text.toPtr(), "b\0c", 3), 0);
  EXPECT_EQ(text.toPtr()[3], '\0');
}

TEST(StringTest, HashFollowsItsSamplingRule) {
  EXPECT_EQ(hash(ArrayPtr<char>()), 0u);
  EXPECT_EQ(hash(ArrayPtr<char>("")), 0u);
  EXPECT_EQ(hash(ArrayPtr<char>("abc")), 0x616260u);
  EXPECT_EQ(hash(ArrayPtr<char>("\x80")), 0xFFFFFF80u ^ 1u);  // bytes are sign-extended
  // 7 characters: step 1, every byte, 4 bits apart.
  std::uint32_t h = 0;
  for (char c : std::string("abcdefg")) h = (h << 4) ^ static_cast<std::uint32_t>(c);
  EXPECT_EQ(hash(ArrayPtr<char>("abcdefg")), 7u ^ h);
  // 16 characters: step 2, so odd positions never matter.
  EXPECT_EQ(hash(ArrayPtr<char>("aXbXcXdXeXfXgXhX")), hash(ArrayPtr<char>("aYbYcYdYeYfYgYhY")));
  EXPECT_NE(hash(ArrayPtr<char>("aXbXcXdXeXfXgXhX")), hash(ArrayPtr<char>("bXbXcXdXeXfXgXhX")));
  // A slice hashes its window only.
  EXPECT_EQ(hash(ArrayPtr<char>("zabcz").slice(1, 3)), 0x616260u);
}

TEST(StringTest, FormatAcceptsExactly3000Characters) {
  ArrayPtr<char> full = format("%3000d", 7);
  EXPECT_EQ(full.length(), 3000);
  EXPECT_EQ(full[2999], '7');
  EXPECT_EQ(full.toPtr()[3000], '\0');
  try {
    format("%3001d", 7);
    FAIL() << "3001 characters were accepted";
  } catch (const char* message) {
    EXPECT_STREQ(message, "'zem_util::format' cannot be used to format more than 3000 characters !");
  }
  // Far beyond the buffer: refused the same way, never written.
  EXPECT_THROW(format("%s%100000d", "x", 1), const char*);
  EXPECT_STREQ(format("%s=%u", "code", 4294967295u).toNullTerminatedPtr(), "code=4294967295");
  EXPECT_FALSE(format("%s", "").isNull());
}

// The library writes integers, characters and texts itself: what it writes must be the C library's text.
TEST(StringTest, FormatWritesWhatTheCLibraryWrites) {
  int written = 0;
  // Formats in variables, which the compiler does not check: it would flag the ints narrowed by the first, and
  // Windows compilers check against a printf that lacks the sizes of the second.
  const char* narrowed = "%hhd|%hhu|%hd|%hu";
  const char* sized = "%zu|%jd|%td";
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  const struct {
    ArrayPtr<char> got;
    std::string expected;
  } cases[] = {
      {format("%d|%i|%u|%s", INT_MIN, -7, 4294967295u, "x"), "-2147483648|-7|4294967295|x"},
      {format("%+d|% d|%+.0d|% .0d", 5, 5, 0, 0), "+5| 5|+| "},
      {format("%08d|%-8d|%8.3d|", -42, -42, 42), "-0000042|-42     |     042|"},
      {format("%#o|%#.0o|%#.3o|%#x|%#X|%#x|%.0x|%#08x", 8, 0, 8, 255, 255, 0, 0, 255),
       "010|0|010|0xff|0XFF|0||0x0000ff"},
      {format(narrowed, 300, 300, 70000, 70000), "44|44|4464|4464"},
      {format("%lld|%llu|%lx", LLONG_MIN, ULLONG_MAX, 0xabcdefUL), "-9223372036854775808|18446744073709551615|abcdef"},
      {format(sized, std::size_t{12}, std::intmax_t{-3}, std::ptrdiff_t{-4}), "12|-3|-4"},
      {format("%*d|%*d|%.*d|%.*s|%-*s|", 3, 7, -3, 7, -1, 7, 2, "abc", 4, "z"), "  7|7  |7|ab|z   |"},
      {format("%5.1s|%-3c|%3c|%c", "xyz", 'q', 'r', 0), std::string("    x|q  |  r|") + '\0'},
      {format("%.3f|%g|%5.1f", 1.5, 0.0001, -2.26), "1.500|0.0001| -2.3"},  // the C library's, one at a time
      {format("100%% of %s%%", "it"), "100% of it%"},
      {format("abc%nde", &written), "abcde"},  // %n: the whole format goes to the C library
  };
#pragma GCC diagnostic pop
  for (const auto& c : cases) EXPECT_EQ(test_support::text(c.got), c.expected) << c.expected;
  EXPECT_EQ(written, 3);
}

}  // namespace
}  // namespace zem_util

#include <gtest/gtest.h>
#include <zem_util/core.h>

#include <cstring>
#include <string>

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

}  // namespace
}  // namespace zem_util

#include <gtest/gtest.h>
#include <zem_util/cst_str.h>

#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using zem_util::ArrayPtr;
using zem_util::CstStr;

// The text, read without flattening.
std::string textOf(const CstStr& s) {
  std::string result(static_cast<std::size_t>(s.length()), '\0');
  s.copyTo(result.data());
  return result;
}

bool isShort(const CstStr& s) { return s.internLen() < s.internBigStrLen(); }
bool isNode(const CstStr& s) { return !isShort(s) && s.internIdx() == -1; }
bool isInside(const char* p, const CstStr& s) {
  return p >= reinterpret_cast<const char*>(&s) && p < reinterpret_cast<const char*>(&s + 1);
}

TEST(CstStrTest, ShortTextsLiveInTheValueAndLongOnesInABlock) {
  EXPECT_EQ(sizeof(CstStr), 8 + sizeof(void*));
  const CstStr seven("abcdefg");
  const CstStr eight("abcdefgh");
  EXPECT_EQ(seven.internBigStrLen(), 8);
  EXPECT_TRUE(isShort(seven));
  EXPECT_TRUE(isInside(seven.toPtr(), seven));
  EXPECT_STREQ(seven.toNullTerminatedPtr(), "abcdefg");
  EXPECT_EQ(eight.internLen(), 8);
  EXPECT_EQ(eight.internIdx(), 0);
  EXPECT_FALSE(isInside(eight.toPtr(), eight));

  EXPECT_EQ(CstStr().length(), 0);
  EXPECT_EQ(CstStr().isEmpty(), 1);
  EXPECT_EQ(CstStr(static_cast<const char*>(nullptr)).length(), 0);
  EXPECT_EQ(textOf(CstStr('x')), "x");
  EXPECT_EQ(textOf(CstStr(static_cast<signed char>(-23))), "\xE9");
  EXPECT_EQ(textOf(CstStr(static_cast<unsigned char>(0xE9))), "\xE9");
  EXPECT_EQ(textOf(CstStr(3, "a\0b")), std::string("a\0b", 3));
  EXPECT_EQ(textOf(CstStr(10, "0123456789abc")), "0123456789");
  EXPECT_EQ(textOf(CstStr(3, 'z')), "zzz");
  EXPECT_EQ(textOf(CstStr(9, 'z')), "zzzzzzzzz");
  EXPECT_EQ(CstStr(9, 'z').internIdx(), 0);
  EXPECT_EQ(CstStr(-1, 'z').length(), 0);
  EXPECT_EQ(CstStr(-5, "abc").length(), 0);
}

TEST(CstStrTest, SharesTheBlocksOfArrayPtrHandles) {
  ArrayPtr<char> whole("0123456789abcdef");
  CstStr window;
  {
    const ArrayPtr<char> slice = whole.slice(3, 10);
    window = CstStr(slice);
    EXPECT_EQ(window.internIdx(), 3);
    EXPECT_EQ(window.toPtr(), slice.toPtr());
    whole = ArrayPtr<char>();
  }
  EXPECT_EQ(textOf(window), "3456789abc");  // the last handle is gone, the block is not

  // Assigning another window of the same block only moves the window.
  const ArrayPtr<char> handle = window.toStr();
  EXPECT_EQ(handle.toPtr(), window.toPtr());
  EXPECT_EQ(handle.length(), 10);
  window = ArrayPtr<char>(handle.slice(1, 8));
  EXPECT_EQ(window.toPtr(), handle.toPtr() + 1);
  EXPECT_EQ(textOf(window), "456789ab");

  const CstStr small(whole.isNull() ? ArrayPtr<char>("abc") : whole);
  EXPECT_TRUE(isShort(small));
  const ArrayPtr<char> copied = small.toStr();
  EXPECT_NE(copied.toPtr(), small.toPtr());
  EXPECT_STREQ(copied.toPtr(), "abc");
  const ArrayPtr<char> empty = CstStr().toStr();
  EXPECT_FALSE(empty.isNull());
  EXPECT_STREQ(empty.toPtr(), "");
  EXPECT_EQ(textOf(CstStr(ArrayPtr<char>())), "");
}

TEST(CstStrTest, CatKeepsShortResultsInlineAndLongOnesAsNodes) {
  const CstStr shortCat = CstStr::cat("abc", "defg");
  EXPECT_TRUE(isShort(shortCat));
  EXPECT_EQ(textOf(shortCat), "abcdefg");
  const CstStr node = CstStr::cat("abcd", "efgh");
  EXPECT_TRUE(isNode(node));
  EXPECT_EQ(textOf(node), "abcdefgh");

  const CstStr block("0123456789");
  EXPECT_EQ(CstStr::cat(block, "").toPtr(), block.toPtr());
  EXPECT_EQ(CstStr::cat("", block).toPtr(), block.toPtr());

  // Appending one character at a time: the short right operand fills up behind the same left operand.
  CstStr grown("abcdefgh");
  const char* left = grown.toPtr();
  grown += 'x';
  EXPECT_TRUE(isNode(grown));
  EXPECT_EQ(textOf(grown), "abcdefghx");
  grown += 'y';
  grown += 'z';
  EXPECT_EQ(grown.length(), 11);
  EXPECT_EQ(textOf(grown), "abcdefghxyz");
  EXPECT_EQ(left[0], 'a');

  // A short left text merges into the node's short left operand, a short right one into its right operand.
  const CstStr tail("ABCDEFGHIJ");
  const CstStr right = CstStr::cat("cd", tail);
  EXPECT_EQ(textOf(CstStr::cat("ab", right)), "abcdABCDEFGHIJ");
  const CstStr leftNode = CstStr::cat(tail, "cd");
  EXPECT_EQ(textOf(CstStr::cat(leftNode, "ef")), "ABCDEFGHIJcdef");
  EXPECT_EQ(textOf(CstStr::cat(right, leftNode)), "cdABCDEFGHIJABCDEFGHIJcd");

  CstStr self("12345678");
  self += self;
  self += self;
  EXPECT_EQ(textOf(self), "12345678123456781234567812345678");
  CstStr fromPointer("1234");
  fromPointer += fromPointer.toPtr();
  EXPECT_EQ(textOf(fromPointer), "12341234");
  fromPointer += ArrayPtr<char>("+abcdefgh");
  fromPointer += static_cast<const char*>(nullptr);
  EXPECT_EQ(textOf(fromPointer), "12341234+abcdefgh");
}

// "cdefghijklmnopqrstuvwxyz", held alone and grown in place: a node of "cd" and a tail block being filled.
CstStr grownAlphabet() {
  CstStr grown("cd");
  grown += "efghij";
  for (char c = 'k'; c <= 'z'; ++c) grown += c;
  return grown;
}

TEST(CstStrTest, AppendingInPlaceNeverChangesCopies) {
  CstStr grown = grownAlphabet();
  const CstStr copy = grown;
  grown += "!";
  EXPECT_EQ(textOf(copy), "cdefghijklmnopqrstuvwxyz");
  EXPECT_EQ(textOf(grown), "cdefghijklmnopqrstuvwxyz!");

  // `cat` shares the grown value's operands; appending to it afterwards must leave them, and freeing it must
  // not free them.
  CstStr source = grownAlphabet();
  const CstStr merged = CstStr::cat("ab", source);
  const CstStr joined = CstStr::cat(source, "12");
  for (int i = 0; i < 100; ++i) source += '.';
  source = CstStr();
  EXPECT_EQ(textOf(merged), "abcdefghijklmnopqrstuvwxyz");
  EXPECT_EQ(textOf(joined), "cdefghijklmnopqrstuvwxyz12");

  // Only the tail is shared here (a short text merged with the left operand): the value must stop filling it.
  CstStr filling = grownAlphabet();
  const CstStr prefixed = CstStr::cat("ab", filling);
  for (int i = 0; i < 100; ++i) filling += '.';
  EXPECT_EQ(filling.length(), 124);
  EXPECT_EQ(std::string(filling.toPtr(), 24), "cdefghijklmnopqrstuvwxyz");
  filling = CstStr();
  EXPECT_EQ(textOf(prefixed), "abcdefghijklmnopqrstuvwxyz");

  CstStr moved("0123456789");
  moved += 'a';
  CstStr target = std::move(moved);
  EXPECT_EQ(moved.length(), 0);
  target += 'b';
  EXPECT_EQ(textOf(target), "0123456789ab");
}

TEST(CstStrTest, FlatteningAndPrivateCopiesLeaveOtherValuesAlone) {
  CstStr a = CstStr::cat("abcdefgh", "ijklmnop");
  const CstStr b = a;
  EXPECT_STREQ(a.toNullTerminatedPtr(), "abcdefghijklmnop");
  EXPECT_EQ(a.internIdx(), 0);
  EXPECT_TRUE(isNode(b));
  EXPECT_EQ(textOf(b), "abcdefghijklmnop");

  // A window followed by a NUL is returned as it is; one that is not gets a private block.
  const CstStr source("abcdefghijk");
  const CstStr end = source.substr(2);
  EXPECT_EQ(end.toNullTerminatedPtr(), source.toPtr() + 2);
  const CstStr middle = source.substr(1, 9);
  const char* terminated = middle.toNullTerminatedPtr();
  EXPECT_NE(terminated, source.toPtr() + 1);
  EXPECT_STREQ(terminated, "bcdefghij");
  EXPECT_EQ(middle.internIdx(), 0);
  EXPECT_STREQ(source.toNullTerminatedPtr(), "abcdefghijk");

  const char* cString = b;
  EXPECT_STREQ(cString, "abcdefghijklmnop");
  const ArrayPtr<char> handle = b;
  EXPECT_EQ(handle.toPtr(), cString);
}

TEST(CstStrTest, AssignmentReadsTheSourceFirst) {
  CstStr s("abcdefghijklmnop");
  s = s.toPtr() + 3;
  EXPECT_EQ(textOf(s), "defghijklmnop");
  s = s.toPtr() + 8;
  EXPECT_EQ(textOf(s), "lmnop");
  s = s.toPtr() + 1;
  EXPECT_EQ(textOf(s), "mnop");
  s = static_cast<const char*>(nullptr);
  EXPECT_EQ(s.length(), 0);

  CstStr node = CstStr::cat("abcdefgh", "ijklmnop");
  node = node;
  EXPECT_EQ(textOf(node), "abcdefghijklmnop");
  const CstStr other = node;
  node = other;
  node = "short";
  EXPECT_EQ(textOf(node), "short");
  node = other;
  EXPECT_TRUE(isNode(node));
  EXPECT_EQ(textOf(node), "abcdefghijklmnop");
}

TEST(CstStrTest, AccessReturnsNulForTheEmptyText) {
  EXPECT_EQ(CstStr().getFirst(), '\0');
  EXPECT_EQ(CstStr().getLast(), '\0');
  const CstStr node = CstStr::cat("abcdefgh", "XY");
  EXPECT_EQ(node.getFirst(), 'a');
  EXPECT_EQ(node.getLast(), 'Y');
  EXPECT_EQ(node.get(8), 'X');
  EXPECT_EQ(node[1], 'b');
}

TEST(CstStrTest, SearchesFindFirstAndLastPositions) {
  const CstStr hello("hello world");
  EXPECT_EQ(hello.indexOf('o'), 4);
  EXPECT_EQ(hello.lastIndexOf('o'), 7);
  EXPECT_EQ(hello.lastIndexOf('o', 6), 4);
  EXPECT_EQ(hello.indexOf('o', 5), 7);
  EXPECT_EQ(hello.indexOf('o', 11), -1);
  EXPECT_EQ(hello.lastIndexOf('o', -1), -1);
  EXPECT_EQ(hello.indexOf('z'), -1);
  EXPECT_EQ(hello.indexOneOf("wd"), 6);
  EXPECT_EQ(hello.indexOneOf("dw", 7), 10);
  EXPECT_EQ(hello.indexOneOf("w", 7), -1);
  EXPECT_EQ(hello.indexOneOf("", 3), 3);
  EXPECT_EQ(hello.indexOf("o w"), 4);
  EXPECT_EQ(hello.indexOf("world", 6), 6);
  EXPECT_EQ(hello.indexOf("world", 7), -1);
  EXPECT_EQ(hello.indexOf("hello world!"), -1);
  EXPECT_EQ(hello.lastIndexOf("o"), 7);
  EXPECT_EQ(hello.lastIndexOf("o", 6), 4);
  EXPECT_EQ(hello.lastIndexOf("world", 100), 6);
  EXPECT_EQ(hello.lastIndexOf("hello world!"), -1);

  const CstStr five("hello");
  EXPECT_EQ(five.lastIndexOf(""), 4);
  EXPECT_EQ(five.indexOf(""), 0);
  EXPECT_EQ(five.indexOf("", 3), 3);
  EXPECT_EQ(five.lastIndexOf("", 2), 2);

  // Positions are scanned eight at a time, then one by one: a match must be found at every place.
  for (int at = 0; at <= 37; ++at) {
    std::string text(40, 'x');
    text.replace(static_cast<std::size_t>(at), 3, "aba");
    const CstStr value(text.c_str());
    EXPECT_EQ(value.indexOf("aba"), at);
    EXPECT_EQ(value.indexOf("aba", at + 1), -1);
    EXPECT_EQ(value.indexOf("ab", at), at);
    EXPECT_EQ(value.lastIndexOf("ba"), at + 1);
  }

  // Long patterns are compared several bytes at a time; a difference in any byte must be seen.
  std::string text(300, 'a');
  text.replace(200, 20, "aaaaaaaaaaaaaaaaaaab");
  const CstStr haystack(text.c_str());
  for (int length = 1; length <= 20; ++length) {
    const std::string needle = std::string(static_cast<std::size_t>(length - 1), 'a') + "b";
    EXPECT_EQ(haystack.indexOf(needle.c_str()), static_cast<int>(text.find(needle))) << length;
    EXPECT_EQ(haystack.lastIndexOf(needle.c_str()), static_cast<int>(text.rfind(needle))) << length;
  }
}

TEST(CstStrTest, SubstrSharesLongResultsAndCopiesShortOnes) {
  const CstStr ten("abcdefghij");
  const CstStr tail = ten.substr(3, 100);
  EXPECT_TRUE(isShort(tail));
  EXPECT_EQ(textOf(tail), "defghij");
  const CstStr eleven("abcdefghijk");
  const CstStr shared = eleven.substr(1, 9);
  EXPECT_EQ(shared.internIdx(), 1);
  EXPECT_EQ(shared.toPtr(), eleven.toPtr() + 1);
  EXPECT_EQ(ten.substr(10).length(), 0);
  EXPECT_EQ(ten.substr(-1, 3).length(), 0);
  EXPECT_EQ(ten.substr(2, 0).length(), 0);
  EXPECT_EQ(textOf(ten.substr(0)), "abcdefghij");
  EXPECT_EQ(textOf(ten.substr(2, 0x7FFFFFFF)), "cdefghij");

  const CstStr node = CstStr::cat("abcdefgh", "ijklmnop");
  const CstStr inner = node.substr(4, 8);
  EXPECT_EQ(node.internIdx(), 0);
  EXPECT_EQ(inner.toPtr(), node.toPtr() + 4);
  EXPECT_EQ(textOf(inner), "efghijkl");
}

TEST(CstStrTest, CompareOrdersBytesAsSigned) {
  EXPECT_LT(CstStr::cmp("\xE9tude", "Abc"), 0);
  EXPECT_EQ(CstStr::cmp("\xE9", "A"), static_cast<signed char>(0xE9) - 'A');
  EXPECT_EQ(CstStr::cmp("abc", "abcd"), -1);
  EXPECT_EQ(CstStr::cmp("abcdefghijk", "abc"), 8);
  EXPECT_EQ(CstStr::cmp("abcdefghijk", "abcdefghijk"), 0);
  EXPECT_GT(CstStr::cmp("abcdefghijkz", "abcdefghijka"), 0);
  EXPECT_TRUE(CstStr::equals(CstStr("abcdefghij"), CstStr("abcdefghij")));
  EXPECT_FALSE(CstStr::equals("abc", "abd"));
  EXPECT_FALSE(CstStr::equals("abc", "abcd"));
  EXPECT_FALSE(CstStr::equals(CstStr("abcdefghijklmnoX"), CstStr("abcdefghijklmnoY")));

  // Windows of one block: compared by their position alone when it is the same.
  const CstStr text("abcdefghijklmnopqrstuvwxyz");
  EXPECT_EQ(CstStr::cmp(text.substr(0, 10), text.substr(0, 12)), -2);
  EXPECT_TRUE(CstStr::equals(text.substr(2, 10), CstStr("cdefghijkl")));
  EXPECT_FALSE(CstStr::equals(text.substr(2, 10), text.substr(3, 10)));

  const CstStr node = CstStr::cat("abcdefgh", "ij");
  EXPECT_TRUE(node == "abcdefghij");
  EXPECT_TRUE("abcdefghij" == node);
  EXPECT_TRUE(node != "abcdefghi");
  EXPECT_TRUE(node == CstStr("abcdefghij"));
  EXPECT_TRUE(CstStr("ab") < CstStr("abc"));
  EXPECT_TRUE(CstStr() == static_cast<const char*>(nullptr));
}

TEST(CstStrTest, HashSamplesFourUnsignedBytes) {
  EXPECT_EQ(CstStr().hash(), 0);
  EXPECT_EQ(CstStr("abc").hash(), 0x616260);
  EXPECT_EQ(CstStr("abcdefgh").hash(), 0x61636567 ^ 8);  // positions 0, 2, 4, 6
  EXPECT_EQ(CstStr("\xE9").hash(), 0xE9 ^ 1);
  EXPECT_EQ(CstStr::cat("abcd", "efgh").hash(), CstStr("abcdefgh").hash());
}

TEST(CstStrTest, CopiesOutAndWritesAlongTheTree) {
  const CstStr node = CstStr::cat(CstStr::cat("0123456789", "abc"), CstStr::cat("ABCDEFGHIJ", "xyz"));
  char buffer[32];
  std::memset(buffer, '#', sizeof buffer);
  node.copySubstrTo(8, 10, buffer);
  EXPECT_EQ(std::string(buffer, 11), "89abcABCDE#");
  std::memset(buffer, '#', sizeof buffer);
  node.copySubstrTo(20, 100, buffer);
  EXPECT_EQ(std::string(buffer, 7), "HIJxyz#");
  std::memset(buffer, '#', sizeof buffer);
  node.copySubstrTo(-1, 5, buffer);
  node.copySubstrTo(26, 5, buffer);
  node.copySubstrTo(3, 0, buffer);
  EXPECT_EQ(buffer[0], '#');
  EXPECT_TRUE(isNode(node));  // none of these flattened it

  std::ostringstream out;
  node.write(out);
  CstStr("short").write(out);
  CstStr("0123456789").substr(2, 8).write(out);
  EXPECT_EQ(out.str(), "0123456789abcABCDEFGHIJxyzshort23456789");
  EXPECT_TRUE(isNode(node));
}

TEST(CstStrTest, FromFormatRefusesMoreThan3000Characters) {
  EXPECT_EQ(textOf(CstStr::fromFormat("%d-%s", 42, "x")), "42-x");
  EXPECT_TRUE(isShort(CstStr::fromFormat("%d", 7)));
  const CstStr full = CstStr::fromFormat("%3000d", 1);
  EXPECT_EQ(full.length(), 3000);
  EXPECT_EQ(full.getLast(), '1');
  try {
    CstStr::fromFormat("%3001d", 1);
    FAIL() << "no exception";
  } catch (const char* message) {
    EXPECT_STREQ(message, "CstStr::fromFormat cannot be used to format more than 3000 characters !");
  }
  try {
    CstStr::fromFormat("%s%s", std::string(2000, 'a').c_str(), std::string(2000, 'b').c_str());
    FAIL() << "no exception";
  } catch (const char*) {
  }
}

// Flattening, copying out, writing and destroying follow the operands of a node down a chain as deep as its
// number of nodes: none of them may use the call stack for that.
TEST(CstStrTest, DeepTreesDoNotExhaustTheStack) {
  constexpr int kCount = 1000000;
  std::string expected(kCount, 'a');
  for (int i = 0; i < kCount; ++i) expected[static_cast<std::size_t>(i)] = static_cast<char>('a' + i % 26);

  CstStr appended;  // held alone: appends go in place
  for (int i = 0; i < kCount; ++i) appended += static_cast<char>('a' + i % 26);
  EXPECT_EQ(textOf(appended), expected);

  CstStr chain;  // copied at every step: one node per seven characters, each new node over the last one
  {
    CstStr previous;
    for (int i = 0; i < kCount; ++i) {
      previous = chain;
      chain += static_cast<char>('a' + i % 26);
    }
  }
  EXPECT_EQ(textOf(chain), expected);
  std::ostringstream written;
  chain.write(written);
  EXPECT_EQ(written.str(), expected);
  std::string middle(10, '\0');
  chain.copySubstrTo(500000, 10, middle.data());
  EXPECT_EQ(middle, expected.substr(500000, 10));
  const CstStr copy = chain;
  EXPECT_EQ(std::string(chain.toPtr(), kCount), expected);
  EXPECT_TRUE(isNode(copy));
  chain = CstStr();

  CstStr prepended;  // a right-deep chain of long pieces
  const CstStr piece("0123456789");
  for (int i = 0; i < kCount / 10; ++i) prepended = CstStr::cat(piece, prepended);
  EXPECT_EQ(prepended.length(), kCount);
  EXPECT_EQ(prepended.lastIndexOf("90123"), kCount - 11);
}  // copy and prepended are released here

TEST(CstStrTest, CopiesAreUsedAndReleasedOnSeveralThreads) {
  CstStr shared("shared:");
  for (int i = 0; i < 500; ++i) shared += static_cast<char>('a' + i % 26);
  const std::string expected = textOf(shared);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([copy = shared, t, &expected]() mutable {
      for (int round = 0; round < 200; ++round) {
        CstStr mine = copy;
        mine += static_cast<char>('0' + t);
        mine += CstStr("0123456789");
        if (std::string(mine.toPtr(), 500 + 7) != expected || mine.getLast() != '9') ADD_FAILURE();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(textOf(shared), expected);
}

}  // namespace

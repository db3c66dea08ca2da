#include <gtest/gtest.h>
#include <zem_util/cst_str.h>

#include <cstring>
#include <new>
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

// "cdefghijklmnopqrstuvwxyz", held alone and grown in place: a node of "cd" and a tail block being filled.
CstStr grownAlphabet() {
  CstStr grown("cd");
  grown += "efghij";
  for (char c = 'k'; c <= 'z'; ++c) grown += c;
  return grown;
}

TEST(CstStrTest, ShortTextsLiveInTheValueLongOnesShareBlocks) {
  EXPECT_EQ(sizeof(CstStr), 8 + sizeof(void*));
  const CstStr seven("abcdefg");
  EXPECT_TRUE(isShort(seven));
  const char* inside = reinterpret_cast<const char*>(&seven);  // no heap: the characters are in the value
  EXPECT_TRUE(seven.toPtr() >= inside && seven.toPtr() + 8 <= inside + sizeof seven);  // with its NUL
  const CstStr eight("abcdefgh");
  EXPECT_EQ(eight.internBigStrLen(), 8);
  EXPECT_EQ(eight.internIdx(), 0);
  EXPECT_EQ(textOf(CstStr(3, "a\0b")), std::string("a\0b", 3));
  EXPECT_EQ(textOf(CstStr(9, 'z')), "zzzzzzzzz");
  EXPECT_EQ(CstStr(-1, 'z').length() + CstStr(-5, "abc").length() + CstStr(nullptr).length(), 0);

  // A window of an ArrayPtr is shared at its offset and outlives the handle.
  CstStr window;
  {
    const ArrayPtr<char> whole("0123456789abcdef");
    window = CstStr(ArrayPtr<char>(whole.slice(3, 10)));
    EXPECT_EQ(window.internIdx(), 3);
    EXPECT_EQ(window.toPtr(), whole.toPtr() + 3);
  }
  EXPECT_EQ(textOf(window), "3456789abc");
  const ArrayPtr<char> handle = window;  // shares
  EXPECT_EQ(handle.toPtr(), window.toPtr());
  window = ArrayPtr<char>(handle.slice(1, 8));
  EXPECT_EQ(window.toPtr(), handle.toPtr() + 1);

  const ArrayPtr<char> copied = seven.toStr();
  EXPECT_NE(copied.toPtr(), seven.toPtr());
  EXPECT_FALSE(CstStr().toStr().isNull());

  // substr shares from 8 characters on and copies below; a node is flattened first.
  const CstStr eleven("abcdefghijk");
  EXPECT_EQ(eleven.substr(1, 9).toPtr(), eleven.toPtr() + 1);
  EXPECT_TRUE(isShort(CstStr("abcdefghij").substr(3, 100)));
  EXPECT_EQ(textOf(CstStr("abcdefghij").substr(3, 100)), "defghij");
  EXPECT_EQ(CstStr("abcdefghij").substr(10).length() + eleven.substr(-1, 3).length() + eleven.substr(2, 0).length(), 0);
  const CstStr node = CstStr::cat("abcdefgh", "ijklmnop");
  const CstStr other = node;
  EXPECT_EQ(node.substr(4, 8).toPtr(), node.toPtr() + 4);
  EXPECT_EQ(node.internIdx(), 0);
  EXPECT_TRUE(isNode(other));  // flattening one value leaves the others on the node
  EXPECT_EQ(textOf(other), "abcdefghijklmnop");

  // A window followed by a NUL is returned as it is; one that is not gets a private block.
  EXPECT_EQ(eleven.substr(2).toNullTerminatedPtr(), eleven.toPtr() + 2);
  const CstStr middle = eleven.substr(1, 9);
  EXPECT_STREQ(middle.toNullTerminatedPtr(), "bcdefghij");
  EXPECT_NE(middle.toPtr(), eleven.toPtr() + 1);
  EXPECT_STREQ(eleven, "abcdefghijk");
}

TEST(CstStrTest, CatFollowsTheNodeRules) {
  EXPECT_TRUE(isShort(CstStr::cat("abc", "defg")));
  const CstStr node = CstStr::cat("abcd", "efgh");
  EXPECT_TRUE(isNode(node));
  const CstStr block("0123456789");
  EXPECT_EQ(CstStr::cat(block, "").toPtr(), block.toPtr());
  EXPECT_EQ(CstStr::cat("", block).toPtr(), block.toPtr());

  CstStr grown("abcdefgh");
  for (const char* expected : {"abcdefghx", "abcdefghxy", "abcdefghxyz"}) {
    grown += expected[std::strlen(expected) - 1];
    EXPECT_TRUE(isNode(grown));
    EXPECT_EQ(textOf(grown), expected);
  }

  const CstStr tail("ABCDEFGHIJ");
  const CstStr right = CstStr::cat("cd", tail);
  const CstStr left = CstStr::cat(tail, "cd");
  EXPECT_EQ(textOf(CstStr::cat("ab", right)), "abcdABCDEFGHIJ");
  EXPECT_EQ(textOf(CstStr::cat(left, "ef")), "ABCDEFGHIJcdef");
  EXPECT_EQ(textOf(CstStr::cat(right, left)), "cdABCDEFGHIJABCDEFGHIJcd");

  CstStr self("12345678");
  self += self;
  EXPECT_EQ(textOf(self), "1234567812345678");
  CstStr fromPointer("1234");
  fromPointer += fromPointer.toPtr();
  fromPointer += ArrayPtr<char>("+abcdefgh");
  fromPointer += static_cast<const char*>(nullptr);
  EXPECT_EQ(textOf(fromPointer), "12341234+abcdefgh");
}

TEST(CstStrTest, AppendingInPlaceNeverChangesOtherValues) {
  CstStr grown = grownAlphabet();
  const CstStr copy = grown;
  grown += "!";
  EXPECT_EQ(textOf(copy), "cdefghijklmnopqrstuvwxyz");
  EXPECT_EQ(textOf(grown), "cdefghijklmnopqrstuvwxyz!");

  // cat shares the grown value's node, or only its tail block (a short text merged with the left operand): the
  // value must stop writing into it, and freeing the value must not free it.
  for (int shareWholeNode = 0; shareWholeNode < 2; ++shareWholeNode) {
    CstStr source = grownAlphabet();
    const CstStr shared = shareWholeNode ? CstStr::cat(source, "12") : CstStr::cat("ab", source);
    for (int i = 0; i < 100; ++i) source += '.';
    EXPECT_EQ(std::string(source.toPtr(), 25), "cdefghijklmnopqrstuvwxyz.");
    source = CstStr();
    EXPECT_EQ(textOf(shared), shareWholeNode ? "cdefghijklmnopqrstuvwxyz12" : "abcdefghijklmnopqrstuvwxyz");
  }
}

// Nodes double a length without copying anything, so the limit is reached in 28 steps.
TEST(CstStrTest, LengthLimitErrorsNameTheFunction) {
  CstStr big("12345678");
  for (int i = 0; i < 27; ++i) big = CstStr::cat(big, big);
  ASSERT_EQ(big.length(), 1 << 30);
  CstStr grown = big;
  const struct {
    void (*build)(const CstStr& big, CstStr& grown);
    const char* what;
  } cases[] = {
      {[](const CstStr& b, CstStr&) { CstStr::cat(b, b); },
       "zem_util::CstStr::cat: a text of more than 2147483647 characters"},
      {[](const CstStr& b, CstStr& g) { g += b; },
       "zem_util::CstStr::operator+=: a text of more than 2147483647 characters"},
      {[](const CstStr&, CstStr&) { ArrayPtr<int>(-1); },
       "zem_util::ArrayPtr::ArrayPtr: a negative number of elements"},
  };
  for (const auto& c : cases) {
    try {
      c.build(big, grown);
      ADD_FAILURE() << "no exception: " << c.what;
    } catch (const std::bad_array_new_length& e) {
      EXPECT_STREQ(e.what(), c.what);
    }
  }
  EXPECT_EQ(grown.length(), 1 << 30);  // left as it was
}

TEST(CstStrTest, AssignmentReadsTheSourceFirst) {
  CstStr s("abcdefghijklmnop");
  s = s.toPtr() + 3;
  EXPECT_EQ(textOf(s), "defghijklmnop");
  s = s.toPtr() + 8;
  EXPECT_EQ(textOf(s), "lmnop");
  s = s.toPtr() + 1;
  EXPECT_EQ(textOf(s), "mnop");

  CstStr node = CstStr::cat("abcdefgh", "ij");
  const CstStr& alias = node;
  node = alias;
  CstStr moved = std::move(node);
  EXPECT_EQ(node.length(), 0);
  EXPECT_EQ(textOf(moved), "abcdefghij");
}

TEST(CstStrTest, SearchesFindFirstAndLastPositions) {
  const CstStr hello("hello world");
  EXPECT_EQ(hello.indexOf('o'), 4);
  EXPECT_EQ(hello.lastIndexOf('o'), 7);
  EXPECT_EQ(hello.lastIndexOf('o', 6), 4);
  EXPECT_EQ(hello.indexOneOf("wd"), 6);
  EXPECT_EQ(hello.indexOf('o', 11), -1);
  EXPECT_EQ(hello.lastIndexOf('o', -1), -1);
  EXPECT_EQ(hello.indexOf("world", 7), -1);
  EXPECT_EQ(hello.indexOf("hello world!"), -1);
  EXPECT_EQ(hello.lastIndexOf("world", 100), 6);
  const CstStr five("hello");
  EXPECT_EQ(five.lastIndexOf(""), 4);
  EXPECT_EQ(five.indexOf(""), 0);
  EXPECT_EQ(five.indexOf("", 3), 3);
  EXPECT_EQ(five.lastIndexOf("", 2), 2);
  EXPECT_EQ(five.indexOneOf("", 3), 3);
  EXPECT_EQ(CstStr().getFirst(), '\0');
  EXPECT_EQ(CstStr().getLast(), '\0');

  // Positions are scanned eight at a time, then one by one: a match must be found at every place.
  for (int at = 0; at <= 37; ++at) {
    std::string text(40, 'x');
    text.replace(static_cast<std::size_t>(at), 3, "aba");
    const CstStr value(text.c_str());
    EXPECT_EQ(value.indexOf("aba"), at);
    EXPECT_EQ(value.indexOf("aba", at + 1), -1);
    EXPECT_EQ(value.lastIndexOf("ba"), at + 1);
  }
}

TEST(CstStrTest, CompareOrdersBytesAsSignedAndHashesUnsigned) {
  EXPECT_LT(CstStr::cmp("\xE9tude", "Abc"), 0);
  EXPECT_EQ(CstStr::cmp("\xE9", "A"), static_cast<signed char>(0xE9) - 'A');
  EXPECT_EQ(CstStr::cmp("abc", "abcd"), -1);
  EXPECT_GT(CstStr::cmp("abcdefghijkz", "abcdefghijka"), 0);
  EXPECT_TRUE(CstStr::equals(CstStr("abcdefghij"), CstStr("abcdefghij")));
  EXPECT_FALSE(CstStr::equals("abc", "abd"));
  const CstStr text("abcdefghijklmnopqrstuvwxyz");
  EXPECT_EQ(CstStr::cmp(text.substr(0, 10), text.substr(0, 12)), -2);  // same block and index: lengths only
  EXPECT_FALSE(CstStr::equals(text.substr(2, 10), text.substr(3, 10)));

  const CstStr node = CstStr::cat("abcdefgh", "ij");
  EXPECT_TRUE(node == "abcdefghij" && "abcdefghij" == node && node != "abcdefghi");
  EXPECT_TRUE(CstStr("ab") < CstStr("abc"));

  EXPECT_EQ(CstStr().hash(), 0);
  EXPECT_EQ(CstStr("abc").hash(), 0x616260);
  EXPECT_EQ(CstStr("abcdefgh").hash(), 0x61636567 ^ 8);  // positions 0, 2, 4, 6
  EXPECT_EQ(CstStr("\xE9").hash(), 0xE9 ^ 1);
}

TEST(CstStrTest, FromFormatRefusesMoreThan3000Characters) {
  EXPECT_TRUE(isShort(CstStr::fromFormat("%d-%s", 42, "x")));
  EXPECT_EQ(CstStr::fromFormat("%3000d", 1).length(), 3000);
  try {
    CstStr::fromFormat("%3001d", 1);
    FAIL() << "no exception";
  } catch (const char* message) {
    EXPECT_STREQ(message, "CstStr::fromFormat cannot be used to format more than 3000 characters !");
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
  EXPECT_EQ(std::string(appended.toPtr(), kCount), expected);

  CstStr chain;  // copied at every step: one new node per seven characters over the last one
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
  char piece[10];
  chain.copySubstrTo(kCount - 12, 10, piece);
  EXPECT_EQ(std::string(piece, 10), expected.substr(kCount - 12, 10));
  EXPECT_TRUE(isNode(chain));  // copying out and writing walk the node as it is
  const CstStr copy = chain;
  EXPECT_EQ(std::string(chain.toPtr(), kCount), expected);
  EXPECT_TRUE(isNode(copy));

  CstStr prepended;  // a right-deep chain of long pieces
  for (int i = 0; i < kCount / 10; ++i) prepended = CstStr::cat("0123456789", prepended);
  EXPECT_EQ(prepended.lastIndexOf("90123"), kCount - 11);
}  // copy (the deep chain) and prepended are released here

TEST(CstStrTest, CopiesAreUsedAndReleasedOnSeveralThreads) {
  CstStr shared = grownAlphabet();
  for (int i = 0; i < 500; ++i) shared += static_cast<char>('a' + i % 26);
  const std::string expected = textOf(shared);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([copy = shared, &expected] {
      for (int round = 0; round < 200; ++round) {
        CstStr mine = copy;
        mine += CstStr("0123456789");
        if (std::string(mine.toPtr(), expected.size()) != expected) ADD_FAILURE();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(textOf(shared), expected);
}

}  // namespace

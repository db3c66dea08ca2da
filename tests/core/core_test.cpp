// Handles, the string handle and CstStr. What CstStr computes (building, searching, comparing, hashing, copying
// out) is checked against std::string by the cst_str fuzz target, whose corpus ctest replays; these tests cover
// sharing, representation, limits and depth.
#include <gtest/gtest.h>
#include <zem_util/core.h>
#include <zem_util/cst_str.h>
#include <zem_util/system.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <new>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "testing/test_access.h"

// Blocks the program holds: every operator new of the library comes here, where the library is linked into the
// program or its operator new resolves to the program's (as it does on ELF systems).
std::atomic<long> liveAllocations{0};

// Both forms: the library takes its kernel mutexes with the one that does not throw, which a sanitizer would
// otherwise serve from its own heap while the operator delete below frees them.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  void* block = std::malloc(size > 0 ? size : 1);
  if (block) ++liveAllocations;
  return block;
}
void* operator new(std::size_t size) {
  if (void* block = operator new(size, std::nothrow)) return block;
  throw std::bad_alloc();
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"  // this is the operator delete that frees them
#endif
void operator delete(void* block) noexcept {
  if (block) --liveAllocations, std::free(block);
}
void operator delete(void* block, std::size_t) noexcept { operator delete(block); }

namespace zem_util {
namespace {

using test_access::getBlockCount;

struct Counted : Shared {
  explicit Counted(std::atomic<int>* destroyed) : destroyed(destroyed) {}
  ~Counted() override { ++*destroyed; }
  std::atomic<int>* destroyed;
  Ptr<Counted> next;
};

// Built during static initialisation, before main: the library's own statics must already work.
ArrayPtr<char> staticText("built before main");

TEST(HandlesTest, PtrCountsAndDeletesOnceWhateverTheOrderOfRelease) {
  EXPECT_EQ(getBlockCount(ArrayPtr<char>(staticText)), 2);
  std::atomic<int> destroyed{0};
  {
    Ptr<Counted> a(new Counted(&destroyed));
    Ptr<Counted> b = a, c;
    c = b;
    c = a;  // the same object: nothing changes
    const Ptr<Counted>& self = a;
    a = self;
    b = Ptr<Counted>();
    EXPECT_EQ(destroyed, 0);
    // The old head held the only reference to its successor, which the assignment must take first.
    a->next = new Counted(&destroyed);
    a->next->next = new Counted(&destroyed);
    c = Ptr<Counted>();
    a = a->next;
    EXPECT_EQ(destroyed, 1);
    a = a->next;
    EXPECT_EQ(destroyed, 2);
  }
  EXPECT_EQ(destroyed, 3);
}

TEST(HandlesTest, SlicesShareTheBlockAndListsShareTheirTexts) {
  ArrayPtr<char> whole("abcdefgh");
  ArrayPtr<char> slice = whole.slice(2, 3);
  slice = whole;  // the same block: no count changes, the window is copied
  EXPECT_EQ(getBlockCount(whole), 2);
  EXPECT_EQ(slice.length() * 10 + slice.offset(), 80);
  slice.setSlice(slice, 4, 3);  // rebinds in place, relative to its own window
  slice.setSlice(slice, 1, 2);
  EXPECT_EQ(slice.str(), "fg");
  EXPECT_EQ(getBlockCount(whole), 2);
  slice.setSlice(ArrayPtr<char>("elsewhere"), 4, 4);  // another block: the old one is released
  EXPECT_EQ(getBlockCount(whole), 1);
  EXPECT_EQ(slice.str(), "wher");

  ArrayPtr<char> items[] = {"one", "two", "", "four"};
  ArrayPtr<ArrayPtr<char>> list;
  list = items;  // up to the first empty text, shared, then a null terminator
  ASSERT_EQ(list.length(), 2);
  EXPECT_TRUE(list[1].sharesBlockWith(items[1]) && list[2].isNull());
  list = static_cast<const ArrayPtr<char>*>(nullptr);
  EXPECT_TRUE(list.isNull());
  EXPECT_EQ(ArrayPtr<int>(3)[2], 0);
}

TEST(StringTest, NullEmptyEqualityAndTermination) {
  const ArrayPtr<char> null(static_cast<const char*>(nullptr)), empty("");
  EXPECT_TRUE(null.isNull() && null.toPtr() == nullptr && !empty.isNull() && null == empty);
  EXPECT_FALSE((null + null).isNull());
  EXPECT_EQ((ArrayPtr<char>("ab") + static_cast<const char*>(nullptr)).str() + (null + "cd").str(), "abcd");
  // Equality compares windows byte for byte, NULs included, wherever they lie.
  const ArrayPtr<char> block("abab\0abac", 0, 9);
  EXPECT_TRUE(block.slice(0, 2) == block.slice(2, 2));
  EXPECT_FALSE(block.slice(0, 3) == block.slice(2, 3));  // one block, other offsets: the bytes decide
  EXPECT_FALSE(block.slice(5, 4) == block.slice(0, 4));
  EXPECT_TRUE(block.slice(4, 3) == ArrayPtr<char>("\0ab", 0, 3));
  EXPECT_FALSE(block.slice(4, 3) == ArrayPtr<char>("\0ac", 0, 3));
  // A window that ends at the block's NUL is already a C string; another gets a private copy.
  ArrayPtr<char> head = block.slice(0, 2), tail = block.slice(5, 4);
  EXPECT_EQ(tail.toNullTerminatedPtr(), block.toPtr() + 5);
  EXPECT_STREQ(head.toNullTerminatedPtr(), "ab");
  EXPECT_FALSE(head.sharesBlockWith(block));
  EXPECT_EQ(getBlockCount(block), 2);
}

// Up to 4 characters 8 bits a byte, beyond that 4 bits at every (length / 8)-th byte; bytes sign-extended.
TEST(StringTest, HashFollowsItsSamplingRule) {
  // With 16 characters the step is 2: the odd positions never count.
  const std::pair<ArrayPtr<char>, std::uint32_t> cases[] = {
      // clang-format off
      {ArrayPtr<char>(), 0}, {"", 0}, {"abc", 0x616263 ^ 3}, {"abcd", 0x61626364 ^ 4}, {"\x80", 0xFFFFFF80u ^ 1},
      {"abcde", ((((0x61u << 4 ^ 0x62) << 4 ^ 0x63) << 4 ^ 0x64) << 4 ^ 0x65) ^ 5},
      {"aXbXcXdXeXfXgXhX", hash("aYbYcYdYeYfYgYhY")}, {ArrayPtr<char>("zabcz").slice(1, 3), 0x616263 ^ 3}};
  // clang-format on
  for (const auto& [input, expected] : cases) EXPECT_EQ(hash(input), expected) << input.str();
  EXPECT_NE(hash("aXbXcXdXeXfXgXhX"), hash("bXbXcXdXeXfXgXhX"));
}

bool isShort(const CstStr& s) { return s.internLen() < s.internBigStrLen(); }
bool isNode(const CstStr& s) { return !isShort(s) && s.internIdx() == -1; }

TEST(CstStrTest, ShortTextsLiveInTheValueLongOnesShareBlocks) {
  const CstStr seven("abcdefg"), eleven("abcdefghijk");
  const char* inside = reinterpret_cast<const char*>(&seven);
  EXPECT_TRUE(seven.toPtr() >= inside && seven.toPtr() + 8 <= inside + sizeof seven);  // no heap, with its NUL
  EXPECT_NE(seven.toStr().toPtr(), seven.toPtr());
  EXPECT_FALSE(CstStr().toStr().isNull());
  CstStr window;
  {
    const ArrayPtr<char> whole("0123456789abcdef");
    window = CstStr(ArrayPtr<char>(whole.slice(3, 10)));  // shared at its offset, and outlives the handle
    EXPECT_EQ(window.toPtr(), whole.toPtr() + 3);
    EXPECT_EQ(window.internIdx(), 3);
  }
  const ArrayPtr<char> handle = window;
  EXPECT_EQ(handle.toPtr(), window.toPtr());
  window = ArrayPtr<char>(handle.slice(1, 8));  // the same block: only the window moves
  EXPECT_EQ(window.toPtr(), handle.toPtr() + 1);
  // substr shares from 8 characters on and copies below; a window not followed by a NUL gets its own block.
  EXPECT_EQ(eleven.substr(1, 9).toPtr(), eleven.toPtr() + 1);
  EXPECT_TRUE(isShort(eleven.substr(4, 100)));
  EXPECT_EQ(eleven.substr(2).toNullTerminatedPtr(), eleven.toPtr() + 2);
  const CstStr middle = eleven.substr(1, 9);
  EXPECT_STREQ(middle.toNullTerminatedPtr(), "bcdefghij");
  EXPECT_NE(middle.toPtr(), eleven.toPtr() + 1);
  EXPECT_EQ(CstStr::cmp(eleven.substr(0, 8), eleven.substr(0, 10)), -2);  // same block and index: lengths only
  CstStr part = eleven.substr(0, 8);
  const CstStr other = eleven.substr(2, 9);
  part = other;  // the same block: only the window changes
  EXPECT_EQ(std::string(part.toPtr(), static_cast<std::size_t>(part.length())), "cdefghijk");
  EXPECT_TRUE(eleven == "abcdefghijk" && "abcdefghij" != eleven && CstStr("ab") < CstStr("abc"));
  EXPECT_NE(CstStr(16, 'a'), CstStr("aaaaaaaaaaaaaaaabbbbbbbb").substr(8, 16));  // what lies before a window is not it
  EXPECT_EQ(CstStr(-1, 'z').length() + CstStr(-5, "abc").length() + CstStr(3, nullptr).length(), 0);
  EXPECT_EQ(CstStr(static_cast<const char*>(nullptr)).length(), 0);
}

TEST(CstStrTest, ConcatenationsAreNodesUntilRead) {
  EXPECT_TRUE(isShort(CstStr::cat("abc", "defg")));
  const CstStr block("0123456789"), node = CstStr::cat("abcdefgh", "ijklmnop");
  EXPECT_EQ(CstStr::cat(block, "").toPtr(), block.toPtr());
  EXPECT_EQ(CstStr::cat("", block).toPtr(), block.toPtr());
  const CstStr copy = node;
  EXPECT_EQ(node.substr(4, 8).toPtr(), node.toPtr() + 4);                   // flattened once, then shared
  EXPECT_TRUE(isNode(copy));                                                // the other values stay on the node
  const CstStr halves = CstStr::cat(CstStr(4000, 'a'), CstStr(4000, 'b'));  // pieces that fill the write buffer
  std::ostringstream out;
  halves.write(out);
  EXPECT_EQ(out.str(), std::string(4000, 'a') + std::string(4000, 'b'));
}

// Counts reach 0 exactly when the last value lets go, whichever way it does.
TEST(CstStrTest, EveryWayOfLettingGoReleasesTheBlock) {
  const ArrayPtr<char> block("a long shared text");
  {
    CstStr a(block), b(block), c(block), d(block), e(block), f(block);
    CstStr moved(block);
    a = CstStr("short");
    b = "x";
    c = ArrayPtr<char>("y");
    d = std::move(moved);
    e += "tail";  // a node that holds the block
    f = CstStr::cat(f, e).substr(3, 20);
    EXPECT_EQ(getBlockCount(block), 3);  // the handle, d and e's node; f now has a copy of its own
    e = CstStr();
  }
  EXPECT_EQ(getBlockCount(block), 1);
}

// Nodes double a length without copying anything, so the limit is reached in 28 steps.
TEST(CstStrTest, LengthLimitErrorsNameTheFunction) {
  CstStr big("12345678");
  for (int i = 0; i < 27; ++i) big = CstStr::cat(big, big);
  CstStr grown = big;
  const auto error = [](auto build) -> std::string {
    try {
      build();
    } catch (const std::bad_array_new_length& e) {
      return e.what();
    }
    return "no exception";
  };
  EXPECT_EQ(error([&] { CstStr::cat(big, big); }), "zem_util::CstStr::cat: a text of more than 2147483647 characters");
  EXPECT_EQ(error([&] { grown += big; }), "zem_util::CstStr::operator+=: a text of more than 2147483647 characters");
  EXPECT_EQ(error([] { ArrayPtr<int>(-1); }), "zem_util::ArrayPtr::ArrayPtr: a negative number of elements");
  EXPECT_EQ(grown.length(), 1 << 30);  // left as it was
}

// Flattening, copying out, writing and releasing follow a chain as deep as its number of nodes: none of them may
// use the call stack for that.
TEST(CstStrTest, DeepChainsDoNotExhaustTheStack) {
  constexpr int kCount = 1000000;
  std::string expected(kCount, 'a');
  for (int i = 0; i < kCount; ++i) expected[static_cast<std::size_t>(i)] = static_cast<char>('a' + i % 26);
  CstStr appended, chain;
  for (int i = 0; i < kCount; ++i) {
    appended += expected[static_cast<std::size_t>(i)];  // held alone: in place
    const CstStr previous = chain;                      // shared at every step: a new node per few characters
    chain += expected[static_cast<std::size_t>(i)];
  }
  std::ostringstream written;
  chain.write(written);
  EXPECT_EQ(written.str(), expected);
  char piece[10];
  chain.copySubstrTo(kCount - 12, 10, piece);
  EXPECT_EQ(std::string(piece, 10), expected.substr(kCount - 12, 10));
  EXPECT_TRUE(isNode(chain));
  const CstStr copy = chain;
  EXPECT_EQ(std::string(chain.toPtr(), kCount), expected);
  EXPECT_EQ(std::string(appended.toPtr(), kCount), expected);
  CstStr prepended;  // a right-deep chain of long pieces
  for (int i = 0; i < kCount / 10; ++i) prepended = CstStr::cat("0123456789", prepended);
  EXPECT_EQ(prepended.lastIndexOf("90123"), kCount - 11);
}

// A thread whose first change is made under the reference-count mutex has no count slot yet; the change its
// thread-local makes as it ends, after the slot retired, must stay off the list that holders walk: the next
// thread reuses that storage, and takes the mutex.
TEST(HandlesTest, ChangesOfAnEndingThreadStayOffTheHoldersList) {
  const ArrayPtr<char> text("released as its thread ends");
  for (int i = 0; i < 2; ++i)
    std::thread([&] {
      thread_local ArrayPtr<char> last;  // built before the thread's count slot, so released after it retires
      MutexLock hold(getRefCountMutex());
      last = text;
    }).join();
  EXPECT_EQ(getBlockCount(text), 1);
}

// The standard's views, streams, comparisons and containers see the texts as their bytes order them.
TEST(StdInteropTest, ViewsStreamsComparisonsAndContainers) {
  using namespace std::string_view_literals;
  const ArrayPtr<char> line("key=a long value"), value = line.slice(4, 12);
  EXPECT_EQ(value.view().data(), line.toPtr() + 4);  // the window itself
  EXPECT_EQ(CstStr(value).view().data(), line.toPtr() + 4);
  EXPECT_EQ(value.str() + std::string(value.begin(), value.end()), "a long valuea long value");
  EXPECT_TRUE(ArrayPtr<char>(std::string_view()).isNull() && !ArrayPtr<char>(""sv).isNull());
  EXPECT_EQ(CstStr("a\0b-long-text"sv).view(), "a\0b-long-text"sv);
  const CstStr joined = CstStr::cat(CstStr("0123456789"), CstStr("abcdefghij"));
  EXPECT_EQ(joined.str(), "0123456789abcdefghij");
  EXPECT_TRUE(isNode(joined));  // str() copies a node out as it is; view() flattens it
  EXPECT_EQ(joined.view(), "0123456789abcdefghij");
  EXPECT_FALSE(isNode(joined));
  std::ostringstream out;
  out << std::setw(4) << ArrayPtr<char>("ab") << '|' << std::left << std::setw(4) << CstStr("cd") << '|'
      << ArrayPtr<char>() << joined;
  EXPECT_EQ(out.str(), "  ab|cd  |0123456789abcdefghij");

  // Every pair of kinds compares as the bytes order (signed), through the same six operators.
  const auto order = [](const auto& l, const auto& r) {
    return (l == r) + 2 * (l != r) + 4 * (l < r) + 8 * (l > r) + 16 * (l <= r) + 32 * (l >= r);
  };
  const std::tuple<const char*, const char*, int> rows[] = {
      // 49 equal, 22 less, 42 greater
      {"abc", "abc", 49}, {"abc", "abd", 22}, {"ab", "abc", 22}, {"\xE9", "A", 22}, {"", "", 49}, {"b", "a", 42}};
  for (const auto& [left, right, expected] : rows) {
    const ArrayPtr<char> a1(left), a2(right);
    const CstStr c1(left), c2(right);
    EXPECT_EQ(order(a1, a2) + order(a1, c2) + order(c1, a2) + order(a1, right), 4 * expected) << left;
    EXPECT_EQ(order(left, a2) + order(c1, c2) + order(c1, right) + order(left, c2), 4 * expected) << left;
  }
  EXPECT_TRUE(ArrayPtr<char>() == "" && ArrayPtr<char>() == CstStr());

  // One text in different blocks and windows is one key, hashed alike by every kind.
  std::unordered_map<ArrayPtr<char>, int> counts{{ArrayPtr<char>("..net.log").slice(2, 7), 1}};
  ++counts[ArrayPtr<char>("net.log")];
  EXPECT_EQ(counts.size() * 10 + counts.begin()->second, 12u);
  EXPECT_EQ(std::hash<CstStr>()(CstStr::cat(CstStr("net"), CstStr(".log"))), std::hash<std::string_view>()("net.log"));
  std::unordered_set<std::size_t> hashes;  // keys that differ only where the sampling hash does not look
  for (int i = 0; i < 100; ++i) hashes.insert(std::hash<ArrayPtr<char>>()(format("/var/log/app/file%04d.log", i)));
  EXPECT_EQ(hashes.size(), 100u);
  struct Job : Shared {};
  const Ptr<Job> job(new Job), copy = job, other(new Job);  // objects key by identity
  const std::set<Ptr<Job>> orderedJobs{job, copy, other, Ptr<Job>()};
  const std::unordered_set<Ptr<Job>> hashedJobs{job, copy, other};
  EXPECT_EQ(orderedJobs.size() * 10 + hashedJobs.size(), 32u);
  EXPECT_TRUE(orderedJobs.begin()->isNull());
}

// Locks and nodes go back to the heap: a thread keeps at most a thousand or so released nodes for its next
// concatenations, and gives them back when it ends.
TEST(MemoryTest, LocksAndNodesGoBackToTheHeap) {
  const long start = liveAllocations;
  for (int i = 0; i < 100; ++i) Mutex section(i % 2 ? MutexKind::kKernelMutex : MutexKind::kCriticalSection);
  EXPECT_EQ(liveAllocations - start, 0);
  long kept = -1, inPlace = 0;  // -1: not measured
  std::thread([&] {
    // A value held alone grows in place: its block, a node, a tail block with room for 32 more, then a node again,
    // whether the full tail meets a text or a character.
    const long before = liveAllocations;
    for (CstStr grown("0123456789"); grown.length() <= 51; grown.length() < 50 ? grown += "." : grown += '.') {
      if (grown.length() >= 50) inPlace = inPlace * 10 + liveAllocations - before;
    }
    for (CstStr prepended; prepended.length() < 40;) prepended = CstStr::cat("0123456789", prepended);  // right-deep
    CstStr chain;
    for (int i = 0; i < 20000; ++i) {
      const CstStr previous = chain;  // shared at every step: a new node per few characters
      chain += 'x';
    }
    if (liveAllocations - start < 2000) return;  // the library allocates elsewhere: nothing to watch here
    chain = CstStr();
    kept = liveAllocations - start;
  }).join();
  if (kept < 0) GTEST_SKIP() << "the library's allocations do not go through this program's operator new";
  EXPECT_LE(kept, 1100);
  EXPECT_EQ(inPlace, 34);
  EXPECT_EQ(liveAllocations - start, 0);
}

}  // namespace
}  // namespace zem_util

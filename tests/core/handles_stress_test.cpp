// Handles copied, assigned and released across four threads, each handle travelling between threads so that its
// last release may happen on any of them; counts that come out exact after millions of changes; and the
// reference-count mutex held by a caller, which freezes every count.
#include <gtest/gtest.h>
#include <zem_util/core.h>
#include <zem_util/cst_str.h>
#include <zem_util/system.h>

#include <array>
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "testing/test_access.h"

namespace zem_util {
namespace {

constexpr int kThreads = 4;

struct Counted : Shared {
  explicit Counted(std::atomic<int>* destroyed) : destroyed(destroyed) {}
  ~Counted() override { destroyed->fetch_add(1); }
  std::atomic<int>* destroyed;
};

// What a thread holds, and what it leaves in a mailbox for another one to take.
struct Bundle {
  Ptr<Counted> object;
  ArrayPtr<char> text;
  CstStr value;
  ArrayPtr<ArrayPtr<char>> list;
};

struct Mailbox {
  std::mutex mutex;
  Bundle bundle;
};

TEST(HandlesStressTest, HandlesTravellingBetweenThreadsAreReleasedExactlyOnce) {
  std::atomic<int> created{0}, destroyed{0};
  const std::string expected = "a text long enough to be shared, never copied";
  const ArrayPtr<char> text(expected.c_str());
  const Ptr<Counted> object(new Counted(&destroyed));
  ++created;
  // Read-only from here on, so every thread may copy them at once: blocks, not concatenations. The first
  // shares `text`'s block; the second was a concatenation, flattened here as the header says to.
  const CstStr value(text);
  const CstStr built = CstStr::cat(CstStr(expected.c_str()), CstStr("... and its tail"));
  const std::string builtText(built.toPtr(), static_cast<std::size_t>(built.length()));
  std::array<Mailbox, kThreads> mailboxes;

  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      Bundle mine{object, text, built, ArrayPtr<ArrayPtr<char>>(2)};
      for (int i = 0; i < 40000; ++i) {
        if (i % 50 == 0) {
          mine.object = new Counted(&destroyed);
          ++created;
        }
        Ptr<Counted> copy = mine.object;
        ArrayPtr<char> slice = text.slice(i % 10, 20);
        mine.list[i % 2] = slice;
        CstStr joined = CstStr::cat(value, CstStr(slice));  // a node sharing the shared value's block
        if (joined.length() != value.length() + 20) ADD_FAILURE() << "cat";
        mine.value = i % 3 == 0 ? value : i % 3 == 1 ? built : joined;
        mine.text = i % 2 == 0 ? slice : text;
        Mailbox& box = mailboxes[(t + i) % kThreads];
        std::lock_guard<std::mutex> guard(box.mutex);
        std::swap(box.bundle, mine);
        if (mine.list.isNull()) mine.list = ArrayPtr<ArrayPtr<char>>(2);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (Mailbox& box : mailboxes) box.bundle = Bundle();

  EXPECT_EQ(created - 1, destroyed.load());        // all but `object`, which this thread still holds
  EXPECT_EQ(test_access::getBlockCount(text), 2);  // `text` and `value`
  EXPECT_EQ(std::string(value.toPtr(), expected.size()), expected);
  EXPECT_EQ(std::string(built.toPtr(), builtText.size()), builtText);
}

// One of the four threads also takes the reference-count mutex now and then and changes a count while it holds
// it, so that the others find the lock held for long and go to sleep. Not one change may be lost.
TEST(HandlesStressTest, CountsComeOutExactAfterMillionsOfConcurrentCopies) {
  constexpr int kCopies = 250000;  // per thread, of each of three handles on two counts
  constexpr int kKeepEvery = 1000;
  const ArrayPtr<char> text("a block whose count every thread changes");
  const CstStr value(text);  // shares the block: its copies change the same count
  std::atomic<int> destroyed{0};
  const Ptr<Counted> object(new Counted(&destroyed));
  std::array<std::vector<ArrayPtr<char>>, kThreads> kept;
  std::atomic<int> started{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      ++started;
      while (started < kThreads) std::this_thread::yield();  // all at once, not one after the other
      for (int i = 1; i <= kCopies; ++i) {
        ArrayPtr<char> copy(text);
        const CstStr sharing(value);
        const Ptr<Counted> other(object);
        if (i % kKeepEvery == 0) kept[t].push_back(copy);
        if (t == 0 && i % 997 == 0) {
          MutexLock hold(getRefCountMutex());
          const ArrayPtr<char> inside(copy);
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(test_access::getBlockCount(text), 2 + kThreads * (kCopies / kKeepEvery));
  for (std::vector<ArrayPtr<char>>& k : kept) k.clear();
  EXPECT_EQ(test_access::getBlockCount(text), 2);
  EXPECT_EQ(destroyed.load(), 0);  // the object's count never touched 0 on the way
}

// While this thread holds the reference-count mutex, another thread trying to copy a handle gets nowhere, and
// this thread still changes counts itself; once it lets go, the copier finishes.
TEST(HandlesStressTest, HoldingTheRefCountMutexFreezesEveryCount) {
  const ArrayPtr<char> text("a block whose count the holder watches");
  std::atomic<bool> go{false};
  std::atomic<int> copies{0};
  std::thread copier([&] {
    while (!go) std::this_thread::yield();
    for (int i = 0; i < 1000; ++i) {
      const ArrayPtr<char> copy(text);
      ++copies;
    }
  });
  {
    MutexLock hold(getRefCountMutex());
    go = true;
    sleepMs(50);  // long past the copier's spinning: it sleeps, waiting for the lock
    EXPECT_EQ(copies.load(), 0);
    EXPECT_EQ(test_access::getBlockCount(text), 1);
    {
      const ArrayPtr<char> mine(text);
      EXPECT_EQ(test_access::getBlockCount(text), 2);
    }
    EXPECT_EQ(test_access::getBlockCount(text), 1);
  }
  copier.join();
  EXPECT_EQ(copies.load(), 1000);
  EXPECT_EQ(test_access::getBlockCount(text), 1);
}

}  // namespace
}  // namespace zem_util

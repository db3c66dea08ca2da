// Handles copied, assigned and released across four threads, each handle travelling between threads so that its
// last release may happen on any of them.
#include <gtest/gtest.h>
#include <zem_util/core.h>
#include <zem_util/cst_str.h>

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

}  // namespace
}  // namespace zem_util

// The platform layer's contract (src/os/os.h), written against os.h alone: it passes on either back end.
#include "os/os.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>
#include <vector>

namespace zem_util::os {
namespace {

constexpr unsigned kNoLimit = 0xFFFFFFFFu;

// Polls `done` for up to five seconds, so that a broken back end fails the test instead of hanging it.
template <typename Predicate>
bool eventually(Predicate done) {
  for (int i = 0; i < 500; ++i) {
    if (done()) return true;
    sleepMs(10);
  }
  return done();
}

TEST(CriticalSectionTest, ExcludesOtherThreadsUntilLeft) {
  CriticalSection* cs = newCriticalSection();
  enterCriticalSection(cs);
  bool otherGotIt = true;
  std::thread([&] { otherGotIt = tryEnterCriticalSection(cs); }).join();
  EXPECT_FALSE(otherGotIt);
  leaveCriticalSection(cs);
  std::thread([&] {
    otherGotIt = tryEnterCriticalSection(cs);
    if (otherGotIt) leaveCriticalSection(cs);
  }).join();
  EXPECT_TRUE(otherGotIt);
  deleteCriticalSection(cs);
}

TEST(CriticalSectionTest, BlockedEnterProceedsOnceLeft) {
  CriticalSection* cs = newCriticalSection();
  enterCriticalSection(cs);
  std::atomic<bool> entered{false};
  std::thread other([&] {
    enterCriticalSection(cs);
    entered = true;
    leaveCriticalSection(cs);
  });
  sleepMs(50);
  EXPECT_FALSE(entered);
  leaveCriticalSection(cs);
  other.join();
  EXPECT_TRUE(entered);
  deleteCriticalSection(cs);
}

TEST(KernelMutexTest, TimesOutWhileAnotherThreadHoldsIt) {
  unsigned error = 0;
  KernelMutex* mutex = newKernelMutex(&error);
  ASSERT_NE(mutex, nullptr) << "error " << error;
  // Taken twice by this thread: it must be released twice before another thread gets it.
  ASSERT_EQ(waitKernelMutex(mutex, kNoLimit, &error), WaitResult::Signalled);
  ASSERT_EQ(waitKernelMutex(mutex, 0, &error), WaitResult::Signalled);
  WaitResult other = WaitResult::Failed;
  auto tryFromOtherThread = [&](unsigned timeoutMs) {
    std::thread([&] {
      unsigned otherError = 0;
      other = waitKernelMutex(mutex, timeoutMs, &otherError);
      if (other == WaitResult::Signalled) releaseKernelMutex(mutex);
    }).join();
  };
  const unsigned start = getTickCountMs();
  tryFromOtherThread(100);
  EXPECT_EQ(other, WaitResult::Timeout);
  EXPECT_GE(getTickCountMs() - start, 80u);
  releaseKernelMutex(mutex);
  tryFromOtherThread(0);
  EXPECT_EQ(other, WaitResult::Timeout);
  releaseKernelMutex(mutex);
  tryFromOtherThread(0);
  EXPECT_EQ(other, WaitResult::Signalled);
  deleteKernelMutex(mutex);
}

TEST(KernelMutexTest, ReportsAbandonedWhenOwnerThreadEndedHoldingIt) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "ThreadSanitizer does not model a lock whose owner thread ended while holding it";
#endif
  unsigned error = 0;
  KernelMutex* mutex = newKernelMutex(&error);
  ASSERT_NE(mutex, nullptr) << "error " << error;
  std::thread([&] {
    unsigned ownerError = 0;
    EXPECT_EQ(waitKernelMutex(mutex, kNoLimit, &ownerError), WaitResult::Signalled);
  }).join();
  EXPECT_EQ(waitKernelMutex(mutex, 1000, &error), WaitResult::Abandoned);
  // Acquired all the same: held by this thread now, and free again after one release.
  releaseKernelMutex(mutex);
  WaitResult other = WaitResult::Failed;
  std::thread([&] {
    unsigned otherError = 0;
    other = waitKernelMutex(mutex, 0, &otherError);
    if (other != WaitResult::Timeout) releaseKernelMutex(mutex);
  }).join();
  EXPECT_EQ(other, WaitResult::Signalled);
  deleteKernelMutex(mutex);
}

// Waiters that block on one pulse event; each counts itself once its release callback ran.
class PulseEventTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unsigned error = 0;
    event_ = newPulseEvent(&error);
    ASSERT_NE(event_, nullptr) << "error " << error;
  }
  void TearDown() override {
    for (std::thread& waiter : waiters_) waiter.join();
    if (event_ != nullptr) deletePulseEvent(event_);
  }

  void startWaiters(int count, unsigned timeoutMs) {
    for (int i = 0; i < count; ++i) {
      waiters_.emplace_back([this, timeoutMs] {
        unsigned error = 0;
        WaitResult result = waitPulseEvent(
            event_, timeoutMs, [](void* self) { ++static_cast<PulseEventTest*>(self)->released_; }, this, &error);
        (result == WaitResult::Signalled ? signalled_ : timedOut_)++;
      });
    }
    ASSERT_TRUE(eventually([&] { return released_ == count; }));
    // The callback runs just before the wait: give the waiters time to block in it.
    sleepMs(100);
  }

  PulseEvent* event_ = nullptr;
  std::vector<std::thread> waiters_;
  std::atomic<int> released_{0};
  std::atomic<int> signalled_{0};
  std::atomic<int> timedOut_{0};
};

TEST_F(PulseEventTest, PulseOneReleasesExactlyOneWaiterAndPulseAllTheRest) {
  startWaiters(3, 5000);
  unsigned error = 0;
  ASSERT_TRUE(pulseOne(event_, &error)) << "error " << error;
  EXPECT_TRUE(eventually([&] { return signalled_ == 1; }));
  sleepMs(100);
  EXPECT_EQ(signalled_, 1);
  ASSERT_TRUE(pulseAll(event_, &error)) << "error " << error;
  EXPECT_TRUE(eventually([&] { return signalled_ == 3; }));
  EXPECT_EQ(timedOut_, 0);
}

TEST_F(PulseEventTest, PulseWithNobodyWaitingIsForgotten) {
  unsigned error = 0;
  ASSERT_TRUE(pulseOne(event_, &error));
  ASSERT_TRUE(pulseAll(event_, &error));
  const unsigned start = getTickCountMs();
  startWaiters(1, 150);
  EXPECT_TRUE(eventually([&] { return timedOut_ == 1; }));
  EXPECT_EQ(signalled_, 0);
  EXPECT_GE(getTickCountMs() - start, 130u);
}

TEST_F(PulseEventTest, CallsReleaseBeforeWaiting) {
  std::atomic<bool> released{false};
  unsigned error = 0;
  WaitResult result = waitPulseEvent(
      event_, 20, [](void* flag) { *static_cast<std::atomic<bool>*>(flag) = true; }, &released, &error);
  EXPECT_TRUE(released);
  EXPECT_EQ(result, WaitResult::Timeout);
}

TEST(ThreadTest, RunsEntryWithItsArgumentOnAnotherThread) {
  struct Probe {
    std::atomic<unsigned> threadId{0};
  } probe;
  unsigned error = 0;
  ASSERT_TRUE(
      startDetachedThread([](void* arg) { static_cast<Probe*>(arg)->threadId = getCurrentThreadId(); }, &probe, &error))
      << "error " << error;
  ASSERT_TRUE(eventually([&] { return probe.threadId != 0; }));
  EXPECT_NE(probe.threadId, getCurrentThreadId());
}

TEST(ClockTest, TickCountAdvancesWithSleep) {
  const unsigned start = getTickCountMs();
  sleepMs(100);
  const unsigned elapsed = getTickCountMs() - start;
  // Windows ticks in steps of 10 to 16 ms.
  EXPECT_GE(elapsed, 84u);
  EXPECT_LT(elapsed, 5000u);
}

TEST(ClockTest, IdentifiersAreStablePerThreadAndProcess) {
  EXPECT_NE(getCurrentProcessId(), 0u);
  EXPECT_EQ(getCurrentProcessId(), getCurrentProcessId());
  EXPECT_EQ(getCurrentThreadId(), getCurrentThreadId());
  unsigned otherThread = 0, otherProcess = 0;
  std::thread([&] {
    otherThread = getCurrentThreadId();
    otherProcess = getCurrentProcessId();
  }).join();
  EXPECT_NE(otherThread, getCurrentThreadId());
  EXPECT_EQ(otherProcess, getCurrentProcessId());
}

TEST(ClockTest, LocalTimeFieldsAreInRange) {
  const LocalTime t = getLocalTime();
  EXPECT_GE(t.year, 2020);
  EXPECT_GE(t.month, 1);
  EXPECT_LE(t.month, 12);
  EXPECT_GE(t.day, 1);
  EXPECT_LE(t.day, 31);
  EXPECT_LE(t.hour, 23);
  EXPECT_LE(t.minute, 59);
  EXPECT_LE(t.second, 60);
  EXPECT_LE(t.millisecond, 999);
  const auto systemNow = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  const std::tm* local = std::localtime(&systemNow);
  EXPECT_EQ(t.year, local->tm_year + 1900);
}

TEST(ErrorTextTest, KnownCodeHasTextUnknownCodeHasNone) {
  // Code 2 is "file not found" on both back ends (ERROR_FILE_NOT_FOUND, ENOENT).
  std::string text = "unchanged";
  ASSERT_TRUE(getSystemErrorText(2, &text));
  EXPECT_FALSE(text.empty());
  EXPECT_NE(text, "unchanged");
  std::string none = "unchanged";
  EXPECT_FALSE(getSystemErrorText(0xFFFFFFFFu, &none));
  EXPECT_EQ(none, "unchanged");
}

TEST(SeparatorTest, NativeSeparatorAndPathListSeparatorDiffer) {
  EXPECT_TRUE(kNativeSeparator == '/' || kNativeSeparator == '\\');
  EXPECT_TRUE(kPathListSeparator == ':' || kPathListSeparator == ';');
  // A platform that adds "\" splits PATH at ";" (drive letters contain ":").
  EXPECT_EQ(kNativeSeparator == '\\', kPathListSeparator == ';');
}

}  // namespace
}  // namespace zem_util::os

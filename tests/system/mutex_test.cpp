#include <gtest/gtest.h>
#include <zem_util/system.h>

#include <atomic>
#include <thread>

#include "support/holder.h"

namespace zem_util {
namespace {

class MutexKindTest : public testing::TestWithParam<bool> {};

TEST_P(MutexKindTest, RecursesAndChecksTheOwner) {
  Mutex mutex(GetParam());
  void* m = mutex.getHandle();
  EXPECT_FALSE(unlock(m));  // not held
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(lock(m, kInfinite));
  std::thread([m] { EXPECT_FALSE(unlock(m)); }).join();  // another thread cannot release it
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(unlock(m));
  EXPECT_FALSE(unlock(m));
  // Free again: another thread takes and releases it.
  std::thread([m] {
    EXPECT_TRUE(lock(m, 1000));
    EXPECT_TRUE(unlock(m));
  }).join();
}

INSTANTIATE_TEST_SUITE_P(BothKinds, MutexKindTest, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& info) {
                           return info.param ? "CriticalSection" : "KernelMutex";
                         });

TEST(MutexTest, KernelMutexTimesOutWhileCriticalSectionWaits) {
  Mutex kernel(false);
  Mutex section(true);
  std::atomic<bool> held{false};
  std::atomic<bool> release{false};
  std::thread holder([&] {
    lock(kernel.getHandle(), kInfinite);
    lock(section.getHandle(), kInfinite);
    held = true;
    while (!release) sleepMs(1);
    sleepMs(50);
    unlock(section.getHandle());
    unlock(kernel.getHandle());
  });
  while (!held) sleepMs(1);
  EXPECT_FALSE(lock(kernel.getHandle(), 0));   // try-lock
  EXPECT_FALSE(lock(kernel.getHandle(), 30));  // bounded wait
  release = true;
  // The timeout means nothing to a critical section: this waits for the holder, then succeeds.
  EXPECT_TRUE(lock(section.getHandle(), 0));
  EXPECT_TRUE(unlock(section.getHandle()));
  holder.join();
  EXPECT_TRUE(lock(kernel.getHandle(), 0));
  EXPECT_TRUE(unlock(kernel.getHandle()));
}

TEST(MutexTest, AbandonedKernelMutexIsAcquiredAtDepthOne) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "ThreadSanitizer does not model a lock whose owner thread ended while holding it";
#endif
  Mutex kernel(false);
  std::thread([&] {
    lock(kernel.getHandle(), kInfinite);
    lock(kernel.getHandle(), kInfinite);  // ends holding two levels
  }).join();
  ASSERT_TRUE(lock(kernel.getHandle(), 1000));
  EXPECT_TRUE(unlock(kernel.getHandle()));
  EXPECT_FALSE(unlock(kernel.getHandle()));  // the dead owner's levels are gone
  std::thread([&] {
    EXPECT_TRUE(lock(kernel.getHandle(), 1000));
    unlock(kernel.getHandle());
  }).join();
}

TEST(MutexTest, MutexLockReleasesOnEveryPath) {
  Mutex mutex(false);
  try {
    MutexLock guard(mutex);
    EXPECT_TRUE(guard.isLocked());
    throw 1;
  } catch (int) {
  }
  EXPECT_FALSE(unlock(mutex.getHandle()));

  test_support::Holder holder(mutex);
  MutexLock guard(mutex, 0);
  EXPECT_FALSE(guard.isLocked());  // and its destructor must not release the holder's lock
}

TEST(MutexTest, ProcessWideMutexesAreDistinctCriticalSections) {
  EXPECT_NE(&getGlobalMutex(), &getRefCountMutex());
  MutexLock guard(getRefCountMutex());
  EXPECT_TRUE(lock(getRefCountMutex().getHandle(), 0));  // recursive
  EXPECT_TRUE(unlock(getRefCountMutex().getHandle()));
}

TEST(ClockTest, TicksAdvanceAndIdentifiersAreStable) {
  const unsigned start = getTimeMs();
  sleepMs(20);
  const unsigned elapsed = getTimeMs() - start;
  EXPECT_GE(elapsed, 15u);
  EXPECT_LT(elapsed, 60000u);
  EXPECT_EQ(getCurrentThreadId(), getCurrentThreadId());
  EXPECT_NE(getCurrentThreadId(), 0u);
  unsigned other = 0;
  std::thread([&] { other = getCurrentThreadId(); }).join();
  EXPECT_NE(other, getCurrentThreadId());
  EXPECT_NE(getCurrentProcessId(), 0u);
  // Differences survive the 2^32 wrap when taken unsigned.
  const unsigned beforeWrap = 0xFFFFFFF0u;
  EXPECT_EQ(0x10u - beforeWrap, 0x20u);
}

}  // namespace
}  // namespace zem_util

#include <gtest/gtest.h>
#include <zem_util/system.h>

#include <atomic>
#include <thread>
#include <vector>

#include "support/holder.h"

namespace zem_util {
namespace {

// Each waiter holds the mutex at depth 2 while it waits and checks the depth on return.
struct Waiters {
  Mutex mutex{MutexKind::kKernelMutex};
  Event event;
  int waiting = 0;
  std::atomic<int> notified{0};
  std::atomic<int> timedOut{0};
  std::vector<std::thread> threads;

  void start(int count, unsigned timeout) {
    for (int i = 0; i < count; ++i) {
      // Held twice on purpose, which the lock analysis does not model.
      threads.emplace_back([this, timeout]() ZEM_UTIL_NO_THREAD_SAFETY_ANALYSIS {
        MutexLock outer(mutex);
        MutexLock inner(mutex);
        ++waiting;
        const bool result = event.wait(mutex, timeout);
        --waiting;
        (result ? notified : timedOut).fetch_add(1);
        EXPECT_TRUE(unlock(mutex.getHandle()));  // depth 2 again: two releases work,
        EXPECT_TRUE(unlock(mutex.getHandle()));
        EXPECT_FALSE(unlock(mutex.getHandle()));  // a third does not
        lock(mutex.getHandle(), kInfinite);       // give the guards back what they own
        lock(mutex.getHandle(), kInfinite);
      });
    }
  }
  void awaitWaiting(int count) {
    for (;;) {
      {
        MutexLock guard(mutex);
        if (waiting == count) break;
      }
      sleepMs(1);
    }
    sleepMs(100);  // a back end may register a waiter only after the mutex is released
  }
  void join() {
    for (auto& thread : threads) thread.join();
  }
};

TEST(EventTest, PulseReleasesOneThenAllOfThreeWaiters) {
  Waiters w;
  w.start(3, 20000);
  w.awaitWaiting(3);
  w.event.notify();
  for (int i = 0; i < 2000 && w.notified < 1; ++i) sleepMs(1);
  sleepMs(100);
  EXPECT_EQ(w.notified, 1);  // exactly one, the others keep waiting
  w.event.notifyAll();
  w.join();
  EXPECT_EQ(w.notified, 3);
  EXPECT_EQ(w.timedOut, 0);
}

TEST(EventTest, PulseWithoutWaitersIsForgotten) {
  Waiters w;
  w.event.notify();
  w.event.notifyAll();
  w.start(1, 50);
  w.join();
  EXPECT_EQ(w.notified, 0);
  EXPECT_EQ(w.timedOut, 1);
}

TEST(EventTest, WaitWithoutTheMutexThrowsWithoutWaiting) {
  Mutex mutex(MutexKind::kCriticalSection);
  Event event;
  const unsigned start = getTimeMs();
  try {
    waitForEvent(event.getHandle(), mutex.getHandle(), 5000);  // Event::wait, without the check that it is held
    FAIL() << "no exception";
  } catch (const Exception& e) {
    ArrayPtr<char> message = e.getMessage();
    EXPECT_STREQ(message.toNullTerminatedPtr(),
                 "Internal error : Erroneous use of Event::wait : the current thread does not own the mutex.");
    EXPECT_EQ(e.getRetCode(), 0);
  }
  EXPECT_LT(getTimeMs() - start, 4000u);
  // Held by another thread does not count as held.
  test_support::Holder holder(mutex);
  EXPECT_THROW(event.wait(mutex, 5000), Exception);
}

TEST(EventTest, ThreadRunsTheRunnableInPlace) {
  struct Body : Runnable {
    Mutex mutex;
    Event finished;
    bool ran = false;
    unsigned threadId = 0;
    void run() override {
      MutexLock guard(mutex);
      ran = true;
      threadId = getCurrentThreadId();
      finished.notifyAll();
    }
  } body;
  MutexLock guard(body.mutex);
  startThread(body);
  const unsigned start = getTimeMs();
  while (!body.ran && getTimeMs() - start < 10000) body.finished.wait(body.mutex, 100);
  EXPECT_TRUE(body.ran);
  EXPECT_NE(body.threadId, getCurrentThreadId());
  // Let the detached thread leave run() before `body` goes out of scope.
  lock(body.mutex.getHandle(), kInfinite);
  unlock(body.mutex.getHandle());
  sleepMs(20);
}

}  // namespace
}  // namespace zem_util

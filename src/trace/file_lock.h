// The lock of a trace file: recursive, held by one thread for a record or for a whole block.
//
//   FileLock lock;
//   lock.lock();        // a record: a few hundred nanoseconds
//   lock.lock();        // a nested begin on the same thread only counts
//   lock.unlock();
//   lock.unlock();      // free again
//
// A record holds the lock for a copy into the file's buffer, so a thread that finds it taken spins a little
// longer than that region takes, then yields the processor a few times (with more threads than processors the
// holder is often just preempted, and on the same processor), and only then sleeps. Sleeping and being woken
// cost more than a hundred records; a lock that let record writers sleep after a short spin (a plain adaptive
// mutex) turned every preemption of a holder into a convoy of sleeps and wake-ups. A block may hold the lock
// for as long as its caller likes, which is what the sleep is for.
#pragma once

#include <atomic>
#include <cstdint>

#include "os/sync.h"
#include "os/threads.h"
#include "zem_util/annotations.h"

namespace zem_util::detail {

class ZEM_UTIL_CAPABILITY("mutex") FileLock {
 public:
  FileLock() = default;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  void lock() ZEM_UTIL_ACQUIRE() {
    const unsigned self = os::getCurrentThreadId();
    if (owner_.load(std::memory_order_relaxed) != self) {
      std::uint32_t free = kFree;
      if (!word_.compare_exchange_strong(free, kHeld, std::memory_order_acquire, std::memory_order_relaxed)) wait();
      owner_.store(self, std::memory_order_relaxed);
    }
    ++depth_;
  }

  // REQUIRES: held by the calling thread (see isHeldByCaller).
  void unlock() ZEM_UTIL_RELEASE() {
    if (--depth_ > 0) return;
    owner_.store(0, std::memory_order_relaxed);
    if (word_.exchange(kFree, std::memory_order_release) == kSleepers) os::wakeOneWaiter(word_);
  }

  // Only the holder can get the answer yes, so relaxed order is enough.
  bool isHeldByCaller() const { return owner_.load(std::memory_order_relaxed) == os::getCurrentThreadId(); }

 private:
  static constexpr std::uint32_t kFree = 0;
  static constexpr std::uint32_t kHeld = 1;
  static constexpr std::uint32_t kSleepers = 2;  // held, and a thread may be asleep waiting for it

  void wait();

  std::atomic<std::uint32_t> word_{kFree};
  std::atomic<unsigned> owner_{0};  // thread identifier of the holder, 0 when free; written only by the holder
  std::int32_t depth_ = 0;          // the holder's recursion depth
};

// Holds a FileLock for a scope.
class ZEM_UTIL_SCOPED_CAPABILITY FileLockGuard {
 public:
  explicit FileLockGuard(FileLock& lock) ZEM_UTIL_ACQUIRE(lock) : lock_(lock) { lock_.lock(); }
  ~FileLockGuard() ZEM_UTIL_RELEASE() { lock_.unlock(); }
  FileLockGuard(const FileLockGuard&) = delete;
  FileLockGuard& operator=(const FileLockGuard&) = delete;

 private:
  FileLock& lock_;
};

}  // namespace zem_util::detail

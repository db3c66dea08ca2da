// The recursive, owner-checked lock behind every critical-section mutex, and the lock of reference counts.
#pragma once

#include <atomic>
#include <cstdint>

#include "os/sync.h"
#include "os/threads.h"
#include "zem_util/core.h"

namespace zem_util::detail {

// The word of the reference-count mutex (count_lock.cpp). Entering spins briefly, then sleeps until it is free.
// Holding the word alone keeps out other holders and slow count changes; `holdCounts` and `tryHoldCounts` also
// wait out the quick changes under way, so that every count stays frozen until `leaveCountLock`.
void enterCountLock() noexcept;
bool tryEnterCountLock() noexcept;
void leaveCountLock() noexcept;
void holdCounts() noexcept;
bool tryHoldCounts() noexcept;

// A thread enters the underlying lock once, at depth 1; deeper levels only count. Only the owner may unlock.
//
// The underlying lock is a critical section of the platform, or, for the one object `countLock()` returns, the
// reference-count mutex. Count changes never record who they are: owner and depth belong only to threads that
// hold it through `lock()`, which is why a count change that finds it held asks `isHeldByCaller()` before it
// waits.
class RecursiveLock {
 public:
  RecursiveLock() : section_(os::newCriticalSection()) {}
  struct OverCountLock {};
  explicit RecursiveLock(OverCountLock) : section_(nullptr) {}
  ~RecursiveLock() {
    if (section_) os::deleteCriticalSection(section_);
  }
  RecursiveLock(const RecursiveLock&) = delete;
  RecursiveLock& operator=(const RecursiveLock&) = delete;

  void lock() {
    const unsigned self = os::getCurrentThreadId();
    if (owner_.load(std::memory_order_relaxed) != self) {
      enter();
      owner_.store(self, std::memory_order_relaxed);
    }
    ++depth_;
  }

  // `lock` without waiting: false, changing nothing, when another thread holds the lock.
  bool tryLock() {
    const unsigned self = os::getCurrentThreadId();
    if (owner_.load(std::memory_order_relaxed) != self) {
      if (!tryEnter()) return false;
      owner_.store(self, std::memory_order_relaxed);
    }
    ++depth_;
    return true;
  }

  // False, changing nothing, when the calling thread does not hold the lock.
  bool unlock() {
    if (!isHeldByCaller()) return false;
    if (--depth_ == 0) {
      owner_.store(0, std::memory_order_relaxed);
      leave();
    }
    return true;
  }

  // The owner is set whenever the depth is above 0, so this alone tells; only the holder itself can get the
  // answer yes, so relaxed order is enough.
  bool isHeldByCaller() const { return owner_.load(std::memory_order_relaxed) == os::getCurrentThreadId(); }

 private:
  void enter() {
    if (section_) {
      os::enterCriticalSection(section_);
    } else {
      holdCounts();
    }
  }
  bool tryEnter() { return section_ ? os::tryEnterCriticalSection(section_) : tryHoldCounts(); }
  void leave() {
    if (section_) {
      os::leaveCriticalSection(section_);
    } else {
      leaveCountLock();
    }
  }

  os::CriticalSection* section_;  // null for the reference-count lock
  std::int32_t depth_ = 0;        // the owner's recursion depth; 0 when free
  // Thread identifier of the holder, 0 when free. Written only by the holder.
  std::atomic<unsigned> owner_{0};
};

// The lock of every reference count, as a recursive lock for `getRefCountMutex()`: the innermost lock of the
// library. Never destroyed.
RecursiveLock& countLock();

}  // namespace zem_util::detail

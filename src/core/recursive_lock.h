// The recursive, owner-checked lock behind every critical-section mutex, and the lock of reference counts.
#pragma once

#include <atomic>
#include <cstdint>

#include "os/sync.h"
#include "os/threads.h"

namespace zem_util::detail {

// A thread enters the system lock once, at depth 1; deeper levels only count. Only the owner may unlock.
class RecursiveLock {
 public:
  RecursiveLock() : section_(os::newCriticalSection()) {}
  ~RecursiveLock() { os::deleteCriticalSection(section_); }
  RecursiveLock(const RecursiveLock&) = delete;
  RecursiveLock& operator=(const RecursiveLock&) = delete;

  void lock() {
    const unsigned self = os::getCurrentThreadId();
    if (owner_.load(std::memory_order_relaxed) != self) {
      os::enterCriticalSection(section_);
      owner_.store(self, std::memory_order_relaxed);
    }
    ++depth_;
  }

  // `lock` without waiting: false, changing nothing, when another thread holds the lock.
  bool tryLock() {
    const unsigned self = os::getCurrentThreadId();
    if (owner_.load(std::memory_order_relaxed) != self) {
      if (!os::tryEnterCriticalSection(section_)) return false;
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
      os::leaveCriticalSection(section_);
    }
    return true;
  }

  // The owner is set whenever the depth is above 0, so this alone tells; only the holder itself can get the
  // answer yes, so relaxed order is enough.
  bool isHeldByCaller() const { return owner_.load(std::memory_order_relaxed) == os::getCurrentThreadId(); }

  // Runs `change` under the lock. Uncontended, the system lock is simply taken and released: the recursion
  // bookkeeping is needed only when the caller already holds the lock (the try then fails and the recursive path
  // takes over), and no other thread can mistake itself for the owner in between because the owner is untouched.
  template <class Change>
  auto withLock(Change change) {
    if (os::tryEnterCriticalSection(section_)) {
      auto result = change();
      os::leaveCriticalSection(section_);
      return result;
    }
    lock();
    auto result = change();
    unlock();
    return result;
  }

 private:
  os::CriticalSection* section_;
  std::int32_t depth_ = 0;  // the owner's recursion depth; 0 when free
  // Thread identifier of the holder, 0 when free. Written only by the holder.
  std::atomic<unsigned> owner_{0};
};

// The lock of every reference count: the innermost lock of the library. Never destroyed.
RecursiveLock& countLock();

}  // namespace zem_util::detail

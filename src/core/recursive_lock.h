// The recursive, owner-checked lock behind every critical-section mutex, the lock of reference counts and the
// lock of a trace file.
#pragma once

#include <atomic>
#include <cstdint>

#include "os/sync.h"
#include "os/threads.h"
#include "zem_util/annotations.h"
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
// The underlying lock is one of three:
// - a critical section of the platform (the default);
// - the reference-count mutex, for the one object `countLock()` returns. Count changes never record who they
//   are: owner and depth belong only to threads that hold it through `lock()`, which is why a count change that
//   finds it held asks `isHeldByCaller()` before it waits;
// - a word of its own (`Spinning`), for a lock held a few hundred nanoseconds at a time by more threads than
//   there are processors, as a trace file's lock is for a record. A thread that finds it taken spins a little
//   longer than such a hold lasts, then yields its processor a few times (the holder has often just been
//   preempted, on the same processor), and only then sleeps. Sleeping and being woken cost more than a hundred
//   records, and a lock that let its waiters sleep after a short spin turned every preemption of a holder into
//   a convoy of sleeps and wake-ups. The sleep is still there for holders that take their time (a trace block).
class ZEM_UTIL_CAPABILITY("mutex") RecursiveLock {
 public:
  RecursiveLock() : section_(os::newCriticalSection()) {}
  struct OverCountLock {};
  explicit RecursiveLock(OverCountLock) : kind_(Kind::kCounts) {}
  struct Spinning {};
  explicit RecursiveLock(Spinning) : kind_(Kind::kSpinning) {}
  ~RecursiveLock() {
    if (section_) os::deleteCriticalSection(section_);
  }
  RecursiveLock(const RecursiveLock&) = delete;
  RecursiveLock& operator=(const RecursiveLock&) = delete;

  void lock() ZEM_UTIL_ACQUIRE() {
    const unsigned self = os::getCurrentThreadId();
    if (owner_.load(std::memory_order_relaxed) != self) {
      enter();
      owner_.store(self, std::memory_order_relaxed);
    }
    ++depth_;
  }

  // `lock` without waiting: false, changing nothing, when another thread holds the lock.
  bool tryLock() ZEM_UTIL_TRY_ACQUIRE(true) {
    const unsigned self = os::getCurrentThreadId();
    if (owner_.load(std::memory_order_relaxed) != self) {
      if (!tryEnter()) return false;
      owner_.store(self, std::memory_order_relaxed);
    }
    ++depth_;
    return true;
  }

  // False, changing nothing, when the calling thread does not hold the lock.
  bool unlock() ZEM_UTIL_RELEASE() {
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
  enum class Kind : std::uint8_t { kSection, kCounts, kSpinning };
  // The states of a spinning lock's word.
  static constexpr std::uint32_t kFree = 0;
  static constexpr std::uint32_t kHeld = 1;
  static constexpr std::uint32_t kSleepers = 2;  // held, and a thread may be asleep waiting for it

  bool tryTakeWord() {
    std::uint32_t free = kFree;
    return word_.compare_exchange_strong(free, kHeld, std::memory_order_acquire, std::memory_order_relaxed);
  }
  void waitForWord();  // recursive_lock.cpp

  void enter() {
    if (kind_ == Kind::kSection) return os::enterCriticalSection(section_);
    if (kind_ == Kind::kCounts) return holdCounts();
    if (!tryTakeWord()) waitForWord();
  }
  bool tryEnter() {
    if (kind_ == Kind::kSection) return os::tryEnterCriticalSection(section_);
    return kind_ == Kind::kCounts ? tryHoldCounts() : tryTakeWord();
  }
  void leave() {
    if (kind_ == Kind::kSection) return os::leaveCriticalSection(section_);
    if (kind_ == Kind::kCounts) return leaveCountLock();
    if (word_.exchange(kFree, std::memory_order_release) == kSleepers) os::wakeOneWaiter(word_);
  }

  os::CriticalSection* section_ = nullptr;  // for kSection only
  Kind kind_ = Kind::kSection;
  std::atomic<std::uint32_t> word_{kFree};  // for kSpinning only
  std::int32_t depth_ = 0;                  // the owner's recursion depth; 0 when free
  // Thread identifier of the holder, 0 when free. Written only by the holder.
  std::atomic<unsigned> owner_{0};
};

// Holds a RecursiveLock for a scope.
class ZEM_UTIL_SCOPED_CAPABILITY RecursiveLockGuard {
 public:
  explicit RecursiveLockGuard(RecursiveLock& lock) ZEM_UTIL_ACQUIRE(lock) : lock_(lock) { lock_.lock(); }
  ~RecursiveLockGuard() ZEM_UTIL_RELEASE() { lock_.unlock(); }
  RecursiveLockGuard(const RecursiveLockGuard&) = delete;
  RecursiveLockGuard& operator=(const RecursiveLockGuard&) = delete;

 private:
  RecursiveLock& lock_;
};

// The lock of every reference count, as a recursive lock for `getRefCountMutex()`: the innermost lock of the
// library. Never destroyed.
RecursiveLock& countLock();

}  // namespace zem_util::detail

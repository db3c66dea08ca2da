// The reference-count lock: the one lock under which every count of the library changes.
//
// Its state is a word, `countLockState.held` (0 free, 1 held), and beside it the number of threads that
// announced they are going to sleep. A count change takes it inline (zem_util/core.h): one compare-and-swap to
// enter, the change, a release store to leave, then a plain look at the sleepers. A thread that holds it through
// `getRefCountMutex()` goes through `RecursiveLock`, which keeps owner and depth on top for that thread alone.
// A thread that finds it busy spins briefly, then sleeps in the platform's word wait, so that a holder preempted
// inside its one-instruction region costs the others a sleep, not a time slice of spinning.
//
// Mutual exclusion rests on the compare-and-swap alone. The rest is about never sleeping through the moment the
// lock comes free. The leave is a store followed by a load of another word, and processors answer such a load
// before the store is seen by others, so with nothing more a wake-up could be lost:
//
//   leaving thread L                   sleeping thread S
//   held = 0        (not yet seen)
//                                       sleepers += 1
//   reads sleepers: 0, wakes nobody     reads held: 1, sleeps
//
// A full barrier in every leave would close this, at the price of a second atomic instruction per change.
// Instead the sleeper pays: between announcing itself and the wait's look at the word, it issues a process-wide
// barrier (os::issueProcessBarrier) that makes every running thread execute a full barrier at some point B
// during the call. Take any leave of any thread L, a store then a load in program order:
//   - B after L's store: the store is visible before the call returns, so S's wait sees it (or a later value);
//   - B before L's store: L's load comes after B, when S's announcement (an atomic increment made before the
//     call) is visible, so L sees a sleeper and wakes one.
// The wait compares and sleeps in one step with respect to wakes (a futex, WaitOnAddress). So S sleeps only on
// a 1 whose holder's leave S could not see yet, and by the above that leave sees S announced and wakes a
// sleeper; every leave wakes one while any remain announced, so the sleepers are woken one by one.
//
// Where the barrier is not delivered (a kernel without membarrier, a sandbox that forbids it, Wine, which stubs
// it) a wake-up can be lost. Every sleep is therefore bounded: a lost wake-up costs one short wait, never a hang,
// and the lock stays exclusive either way.
#include "core/no_destructor.h"
#include "core/recursive_lock.h"
#include "os/sync.h"
#include "zem_util/core.h"

namespace zem_util::detail {

CountLockState countLockState;

namespace {

// A holder keeps the lock for one increment or decrement, so a waiter spins about as long as a few such
// regions with cache misses take (a few microseconds) before it concludes that the holder was preempted.
constexpr int kSpins = 200;
// The longest sleep: what a lost wake-up can cost where the process barrier is not delivered.
constexpr unsigned kRecheckMs = 1;

inline void spinPause() {
#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
  __builtin_ia32_pause();
#endif
}

}  // namespace

void enterCountLock() noexcept {
  for (;;) {
    for (int spin = 0; spin < kSpins; ++spin) {
      if (countLockState.held.load(std::memory_order_relaxed) == 0 && tryEnterCountLock()) return;
      spinPause();
    }
    countLockState.sleepers.fetch_add(1, std::memory_order_seq_cst);
    os::issueProcessBarrier();
    os::waitWhileEqual(countLockState.held, 1, kRecheckMs);
    countLockState.sleepers.fetch_sub(1, std::memory_order_relaxed);
  }
}

std::int32_t changeCountContended(std::int32_t& count, std::int32_t delta) noexcept {
  // Held through getRefCountMutex() by this very thread: the counts are frozen for everybody else already.
  if (countLock().isHeldByCaller()) return count += delta;
  enterCountLock();
  const std::int32_t changed = count += delta;
  leaveCountLock();
  return changed;
}

void wakeCountLockSleeper() noexcept { os::wakeOneWaiter(countLockState.held); }

RecursiveLock& countLock() {
  static NoDestructor<RecursiveLock> lock{RecursiveLock::OverCountLock{}};
  return *lock;
}

}  // namespace zem_util::detail

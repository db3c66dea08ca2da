// The reference-count lock: the one lock under which every count of the library changes.
//
// Its state is a word, `countLockState.held` (0 free, 1 held), and beside it the number of threads asleep
// waiting for it. A count change takes it inline (zem_util/core.h): one compare-and-swap to enter, the change,
// a release store to leave, then a plain look at the sleepers. A thread that holds it through
// `getRefCountMutex()` goes through `RecursiveLock`, which keeps owner and depth on top for that thread alone.
// A thread that finds it busy spins briefly, then sleeps, so that a holder preempted inside its one-instruction
// region costs the others a sleep, not a time slice of spinning.
//
// Sleepers queue in arrival order, each on a word of its own, and announce themselves in `sleepers`, which
// always equals the length of the queue. A leaving thread that sees sleepers takes the first one off the queue
// and wakes it: one wake-up per sleeper, and once it is handed out the others stop seeing that sleeper.
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
// Instead the sleeper pays: between announcing itself and its last look at `held`, it issues a process-wide
// barrier (os::issueProcessBarrier) that makes every running thread execute a full barrier at some point B
// during the call. Take any leave of any thread L, a store then a load in program order:
//   - B after L's store: the store is visible before the call returns, so S's look sees it (or a later value);
//   - B before L's store: L's load comes after B, when S's announcement (an atomic increment made before the
//     call) is visible, so L sees a sleeper and wakes one.
// So S sleeps only on a 1 whose holder will see a sleeper when it leaves. That holder wakes the first sleeper,
// perhaps not S; but every thread woken tries the lock again and either takes it, and then sees S when it
// leaves in turn, or finds it held by a thread that will. The queue is first come, first woken, so S's turn
// comes. A sleeper's own word is set before it is woken, so a wake-up that comes between S's look and its
// sleep is not lost either.
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

// A thread asleep until a leaving thread hands it a wake-up; on the sleeping thread's stack.
struct Sleeper {
  std::atomic<std::uint32_t> woken{0};
  Sleeper* next = nullptr;
};

// The sleepers in arrival order, under a lock of the platform that only sleeping and waking threads take.
class SleepQueue {
 public:
  // Queues `sleeper` and announces it.
  void add(Sleeper* sleeper) {
    os::enterCriticalSection(lock_);
    (last_ ? last_->next : first_) = sleeper;
    last_ = sleeper;
    countLockState.sleepers.fetch_add(1, std::memory_order_seq_cst);
    os::leaveCriticalSection(lock_);
  }

  // Takes `sleeper` off the queue unless a waker did; a waker is done with it once this returns.
  void withdraw(Sleeper* sleeper) {
    os::enterCriticalSection(lock_);
    Sleeper* previous = nullptr;
    for (Sleeper* s = first_; s; previous = s, s = s->next) {
      if (s != sleeper) continue;
      (previous ? previous->next : first_) = s->next;
      if (last_ == s) last_ = previous;
      countLockState.sleepers.fetch_sub(1, std::memory_order_relaxed);
      break;
    }
    os::leaveCriticalSection(lock_);
  }

  void wakeFirst() {
    os::enterCriticalSection(lock_);
    if (Sleeper* s = first_) {
      first_ = s->next;
      if (!first_) last_ = nullptr;
      countLockState.sleepers.fetch_sub(1, std::memory_order_relaxed);
      s->woken.store(1, std::memory_order_release);
      os::wakeOneWaiter(s->woken);
    }
    os::leaveCriticalSection(lock_);
  }

 private:
  os::CriticalSection* lock_ = os::newCriticalSection();
  Sleeper* first_ = nullptr;
  Sleeper* last_ = nullptr;
};

SleepQueue& sleepQueue() {
  static NoDestructor<SleepQueue> queue;
  return *queue;
}

}  // namespace

void enterCountLock() noexcept {
  for (;;) {
    for (int spin = 0; spin < kSpins; ++spin) {
      if (countLockState.held.load(std::memory_order_relaxed) == 0 && tryEnterCountLock()) return;
      spinPause();
    }
    Sleeper me;
    sleepQueue().add(&me);
    os::issueProcessBarrier();
    if (countLockState.held.load(std::memory_order_relaxed) != 0) os::waitWhileEqual(me.woken, 0, kRecheckMs);
    sleepQueue().withdraw(&me);
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

void wakeCountLockSleeper() noexcept { sleepQueue().wakeFirst(); }

RecursiveLock& countLock() {
  static NoDestructor<RecursiveLock> lock{RecursiveLock::OverCountLock{}};
  return *lock;
}

}  // namespace zem_util::detail

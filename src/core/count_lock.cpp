// The reference-count mutex: the one lock under which every count of the library changes.
//
// Two kinds of thread use it. A thread that takes it through `getRefCountMutex()` (a holder) owns its word,
// `countLockState.held`, and so freezes every count. A thread that only changes a count (zem_util/core.h) does
// not write the word at all: it marks itself busy in a slot of its own, looks at the word, and if nobody holds
// the mutex changes the count with one atomic instruction before it clears its mark. That is as cheap as a
// count can be, and two threads copying handles meet only on the counts they share.
//
// Why a holder sees every count frozen. A holder sets the word, then issues a process-wide barrier
// (os::issueProcessBarrier: every running thread executes a full barrier at some point B during the call), then
// waits until no known slot is busy. Take any quick change of a thread T: a store to its mark, then a load of
// the word, in program order (only the compiler is stopped between them: no barrier is paid per change).
//   - B before T's store: T's load comes after B, when the holder's word is visible, so T sees it held and
//     takes the slow way, which waits for the holder to leave.
//   - B after T's store: the mark is visible when the call returns, so the holder waits until T is done, and the
//     release store that clears the mark publishes T's change before the holder reads any count.
// A thread that was not running during the call passes a barrier when it is switched back in, the first case.
// So once the wait is over, no quick change is under way and none can start until the holder leaves.
//
// A thread changes counts the quick way only once its slot is on the list that holders walk. It joins on its
// first change, under the word, and leaves the list when it ends (a thread-local guard), from then on taking
// the word for every change. Where the barrier is not delivered (a kernel without membarrier, a sandbox that
// forbids it) no thread joins, and every change takes the word: slower, still exact.
//
// The word itself is a compare-and-swap lock: holders and slow changes enter it with one compare-and-swap and
// leave it with a release store. A thread that finds it busy spins briefly, then sleeps, so that a holder
// preempted inside costs the others a sleep, not a time slice of spinning.
//
// Sleepers queue in arrival order, each on a word of its own, and announce themselves in `sleepers`, which
// always equals the length of the queue. A leaving thread that sees sleepers takes the first one off the queue
// and wakes it: one wake-up per sleeper, and once it is handed out the others stop seeing that sleeper.
//
// Mutual exclusion rests on the compare-and-swap alone. The rest is about never sleeping through the moment the
// word comes free. The leave is a store followed by a load of another word, and processors answer such a load
// before the store is seen by others, so with nothing more a wake-up could be lost:
//
//   leaving thread L                   sleeping thread S
//   held = 0        (not yet seen)
//                                       sleepers += 1
//   reads sleepers: 0, wakes nobody     reads held: 1, sleeps
//
// The process barrier closes this too: between announcing itself and its last look at `held`, S issues one.
//   - B after L's store: the store is visible before the call returns, so S's look sees it (or a later value);
//   - B before L's store: L's load comes after B, when S's announcement (an atomic increment made before the
//     call) is visible, so L sees a sleeper and wakes one.
// So S sleeps only on a 1 whose holder will see a sleeper when it leaves. That holder wakes the first sleeper,
// perhaps not S; but every thread woken tries the word again and either takes it, and then sees S when it
// leaves in turn, or finds it held by a thread that will. The queue is first come, first woken, so S's turn
// comes. A sleeper's own word is set before it is woken, so a wake-up that comes between S's look and its
// sleep is not lost either. Where the barrier is not delivered a wake-up can be lost, so every sleep is
// bounded: a lost wake-up costs one short wait, never a hang.
#include "core/no_destructor.h"
#include "core/recursive_lock.h"
#include "os/sync.h"
#include "os/threads.h"
#include "zem_util/core.h"

namespace zem_util::detail {

CountLockState countLockState;

namespace {

// The word is mostly held for one increment or decrement (a slow change), so a waiter spins about as long as a
// few such regions with cache misses take (a few microseconds) before it concludes that the holder was preempted.
constexpr int kSpins = 200;
// The longest sleep: what a lost wake-up can cost where the process barrier is not delivered.
constexpr unsigned kRecheckMs = 1;

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

#if ZEM_UTIL_INLINE_COUNT_CHANGE
// The slots of the threads that change counts the quick way, linked through each thread's guard. Changed and
// walked only under the word.
struct SlotLink {
  CountSlot* slot = nullptr;  // the thread's own, whose address only that thread can compute; null until linked
  SlotLink* next = nullptr;
  SlotLink* previous = nullptr;
  ~SlotLink();
};
SlotLink* firstSlot = nullptr;
thread_local SlotLink slotLink;
// Set once the thread's guard is gone: its last changes (made by later thread-exit code) take the word.
__thread bool slotRetired = false;

void linkSlot(SlotLink& link) {
  link.slot = &countSlot;
  link.next = firstSlot;
  if (firstSlot) firstSlot->previous = &link;
  firstSlot = &link;
  countSlot.quick.store(1, std::memory_order_relaxed);
}

SlotLink::~SlotLink() {
  countSlot.quick.store(0, std::memory_order_relaxed);
  slotRetired = true;
  if (!slot) return;
  const bool holding = countLock().isHeldByCaller();
  if (!holding) enterCountLock();
  (previous ? previous->next : firstSlot) = next;
  if (next) next->previous = previous;
  if (!holding) leaveCountLock();
}

// A holder keeps the word while it waits; a thread busy with a change is a few instructions from done unless it
// was preempted, so the wait spins briefly and then gives the processor away.
void waitOutQuickChanges() noexcept {
  if (!firstSlot) return;
  os::issueProcessBarrier();
  for (SlotLink* link = firstSlot; link; link = link->next) {
    const std::atomic<std::uint32_t>& busy = link->slot->busy;
    for (int spin = 0; busy.load(std::memory_order_acquire) != 0; ++spin) {
      if (spin < kSpins) {
        os::pauseProcessor();
      } else {
        os::sleepMs(1);
      }
    }
  }
}
#else
void waitOutQuickChanges() noexcept {}
#endif

}  // namespace

#if ZEM_UTIL_INLINE_COUNT_CHANGE
__thread CountSlot countSlot;
#endif

bool tryEnterCountLock() noexcept {
  std::uint32_t free = 0;
  return countLockState.held.compare_exchange_strong(free, 1, std::memory_order_acquire, std::memory_order_relaxed);
}

// The store that frees the word, then the look for sleepers: in that order in the instruction stream (the
// fence only stops the compiler), which is all the argument above asks of a leaving thread.
void leaveCountLock() noexcept {
  countLockState.held.store(0, std::memory_order_release);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  if (countLockState.sleepers.load(std::memory_order_relaxed) != 0) sleepQueue().wakeFirst();
}

void enterCountLock() noexcept {
  for (;;) {
    for (int spin = 0; spin < kSpins; ++spin) {
      if (countLockState.held.load(std::memory_order_relaxed) == 0 && tryEnterCountLock()) return;
      os::pauseProcessor();
    }
    Sleeper me;
    sleepQueue().add(&me);
    os::issueProcessBarrier();
    if (countLockState.held.load(std::memory_order_relaxed) != 0) os::waitWhileEqual(me.woken, 0, kRecheckMs);
    sleepQueue().withdraw(&me);
  }
}

void holdCounts() noexcept {
  enterCountLock();
  waitOutQuickChanges();
}

bool tryHoldCounts() noexcept {
  if (!tryEnterCountLock()) return false;
  waitOutQuickChanges();
  return true;
}

std::int32_t changeCountSlowly(std::atomic<std::int32_t>& count, std::int32_t delta) noexcept {
#if ZEM_UTIL_INLINE_COUNT_CHANGE
  // A thread joins the quick way on its first change, where the barrier works. Its guard is built before the
  // word is taken: a thread-local object may allocate its exit record.
  const bool join = countSlot.quick.load(std::memory_order_relaxed) == 0 && !slotRetired && os::hasProcessBarrier();
  SlotLink* joining = join ? &slotLink : nullptr;
#endif
  if (!tryEnterCountLock()) {
    // Held through getRefCountMutex() by this very thread: the counts are frozen for everybody else already.
    if (countLock().isHeldByCaller()) return count.fetch_add(delta, std::memory_order_acq_rel) + delta;
    enterCountLock();
  }
  const std::int32_t changed = count.fetch_add(delta, std::memory_order_acq_rel) + delta;
#if ZEM_UTIL_INLINE_COUNT_CHANGE
  if (joining && !joining->slot) linkSlot(*joining);
#endif
  leaveCountLock();
  return changed;
}

RecursiveLock& countLock() {
  static NoDestructor<RecursiveLock> lock{RecursiveLock::OverCountLock{}};
  return *lock;
}

}  // namespace zem_util::detail

// POSIX back end of sync.h: pthread mutexes, pulse events over one condition variable per waiter, and the
// Linux futex and membarrier calls beneath the library's own count lock.
//
// A pulse must release exactly the threads waiting at that instant and be forgotten otherwise, which a
// condition variable alone cannot express (it wakes spuriously and cannot count). So every waiter queues a
// node of its own; a pulse marks and unlinks nodes under the event's mutex, and a waiter reports a
// notification only when its node was marked.
#include <linux/futex.h>
#include <linux/membarrier.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <new>

#include "os/sync.h"

namespace zem_util::os {

namespace {
// Now on `clock` plus `ms` milliseconds.
timespec deadlineAfter(clockid_t clock, unsigned ms) {
  timespec t{};
  clock_gettime(clock, &t);
  t.tv_sec += static_cast<time_t>(ms / 1000);
  t.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
  if (t.tv_nsec >= 1000000000L) {
    t.tv_sec += 1;
    t.tv_nsec -= 1000000000L;
  }
  return t;
}
}  // namespace

struct CriticalSection {
  // Recursion is counted above this layer. Adaptive: a thread that finds it taken spins briefly before it
  // sleeps, as a Windows critical section does, since most holders (a trace file's record) leave within that
  // time; sleeping and waking at once cost two threads writing one trace file half their throughput.
#if defined(PTHREAD_ADAPTIVE_MUTEX_INITIALIZER_NP)
  pthread_mutex_t mutex = PTHREAD_ADAPTIVE_MUTEX_INITIALIZER_NP;
#else
  pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
#endif
};

CriticalSection* newCriticalSection() { return new CriticalSection; }
void enterCriticalSection(CriticalSection* section) { pthread_mutex_lock(&section->mutex); }
bool tryEnterCriticalSection(CriticalSection* section) { return pthread_mutex_trylock(&section->mutex) == 0; }
void leaveCriticalSection(CriticalSection* section) { pthread_mutex_unlock(&section->mutex); }
void deleteCriticalSection(CriticalSection* section) {
  pthread_mutex_destroy(&section->mutex);
  delete section;
}

// Robust so that a thread ending while it holds the lock leaves it "abandoned" rather than locked forever.
struct KernelMutex {
  pthread_mutex_t mutex;
};

KernelMutex* newKernelMutex(unsigned* error) {
  pthread_mutexattr_t attributes;
  int result = pthread_mutexattr_init(&attributes);
  if (result == 0) {
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
    auto* kernel = new (std::nothrow) KernelMutex;
    result = kernel ? pthread_mutex_init(&kernel->mutex, &attributes) : ENOMEM;
    pthread_mutexattr_destroy(&attributes);
    if (result == 0) return kernel;
    delete kernel;
  }
  *error = static_cast<unsigned>(result);
  return nullptr;
}

WaitResult waitKernelMutex(KernelMutex* kernel, unsigned timeoutMs, unsigned* error) {
  int result;
  if (timeoutMs == 0xFFFFFFFF) {
    result = pthread_mutex_lock(&kernel->mutex);
  } else if (timeoutMs == 0) {
    result = pthread_mutex_trylock(&kernel->mutex);
    if (result == EBUSY) return WaitResult::Timeout;
  } else {
    // pthread_mutex_timedlock measures against CLOCK_REALTIME; a clock step shifts the deadline, which is
    // the best this call offers portably.
    const timespec deadline = deadlineAfter(CLOCK_REALTIME, timeoutMs);
    result = pthread_mutex_timedlock(&kernel->mutex, &deadline);
  }
  switch (result) {
    case 0:
      return WaitResult::Signalled;
    case EOWNERDEAD:
      pthread_mutex_consistent(&kernel->mutex);
      return WaitResult::Abandoned;
    case ETIMEDOUT:
      return WaitResult::Timeout;
    default:
      *error = static_cast<unsigned>(result);
      return WaitResult::Failed;
  }
}

void releaseKernelMutex(KernelMutex* kernel) { pthread_mutex_unlock(&kernel->mutex); }

void deleteKernelMutex(KernelMutex* kernel) {
  pthread_mutex_destroy(&kernel->mutex);
  delete kernel;
}

// ---- pulse events ----------------------------------------------------------------------------------------

namespace {
struct Waiter {
  pthread_cond_t wakeUp;
  Waiter* next = nullptr;
  bool released = false;
};
}  // namespace

struct PulseEvent {
  pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
  Waiter* first = nullptr;  // waiters in arrival order
  Waiter* last = nullptr;

  void append(Waiter* waiter) {
    (last ? last->next : first) = waiter;
    last = waiter;
  }
  void remove(Waiter* waiter) {
    Waiter* previous = nullptr;
    for (Waiter* w = first; w; previous = w, w = w->next) {
      if (w != waiter) continue;
      (previous ? previous->next : first) = w->next;
      if (last == w) last = previous;
      return;
    }
  }
  void releaseFirst() {
    Waiter* waiter = first;
    first = waiter->next;
    if (!first) last = nullptr;
    waiter->released = true;
    pthread_cond_signal(&waiter->wakeUp);
  }
};

PulseEvent* newPulseEvent(unsigned* error) {
  auto* event = new (std::nothrow) PulseEvent;
  if (!event) *error = ENOMEM;
  return event;
}

bool pulseOne(PulseEvent* event, unsigned*) {
  pthread_mutex_lock(&event->mutex);
  if (event->first) event->releaseFirst();
  pthread_mutex_unlock(&event->mutex);
  return true;
}

bool pulseAll(PulseEvent* event, unsigned*) {
  pthread_mutex_lock(&event->mutex);
  while (event->first) event->releaseFirst();
  pthread_mutex_unlock(&event->mutex);
  return true;
}

WaitResult waitPulseEvent(PulseEvent* event, unsigned timeoutMs, void (*release)(void*), void* arg, unsigned* error) {
  Waiter waiter;
  pthread_condattr_t attributes;
  pthread_condattr_init(&attributes);
  pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
  const int created = pthread_cond_init(&waiter.wakeUp, &attributes);
  pthread_condattr_destroy(&attributes);
  if (created != 0) {
    release(arg);
    *error = static_cast<unsigned>(created);
    return WaitResult::Failed;
  }
  const timespec deadline = deadlineAfter(CLOCK_MONOTONIC, timeoutMs);

  pthread_mutex_lock(&event->mutex);
  // Registered before the caller's lock is let go: a pulse sent as soon as that lock is free finds us.
  event->append(&waiter);
  release(arg);
  while (!waiter.released) {
    const int result = timeoutMs == 0xFFFFFFFF ? pthread_cond_wait(&waiter.wakeUp, &event->mutex)
                       : timeoutMs == 0        ? ETIMEDOUT
                                               : pthread_cond_timedwait(&waiter.wakeUp, &event->mutex, &deadline);
    if (result == ETIMEDOUT && !waiter.released) {
      event->remove(&waiter);
      break;
    }
  }
  pthread_mutex_unlock(&event->mutex);
  pthread_cond_destroy(&waiter.wakeUp);
  return waiter.released ? WaitResult::Signalled : WaitResult::Timeout;
}

void deletePulseEvent(PulseEvent* event) {
  pthread_mutex_destroy(&event->mutex);
  delete event;
}

// ---- word waits and the process barrier ---------------------------------------------------------------------

static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t), "a futex is a plain 32-bit word");

void waitWhileEqual(const std::atomic<std::uint32_t>& word, std::uint32_t value, unsigned timeoutMs) {
  const timespec timeout{static_cast<time_t>(timeoutMs / 1000), static_cast<long>(timeoutMs % 1000) * 1000000L};
  // EAGAIN (the word had changed), EINTR and ETIMEDOUT all mean the same to the caller: look again.
  syscall(SYS_futex, &word, FUTEX_WAIT_PRIVATE, value, &timeout, nullptr, 0);
}

void wakeOneWaiter(const std::atomic<std::uint32_t>& word) {
  syscall(SYS_futex, &word, FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

bool hasProcessBarrier() {
  // The process registers its intent once; a kernel or sandbox that refuses leaves the barrier undone.
  static const bool registered = syscall(SYS_membarrier, MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED, 0, 0) == 0;
  return registered;
}

void issueProcessBarrier() {
  if (hasProcessBarrier()) syscall(SYS_membarrier, MEMBARRIER_CMD_PRIVATE_EXPEDITED, 0, 0);
}

}  // namespace zem_util::os

// POSIX back end: pulse events over a mutex and one condition variable per waiter.
//
// A pulse must release exactly the threads waiting at that instant and be forgotten otherwise, which a
// condition variable alone cannot express (it wakes spuriously and cannot count). So every waiter queues a
// node of its own; a pulse marks and unlinks nodes under the event's mutex, and a waiter reports a
// notification only when its node was marked.
#include <pthread.h>

#include <cerrno>
#include <new>

#include "os/os.h"
#include "os/posix/time_util.h"

namespace zem_util::os {

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

}  // namespace zem_util::os

// Events with pulse semantics and the condition-variable protocol of waitForEvent.
#include "system/mutex_record.h"
#include "zem_util/system.h"

namespace zem_util {

namespace {
os::PulseEvent* eventOf(void* handle) { return static_cast<os::PulseEvent*>(handle); }

struct Release {
  void* mutex;
  int depth = 0;
};

// Lets go of every level the caller holds; runs once the waiter is registered.
void releaseAll(void* arg) {
  auto* release = static_cast<Release*>(arg);
  while (unlock(release->mutex)) ++release->depth;
}
}  // namespace

void* newEvent() {
  unsigned error = 0;
  os::PulseEvent* event = os::newPulseEvent(&error);
  if (!event)
    throw Exception(getSystemErrorMsg("Internal error : Cannot create a new event object.", "CreateEvent", error));
  return event;
}

void notifyEvent(void* event) {
  unsigned error = 0;
  if (!os::pulseOne(eventOf(event), &error))
    throw Exception(getSystemErrorMsg("Internal error. Can't trigger an event", "PulseEvent", error));
}

void notifyEventToAll(void* event) {
  unsigned error = 0;
  if (!os::pulseAll(eventOf(event), &error))
    throw Exception(getSystemErrorMsg("Internal error. Can't trigger an event", "PulseEvent", error));
}

bool waitForEvent(void* event, void* mutex, unsigned int timeout) {
  if (!MutexRecord::of(mutex)->isHeldByCaller())
    throw Exception(
        ArrayPtr<char>("Internal error : Erroneous use of Event::wait : the current thread does not own the mutex."));
  Release release{mutex};
  unsigned error = 0;
  const os::WaitResult result = os::waitPulseEvent(eventOf(event), timeout, releaseAll, &release, &error);
  // The depth is restored on every path, a failed wait included, so the caller's MutexLock stays balanced.
  for (int i = 0; i < release.depth; ++i) lock(mutex, kInfinite);
  if (result == os::WaitResult::Failed)
    throw Exception(getSystemErrorMsg("Internal error. Can't wait for an event", "WaitForMultipleObject", error));
  return result == os::WaitResult::Signalled || result == os::WaitResult::Abandoned;
}

void deleteEvent(void* event) { os::deletePulseEvent(eventOf(event)); }

}  // namespace zem_util

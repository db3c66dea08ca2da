// Periodic calls from one background thread.
//
//   class Poller : public zem_util::AlarmListener {
//    public:
//     unsigned int alarm() override {
//       if (!poll()) return zem_util::kRemoveAlarm;  // done: the manager lets go of this listener
//       return zem_util::kKeepInterval;  // called again one interval after this call returns
//     }
//   };
//
//   zem_util::Ptr<zem_util::AlarmListener> poller(new Poller);
//   zem_util::getAlarmMgr()->addAlarm(200, poller);     // first call in about 200 ms
//   ...
//   zem_util::getAlarmMgr()->removeAlarm(200, poller);  // or let `alarm` return kRemoveAlarm
//
// A manager calls its listeners one at a time on a thread of its own, which it starts with the first
// registration and which ends by itself after about five idle seconds; the next registration starts a new
// one. Listeners run with no lock of the manager held, so they may add and remove alarms themselves.
// Alarms due within half the minimum interval (250 ms by default) of each other are delivered in the same
// wake-up, so an alarm may come up to that much early; it never comes before it was due by more.
//
// Times follow `getTimeMs` across its 32-bit wrap. Intervals above 2^31 - 1 ms (about 24.8 days) are
// scheduled as 2^31 - 1 ms.
#pragma once

#include <memory>

#include "zem_util/core.h"
#include "zem_util/export.h"
#include "zem_util/system.h"

namespace zem_util {

// Results of `AlarmListener::alarm`; any other result is the new interval in ms.
constexpr unsigned int kKeepInterval = 0;          // the same interval again
constexpr unsigned int kRemoveAlarm = 0xFFFFFFFF;  // end this registration

// Which registration `AlarmMgr::removeAlarm` removes, besides an interval; and its "none" result.
constexpr unsigned int kDueFirst = 0;
constexpr unsigned int kDueLast = 0xFFFFFFFF;
constexpr unsigned int kAlarmNotFound = 0xFFFFFFFF;

// A party to be called by an `AlarmMgr`. Create it with `new` and hand it to a `Ptr` at once: the manager
// keeps its own reference for each registration.
class ZEM_UTIL_EXPORT AlarmListener : public Shared {
 public:
  AlarmListener() = default;
  AlarmListener(const AlarmListener&) = default;
  AlarmListener& operator=(const AlarmListener&) = default;
  ~AlarmListener() override;

  // Called on the alarm thread when the registration is due. Returns kKeepInterval, kRemoveAlarm, or the new
  // interval in ms. The default returns kRemoveAlarm: such a listener is called once. Whatever it throws is
  // swallowed and counts as kKeepInterval.
  virtual unsigned int alarm();
};

// Calls registered listeners when their intervals have passed, from one background thread.
//
// Thread-safe: any thread may add and remove alarms, including listeners from inside `alarm`. Not copyable
// (a manager owns its thread and its lock).
class ZEM_UTIL_EXPORT AlarmMgr : public Runnable {
 public:
  // No registrations, minimum interval 250 ms, no thread yet. Throws `Exception` when the system cannot
  // create the lock or the event.
  AlarmMgr();
  // Waits until the alarm thread has left (a listener being called is allowed to return), then releases
  // every registration. Must not run on the alarm thread itself, that is, inside one of its own listeners.
  ~AlarmMgr() override;
  AlarmMgr(const AlarmMgr&) = delete;
  AlarmMgr& operator=(const AlarmMgr&) = delete;

  // Registers `listener` to be called `interval` ms from now, and then as its results say. The same listener
  // may be registered any number of times, each registration on its own. A null listener is ignored.
  // Starts the alarm thread when none runs; throws `Exception` when it cannot be created (the registration
  // stays, and the next `addAlarm` tries again).
  void addAlarm(unsigned int interval, const Ptr<AlarmListener>& listener);

  // Removes one registration of `listener` (the same object) and returns the ms that were left until it was
  // due (0 when overdue), or kAlarmNotFound. `interval` picks which: kDueFirst the one due first, kDueLast
  // the one due last, any other value one registered with (or last given by `alarm`) that interval. A
  // registration in the cycle being sent right now is not found; a listener ends its own by returning
  // kRemoveAlarm.
  unsigned int removeAlarm(unsigned int interval, const Ptr<AlarmListener>& listener);

  // Alarms due within half of it are delivered together. Takes effect at the thread's next wake-up.
  unsigned int getMinimumInterval() const;
  void setMinimumInterval(unsigned int interval);

  // The body of the alarm thread; started by `addAlarm`, never to be called directly.
  void run() override;

 private:
  struct Impl;  // the registrations, the lock and the thread's steps (src/alarm)
  const std::unique_ptr<Impl> impl_;
};

// The process-wide manager, created on the first call (thread-safe) and never destroyed.
ZEM_UTIL_EXPORT AlarmMgr* getAlarmMgr();

}  // namespace zem_util

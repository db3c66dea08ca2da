// The alarm manager: two lists of registrations, one thread that waits for the earliest and sends the due.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <utility>

#include "zem_util/alarm.h"

namespace zem_util {

namespace {
constexpr unsigned int kIdleWaitMs = 5000;  // how long an idle thread waits for work
constexpr unsigned int kIdleEndMs = 2500;   // an idle wait that lasted this long ends the thread
constexpr unsigned int kLeavePollMs = 20;   // the destructor re-checks (and re-wakes the thread) this often
// Every due time stays less than 2^31 ms away from the clock, where `msUntil` is exact.
constexpr unsigned int kMaxInterval = 0x7FFFFFFF;

// Milliseconds from `now` until `time`, negative once it has passed; exact across the 2^32 wrap of the
// clock as long as the two are less than 2^31 ms apart: msUntil(0x00000010, 0xFFFFFFF0) is 32.
std::int32_t msUntil(unsigned int time, unsigned int now) { return static_cast<std::int32_t>(time - now); }

unsigned int dueAfter(unsigned int now, unsigned int interval) { return now + std::min(interval, kMaxInterval); }

// One registration; owned by its manager.
struct AlarmEntry {
  Ptr<AlarmListener> listener;  // the manager's own reference
  unsigned int interval;
  unsigned int dueTime;
  AlarmEntry* next;
};
}  // namespace

struct AlarmMgr::Impl {
  explicit Impl(Runnable& body) : body(body) {}

  void addAlarm(unsigned int interval, const Ptr<AlarmListener>& listener);
  unsigned int removeAlarm(unsigned int interval, const Ptr<AlarmListener>& listener);
  void run();
  void close();

  // The thread's steps.
  bool waitForSomething();
  unsigned int getWaitingTime(unsigned int now) const ZEM_UTIL_REQUIRES(mutex);
  void makeToSendList(unsigned int now) ZEM_UTIL_REQUIRES(mutex);
  void sendAlarms();
  void resetAlarmsToSend(unsigned int now) ZEM_UTIL_REQUIRES(mutex);
  void lowerNextTime(unsigned int dueTime, unsigned int now) ZEM_UTIL_REQUIRES(mutex);
  void leaveRun(bool failed);

  Runnable& body;  // what the alarm thread runs: the manager itself
  std::atomic<unsigned int> minimumInterval{250};
  Mutex mutex{MutexKind::kCriticalSection};
  bool running ZEM_UTIL_GUARDED_BY(mutex) = false;  // a thread is in the loop and has not decided to end
  bool closing ZEM_UTIL_GUARDED_BY(mutex) = false;  // the destructor has begun: no new thread, the current one ends
  int threadsInRun ZEM_UTIL_GUARDED_BY(mutex) = 0;  // threads started and not yet out of `run`
  // nextTime is the earliest due time known among waiting alarms, when hasNextTime.
  bool hasNextTime ZEM_UTIL_GUARDED_BY(mutex) = false;
  unsigned int nextTime ZEM_UTIL_GUARDED_BY(mutex) = 0;
  AlarmEntry* waitingList ZEM_UTIL_GUARDED_BY(mutex) = nullptr;  // registrations not being sent, newest first
  // The current cycle's: moved in and out under the mutex, sent by the alarm thread without it.
  AlarmEntry* toSendList = nullptr;
  Event event;  // wakes the alarm thread, and the destructor when the thread leaves
};

AlarmListener::~AlarmListener() = default;
unsigned int AlarmListener::alarm() { return kRemoveAlarm; }

AlarmMgr::AlarmMgr() : impl_(new Impl(*this)) {}

AlarmMgr::~AlarmMgr() { impl_->close(); }

void AlarmMgr::addAlarm(unsigned int interval, const Ptr<AlarmListener>& listener) {
  impl_->addAlarm(interval, listener);
}

unsigned int AlarmMgr::removeAlarm(unsigned int interval, const Ptr<AlarmListener>& listener) {
  return impl_->removeAlarm(interval, listener);
}

unsigned int AlarmMgr::getMinimumInterval() const { return impl_->minimumInterval.load(std::memory_order_relaxed); }

void AlarmMgr::setMinimumInterval(unsigned int interval) {
  impl_->minimumInterval.store(interval, std::memory_order_relaxed);
}

void AlarmMgr::run() { impl_->run(); }

void AlarmMgr::Impl::close() {
  MutexLock guard(mutex);
  closing = true;
  // The thread owns the list it is sending and may be inside a listener: wait until it has left `run`.
  // Each round wakes it again, because a wake-up sent while it was not yet waiting is lost.
  while (threadsInRun > 0) {
    event.notifyAll();
    event.wait(mutex, kLeavePollMs);
  }
  // Listeners deleted here may still call removeAlarm or addAlarm, which is why the lists are taken over
  // before anything is deleted, and why this repeats until both stay empty.
  while (waitingList || toSendList) {
    for (AlarmEntry* entry : {std::exchange(waitingList, nullptr), std::exchange(toSendList, nullptr)}) {
      while (entry) delete std::exchange(entry, entry->next);
    }
  }
}

void AlarmMgr::Impl::addAlarm(unsigned int interval, const Ptr<AlarmListener>& listener) {
  if (!listener) return;
  const unsigned int now = getTimeMs();
  auto* entry = new AlarmEntry{listener, interval, dueAfter(now, interval), nullptr};
  MutexLock guard(mutex);
  entry->next = waitingList;
  waitingList = entry;
  lowerNextTime(entry->dueTime, now);
  if (running) {
    event.notify();  // the thread recomputes its wait
  } else if (!closing) {
    startThread(body);
    running = true;
    ++threadsInRun;  // the new thread cannot get far: it needs the lock we hold
  }
}

unsigned int AlarmMgr::Impl::removeAlarm(unsigned int interval, const Ptr<AlarmListener>& listener) {
  MutexLock guard(mutex);
  const unsigned int now = getTimeMs();
  AlarmEntry** chosen = nullptr;
  for (AlarmEntry** link = &waitingList; *link; link = &(*link)->next) {
    const AlarmEntry* entry = *link;
    if (entry->listener != listener) continue;
    if (interval == kDueFirst || interval == kDueLast) {
      // Ties keep the first found.
      const std::int32_t left = msUntil(entry->dueTime, now);
      if (!chosen ||
          (interval == kDueFirst ? left < msUntil((*chosen)->dueTime, now) : left > msUntil((*chosen)->dueTime, now)))
        chosen = link;
    } else if (entry->interval == interval) {
      chosen = link;
      break;
    }
  }
  if (!chosen) return kAlarmNotFound;
  AlarmEntry* entry = *chosen;
  *chosen = entry->next;
  const std::int32_t left = msUntil(entry->dueTime, now);
  // nextTime may now be early; the thread then wakes, finds nothing due and waits again.
  delete entry;
  return left > 0 ? static_cast<unsigned int>(left) : 0;
}

void AlarmMgr::Impl::run() {
  bool failed = false;
  try {
    while (waitForSomething()) sendAlarms();
  } catch (...) {
    failed = true;  // only the event wait can throw; the next addAlarm starts a new thread
  }
  leaveRun(failed);
}

// The thread's last touch of the manager: once the lock is released here the destructor may proceed.
void AlarmMgr::Impl::leaveRun(bool failed) {
  MutexLock guard(mutex);
  if (failed) running = false;
  --threadsInRun;
  try {
    event.notifyAll();  // a waiting destructor; it polls as well, so a failed pulse only delays it
  } catch (...) {
  }
}

bool AlarmMgr::Impl::waitForSomething() {
  MutexLock guard(mutex);
  const unsigned int start = getTimeMs();
  resetAlarmsToSend(start);
  const unsigned int wait = getWaitingTime(start);
  unsigned int end = start;
  if (wait != 0) {
    event.wait(mutex, wait);  // woken or not, the lists say what to do
    end = getTimeMs();
  }
  makeToSendList(end);
  running = running && !closing && (waitingList || toSendList || end - start < kIdleEndMs);
  return running;
}

unsigned int AlarmMgr::Impl::getWaitingTime(unsigned int now) const {
  if (!hasNextTime) return kIdleWaitMs;
  const std::int32_t left = msUntil(nextTime, now);
  return left > 0 ? static_cast<unsigned int>(left) : 0;
}

void AlarmMgr::Impl::lowerNextTime(unsigned int dueTime, unsigned int now) {
  if (!hasNextTime || msUntil(dueTime, now) < msUntil(nextTime, now)) nextTime = dueTime;
  hasNextTime = true;
}

// Moves every entry due before now + minimumInterval / 2 to the head of toSendList (so in reverse order)
// and sets nextTime to the earliest of those left.
void AlarmMgr::Impl::makeToSendList(unsigned int now) {
  hasNextTime = false;
  const auto early = static_cast<std::int32_t>(minimumInterval.load(std::memory_order_relaxed) / 2);
  for (AlarmEntry** link = &waitingList; *link;) {
    AlarmEntry* entry = *link;
    if (msUntil(entry->dueTime, now) < early) {
      *link = entry->next;
      entry->next = toSendList;
      toSendList = entry;
    } else {
      lowerNextTime(entry->dueTime, now);
      link = &entry->next;
    }
  }
}

// Without the lock: listeners may call back into the manager. Each next due time counts from the end of
// its own call, so a slow listener delays those after it.
void AlarmMgr::Impl::sendAlarms() {
  for (AlarmEntry** link = &toSendList; *link;) {
    AlarmEntry* entry = *link;
    unsigned int result = kKeepInterval;
    try {
      result = entry->listener->alarm();
    } catch (...) {
      result = kKeepInterval;
    }
    if (result == kRemoveAlarm) {
      *link = entry->next;
      delete entry;  // may delete the listener
      continue;
    }
    if (result != kKeepInterval) entry->interval = result;
    entry->dueTime = dueAfter(getTimeMs(), entry->interval);
    link = &entry->next;
  }
}

void AlarmMgr::Impl::resetAlarmsToSend(unsigned int now) {
  while (AlarmEntry* entry = toSendList) {
    toSendList = entry->next;
    entry->next = waitingList;
    waitingList = entry;
    lowerNextTime(entry->dueTime, now);
  }
}

AlarmMgr* getAlarmMgr() {
  static AlarmMgr* const manager = new AlarmMgr;  // never destroyed: its thread may outlive any scope
  return manager;
}

}  // namespace zem_util

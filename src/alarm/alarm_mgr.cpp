// The alarm manager: two lists of registrations, one thread that waits for the earliest and sends the due.
#include <algorithm>
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
}  // namespace

struct AlarmMgr::AlarmEntry {
  Ptr<AlarmListener> listener;  // the manager's own reference
  unsigned int interval;
  unsigned int dueTime;
  AlarmEntry* next;
};

AlarmListener::~AlarmListener() = default;
unsigned int AlarmListener::alarm() { return kRemoveAlarm; }

AlarmMgr::AlarmMgr() = default;

AlarmMgr::~AlarmMgr() {
  MutexLock guard(mutex_);
  closing_ = true;
  // The thread owns the list it is sending and may be inside a listener: wait until it has left `run`.
  // Each round wakes it again, because a wake-up sent while it was not yet waiting is lost.
  while (threadsInRun_ > 0) {
    event_.notifyAll();
    event_.wait(mutex_, kLeavePollMs);
  }
  // Listeners deleted here may still call removeAlarm or addAlarm, which is why the lists are taken over
  // before anything is deleted, and why this repeats until both stay empty.
  while (waitingList_ || toSendList_) {
    for (AlarmEntry* entry : {std::exchange(waitingList_, nullptr), std::exchange(toSendList_, nullptr)}) {
      while (entry) delete std::exchange(entry, entry->next);
    }
  }
}

void AlarmMgr::addAlarm(unsigned int interval, const Ptr<AlarmListener>& listener) {
  if (!listener) return;
  const unsigned int now = getTimeMs();
  auto* entry = new AlarmEntry{listener, interval, dueAfter(now, interval), nullptr};
  MutexLock guard(mutex_);
  entry->next = waitingList_;
  waitingList_ = entry;
  lowerNextTime(entry->dueTime, now);
  if (running_) {
    event_.notify();  // the thread recomputes its wait
  } else if (!closing_) {
    startThread(*this);
    running_ = true;
    ++threadsInRun_;  // the new thread cannot get far: it needs the lock we hold
  }
}

unsigned int AlarmMgr::removeAlarm(unsigned int interval, const Ptr<AlarmListener>& listener) {
  MutexLock guard(mutex_);
  const unsigned int now = getTimeMs();
  AlarmEntry** chosen = nullptr;
  for (AlarmEntry** link = &waitingList_; *link; link = &(*link)->next) {
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
  // nextTime_ may now be early; the thread then wakes, finds nothing due and waits again.
  delete entry;
  return left > 0 ? static_cast<unsigned int>(left) : 0;
}

void AlarmMgr::run() {
  bool failed = false;
  try {
    while (waitForSomething()) sendAlarms();
  } catch (...) {
    failed = true;  // only the event wait can throw; the next addAlarm starts a new thread
  }
  leaveRun(failed);
}

// The thread's last touch of the manager: once the lock is released here the destructor may proceed.
void AlarmMgr::leaveRun(bool failed) {
  MutexLock guard(mutex_);
  if (failed) running_ = false;
  --threadsInRun_;
  try {
    event_.notifyAll();  // a waiting destructor; it polls as well, so a failed pulse only delays it
  } catch (...) {
  }
}

bool AlarmMgr::waitForSomething() {
  MutexLock guard(mutex_);
  const unsigned int start = getTimeMs();
  resetAlarmsToSend(start);
  const unsigned int wait = getWaitingTime(start);
  unsigned int end = start;
  if (wait != 0) {
    event_.wait(mutex_, wait);  // woken or not, the lists say what to do
    end = getTimeMs();
  }
  makeToSendList(end);
  running_ = running_ && !closing_ && (waitingList_ || toSendList_ || end - start < kIdleEndMs);
  return running_;
}

unsigned int AlarmMgr::getWaitingTime(unsigned int now) const {
  if (!hasNextTime_) return kIdleWaitMs;
  const std::int32_t left = msUntil(nextTime_, now);
  return left > 0 ? static_cast<unsigned int>(left) : 0;
}

void AlarmMgr::lowerNextTime(unsigned int dueTime, unsigned int now) {
  if (!hasNextTime_ || msUntil(dueTime, now) < msUntil(nextTime_, now)) nextTime_ = dueTime;
  hasNextTime_ = true;
}

// Moves every entry due before now + minimumInterval / 2 to the head of toSendList_ (so in reverse order)
// and sets nextTime_ to the earliest of those left.
void AlarmMgr::makeToSendList(unsigned int now) {
  hasNextTime_ = false;
  const auto early = static_cast<std::int32_t>(getMinimumInterval() / 2);
  for (AlarmEntry** link = &waitingList_; *link;) {
    AlarmEntry* entry = *link;
    if (msUntil(entry->dueTime, now) < early) {
      *link = entry->next;
      entry->next = toSendList_;
      toSendList_ = entry;
    } else {
      lowerNextTime(entry->dueTime, now);
      link = &entry->next;
    }
  }
}

// Without the lock: listeners may call back into the manager. Each next due time counts from the end of
// its own call, so a slow listener delays those after it.
void AlarmMgr::sendAlarms() {
  for (AlarmEntry** link = &toSendList_; *link;) {
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

void AlarmMgr::resetAlarmsToSend(unsigned int now) {
  while (AlarmEntry* entry = toSendList_) {
    toSendList_ = entry->next;
    entry->next = waitingList_;
    waitingList_ = entry;
    lowerNextTime(entry->dueTime, now);
  }
}

AlarmMgr* getAlarmMgr() {
  static AlarmMgr* const manager = new AlarmMgr;  // never destroyed: its thread may outlive any scope
  return manager;
}

}  // namespace zem_util

#include <gtest/gtest.h>
#include <zem_util/alarm.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "testing/test_access.h"

namespace zem_util {
namespace {

// Every bound below is generous: on a loaded machine alarms come late, never early, so only a wrong
// result can fail a test.
constexpr unsigned int kPatienceMs = 20000;

template <class Condition>
bool waitUntil(Condition condition, unsigned int timeoutMs = kPatienceMs) {
  const unsigned int start = getTimeMs();
  while (!condition()) {
    if (getTimeMs() - start > timeoutMs) return false;
    sleepMs(5);
  }
  return true;
}

// Calls `onAlarm(call number)` for its result and counts the calls; tells when it is deleted.
template <class OnAlarm>
class Listener : public AlarmListener {
 public:
  explicit Listener(OnAlarm onAlarm, std::atomic<bool>* deleted = nullptr) : onAlarm_(onAlarm), deleted_(deleted) {}
  ~Listener() override {
    if (deleted_) *deleted_ = true;
  }
  // Counted once the call has finished (returned or thrown), so that whoever waits for a count also sees
  // everything the call did.
  unsigned int alarm() override {
    struct Count {
      std::atomic<int>& calls;
      ~Count() { ++calls; }
    } count{calls};
    return onAlarm_(calls + 1);
  }

  std::atomic<int> calls{0};

 private:
  OnAlarm onAlarm_;
  std::atomic<bool>* deleted_;
};

template <class OnAlarm>
Ptr<Listener<OnAlarm>> newListener(OnAlarm onAlarm, std::atomic<bool>* deleted = nullptr) {
  return Ptr<Listener<OnAlarm>>(new Listener<OnAlarm>(onAlarm, deleted));
}

const auto keep = [](int) { return kKeepInterval; };

TEST(AlarmListenerTest, DefaultIsCalledOnceThenReleased) {
  struct Plain : AlarmListener {  // does not override `alarm`
    explicit Plain(std::atomic<bool>* deleted) : deleted(deleted) {}
    ~Plain() override { *deleted = true; }
    std::atomic<bool>* deleted;
  };
  std::atomic<bool> deleted{false};
  AlarmMgr mgr;
  mgr.addAlarm(10, new Plain(&deleted));  // the manager holds the only reference
  EXPECT_TRUE(waitUntil([&] { return deleted.load(); }));
  EXPECT_EQ(kRemoveAlarm, AlarmListener().alarm());
}

TEST(AlarmMgrTest, FollowsTheListenersResult) {
  AlarmMgr mgr;
  EXPECT_EQ(250u, mgr.getMinimumInterval());
  mgr.setMinimumInterval(0);  // nothing is sent early
  std::atomic<bool> deleted{false};
  std::vector<unsigned int> starts, ends;
  auto listener = newListener(
      [&](int call) {
        starts.push_back(getTimeMs());
        const unsigned int result = call == 1 ? 300 : call == 2 ? kKeepInterval : kRemoveAlarm;
        ends.push_back(getTimeMs());
        return result;
      },
      &deleted);
  mgr.addAlarm(20, listener);
  ASSERT_TRUE(waitUntil([&] { return listener->calls == 3; }));
  listener = nullptr;
  ASSERT_TRUE(waitUntil([&] { return deleted.load(); }));
  // 300 replaced the interval and 0 kept it; each counts from the end of the previous call.
  EXPECT_GE(starts[1] - ends[0], 300u);
  EXPECT_GE(starts[2] - ends[1], 300u);
}

TEST(AlarmMgrTest, SendsAlarmsDueWithinHalfTheMinimumIntervalTogether) {
  AlarmMgr mgr;
  mgr.setMinimumInterval(10000);
  std::atomic<unsigned int> lateCalledAfter{0};
  const unsigned int added = getTimeMs();
  auto late = newListener([&](int) {
    lateCalledAfter = getTimeMs() - added;
    return kRemoveAlarm;
  });
  auto early = newListener([](int) { return kRemoveAlarm; });
  mgr.addAlarm(3000, late);  // the thread waits for this one...
  mgr.addAlarm(50, early);   // ...until this one wakes it, and both are due within 5000 ms
  ASSERT_TRUE(waitUntil([&] { return late->calls == 1 && early->calls == 1; }));
  EXPECT_LT(lateCalledAfter.load(), 2500u);
}

TEST(AlarmMgrTest, RemoveAlarmPicksTheRegistration) {
  AlarmMgr mgr;
  std::atomic<bool> deleted{false};
  Ptr<AlarmListener> listener = newListener(keep, &deleted);
  Ptr<AlarmListener> stranger = newListener(keep);
  mgr.addAlarm(100000, listener);  // due first, though furthest from the head of the list
  mgr.addAlarm(300000, listener);  // due last
  mgr.addAlarm(200000, listener);
  EXPECT_EQ(kAlarmNotFound, mgr.removeAlarm(kDueFirst, stranger));
  EXPECT_EQ(kAlarmNotFound, mgr.removeAlarm(kDueFirst, nullptr));
  EXPECT_EQ(kAlarmNotFound, mgr.removeAlarm(150000, listener));

  const unsigned int last = mgr.removeAlarm(kDueLast, listener);
  EXPECT_TRUE(last > 280000 && last <= 300000) << last;
  const unsigned int first = mgr.removeAlarm(kDueFirst, listener);
  EXPECT_TRUE(first > 80000 && first <= 100000) << first;
  const unsigned int byInterval = mgr.removeAlarm(200000, listener);
  EXPECT_TRUE(byInterval > 180000 && byInterval <= 200000) << byInterval;
  EXPECT_EQ(kAlarmNotFound, mgr.removeAlarm(kDueFirst, listener));

  listener = nullptr;  // every registration released its reference
  EXPECT_TRUE(deleted);
}

TEST(AlarmMgrTest, NullListenerIsIgnored) {
  AlarmMgr mgr;
  mgr.addAlarm(10, nullptr);
  EXPECT_EQ(kAlarmNotFound, mgr.removeAlarm(kDueFirst, nullptr));
}

TEST(AlarmMgrTest, ThrowingListenerStaysRegisteredWithItsInterval) {
  AlarmMgr mgr;
  auto listener = newListener([](int call) -> unsigned int {
    if (call % 3 == 0) throw Exception(ArrayPtr<char>("listener failed"));
    if (call % 3 == 1) throw std::runtime_error("listener failed");
    throw 7;
  });
  mgr.addAlarm(20, listener);
  ASSERT_TRUE(waitUntil([&] { return listener->calls >= 4; }));
  // Not found while the listener is being called: try until it is waiting again.
  unsigned int left = kAlarmNotFound;
  ASSERT_TRUE(waitUntil([&] { return (left = mgr.removeAlarm(20, listener)) != kAlarmNotFound; }));
  EXPECT_LE(left, 20u);
}

TEST(AlarmMgrTest, ZeroIntervalCallsAsOftenAsTheThreadLoops) {
  AlarmMgr mgr;
  auto listener = newListener([](int call) { return call < 200 ? kKeepInterval : kRemoveAlarm; });
  mgr.addAlarm(0, listener);
  EXPECT_TRUE(waitUntil([&] { return listener->calls == 200; }));
}

// From inside its first call: registers `other`, and tries to remove its own registration.
class CallingListener : public AlarmListener {
 public:
  CallingListener(AlarmMgr& mgr, const Ptr<AlarmListener>& other) : mgr_(mgr), other_(other) {}
  unsigned int alarm() override {
    if (++calls > 1) return kRemoveAlarm;
    mgr_.addAlarm(10, other_);
    removedOwn = mgr_.removeAlarm(20, Ptr<AlarmListener>(this));
    return kKeepInterval;
  }

  std::atomic<int> calls{0};
  std::atomic<unsigned int> removedOwn{0};

 private:
  AlarmMgr& mgr_;
  Ptr<AlarmListener> other_;
};

TEST(AlarmMgrTest, ListenersMayCallTheManager) {
  AlarmMgr mgr;
  auto added = newListener([](int) { return kRemoveAlarm; });
  Ptr<CallingListener> caller(new CallingListener(mgr, added));
  mgr.addAlarm(20, caller);
  ASSERT_TRUE(waitUntil([&] { return caller->calls == 2 && added->calls == 1; }));
  EXPECT_EQ(kAlarmNotFound, caller->removedOwn.load());  // it was being sent: not found, still called
}

// Counts the alarm threads that called `observeAlarmThread` and the ones of those that have ended.
std::atomic<int> alarmThreadsSeen{0};
std::atomic<int> alarmThreadsEnded{0};

void observeAlarmThread() {
  struct Observer {
    Observer() { ++alarmThreadsSeen; }
    ~Observer() { ++alarmThreadsEnded; }
  };
  thread_local Observer observer;
  (void)observer;
}

TEST(AlarmMgrTest, ThreadEndsWhenIdleAndRestarts) {
  AlarmMgr mgr;
  auto listener = newListener([](int) {
    observeAlarmThread();
    return kRemoveAlarm;
  });
  const int seen = alarmThreadsSeen, ended = alarmThreadsEnded;
  mgr.addAlarm(10, listener);
  // With nothing registered the thread waits 5000 ms, and ends.
  ASSERT_TRUE(waitUntil([&] { return alarmThreadsEnded == ended + 1; }));
  EXPECT_EQ(1, listener->calls);
  mgr.addAlarm(10, listener);
  EXPECT_TRUE(waitUntil([&] { return alarmThreadsSeen == seen + 2; }));  // called on a new thread
}

TEST(AlarmMgrTest, DestructionWaitsForTheThread) {
  // While a listener is being called: the destructor waits for it to return, then releases it.
  std::atomic<bool> entered{false}, finished{false}, deleted{false};
  {
    AlarmMgr mgr;
    mgr.addAlarm(10, newListener(
                         [&](int) {
                           entered = true;
                           sleepMs(300);
                           finished = true;
                           return kKeepInterval;
                         },
                         &deleted));
    ASSERT_TRUE(waitUntil([&] { return entered.load(); }));
  }
  EXPECT_TRUE(finished);
  EXPECT_TRUE(deleted);

  // While the thread waits: the destructor wakes it rather than waiting out its 5000 ms.
  {
    auto listener = newListener([](int) { return kRemoveAlarm; });
    auto mgr = std::make_unique<AlarmMgr>();
    mgr->addAlarm(10, listener);
    ASSERT_TRUE(waitUntil([&] { return listener->calls == 1; }));
    const unsigned int start = getTimeMs();
    mgr.reset();
    EXPECT_LT(getTimeMs() - start, 4000u);
  }

  // Right after the thread was started, before it may have run at all.
  for (int i = 0; i < 50; ++i) {
    AlarmMgr mgr;
    mgr.addAlarm(i % 3, newListener(keep));
  }
}

TEST(AlarmMgrTest, SchedulesAcrossTheClockWrap) {
  struct ClockOffset {
    explicit ClockOffset(unsigned int offset) { test_access::setTimeOffset(offset); }
    ~ClockOffset() { test_access::setTimeOffset(0); }
  } wrapSoon(0xFFFFFFFF - 300 - getTimeMs());  // the clock wraps in about 300 ms

  std::atomic<unsigned int> lateCalledAfter{0};
  AlarmMgr mgr;
  const unsigned int added = getTimeMs();
  auto repeating = newListener(keep);
  auto late = newListener([&](int) {
    lateCalledAfter = getTimeMs() - added;
    return kRemoveAlarm;
  });
  Ptr<AlarmListener> far = newListener(keep);
  mgr.addAlarm(50, repeating);
  mgr.addAlarm(2000, late);  // due after the wrap: a plain comparison would find it overdue at once
  mgr.addAlarm(1000000, far);

  const unsigned int left = mgr.removeAlarm(1000000, far);
  EXPECT_TRUE(left > 990000 && left <= 1000000) << left;
  ASSERT_TRUE(waitUntil([&] { return late->calls == 1; }));
  // Never more than half the minimum interval early.
  EXPECT_GE(lateCalledAfter.load(), 2000u - 125u);
  EXPECT_LT(getTimeMs(), 0x80000000u);  // the clock did wrap meanwhile
  const int before = repeating->calls;
  EXPECT_TRUE(waitUntil([&] { return repeating->calls >= before + 5; }));
}

TEST(AlarmMgrTest, GetAlarmMgrCreatesOneManager) {
  std::atomic<bool> go{false};
  std::vector<AlarmMgr*> seen(8, nullptr);
  std::vector<std::thread> threads;
  for (auto& slot : seen) {
    threads.emplace_back([&go, &slot] {
      while (!go) std::this_thread::yield();
      slot = getAlarmMgr();
    });
  }
  go = true;
  for (auto& thread : threads) thread.join();
  ASSERT_NE(nullptr, seen[0]);
  for (AlarmMgr* mgr : seen) EXPECT_EQ(seen[0], mgr);

  auto listener = newListener([](int) { return kRemoveAlarm; });
  getAlarmMgr()->addAlarm(10, listener);
  EXPECT_TRUE(waitUntil([&] { return listener->calls == 1; }));
}

}  // namespace
}  // namespace zem_util

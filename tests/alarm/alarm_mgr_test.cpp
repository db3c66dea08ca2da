// The alarm manager: what listeners' results do, which registration removeAlarm takes, the thread's life, and
// times across the clock's wrap. Bounds are generous: on a loaded machine alarms come late, never early, so only
// a wrong result can fail a test.
#include <gtest/gtest.h>
#include <zem_util/alarm.h>

#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "support/threads.h"
#include "testing/test_access.h"

namespace zem_util {
namespace {

template <class Condition>
bool waitUntil(Condition condition, unsigned int timeoutMs = 20000) {
  for (const unsigned int start = getTimeMs(); !condition(); sleepMs(2)) {
    if (getTimeMs() - start > timeoutMs) return false;
  }
  return true;
}

// Returns `onAlarm(call number)` and counts the calls once each has finished, so that whoever waits for a count
// also sees what the call did; tells when it is deleted.
struct Listener : AlarmListener {
  Listener(std::function<unsigned int(int)> onAlarm, std::atomic<bool>* deleted) : onAlarm(onAlarm), deleted(deleted) {}
  ~Listener() override {
    if (deleted) *deleted = true;
  }
  unsigned int alarm() override {
    struct Count {
      std::atomic<int>& calls;
      ~Count() { ++calls; }
    } count{calls};
    return onAlarm(calls + 1);
  }
  std::atomic<int> calls{0};
  const std::function<unsigned int(int)> onAlarm;
  std::atomic<bool>* const deleted;
};

Ptr<Listener> newListener(std::function<unsigned int(int)> onAlarm, std::atomic<bool>* deleted = nullptr) {
  return new Listener(std::move(onAlarm), deleted);
}

const auto keep = [](int) { return kKeepInterval; };
const auto once = [](int) { return kRemoveAlarm; };

TEST(AlarmMgrTest, ListenersResultsSetTheNextCall) {
  AlarmMgr mgr;
  EXPECT_EQ(250u, mgr.getMinimumInterval());
  mgr.setMinimumInterval(0);  // nothing is sent early
  std::atomic<bool> deleted{false}, plainDeleted{false};
  std::vector<unsigned int> times;  // a call's start, taken as its end: the listener does nothing else
  auto listener = newListener(
      [&](int call) {
        times.push_back(getTimeMs());
        return call == 1 ? 300 : call == 2 ? kKeepInterval : kRemoveAlarm;
      },
      &deleted);
  auto thrower = newListener([](int call) -> unsigned int {
    if (call % 3 == 0) throw Exception(ArrayPtr<char>("listener failed"));
    if (call % 3 == 1) throw std::runtime_error("listener failed");
    throw 7;
  });
  auto zero = newListener([](int call) { return call < 200 ? kKeepInterval : kRemoveAlarm; });
  struct Plain : AlarmListener {  // does not override `alarm`: called once, then released
    explicit Plain(std::atomic<bool>* deleted) : deleted(deleted) {}
    ~Plain() override { *deleted = true; }
    std::atomic<bool>* deleted;
  };
  mgr.addAlarm(20, listener);
  mgr.addAlarm(20, thrower);
  mgr.addAlarm(0, zero);  // as often as the thread loops
  mgr.addAlarm(10, new Plain(&plainDeleted));
  ASSERT_TRUE(waitUntil([&] { return listener->calls == 3 && thrower->calls >= 4 && zero->calls == 200; }));
  listener = nullptr;
  EXPECT_TRUE(waitUntil([&] { return deleted && plainDeleted; }));
  // 300 replaced the interval and 0 kept it; each counts from the end of the call before.
  EXPECT_GE(times[1] - times[0], 300u);
  EXPECT_GE(times[2] - times[1], 300u);
  // A listener that throws stays registered with its interval; it is not found while it is being called.
  unsigned int left = kAlarmNotFound;
  ASSERT_TRUE(waitUntil([&] { return (left = mgr.removeAlarm(20, thrower)) != kAlarmNotFound; }));
  EXPECT_LE(left, 20u);
}

TEST(AlarmMgrTest, AlarmsDueWithinHalfTheMinimumIntervalGoTogether) {
  AlarmMgr mgr;
  mgr.setMinimumInterval(10000);
  std::atomic<unsigned int> lateCalledAfter{0};
  const unsigned int added = getTimeMs();
  auto late = newListener([&](int) { return lateCalledAfter = getTimeMs() - added, kRemoveAlarm; });
  auto early = newListener(once);
  mgr.addAlarm(3000, late);  // the thread waits for this one...
  mgr.addAlarm(50, early);   // ...until this one wakes it, and both are due within 5000 ms
  ASSERT_TRUE(waitUntil([&] { return late->calls == 1 && early->calls == 1; }));
  EXPECT_LT(lateCalledAfter.load(), 2500u);
}

TEST(AlarmMgrTest, RemoveAlarmPicksTheRegistration) {
  AlarmMgr mgr;
  std::atomic<bool> deleted{false};
  Ptr<AlarmListener> listener = newListener(keep, &deleted), stranger = newListener(keep);
  mgr.addAlarm(10, nullptr);           // ignored
  mgr.addAlarm(100000, listener);      // due first, though furthest from the head of the list
  mgr.addAlarm(300000, listener);      // due last
  mgr.addAlarm(0xFFFFFFF0, listener);  // scheduled 2^31 - 1 ms ahead, the longest wait the clock can tell
  mgr.addAlarm(200000, listener);
  EXPECT_EQ(kAlarmNotFound, mgr.removeAlarm(kDueFirst, stranger));
  EXPECT_EQ(kAlarmNotFound, mgr.removeAlarm(kDueFirst, nullptr));
  EXPECT_EQ(kAlarmNotFound, mgr.removeAlarm(150000, listener));
  // The interval asked for, and the most time its registration may have left.
  const std::pair<unsigned int, unsigned int> cases[] = {
      {kDueLast, 0x7FFFFFFF}, {kDueLast, 300000}, {kDueFirst, 100000}, {200000, 200000}};
  for (const auto& [interval, atMost] : cases) {
    const unsigned int left = mgr.removeAlarm(interval, listener);
    EXPECT_TRUE(left > atMost - 20000 && left <= atMost) << interval << ": " << left;
  }
  EXPECT_EQ(kAlarmNotFound, mgr.removeAlarm(kDueFirst, listener));
  listener = nullptr;  // every registration released its reference
  EXPECT_TRUE(deleted);
}

// Counts the alarm threads that called it and the ones of those that have ended.
std::atomic<int> threadsSeen{0}, threadsEnded{0};
void observeAlarmThread() {
  thread_local struct Observer {
    Observer() { ++threadsSeen; }
    ~Observer() { ++threadsEnded; }
  } observer;
  (void)observer;
}

TEST(AlarmMgrTest, ThreadEndsWhenIdleRestartsAndIsWaitedFor) {
  AlarmMgr mgr;
  auto listener = newListener([](int) { return observeAlarmThread(), kRemoveAlarm; });
  const int seen = threadsSeen, ended = threadsEnded;
  mgr.addAlarm(10, listener);
  ASSERT_TRUE(waitUntil([&] { return threadsEnded == ended + 1; }));  // after an idle wait of 5000 ms
  mgr.addAlarm(10, listener);
  EXPECT_TRUE(waitUntil([&] { return threadsSeen == seen + 2 && listener->calls == 2; }));  // on a new thread
  // While a listener is being called, the destructor waits for it to return, then releases it.
  std::atomic<bool> entered{false}, finished{false}, deleted{false};
  {
    AlarmMgr busy;
    auto slow = [&](int) { return entered = true, sleepMs(300), finished = true, kKeepInterval; };
    busy.addAlarm(10, newListener(slow, &deleted));
    ASSERT_TRUE(waitUntil([&] { return entered.load(); }));
  }
  EXPECT_TRUE(finished && deleted);
  // While the thread waits, the destructor wakes it rather than waiting out its 5000 ms.
  auto idle = std::make_unique<AlarmMgr>();
  auto single = newListener(once);
  idle->addAlarm(10, single);
  ASSERT_TRUE(waitUntil([&] { return single->calls == 1; }));
  const unsigned int start = getTimeMs();
  idle.reset();
  EXPECT_LT(getTimeMs() - start, 4000u);
  for (int i = 0; i < 50; ++i) AlarmMgr().addAlarm(i % 3, newListener(keep));  // before the thread ran at all
}

TEST(AlarmMgrTest, SchedulesAcrossTheClockWrapAndOneManagerIsShared) {
  struct ClockOffset {
    explicit ClockOffset(unsigned int offset) { test_access::setTimeOffset(offset); }
    ~ClockOffset() { test_access::setTimeOffset(0); }
  } wrapSoon(0xFFFFFFFF - 300 - getTimeMs());  // the clock wraps in about 300 ms
  std::atomic<unsigned int> lateCalledAfter{0};
  AlarmMgr mgr;
  const unsigned int added = getTimeMs();
  auto repeating = newListener(keep);
  auto late = newListener([&](int) { return lateCalledAfter = getTimeMs() - added, kRemoveAlarm; });
  Ptr<AlarmListener> far = newListener(keep);
  mgr.addAlarm(50, repeating);
  mgr.addAlarm(1200, late);  // due after the wrap: a plain comparison would find it overdue at once
  mgr.addAlarm(1000000, far);
  const unsigned int left = mgr.removeAlarm(1000000, far);
  EXPECT_TRUE(left > 990000 && left <= 1000000) << left;
  ASSERT_TRUE(waitUntil([&] { return late->calls == 1; }));
  EXPECT_GE(lateCalledAfter.load(), 1200u - 125u);  // never more than half the minimum interval early
  EXPECT_LT(getTimeMs(), 0x80000000u);              // the clock did wrap meanwhile
  const int before = repeating->calls;
  EXPECT_TRUE(waitUntil([&] { return repeating->calls >= before + 5; }));

  std::vector<AlarmMgr*> seen(8, nullptr);
  test_support::onThreads(8, [&seen](int i) { seen[i] = getAlarmMgr(); });
  EXPECT_EQ(std::vector<AlarmMgr*>(8, seen[0]), seen);
  auto listener = newListener(once);
  getAlarmMgr()->addAlarm(10, listener);
  EXPECT_TRUE(waitUntil([&] { return listener->calls == 1; }));
}

}  // namespace
}  // namespace zem_util

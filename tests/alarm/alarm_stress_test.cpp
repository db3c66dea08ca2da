// One alarm manager, alarms added and removed by four threads and by the listeners themselves while it sends.
#include <gtest/gtest.h>
#include <zem_util/alarm.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace zem_util {
namespace {

// The listeners of one test: each is registered exactly once, so "its registration has ended" is a property of
// the listener.
struct Registry {
  AlarmMgr* mgr = nullptr;
  std::mutex mutex;
  std::vector<Ptr<AlarmListener>> listeners;  // every listener ever made, for removal and the final check
  std::atomic<unsigned int> nextId{0};
  std::atomic<int> created{0}, destroyed{0};
  std::atomic<int> lateCalls{0};    // calls after the registration ended: must stay 0
  std::atomic<int> addsLeft{1000};  // registrations the listeners may still make themselves

  // Any listener made so far; another thread may be removing it too.
  Ptr<AlarmListener> pick(unsigned int seed) {
    std::lock_guard<std::mutex> guard(mutex);
    return listeners.empty() ? Ptr<AlarmListener>() : listeners[seed % listeners.size()];
  }
  void add(unsigned int interval);
  // Removes the registration of `listener` if it is waiting; the manager is called without `mutex` held.
  void remove(const Ptr<AlarmListener>& listener);
};

class StressListener : public AlarmListener {
 public:
  StressListener(Registry& registry, unsigned int id) : registry_(registry), id_(id) { ++registry_.created; }
  ~StressListener() override { ++registry_.destroyed; }

  // First call: some add a registration, some remove another's. Later: some end, some change interval.
  unsigned int alarm() override {
    if (ended) ++registry_.lateCalls;
    const int call = ++calls;
    if (call == 1 && id_ % 4 == 0 && --registry_.addsLeft >= 0) registry_.add(id_ % 7);
    if (call == 1 && id_ % 4 == 1) registry_.remove(registry_.pick(id_ * 7919u));
    if (call >= 3 && id_ % 3 == 0) {
      ended = true;
      return kRemoveAlarm;
    }
    return call % 2 == 0 ? kKeepInterval : 1 + id_ % 9;
  }

  std::atomic<bool> ended{false};
  std::atomic<int> calls{0};

 private:
  Registry& registry_;
  unsigned int id_;
};

void Registry::add(unsigned int interval) {
  Ptr<AlarmListener> listener(new StressListener(*this, nextId++));
  {
    std::lock_guard<std::mutex> guard(mutex);
    listeners.push_back(listener);
  }
  mgr->addAlarm(interval, listener);
}

void Registry::remove(const Ptr<AlarmListener>& listener) {
  if (listener.isNull()) return;
  if (mgr->removeAlarm(kDueFirst, listener) != kAlarmNotFound) static_cast<StressListener&>(*listener).ended = true;
}

TEST(AlarmStressTest, AddsAndRemovesFromThreadsAndListenersKeepEveryRegistrationStraight) {
  Registry registry;  // outlives the manager, whose thread calls the listeners that use it
  auto mgr = std::make_unique<AlarmMgr>();
  mgr->setMinimumInterval(4);
  registry.mgr = mgr.get();
  std::vector<std::thread> threads;
  for (unsigned int t = 0; t < 4; ++t) {
    threads.emplace_back([&registry, t] {
      for (unsigned int i = 0; i < 500; ++i) {
        registry.add((t + i) % 13);
        if (i % 3 == 0) registry.remove(registry.pick(t * 1009 + i * 31));
        if (i % 2 == 0) sleepMs(1);
      }
    });
  }
  for (auto& thread : threads) thread.join();

  // Every registration that has not ended is still served: each such listener gets called again.
  std::vector<std::pair<StressListener*, int>> live;
  {
    std::lock_guard<std::mutex> guard(registry.mutex);
    for (const Ptr<AlarmListener>& listener : registry.listeners) {
      auto* stress = static_cast<StressListener*>(listener.get());
      if (!stress->ended) live.emplace_back(stress, stress->calls.load());
    }
  }
  const unsigned int start = getTimeMs();
  for (auto& [listener, calls] : live) {
    while (!listener->ended && listener->calls == calls && getTimeMs() - start < 20000) sleepMs(2);
    EXPECT_TRUE(listener->ended || listener->calls > calls) << "a registration was lost";
  }
  EXPECT_EQ(registry.lateCalls.load(), 0);

  // The manager lets go of every registration it still holds; the listeners then die with their last handle.
  mgr.reset();
  registry.listeners.clear();
  EXPECT_EQ(registry.destroyed.load(), registry.created.load());
}

}  // namespace
}  // namespace zem_util

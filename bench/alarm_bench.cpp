// Registering and removing an alarm while the alarm thread runs, against a timer queue built from the
// standard library (std::multimap by due time, std::mutex, std::condition_variable, its own thread), with 100
// other registrations waiting in both.
#include <benchmark/benchmark.h>
#include <zem_util/alarm.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "multi_threaded.h"

namespace {

constexpr int kWaiting = 100;
constexpr unsigned int kFarMs = 3600000;  // never due during a run

class Idle : public zem_util::AlarmListener {
 public:
  unsigned int alarm() override { return zem_util::kKeepInterval; }
};

void BM_AlarmMgrAddRemove(benchmark::State& state) {
  zem_util::AlarmMgr mgr;
  zem_util::Ptr<zem_util::AlarmListener> listener(new Idle);
  for (int i = 0; i < kWaiting; ++i) mgr.addAlarm(kFarMs + static_cast<unsigned int>(i), new Idle);
  for (auto _ : state) {
    mgr.addAlarm(kFarMs, listener);
    benchmark::DoNotOptimize(mgr.removeAlarm(kFarMs, listener));
  }
}

// The peer: what a component would write with the standard library alone.
class StdTimerQueue {
 public:
  using Clock = std::chrono::steady_clock;
  using Callback = std::shared_ptr<zem_util::AlarmListener>;

  StdTimerQueue() : thread_([this] { run(); }) {}
  ~StdTimerQueue() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }

  void add(std::chrono::milliseconds interval, const Callback& callback) {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.emplace(Clock::now() + interval, Entry{callback, interval});
    wake_.notify_one();
  }

  bool remove(std::chrono::milliseconds interval, const Callback& callback) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = queue_.begin(); it != queue_.end(); ++it) {
      if (it->second.callback == callback && it->second.interval == interval) {
        queue_.erase(it);
        return true;
      }
    }
    return false;
  }

 private:
  struct Entry {
    Callback callback;
    std::chrono::milliseconds interval;
  };

  void run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
      if (queue_.empty()) {
        wake_.wait(lock);
      } else {
        wake_.wait_until(lock, queue_.begin()->first);
      }
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::multimap<Clock::time_point, Entry> queue_;
  bool stop_ = false;
  std::thread thread_;
};

void BM_StdTimerQueueAddRemove(benchmark::State& state) {
  StdTimerQueue queue;
  auto callback = std::make_shared<Idle>();
  for (int i = 0; i < kWaiting; ++i) queue.add(std::chrono::milliseconds(kFarMs + i), std::make_shared<Idle>());
  for (auto _ : state) {
    queue.add(std::chrono::milliseconds(kFarMs), callback);
    benchmark::DoNotOptimize(queue.remove(std::chrono::milliseconds(kFarMs), callback));
  }
}

}  // namespace

BENCHMARK(BM_AlarmMgrAddRemove);
BENCHMARK(BM_StdTimerQueueAddRemove);

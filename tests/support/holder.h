// Another thread holding a mutex for as long as this object lives.
#pragma once

#include <zem_util/system.h>

#include <atomic>
#include <thread>

namespace test_support {

class Holder {
 public:
  explicit Holder(zem_util::Mutex& mutex)
      : thread_([this, &mutex] {
          zem_util::MutexLock guard(mutex);
          held_ = true;
          while (!done_) zem_util::sleepMs(1);
        }) {
    while (!held_) zem_util::sleepMs(1);
  }
  ~Holder() {
    done_ = true;
    thread_.join();
  }
  Holder(const Holder&) = delete;
  Holder& operator=(const Holder&) = delete;

 private:
  std::atomic<bool> held_{false};
  std::atomic<bool> done_{false};
  std::thread thread_;
};

}  // namespace test_support

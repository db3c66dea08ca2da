// A process-wide text computed once, on first use, under the global mutex.
#pragma once

#include <atomic>

#include "zem_util/core.h"
#include "zem_util/system.h"

namespace zem_util::detail {

// Once filled the text never changes, so readers take no lock: the flag, set after the text with release
// order, tells them the text is complete. An empty result is not kept, and the next request computes again.
class CachedText {
 public:
  template <class Compute>
  ArrayPtr<char> get(Compute compute) {
    if (filled_.load(std::memory_order_acquire)) return text_;
    MutexLock guard(getGlobalMutex());
    if (!filled_.load(std::memory_order_relaxed)) {
      ArrayPtr<char> computed = compute();
      if (computed.length() == 0) return computed;
      text_ = computed;
      filled_.store(true, std::memory_order_release);
    }
    return text_;
  }

 private:
  std::atomic<bool> filled_{false};
  ArrayPtr<char> text_;
};

}  // namespace zem_util::detail

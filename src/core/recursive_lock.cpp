// The waiting half of a spinning recursive lock (recursive_lock.h).
#include "core/recursive_lock.h"

namespace zem_util::detail {

namespace {
// A few microseconds of pauses: a trace record's region with its cache misses, several times over.
constexpr int kSpins = 100;
// Then a few turns of the processor to other threads, among them, often, a preempted holder.
constexpr int kYields = 8;
// A sleeper looks again this often even without a wake-up.
constexpr unsigned kRecheckMs = 100;
}  // namespace

void RecursiveLock::waitForWord() {
  for (int round = 0; round < kSpins + kYields; ++round) {
    std::uint32_t word = word_.load(std::memory_order_relaxed);
    if (word == kFree &&
        word_.compare_exchange_weak(word, kHeld, std::memory_order_acquire, std::memory_order_relaxed)) {
      return;
    }
    if (round < kSpins) {
      os::pauseProcessor();
    } else {
      os::yieldProcessor();
    }
  }
  // Marked as having sleepers from here on, so that the holder's unlock wakes one; taken as such too, since
  // other sleepers may remain.
  while (word_.exchange(kSleepers, std::memory_order_acquire) != kFree)
    os::waitWhileEqual(word_, kSleepers, kRecheckMs);
}

}  // namespace zem_util::detail

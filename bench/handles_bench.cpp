// Copy + release of a counted handle against std::shared_ptr, on one thread and on two and four threads sharing
// the same object (the contended case; four threads on a two-core machine also preempt each other while one
// holds the count lock). Wall time per copy + release, so a thread that sleeps waiting for the lock is counted.
#include <benchmark/benchmark.h>
#include <zem_util/core.h>

#include <memory>

#include "multi_threaded.h"

namespace {

struct Object : zem_util::Shared {
  int value = 1;
};

zem_util::Ptr<Object> sharedPtrTarget(new Object);
zem_util::ArrayPtr<char> sharedText("a text shared by every copy");
std::shared_ptr<Object> stdTarget = std::make_shared<Object>();

void BM_PtrCopyRelease(benchmark::State& state) {
  for (auto _ : state) {
    zem_util::Ptr<Object> copy(sharedPtrTarget);
    benchmark::DoNotOptimize(copy);
  }
}

void BM_ArrayPtrCopyRelease(benchmark::State& state) {
  for (auto _ : state) {
    zem_util::ArrayPtr<char> copy(sharedText);
    benchmark::DoNotOptimize(copy);
  }
}

void BM_SharedPtrCopyRelease(benchmark::State& state) {
  for (auto _ : state) {
    std::shared_ptr<Object> copy(stdTarget);
    benchmark::DoNotOptimize(copy);
  }
}

}  // namespace

BENCHMARK(BM_PtrCopyRelease)->Threads(1)->Threads(2)->Threads(4)->UseRealTime();
BENCHMARK(BM_ArrayPtrCopyRelease)->Threads(1)->Threads(2)->Threads(4)->UseRealTime();
BENCHMARK(BM_SharedPtrCopyRelease)->Threads(1)->Threads(2)->Threads(4)->UseRealTime();

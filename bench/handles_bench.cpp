// Copy + release of a counted handle against std::shared_ptr, on one thread and on two threads sharing the
// same object (the contended case).
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

BENCHMARK(BM_PtrCopyRelease)->Threads(1)->Threads(2);
BENCHMARK(BM_ArrayPtrCopyRelease)->Threads(1)->Threads(2);
BENCHMARK(BM_SharedPtrCopyRelease)->Threads(1)->Threads(2);

// Uncontended lock + unlock of both mutex kinds against the standard recursive mutexes.
#include <benchmark/benchmark.h>
#include <zem_util/system.h>

#include <mutex>

namespace {

void BM_CriticalSectionLockUnlock(benchmark::State& state) {
  zem_util::Mutex mutex(true);
  for (auto _ : state) {
    zem_util::lock(mutex.getHandle(), zem_util::kInfinite);
    zem_util::unlock(mutex.getHandle());
  }
}

void BM_KernelMutexLockUnlock(benchmark::State& state) {
  zem_util::Mutex mutex(false);
  for (auto _ : state) {
    zem_util::lock(mutex.getHandle(), zem_util::kInfinite);
    zem_util::unlock(mutex.getHandle());
  }
}

void BM_StdRecursiveMutex(benchmark::State& state) {
  std::recursive_mutex mutex;
  for (auto _ : state) {
    mutex.lock();
    mutex.unlock();
  }
}

void BM_StdRecursiveTimedMutex(benchmark::State& state) {
  std::recursive_timed_mutex mutex;
  for (auto _ : state) {
    mutex.lock();
    mutex.unlock();
  }
}

}  // namespace

BENCHMARK(BM_CriticalSectionLockUnlock);
BENCHMARK(BM_KernelMutexLockUnlock);
BENCHMARK(BM_StdRecursiveMutex);
BENCHMARK(BM_StdRecursiveTimedMutex);

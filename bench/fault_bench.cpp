// A processor fault turned into an Exception and caught, against throwing and catching the same Exception
// (same message) directly: the price of the signal or vectored handler, the module lookup and the message.
// Built with -fnon-call-exceptions, like code that expects its faults as exceptions.
#include <benchmark/benchmark.h>
#include <zem_util/system.h>

#include "multi_threaded.h"

namespace {

__attribute__((noinline)) int load(const int* p) { return *p; }
int* volatile nullPointer = nullptr;

void BM_TranslatedFault(benchmark::State& state) {
  zem_util::WindowsExceptionHandler handler;
  for (auto _ : state) {
    try {
      benchmark::DoNotOptimize(load(nullPointer));
    } catch (const zem_util::Exception& e) {
      benchmark::DoNotOptimize(e.getMessage().length());
    }
  }
}

__attribute__((noinline)) int fail(const char* module) {
  throw zem_util::Exception(
      zem_util::format("System exception %u:%s occured in module %s at offset %llu (address %llu)", 3221225477u,
                       "Access Violation", module, 4660ull, 94740373635636ull));
}

void BM_ThrowCatchException(benchmark::State& state) {
  const char* module = "/opt/app/lib/libcomponent.so";
  for (auto _ : state) {
    try {
      benchmark::DoNotOptimize(fail(module));
    } catch (const zem_util::Exception& e) {
      benchmark::DoNotOptimize(e.getMessage().length());
    }
  }
}

void BM_HandlerScope(benchmark::State& state) {
  for (auto _ : state) {
    zem_util::WindowsExceptionHandler handler;
    benchmark::ClobberMemory();
  }
}

}  // namespace

BENCHMARK(BM_TranslatedFault);
BENCHMARK(BM_ThrowCatchException);
BENCHMARK(BM_HandlerScope);

// Records per second through a trace into a trace file (flush mode 0) against the synchronous basic file sink
// of spdlog, one thread and two threads on one file; and the cost of a call at an inactive level.
#include <benchmark/benchmark.h>
#include <zem_util/trace.h>

#include <filesystem>
#include <string>

#include "multi_threaded.h"

#if defined(ZEM_UTIL_BENCH_SPDLOG)
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>
#endif

namespace {

std::string scratchPath(const char* name) {
  return (std::filesystem::temp_directory_path() / ("zem_util_bench_" + std::string(name))).string();
}

zem_util::Ptr<zem_util::Trace> makeTrace() {
  const std::string path = scratchPath("trace.log");
  std::filesystem::remove(path);
  zem_util::Ptr<zem_util::Trace> trace(new zem_util::Trace("bench"));
  trace->setFileName(path.c_str());
  trace->setMaxLevel(3);
  zem_util::Ptr<zem_util::TraceFile> file = zem_util::getTraceMgr()->getTraceFile(path.c_str());
  zem_util::TraceParameters parameters = file->getParameters();
  parameters.flushMode = 0;
  parameters.maxFileSize = 0x7FFFFFFF;
  file->setParameters(parameters);
  return trace;
}

zem_util::Trace& sharedTrace() {
  static zem_util::Ptr<zem_util::Trace> trace = makeTrace();
  return *trace;
}

void BM_TraceInfo(benchmark::State& state) {
  zem_util::Trace& trace = sharedTrace();
  int i = 0;
  for (auto _ : state) trace.info("request %d handled in %d us", ++i, 42);
  state.SetItemsProcessed(state.iterations());
}

void BM_TraceInactiveLevel(benchmark::State& state) {
  zem_util::Trace& trace = sharedTrace();
  int i = 0;
  for (auto _ : state) trace.debug("request %d handled in %d us", ++i, 42);
}

#if defined(ZEM_UTIL_BENCH_SPDLOG)
spdlog::logger& sharedLogger() {
  static std::shared_ptr<spdlog::logger> logger = [] {
    const std::string path = scratchPath("spdlog.log");
    std::filesystem::remove(path);
    auto sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>(path, true);
    auto created = std::make_shared<spdlog::logger>("bench", sink);
    created->set_pattern("[%n %H:%M:%S.%e %v]");
    created->set_level(spdlog::level::info);
    return created;
  }();
  return *logger;
}

void BM_SpdlogInfo(benchmark::State& state) {
  spdlog::logger& logger = sharedLogger();
  int i = 0;
  for (auto _ : state) logger.info("request {} handled in {} us", ++i, 42);
  state.SetItemsProcessed(state.iterations());
}

void BM_SpdlogInactiveLevel(benchmark::State& state) {
  spdlog::logger& logger = sharedLogger();
  int i = 0;
  for (auto _ : state) logger.debug("request {} handled in {} us", ++i, 42);
}
BENCHMARK(BM_SpdlogInfo)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(BM_SpdlogInactiveLevel);
#endif

}  // namespace

BENCHMARK(BM_TraceInfo)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(BM_TraceInactiveLevel);

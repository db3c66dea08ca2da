// Trace records against spdlog, in one process. Records per second through one trace into one trace file
// (flush mode 0) against spdlog's basic_logger_mt writing the same line ("[name HH:MM:SS.mmm text]") into a file
// of its own, at 1, 2 and 4 threads; and what an output at an inactive level costs. Every figure is the best of
// three rounds, and the two peers take turns inside each round, so that a load that comes and goes hits both.
//
//   trace_bench                            # 3 rounds of 10^6 records per peer and thread count
//   trace_bench --records 200000 --rounds 5
//   nice -n -20 trace_bench --spread 1     # Linux: thread t on processor t % n, as an idle machine runs them
//
// On a machine that other work keeps busy the scheduler rarely runs two writers at the same moment, and the
// threads meet on the file's lock less than on an idle machine; --spread puts them on every processor, which
// brings the contended case back (with nice, ahead of the other work).
//
// Instructions per record, exact: one thread, each record written by a function of its own.
//   valgrind --tool=callgrind --toggle-collect='*writeOne*' trace_bench --callgrind 100000
//   callgrind_annotate --inclusive=yes callgrind.out.<pid> | grep writeOne   # Ir / 100000 per peer
#include <zem_util/trace.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <pthread.h>
#include <sched.h>
#endif

#if defined(ZEM_UTIL_BENCH_SPDLOG)
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

std::string scratchPath(const char* name) {
  return (std::filesystem::temp_directory_path() / ("zem_util_bench_" + std::string(name))).string();
}

// ---- ZemUtil ------------------------------------------------------------------------------------------------

struct ZemPeer {
  ZemPeer() : path(scratchPath("trace.log")), trace(new zem_util::Trace("bench")) {
    std::filesystem::remove(path);
    trace->setFileName(path.c_str());
    trace->setMaxLevel(zem_util::kInfo);
    file = zem_util::getTraceMgr()->getTraceFile(path.c_str());
    zem_util::TraceParameters parameters = file->getParameters();
    parameters.flushMode = 0;
    parameters.maxFileSize = 0x7FFFFFFF;
    file->setParameters(parameters);
  }
  // Written out and removed, so that every run starts from an empty file.
  void reset() {
    file->close();
    std::filesystem::remove(path);
  }

  std::string path;
  zem_util::Ptr<zem_util::Trace> trace;
  zem_util::Ptr<zem_util::TraceFile> file;
};

__attribute__((noinline)) void writeOneZemRecord(zem_util::Trace& trace, int i) {
  trace.info("request %d served in %d us", i, i % 1000);
}

// ---- spdlog -------------------------------------------------------------------------------------------------

#if defined(ZEM_UTIL_BENCH_SPDLOG)
struct SpdlogPeer {
  SpdlogPeer() : path(scratchPath("spdlog.log")) { open(); }
  void open() {
    auto sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>(path, true);
    logger = std::make_shared<spdlog::logger>("bench", sink);  // what spdlog::basic_logger_mt builds
    logger->set_pattern("[%n %H:%M:%S.%e %v]");
    logger->set_level(spdlog::level::info);
  }
  void reset() {
    logger.reset();
    std::filesystem::remove(path);
    open();
  }

  std::string path;
  std::shared_ptr<spdlog::logger> logger;
};

__attribute__((noinline)) void writeOneSpdlogRecord(spdlog::logger& logger, int i) {
  logger.info("request {} served in {} us", i, i % 1000);
}
#endif

// ---- measuring ----------------------------------------------------------------------------------------------

bool spread = false;  // --spread: worker t runs on processor t % n only

void keepOnProcessor(int t) {
#if defined(__linux__)
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(t % static_cast<int>(std::thread::hardware_concurrency()), &set);
  pthread_setaffinity_np(pthread_self(), sizeof set, &set);
#else
  (void)t;
#endif
}

// Records per second of `records` records shared out among `threads` threads that start together.
template <class WriteOne>
double recordsPerSecond(int threads, int records, WriteOne writeOne) {
  std::atomic<bool> go{false};
  std::vector<std::thread> workers;
  const int each = records / threads;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      if (spread) keepOnProcessor(t);
      while (!go.load(std::memory_order_acquire)) std::this_thread::yield();
      for (int i = t * each; i < (t + 1) * each; ++i) writeOne(i);
    });
  }
  const Clock::time_point start = Clock::now();
  go.store(true, std::memory_order_release);
  for (std::thread& worker : workers) worker.join();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return each * threads / seconds;
}

// Nanoseconds per call of `call`, over enough calls to take a good part of a second.
template <class Call>
double nanosecondsPerCall(Call call) {
  constexpr int kCalls = 200000000;
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < kCalls; ++i) call(i);
  return std::chrono::duration<double, std::nano>(Clock::now() - start).count() / kCalls;
}

std::string loadAverage() {
  std::ifstream file("/proc/loadavg");
  std::string one;
  return file >> one ? one : std::string("?");
}

int argument(int argc, char** argv, const char* name, int fallback) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], name) == 0) return std::atoi(argv[i + 1]);
  }
  return fallback;
}

}  // namespace

int main(int argc, char** argv) {
  ZemPeer zem;
#if defined(ZEM_UTIL_BENCH_SPDLOG)
  SpdlogPeer spd;
#endif
  if (const int records = argument(argc, argv, "--callgrind", 0)) {
    for (int i = 0; i < records; ++i) writeOneZemRecord(*zem.trace, i);
#if defined(ZEM_UTIL_BENCH_SPDLOG)
    for (int i = 0; i < records; ++i) writeOneSpdlogRecord(*spd.logger, i);
#endif
    zem.reset();
    return 0;
  }

  const int records = argument(argc, argv, "--records", 1000000);
  const int rounds = argument(argc, argv, "--rounds", 3);
  spread = argument(argc, argv, "--spread", 0) != 0;
  const int threadCounts[] = {1, 2, 4};
  double bestZem[3] = {}, bestSpd[3] = {};
  double inactiveZem = 1e9, inactiveVirtual = 1e9, inactiveSpd = 1e9;
  std::printf("load average at start %s%s\n", loadAverage().c_str(),
              spread ? ", threads spread over the processors" : "");
  for (int round = 0; round < rounds; ++round) {
    for (int k = 0; k < 3; ++k) {
      const int threads = threadCounts[k];
      auto runZem = [&] {
        bestZem[k] =
            std::max(bestZem[k], recordsPerSecond(threads, records, [&](int i) { writeOneZemRecord(*zem.trace, i); }));
        zem.reset();
      };
#if defined(ZEM_UTIL_BENCH_SPDLOG)
      auto runSpd = [&] {
        bestSpd[k] = std::max(bestSpd[k],
                              recordsPerSecond(threads, records, [&](int i) { writeOneSpdlogRecord(*spd.logger, i); }));
        spd.reset();
      };
      // Alternate who goes first, so that neither always follows the other's file being written out.
      if ((round + k) % 2 == 0) {
        runZem();
        runSpd();
      } else {
        runSpd();
        runZem();
      }
#else
      runZem();
#endif
    }
    const zem_util::Ptr<zem_util::Trace>& trace = zem.trace;
    inactiveZem =
        std::min(inactiveZem,
                 nanosecondsPerCall([&](int i) { ZEM_UTIL_TRACE_DEBUG(trace, "request %d served in %d us", i, 42); }));
    inactiveVirtual = std::min(inactiveVirtual,
                               nanosecondsPerCall([&](int i) { trace->debug("request %d served in %d us", i, 42); }));
#if defined(ZEM_UTIL_BENCH_SPDLOG)
    spdlog::logger& logger = *spd.logger;
    inactiveSpd =
        std::min(inactiveSpd, nanosecondsPerCall([&](int i) { logger.debug("request {} served in {} us", i, 42); }));
#endif
  }

  std::printf("records/s, best of %d rounds of %d records; ratio = ZemUtil / spdlog (above 1 is faster)\n", rounds,
              records);
  std::printf("%-8s %14s %14s %7s\n", "threads", "ZemUtil", "spdlog", "ratio");
  for (int k = 0; k < 3; ++k) {
    std::printf("%-8d %14.0f %14.0f %7.2f\n", threadCounts[k], bestZem[k], bestSpd[k],
                bestSpd[k] > 0 ? bestZem[k] / bestSpd[k] : 0.0);
  }
  std::printf("inactive output, ns per call: ZemUtil %.2f (ZEM_UTIL_TRACE_DEBUG), %.2f (debug()), spdlog %.2f\n",
              inactiveZem, inactiveVirtual, inactiveSpd);
  std::printf("load average at end %s\n", loadAverage().c_str());
  return 0;
}

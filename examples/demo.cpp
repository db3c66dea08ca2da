// A small component at work: worker threads share a job list, hand out results through an event, and report
// with formatted texts. Run it with no arguments.
#include <zem_util/zem_util.h>

#include <cstdio>

namespace {

using zem_util::ArrayPtr;
using zem_util::Ptr;

// A result object shared between the worker that makes it and the main thread that prints it.
class Result : public zem_util::Shared {
 public:
  explicit Result(ArrayPtr<char> text) : text(text) {}
  ArrayPtr<char> text;
};

class Worker : public zem_util::Runnable {
 public:
  Worker(int id, zem_util::Mutex& mutex, zem_util::Event& done, Ptr<Result>* slot, int* finished)
      : id_(id), mutex_(mutex), done_(done), slot_(slot), finished_(finished) {}

  void run() override {
    unsigned started = zem_util::getTimeMs();
    long sum = 0;
    for (int i = 1; i <= 1000000 * id_; ++i) sum += i % 7;
    Ptr<Result> result(new Result(zem_util::format("worker %d (thread %u): sum %ld in %u ms", id_,
                                                   zem_util::getCurrentThreadId(), sum,
                                                   zem_util::getTimeMs() - started)));
    zem_util::MutexLock guard(mutex_);
    *slot_ = result;
    ++*finished_;
    done_.notifyAll();
  }

 private:
  int id_;
  zem_util::Mutex& mutex_;
  zem_util::Event& done_;
  Ptr<Result>* slot_;
  int* finished_;
};

}  // namespace

int main() {
  constexpr int kWorkers = 3;
  zem_util::Mutex mutex;
  zem_util::Event done;
  Ptr<Result> results[kWorkers];
  int finished = 0;

  std::printf("ZemUtil demo, process %u\n", zem_util::getCurrentProcessId());
  Worker workers[kWorkers] = {{1, mutex, done, &results[0], &finished},
                              {2, mutex, done, &results[1], &finished},
                              {3, mutex, done, &results[2], &finished}};
  {
    zem_util::MutexLock guard(mutex);
    for (Worker& worker : workers) zem_util::startThread(worker);
    // Events are pulses: re-check the count after every wake-up, and never wait without a bound.
    unsigned start = zem_util::getTimeMs();
    while (finished < kWorkers && zem_util::getTimeMs() - start < 10000) done.wait(mutex, 500);
    if (finished < kWorkers) {
      std::printf("workers did not finish in time\n");
      return 1;
    }
  }
  for (Ptr<Result>& result : results) std::printf("  %s\n", result->text.toNullTerminatedPtr());

  ArrayPtr<char> name("trace_net.log");
  ArrayPtr<char> stem = name.slice(0, 9);  // shares the block: "trace_net"
  std::printf("slice '%s' of '%s', hash %08x\n", stem.toNullTerminatedPtr(), name.toNullTerminatedPtr(),
              zem_util::hash(name));
  try {
    zem_util::format("%5000d", 1);
  } catch (const char* limit) {
    std::printf("format refused: %s\n", limit);
  }
  std::printf("error text: %s\n", zem_util::getSystemErrorMsg("demo", "open", 2).toNullTerminatedPtr());
  return 0;
}

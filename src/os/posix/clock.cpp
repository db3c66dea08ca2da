// POSIX back end: tick count, sleeping, identifiers and local time.
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "os/os.h"

namespace zem_util::os {

unsigned getTickCountMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  // Truncation to 32 bits is the point: callers compare by unsigned difference across the wrap.
  return static_cast<unsigned>(static_cast<unsigned long long>(now.tv_sec) * 1000ULL +
                               static_cast<unsigned long long>(now.tv_nsec) / 1000000ULL);
}

void sleepMs(unsigned ms) {
  timespec remaining{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&remaining, &remaining) == -1 && errno == EINTR) {
  }
}

namespace {
// Every lock asks for the caller's identifier, so it must not cost a system call. Initial-exec TLS keeps
// the access a single load from the thread pointer, even inside a shared library.
#if defined(__GNUC__)
__attribute__((tls_model("initial-exec")))
#endif
thread_local unsigned cachedThreadId = 0;
}  // namespace

unsigned getCurrentThreadId() {
  unsigned id = cachedThreadId;
  if (id == 0) cachedThreadId = id = static_cast<unsigned>(syscall(SYS_gettid));
  return id;
}

unsigned getCurrentProcessId() { return static_cast<unsigned>(getpid()); }

LocalTime getLocalTime() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  // localtime_r consults the time zone under a process-wide lock; within one second its answer cannot change,
  // so each thread keeps the last one (trace records ask for the time thousands of times a second).
  thread_local time_t cachedSecond = -1;
  thread_local tm fields{};
  if (now.tv_sec != cachedSecond) {
    localtime_r(&now.tv_sec, &fields);
    cachedSecond = now.tv_sec;
  }
  return LocalTime{fields.tm_year + 1900,
                   fields.tm_mon + 1,
                   fields.tm_mday,
                   fields.tm_hour,
                   fields.tm_min,
                   fields.tm_sec,
                   static_cast<int>(now.tv_nsec / 1000000L)};
}

}  // namespace zem_util::os

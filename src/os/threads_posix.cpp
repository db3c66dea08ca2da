// POSIX back end of threads.h: detached pthreads, nanosleep, sched_yield and gettid.
#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "os/threads.h"

namespace zem_util::os {

namespace {
void* threadMain(void* start) {
  backend::runThreadStart(start);
  return nullptr;
}
}  // namespace

bool backend::startSystemThread(ThreadStart* start, unsigned* error) {
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  pthread_t thread;
  const int result = pthread_create(&thread, &attributes, threadMain, start);
  pthread_attr_destroy(&attributes);
  if (result == 0) return true;
  *error = static_cast<unsigned>(result);
  return false;
}

void sleepMs(unsigned ms) {
  timespec remaining{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&remaining, &remaining) == -1 && errno == EINTR) {
  }
}

void yieldProcessor() { sched_yield(); }

namespace {
// Every lock asks for the caller's identifier, so it must not cost a system call. In the shared library,
// initial-exec TLS keeps the access a single load from the thread pointer. The static library leaves the model to
// the linker, which gives a program the same single load; a plug-in linked with it gets ordinary dynamic TLS
// instead, because initial-exec TLS in a plug-in takes room in the small static TLS reserve that every dlopen
// shares: a few hundred such plug-ins and dlopen fails ("cannot allocate memory in static TLS block").
#if defined(__GNUC__) && !defined(ZEM_UTIL_STATIC)
__attribute__((tls_model("initial-exec")))
#endif
thread_local unsigned cachedThreadId = 0;
}  // namespace

unsigned getCurrentThreadId() {
  unsigned id = cachedThreadId;
  if (id == 0) cachedThreadId = id = static_cast<unsigned>(syscall(SYS_gettid));
  return id;
}

}  // namespace zem_util::os

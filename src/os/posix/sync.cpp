// POSIX back end: critical sections and kernel mutexes over pthread mutexes.
#include <pthread.h>

#include <cerrno>
#include <ctime>
#include <new>

#include "os/os.h"
#include "os/posix/time_util.h"

namespace zem_util::os {

struct CriticalSection {
  pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;  // recursion is counted above this layer
};

CriticalSection* newCriticalSection() { return new CriticalSection; }
void enterCriticalSection(CriticalSection* section) { pthread_mutex_lock(&section->mutex); }
bool tryEnterCriticalSection(CriticalSection* section) { return pthread_mutex_trylock(&section->mutex) == 0; }
void leaveCriticalSection(CriticalSection* section) { pthread_mutex_unlock(&section->mutex); }
void deleteCriticalSection(CriticalSection* section) {
  pthread_mutex_destroy(&section->mutex);
  delete section;
}

// Robust so that a thread ending while it holds the lock leaves it "abandoned" rather than locked forever.
struct KernelMutex {
  pthread_mutex_t mutex;
};

KernelMutex* newKernelMutex(unsigned* error) {
  pthread_mutexattr_t attributes;
  int result = pthread_mutexattr_init(&attributes);
  if (result == 0) {
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
    auto* kernel = new (std::nothrow) KernelMutex;
    result = kernel ? pthread_mutex_init(&kernel->mutex, &attributes) : ENOMEM;
    pthread_mutexattr_destroy(&attributes);
    if (result == 0) return kernel;
    delete kernel;
  }
  *error = static_cast<unsigned>(result);
  return nullptr;
}

WaitResult waitKernelMutex(KernelMutex* kernel, unsigned timeoutMs, unsigned* error) {
  int result;
  if (timeoutMs == 0xFFFFFFFF) {
    result = pthread_mutex_lock(&kernel->mutex);
  } else if (timeoutMs == 0) {
    result = pthread_mutex_trylock(&kernel->mutex);
    if (result == EBUSY) return WaitResult::Timeout;
  } else {
    // pthread_mutex_timedlock measures against CLOCK_REALTIME; a clock step shifts the deadline, which is
    // the best this call offers portably.
    const timespec deadline = deadlineAfter(CLOCK_REALTIME, timeoutMs);
    result = pthread_mutex_timedlock(&kernel->mutex, &deadline);
  }
  switch (result) {
    case 0:
      return WaitResult::Signalled;
    case EOWNERDEAD:
      pthread_mutex_consistent(&kernel->mutex);
      return WaitResult::Abandoned;
    case ETIMEDOUT:
      return WaitResult::Timeout;
    default:
      *error = static_cast<unsigned>(result);
      return WaitResult::Failed;
  }
}

void releaseKernelMutex(KernelMutex* kernel) { pthread_mutex_unlock(&kernel->mutex); }

void deleteKernelMutex(KernelMutex* kernel) {
  pthread_mutex_destroy(&kernel->mutex);
  delete kernel;
}

}  // namespace zem_util::os

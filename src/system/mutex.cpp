// Recursive mutexes of both kinds behind one opaque handle, with an owner check on release.
#include "core/no_destructor.h"
#include "system/mutex_record.h"
#include "zem_util/system.h"

namespace zem_util {

void* newMutex(bool criticalSection) {
  return newMutex(criticalSection ? MutexKind::kCriticalSection : MutexKind::kKernelMutex);
}

void* newMutex(MutexKind kind) {
  const bool criticalSection = kind == MutexKind::kCriticalSection;
  auto* mutex = new MutexRecord{criticalSection, nullptr, true, nullptr, 0, {0}};
  if (criticalSection) {
    mutex->section = new detail::RecursiveLock;
  } else {
    unsigned error = 0;
    mutex->kernel = os::newKernelMutex(&error);
    if (!mutex->kernel) {
      delete mutex;
      throw Exception(
          getSystemErrorMsg("Internal error : Cannot create a new mutual exclusion object", "CreateMutex", error));
    }
  }
  return mutex;
}

// The section stays held from one call to the next, which the analysis cannot follow.
bool lock(void* handle, unsigned int timeout) ZEM_UTIL_NO_THREAD_SAFETY_ANALYSIS {
  MutexRecord* mutex = MutexRecord::of(handle);
  if (mutex->criticalSection) {
    mutex->section->lock();
    return true;
  }
  unsigned error = 0;
  switch (os::waitKernelMutex(mutex->kernel, timeout, &error)) {
    case os::WaitResult::Timeout:
      return false;
    case os::WaitResult::Failed:
      throw Exception(
          getSystemErrorMsg("Internal error : Cannot ensure thread mutual exclusion.", "WaitForSingleObject", error));
    case os::WaitResult::Abandoned:
      // The previous owner ended while holding it: its levels died with it, and the caller starts afresh.
      mutex->lockCount = 0;
      break;
    case os::WaitResult::Signalled:
      break;
  }
  if (mutex->lockCount++ == 0) mutex->owner.store(os::getCurrentThreadId(), std::memory_order_relaxed);
  return true;
}

bool unlock(void* handle) ZEM_UTIL_NO_THREAD_SAFETY_ANALYSIS {
  MutexRecord* mutex = MutexRecord::of(handle);
  if (mutex->criticalSection) return mutex->section->unlock();
  if (!mutex->isHeldByCaller()) return false;
  if (--mutex->lockCount == 0) mutex->owner.store(0, std::memory_order_relaxed);
  os::releaseKernelMutex(mutex->kernel);
  return true;
}

bool Mutex::try_lock() { return tryLockFor(0); }

bool Mutex::tryLockFor(unsigned int timeoutMs) {
  MutexRecord* mutex = MutexRecord::of(handle_);
  if (!mutex->criticalSection) return zem_util::lock(handle_, timeoutMs);  // 0: one try
  // A critical section has no timed wait: try again every millisecond until the time is up.
  const unsigned start = getTimeMs();
  while (!mutex->section->tryLock()) {
    if (getTimeMs() - start >= timeoutMs) return false;
    sleepMs(1);
  }
  return true;
}

void deleteMutex(void* handle) {
  MutexRecord* mutex = MutexRecord::of(handle);
  if (mutex->criticalSection) {
    if (mutex->ownsSection) delete mutex->section;
  } else {
    os::deleteKernelMutex(mutex->kernel);
  }
  delete mutex;
}

// Both live until the process ends, so that static objects of other files may use them in their destructors.
Mutex& getGlobalMutex() {
  static detail::NoDestructor<Mutex> mutex{MutexKind::kCriticalSection};
  return *mutex;
}

namespace {
// A critical-section mutex whose lock is the count lock itself, so that a caller holding it sees every count
// frozen. Built like any other, then pointed at the count lock.
struct RefCountMutex {
  Mutex mutex{MutexKind::kCriticalSection};
  RefCountMutex() {
    MutexRecord* record = MutexRecord::of(mutex.getHandle());
    delete record->section;
    record->section = &detail::countLock();
    record->ownsSection = false;
  }
};
}  // namespace

Mutex& getRefCountMutex() {
  static detail::NoDestructor<RefCountMutex> refCount;
  return refCount->mutex;
}

}  // namespace zem_util

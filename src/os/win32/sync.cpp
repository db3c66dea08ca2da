// Win32 back end: critical sections and kernel mutexes.
#include "os/os.h"
#include "os/win32/windows_api.h"

namespace zem_util::os {

struct CriticalSection {
  CRITICAL_SECTION section;
};

CriticalSection* newCriticalSection() {
  auto* cs = new CriticalSection;
  // Cannot fail on any Windows this library runs on: since Vista the system allocates the wait event lazily
  // and never raises STATUS_NO_MEMORY here.
  InitializeCriticalSection(&cs->section);
  return cs;
}

void enterCriticalSection(CriticalSection* cs) { EnterCriticalSection(&cs->section); }

bool tryEnterCriticalSection(CriticalSection* cs) { return TryEnterCriticalSection(&cs->section) != FALSE; }

void leaveCriticalSection(CriticalSection* cs) { LeaveCriticalSection(&cs->section); }

void deleteCriticalSection(CriticalSection* cs) {
  DeleteCriticalSection(&cs->section);
  delete cs;
}

struct KernelMutex {
  HANDLE handle;
};

KernelMutex* newKernelMutex(unsigned* error) {
  // Unnamed, default security, not owned by the creator: a private lock of this process.
  HANDLE handle = CreateMutexA(nullptr, FALSE, nullptr);
  if (handle == nullptr) {
    win32::storeLastError(error);
    return nullptr;
  }
  return new KernelMutex{handle};
}

WaitResult waitKernelMutex(KernelMutex* mutex, unsigned timeoutMs, unsigned* error) {
  // INFINITE is 0xFFFFFFFF, so the caller's "no limit" passes through unchanged.
  switch (WaitForSingleObject(mutex->handle, timeoutMs)) {
    case WAIT_OBJECT_0:
      return WaitResult::Signalled;
    case WAIT_ABANDONED:
      // The previous owner thread ended while holding it; the caller now owns it all the same.
      return WaitResult::Abandoned;
    case WAIT_TIMEOUT:
      return WaitResult::Timeout;
    default:
      win32::storeLastError(error);
      return WaitResult::Failed;
  }
}

void releaseKernelMutex(KernelMutex* mutex) { ReleaseMutex(mutex->handle); }

void deleteKernelMutex(KernelMutex* mutex) {
  CloseHandle(mutex->handle);
  delete mutex;
}

}  // namespace zem_util::os

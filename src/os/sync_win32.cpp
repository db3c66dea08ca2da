// Win32 back end of sync.h: critical sections, kernel mutexes, pulse events over a pair of kernel events, and
// WaitOnAddress and FlushProcessWriteBuffers beneath the library's own count lock.
#include "os/sync.h"
#include "os/windows_api.h"

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

// ---- pulse events ----------------------------------------------------------------------------------------

// Both events stay non-signalled between pulses: PulseEvent sets one and resets it as soon as it has
// released whom it can, so a pulse with nobody waiting leaves no trace.
struct PulseEvent {
  HANDLE single;     // auto-reset: a pulse releases one waiter
  HANDLE broadcast;  // manual-reset: a pulse releases every current waiter
};

PulseEvent* newPulseEvent(unsigned* error) {
  HANDLE single = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (single == nullptr) {
    win32::storeLastError(error);
    return nullptr;
  }
  HANDLE broadcast = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (broadcast == nullptr) {
    win32::storeLastError(error);  // before CloseHandle can overwrite the code
    CloseHandle(single);
    return nullptr;
  }
  return new PulseEvent{single, broadcast};
}

// The struct of the same name hides the API function inside this namespace, hence the global qualifier.
bool pulseOne(PulseEvent* event, unsigned* error) {
  if (::PulseEvent(event->single)) return true;
  win32::storeLastError(error);
  return false;
}

bool pulseAll(PulseEvent* event, unsigned* error) {
  if (::PulseEvent(event->broadcast)) return true;
  win32::storeLastError(error);
  return false;
}

WaitResult waitPulseEvent(PulseEvent* event, unsigned timeoutMs, void (*release)(void*), void* arg, unsigned* error) {
  // Copy the handles first: once the caller's lock is released another thread may delete the record.
  const HANDLE handles[2] = {event->single, event->broadcast};
  // Kernel events have no waiter registration: a pulse that comes between the release and the wait is lost,
  // which the event contract allows (callers re-check their state after every wake-up).
  release(arg);
  switch (WaitForMultipleObjects(2, handles, FALSE, timeoutMs)) {
    case WAIT_OBJECT_0:
    case WAIT_OBJECT_0 + 1:
    case WAIT_ABANDONED_0:
    case WAIT_ABANDONED_0 + 1:
      return WaitResult::Signalled;
    case WAIT_TIMEOUT:
      return WaitResult::Timeout;
    default:
      win32::storeLastError(error);
      return WaitResult::Failed;
  }
}

void deletePulseEvent(PulseEvent* event) {
  CloseHandle(event->single);
  CloseHandle(event->broadcast);
  delete event;
}

// ---- word waits and the process barrier ---------------------------------------------------------------------

void waitWhileEqual(const std::atomic<std::uint32_t>& word, std::uint32_t value, unsigned timeoutMs) {
  // The system only reads the word; a timeout or a wake-up for no reason both mean "look again".
  WaitOnAddress(const_cast<std::atomic<std::uint32_t>*>(&word), &value, sizeof value, timeoutMs);
}

void wakeOneWaiter(const std::atomic<std::uint32_t>& word) {
  WakeByAddressSingle(const_cast<std::atomic<std::uint32_t>*>(&word));
}

// Wine 8 accepts the call and does nothing, which the contract allows; as a caller cannot tell, the barrier is
// never reported as delivered.
void issueProcessBarrier() { FlushProcessWriteBuffers(); }
bool hasProcessBarrier() { return false; }

}  // namespace zem_util::os

// Win32 back end of threads.h: CreateThread with its handle closed at once, Sleep, SwitchToThread and
// GetCurrentThreadId.
#include "os/threads.h"
#include "os/windows_api.h"

namespace zem_util::os {

namespace {
DWORD WINAPI threadMain(LPVOID start) {
  backend::runThreadStart(start);
  return 0;
}
}  // namespace

bool backend::startSystemThread(ThreadStart* start, unsigned* error) {
  HANDLE thread = CreateThread(nullptr, 0, threadMain, start, 0, nullptr);
  if (thread == nullptr) {
    win32::storeLastError(error);
    return false;
  }
  // Nobody joins: closing the handle now lets the system free the thread object as soon as it ends.
  CloseHandle(thread);
  return true;
}

void sleepMs(unsigned ms) { Sleep(ms); }

void yieldProcessor() { SwitchToThread(); }

// Read from the thread's own environment block: no need to cache it.
unsigned getCurrentThreadId() { return ::GetCurrentThreadId(); }

}  // namespace zem_util::os

// Win32 back end: tick count, sleeping, identifiers and local time.
#include "os/os.h"
#include "os/win32/windows_api.h"

namespace zem_util::os {

// GetTickCount wraps after about 49.7 days, exactly the 32-bit millisecond clock callers expect; they compare
// times by unsigned subtraction.
unsigned getTickCountMs() { return GetTickCount(); }

void sleepMs(unsigned ms) { Sleep(ms); }

// Both identifiers are read from the thread's own environment block: no need to cache them.
unsigned getCurrentThreadId() { return ::GetCurrentThreadId(); }

unsigned getCurrentProcessId() { return ::GetCurrentProcessId(); }

LocalTime getLocalTime() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return LocalTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

}  // namespace zem_util::os

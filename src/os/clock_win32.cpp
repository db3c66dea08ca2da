// Win32 back end of clock.h: GetTickCount and GetLocalTime.
#include "os/clock.h"
#include "os/windows_api.h"

namespace zem_util::os {

// GetTickCount wraps after about 49.7 days, exactly the 32-bit millisecond clock callers expect.
unsigned getTickCountMs() { return GetTickCount(); }

LocalTime getLocalTime() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return LocalTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

}  // namespace zem_util::os

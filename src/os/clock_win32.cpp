// Win32 back end of clock.h: GetTickCount, GetLocalTime, GetSystemTimeAsFileTime and the run-time's _localtime64.
#include <ctime>

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

SystemTime getSystemTime() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  // 100 ns units since 1601-01-01; 1970-01-01 is 11644473600 s later.
  const std::int64_t units =
      static_cast<std::int64_t>(static_cast<std::uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime) -
      116444736000000000LL;
  return SystemTime{units / 10000000, static_cast<int>(units % 10000000 / 10000)};
}

LocalTime getLocalTimeOf(std::int64_t second) {
  const __time64_t t = second;
  const tm* fields = _localtime64(&t);  // the run-time's own, per thread
  if (!fields) return LocalTime{1970, 1, 1, 0, 0, 0, 0};
  return LocalTime{
      fields->tm_year + 1900, fields->tm_mon + 1, fields->tm_mday, fields->tm_hour, fields->tm_min, fields->tm_sec, 0};
}

}  // namespace zem_util::os

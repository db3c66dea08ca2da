// POSIX back end of clock.h: clock_gettime for both clocks, localtime_r for the local time.
#include <ctime>

#include "os/clock.h"

namespace zem_util::os {

unsigned getTickCountMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  // Truncation to 32 bits is the point: callers compare by unsigned difference across the wrap.
  return static_cast<unsigned>(static_cast<unsigned long long>(now.tv_sec) * 1000ULL +
                               static_cast<unsigned long long>(now.tv_nsec) / 1000000ULL);
}

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

SystemTime getSystemTime() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return SystemTime{static_cast<std::int64_t>(now.tv_sec), static_cast<int>(now.tv_nsec / 1000000L)};
}

LocalTime getLocalTimeOf(std::int64_t second) {
  const time_t t = static_cast<time_t>(second);
  tm fields{};
  localtime_r(&t, &fields);
  return LocalTime{
      fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, fields.tm_hour, fields.tm_min, fields.tm_sec, 0};
}

}  // namespace zem_util::os

// Platform layer, clocks: a millisecond tick count for intervals and the local time for time stamps.
#pragma once

#include <cstdint>

namespace zem_util::os {

// Milliseconds since the system started, truncated to 32 bits: it wraps after about 49.7 days, so callers
// compare times by unsigned difference. Never goes back (POSIX: the monotonic clock; Windows: GetTickCount).
unsigned getTickCountMs();

struct LocalTime {
  int year;         // e.g. 2026
  int month;        // 1..12
  int day;          // 1..31
  int hour;         // 0..23
  int minute;       // 0..59
  int second;       // 0..60
  int millisecond;  // 0..999
};

// Now, in the local time zone.
LocalTime getLocalTime();

// Now as the system clock counts: whole seconds since 1970-01-01 UTC and the milliseconds past them. Cheaper than
// getLocalTime, for time stamps whose date and time of day change once a second: getLocalTimeOf gives them.
struct SystemTime {
  std::int64_t second;
  int millisecond;  // 0..999
};
SystemTime getSystemTime();

// The local date and time of day of `second` (a SystemTime's), with millisecond 0.
LocalTime getLocalTimeOf(std::int64_t second);

}  // namespace zem_util::os

// POSIX back end: deadline arithmetic shared by the timed waits.
#pragma once

#include <ctime>

namespace zem_util::os {

// Now on `clock` plus `ms` milliseconds.
inline timespec deadlineAfter(clockid_t clock, unsigned ms) {
  timespec t{};
  clock_gettime(clock, &t);
  t.tv_sec += static_cast<time_t>(ms / 1000);
  t.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
  if (t.tv_nsec >= 1000000000L) {
    t.tv_sec += 1;
    t.tv_nsec -= 1000000000L;
  }
  return t;
}

}  // namespace zem_util::os

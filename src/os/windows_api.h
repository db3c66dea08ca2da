// Win32 back end: the one way the back end includes the Windows API.
//
// Only the Win32 back-end files (src/os/*_win32.cpp) include this header. It trims <windows.h> to the kernel and user
// APIs and keeps it from defining min/max macros that would break <algorithm> and std::numeric_limits.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace zem_util::os::win32 {

// Stores the calling thread's last error for callers that asked for it (`error` may be null).
inline void storeLastError(unsigned* error) {
  DWORD code = GetLastError();
  if (error != nullptr) *error = code;
}

}  // namespace zem_util::os::win32

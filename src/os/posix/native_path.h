// POSIX back end: the library's paths as the system reads them.
#pragma once

#include <string>

namespace zem_util::os {

// The library takes "\" as a separator on every platform; the system knows only "/": "logs\a.txt" -> "logs/a.txt".
inline std::string toNativePath(const char* path) {
  std::string native(path);
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
  return native;
}

}  // namespace zem_util::os

// POSIX back end: texts of error codes (errno values and pthread results).
#include <cstring>
#include <string>

#include "os/os.h"

namespace zem_util::os {

bool getSystemErrorText(unsigned code, std::string* text) {
  if (code > 0x7FFFFFFF) return false;
#if defined(__GLIBC__)
  // Unlike strerror, strerrordesc_np says "no text" for unknown codes instead of inventing one.
  const char* description = strerrordesc_np(static_cast<int>(code));
  if (!description) return false;
  *text = description;
  return true;
#else
  char buffer[256] = {};
  if (strerror_r(static_cast<int>(code), buffer, sizeof buffer) != 0 || !buffer[0] ||
      std::strncmp(buffer, "Unknown error", 13) == 0)
    return false;
  *text = buffer;
  return true;
#endif
}

}  // namespace zem_util::os

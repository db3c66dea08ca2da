// POSIX back end of process.h: /proc/self/exe, getpid, setenv, standard error and strerrordesc_np.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "os/process.h"

namespace zem_util::os {

extern const char kPathListSeparator = ':';

bool getExecutablePath(std::string* path) {
  // readlink does not say whether it cut the name: grow the buffer until the name leaves room to spare.
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0) return false;
    if (static_cast<std::size_t>(length) < buffer.size()) {
      path->assign(buffer.data(), static_cast<std::size_t>(length));
      return true;
    }
    buffer.resize(buffer.size() * 2);
  }
}

unsigned getCurrentProcessId() { return static_cast<unsigned>(getpid()); }

bool setEnvironmentVariable(const char* name, const char* value) {
  return (value == nullptr ? unsetenv(name) : setenv(name, value, 1)) == 0;
}

// No desktop to show a box on: one line on standard error, written at once so that lines of several threads
// do not mix: "Error in server: disk full".
void showMessageBox(const char* title, const char* text) {
  std::string line = std::string(title) + ": " + text + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

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

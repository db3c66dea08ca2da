// POSIX back end: the executable's path, the module of an address, the environment and the error message.
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "os/os.h"

namespace zem_util::os {

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

// The loader knows the executable only by the name it was started with; the system has its full path.
bool findModuleOfAddress(const void* address, std::string* fileName, std::uintptr_t* base) {
  *base = 0;
  Dl_info info{};
  link_map* map = nullptr;
  if (dladdr1(address, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0 || !info.dli_fbase) return false;
  *base = reinterpret_cast<std::uintptr_t>(info.dli_fbase);
  const bool isExecutable = map && map->l_name && map->l_name[0] == '\0';
  if (isExecutable && getExecutablePath(fileName)) return true;
  fileName->assign(info.dli_fname ? info.dli_fname : "");
  return true;
}

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

}  // namespace zem_util::os

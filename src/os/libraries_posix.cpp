// POSIX back end of libraries.h: dlopen, dlsym, dlinfo and dlclose.
#include <dlfcn.h>
#include <link.h>

#include "os/files.h"
#include "os/libraries.h"
#include "os/process.h"

namespace zem_util::os {

namespace {
// "plugins/fr" -> "plugins/fr.so"; "libm.so.6" and "./x.so" keep their name.
std::string withDefaultExtension(std::string name) {
  const std::string::size_type slash = name.rfind('/');
  const std::string::size_type dot = name.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) name += ".so";
  return name;
}

void* openLibrary(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }
}  // namespace

// As LoadLibraryA does on Windows, a bare name is looked for beside the executable before the system's own
// places: "zem_fr" -> "/opt/app/bin/zem_fr.so", else "zem_fr.so" on the loader's search path.
void* loadLibrary(const char* name) {
  const std::string native = withDefaultExtension(backend::withSlashes(name));
  if (native.find('/') == std::string::npos) {
    std::string executable;
    if (getExecutablePath(&executable)) {
      const std::string beside = executable.substr(0, executable.rfind('/') + 1) + native;
      if (void* library = openLibrary(beside)) return library;
    }
  }
  return openLibrary(native);
}

void* getMainModule() {
  // The executable's handle never changes and needs no closing; asking once keeps its count at one.
  static void* const mainModule = dlopen(nullptr, RTLD_NOW);
  return mainModule;
}

// For the executable's handle the loader's search covers its global scope.
void* findSymbol(void* library, const char* name) { return dlsym(library, name); }

bool getLibraryFileName(void* library, std::string* path) {
  link_map* map = nullptr;
  if (dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return false;
  // The executable's entry has no name of its own.
  if (map->l_name == nullptr || map->l_name[0] == '\0') return getExecutablePath(path);
  path->assign(map->l_name);
  return true;
}

void freeLibrary(void* library) { dlclose(library); }

}  // namespace zem_util::os

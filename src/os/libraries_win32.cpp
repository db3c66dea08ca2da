// Win32 back end of libraries.h: LoadLibraryA, GetProcAddress, GetModuleFileNameA and FreeLibrary.
#include <cstring>

#include "os/libraries.h"
#include "os/windows_api.h"

namespace zem_util::os {
namespace {
HMODULE moduleOf(void* library) { return static_cast<HMODULE>(library); }
}  // namespace

// The system's own search order and default extension apply: "ZemMsg_fr" -> "ZemMsg_fr.dll", looked for
// beside the executable first.
void* loadLibrary(const char* name) { return LoadLibraryA(name); }

void* getMainModule() { return GetModuleHandleA(nullptr); }

void* findSymbol(void* library, const char* name) {
  const FARPROC function = GetProcAddress(moduleOf(library), name);
  // A function address handed out as an untyped pointer; both are one machine word on Windows.
  static_assert(sizeof(function) == sizeof(void*));
  void* address;
  std::memcpy(&address, &function, sizeof(address));
  return address;
}

bool getLibraryFileName(void* library, std::string* path) {
  // The name's length is unknown beforehand: a result that fills the buffer may have been cut, so the
  // buffer grows until the name fits, up to the longest path Windows has.
  for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
    std::string buffer(size, '\0');
    const DWORD length = GetModuleFileNameA(moduleOf(library), buffer.data(), size);
    if (length == 0) return false;
    if (length < size) {
      buffer.resize(length);
      *path = std::move(buffer);
      return true;
    }
  }
  return false;
}

void freeLibrary(void* library) { FreeLibrary(moduleOf(library)); }

}  // namespace zem_util::os

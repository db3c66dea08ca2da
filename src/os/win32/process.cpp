// Win32 back end: the executable's path, the module of an address, the environment and the error message box.
#include <cstring>

#include "os/os.h"
#include "os/win32/windows_api.h"

namespace zem_util::os {

bool getExecutablePath(std::string* path) { return getLibraryFileName(getMainModule(), path); }

bool findModuleOfAddress(const void* address, std::string* fileName, std::uintptr_t* base) {
  MEMORY_BASIC_INFORMATION region;
  std::memset(&region, 0, sizeof region);  // a failed query leaves the allocation base 0
  VirtualQuery(address, &region, sizeof region);
  *base = reinterpret_cast<std::uintptr_t>(region.AllocationBase);
  // GetModuleFileNameA(NULL) would name the executable for an address that is in no allocation at all.
  if (region.AllocationBase == nullptr) return false;
  char name[MAX_PATH];
  const DWORD length = GetModuleFileNameA(static_cast<HMODULE>(region.AllocationBase), name, MAX_PATH);
  if (length == 0) return false;
  fileName->assign(name, length < MAX_PATH ? length : MAX_PATH - 1);
  return true;
}

bool setEnvironmentVariable(const char* name, const char* value) {
  return SetEnvironmentVariableA(name, value) != FALSE;
}

// Owned by no window and system-modal: the library has no window of its own and the user must see it.
void showMessageBox(const char* title, const char* text) {
  constexpr UINT kStyle = MB_OK | MB_ICONHAND | MB_SYSTEMMODAL;
  static_assert(kStyle == 0x1010);
  MessageBoxA(nullptr, text, title, kStyle);
}

}  // namespace zem_util::os

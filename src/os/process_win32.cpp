// Win32 back end of process.h: module file names, SetEnvironmentVariableA, MessageBoxA and FormatMessageA.
#include "os/libraries.h"
#include "os/process.h"
#include "os/windows_api.h"

namespace zem_util::os {

// PATH entries: "C:\bin;D:\tools" -> "C:\bin", "D:\tools".
extern const char kPathListSeparator = ';';

bool getExecutablePath(std::string* path) { return getLibraryFileName(getMainModule(), path); }

// Read from the process's own environment block: no need to cache it.
unsigned getCurrentProcessId() { return ::GetCurrentProcessId(); }

bool setEnvironmentVariable(const char* name, const char* value) {
  return SetEnvironmentVariableA(name, value) != FALSE;
}

// Owned by no window and system-modal: the library has no window of its own and the user must see it.
void showMessageBox(const char* title, const char* text) {
  constexpr UINT kStyle = MB_OK | MB_ICONHAND | MB_SYSTEMMODAL;
  static_assert(kStyle == 0x1010);
  MessageBoxA(nullptr, text, title, kStyle);
}

bool getSystemErrorText(unsigned code, std::string* text) {
  // The system allocates the buffer; inserts are ignored because there are no arguments to fill them with.
  constexpr DWORD kFlags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
  static_assert(kFlags == 0x1300);
  constexpr DWORD kUserDefaultLanguage = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);  // 0x400
  char* buffer = nullptr;
  // With FORMAT_MESSAGE_ALLOCATE_BUFFER the buffer argument is really a char**.
  const DWORD length =
      FormatMessageA(kFlags, nullptr, code, kUserDefaultLanguage, reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
  const bool found = length > 0;
  // The text is kept as the system wrote it, trailing CR LF included.
  if (found) text->assign(buffer, length);
  if (buffer != nullptr) LocalFree(buffer);
  return found;
}

}  // namespace zem_util::os

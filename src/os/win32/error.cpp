// Win32 back end: system error texts.
#include "os/os.h"
#include "os/win32/windows_api.h"

namespace zem_util::os {

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

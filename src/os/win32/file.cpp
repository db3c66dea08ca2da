// Win32 back end: current directory, file attributes, directory creation and file removal.
#include <direct.h>

#include <cstdio>

#include "os/os.h"
#include "os/win32/windows_api.h"

namespace zem_util::os {

// "C:\work" as the system gives it; a drive root keeps its separator ("C:\"), which callers that add one
// only when it is missing handle as is.
bool getCurrentDirectory(std::string* dir) {
  // The first call tells the size including the NUL; the directory may change in between, hence the loop.
  DWORD size = GetCurrentDirectoryA(0, nullptr);
  while (size != 0) {
    std::string buffer(size, '\0');
    const DWORD length = GetCurrentDirectoryA(size, buffer.data());
    if (length == 0) return false;
    if (length < size) {
      buffer.resize(length);
      *dir = std::move(buffer);
      return true;
    }
    size = length;  // grew meanwhile: this is the new size needed
  }
  return false;
}

// Hidden and offline files count as absent, as directories do: only ordinary files the user sees are
// offered. The file is not opened.
bool isFileReadable(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  constexpr DWORD kExcluded = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_OFFLINE;
  static_assert(kExcluded == 0x1012);
  return (attributes & kExcluded) == 0;
}

bool makeDirectory(const char* path) { return _mkdir(path) == 0; }

bool removeFile(const char* path) { return std::remove(path) == 0; }

}  // namespace zem_util::os

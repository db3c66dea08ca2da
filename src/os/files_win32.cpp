// Win32 back end of files.h: the system's directory, path and attribute queries, and the C run-time's files.
#include <direct.h>
#include <sys/stat.h>

#include <cstdio>

#include "os/files.h"
#include "os/windows_api.h"

namespace zem_util::os {

// Both "/" and "\" are accepted when parsing; this is the one the library adds: "ZemTrace" -> "ZemTrace\".
extern const char kNativeSeparator = '\\';

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

// "sub\..\x" in C:\work -> "C:\work\x". Longer than MAX_PATH: a larger buffer, no cut.
bool getFullPath(const char* path, std::string* full) {
  DWORD size = MAX_PATH;
  for (;;) {
    std::string buffer(size, '\0');
    const DWORD length = GetFullPathNameA(path, size, buffer.data(), nullptr);
    if (length == 0) return false;
    if (length < size) {
      buffer.resize(length);
      *full = std::move(buffer);
      return true;
    }
    size = length;  // too small: this is the size needed, NUL included
  }
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

bool pathExists(const char* path) {
  struct _stat64 status {};
  return _stat64(path, &status) == 0;
}

bool removeFile(const char* path) { return std::remove(path) == 0; }

bool makeDirectory(const char* path) { return _mkdir(path) == 0; }

// Trace files are opened in text mode, which stores every "\n" as "\r\n".
extern const int kTextModeLineEndExtra = 1;

void lockStream(std::FILE* stream) { _lock_file(stream); }
void unlockStream(std::FILE* stream) { _unlock_file(stream); }

}  // namespace zem_util::os

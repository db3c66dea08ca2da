// Win32 back end of files.h: the system's directory, path and attribute queries, and the C run-time's files.
#include <direct.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <string>

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

void backend::makeDirectory(const char* path) { _mkdir(path); }

// Text mode, the C run-time's default: every "\n" written is stored as "\r\n".
std::FILE* backend::openForAppend(const char* path, std::int64_t* size) {
  std::FILE* file = std::fopen(path, "a");
  if (file == nullptr) return nullptr;
  _fseeki64(file, 0, SEEK_END);
  *size = _ftelli64(file);
  return file;
}

std::int64_t backend::storedSize(const char* data, std::size_t size) {
  return static_cast<std::int64_t>(size) + std::count(data, data + size, '\n');
}

// The system's msvcrt has no write without the stream's lock (_fwrite_nolock came with later run-times).
void backend::writeUnlocked(std::FILE* file, const char* data, std::size_t size) { std::fwrite(data, 1, size, file); }

}  // namespace zem_util::os

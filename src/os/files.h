// Platform layer, files: paths as the system sees them, file status, directories and stream locks.
//
// Paths may use "/" or "\" on every platform (the POSIX back end reads "\" as "/"); `kNativeSeparator` is the
// one the library adds. No function limits the length of a path: a text the system cannot take simply fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace zem_util::os {

extern const char kNativeSeparator;  // '/' on POSIX, '\\' on Windows

// ---- paths and status ------------------------------------------------------------------------------------

// The current directory, without a trailing separator except at a root ("/", "C:\"). False when the system
// cannot tell.
bool getCurrentDirectory(std::string* directory);

// The system's absolute form of `path`: "sub/../x" in /home/me -> "/home/me/x". False for an empty path.
// Windows: GetFullPathNameA. POSIX: the current directory joined lexically, "." and ".." resolved without
// looking at the disk, a trailing separator kept.
bool getFullPath(const char* path, std::string* full);

// An ordinary file the user may read: it exists, is not a directory, is not hidden (Windows: the hidden and
// offline attributes; POSIX: a name starting with "."), and on POSIX this process may read it. Not opened.
bool isFileReadable(const char* path);

bool pathExists(const char* path);  // the file status query succeeds: any kind of entry
bool removeFile(const char* path);  // true when a file was removed

bool makeDirectory(const char* path);  // one level; true when created

// Extra bytes a text-mode stream stores for each line feed: 1 where "\n" becomes "\r\n" on disk, else 0.
extern const int kTextModeLineEndExtra;

// Holds a stream's own lock across several writes, which then skip taking it one by one.
void lockStream(std::FILE* stream);
void unlockStream(std::FILE* stream);

// Between the back ends; nothing above this layer uses it.
namespace backend {

// "logs\a.txt" -> "logs/a.txt": a path as a system that knows only "/" reads it.
inline std::string withSlashes(const char* path) {
  std::string slashed(path);
  for (char& c : slashed) {
    if (c == '\\') c = '/';
  }
  return slashed;
}

}  // namespace backend

}  // namespace zem_util::os

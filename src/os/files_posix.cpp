// POSIX back end of files.h: getcwd, lexical full paths, stat, access, mkdir, remove and the C library's streams.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "os/files.h"

namespace zem_util::os {

extern const char kNativeSeparator = '/';

bool getCurrentDirectory(std::string* dir) {
  // getcwd has no "how long" query: grow the buffer until the directory fits.
  std::vector<char> buffer(256);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return false;
    buffer.resize(buffer.size() * 2);
  }
  dir->assign(buffer.data());
  return true;
}

namespace {
// Appends one segment of a path to the resolved segments in `full` ("/home/me"): "." changes nothing, ".."
// drops the last segment ("/" stays "/"), anything else is added after a "/".
void appendSegment(std::string* full, const std::string& segment) {
  if (segment.empty() || segment == ".") return;
  if (segment == "..") {
    if (!full->empty()) full->resize(full->rfind('/'));
    return;
  }
  full->push_back('/');
  full->append(segment);
}
}  // namespace

// Like GetFullPathNameA, without looking at the disk: in /home/me, "a/./b/../c/" -> "/home/me/a/c/".
bool getFullPath(const char* path, std::string* full) {
  const std::string native = backend::withSlashes(path);
  if (native.empty()) return false;
  std::string joined;
  if (native[0] != '/') {
    if (!getCurrentDirectory(&joined)) return false;
    joined.push_back('/');
  }
  joined.append(native);

  std::string result;  // resolved segments, each preceded by "/"; empty means the root
  std::string segment;
  for (char c : joined) {
    if (c == '/') {
      appendSegment(&result, segment);
      segment.clear();
    } else {
      segment.push_back(c);
    }
  }
  appendSegment(&result, segment);
  if (result.empty() || native.back() == '/') result.push_back('/');
  *full = std::move(result);
  return true;
}

bool isFileReadable(const char* path) {
  const std::string native = backend::withSlashes(path);
  struct stat status {};
  if (stat(native.c_str(), &status) != 0 || S_ISDIR(status.st_mode)) return false;
  // Names starting with "." are the hidden files of POSIX.
  const std::string::size_type slash = native.rfind('/');
  const std::string::size_type name = slash == std::string::npos ? 0 : slash + 1;
  if (name < native.size() && native[name] == '.') return false;
  return faccessat(AT_FDCWD, native.c_str(), R_OK, AT_EACCESS) == 0;
}

bool pathExists(const char* path) {
  struct stat status {};
  return stat(backend::withSlashes(path).c_str(), &status) == 0;
}

bool removeFile(const char* path) { return std::remove(backend::withSlashes(path).c_str()) == 0; }

// The umask applies, as it does to every file the process makes.
void backend::makeDirectory(const char* path) { mkdir(withSlashes(path).c_str(), 0777); }

std::FILE* backend::openForAppend(const char* path, std::int64_t* size) {
  std::FILE* file = std::fopen(withSlashes(path).c_str(), "a");
  if (file == nullptr) return nullptr;
  fseeko(file, 0, SEEK_END);
  *size = ftello(file);
  return file;
}

// No text mode: what is written is what is stored.
std::int64_t backend::storedSize(const char*, std::size_t size) { return static_cast<std::int64_t>(size); }

void backend::writeUnlocked(std::FILE* file, const char* data, std::size_t size) {
#if defined(__GLIBC__)
  fwrite_unlocked(data, 1, size, file);
#else
  std::fwrite(data, 1, size, file);
#endif
}

}  // namespace zem_util::os

// Platform layer, files: directory paths and append streams, for both back ends.
#include "os/files.h"

#include <cstring>
#include <string>

namespace zem_util::os {

void makeDirectories(const char* path) {
  const std::string directory(path);
  long lastSeparator = -1;
  for (std::size_t i = 0; i < directory.size(); ++i) {
    if (directory[i] != '/' && directory[i] != '\\') continue;
    if (static_cast<long>(i) - lastSeparator > 1) backend::makeDirectory(directory.substr(0, i).c_str());
    lastSeparator = static_cast<long>(i);
  }
  if (lastSeparator != static_cast<long>(directory.size()) - 1) backend::makeDirectory(directory.c_str());
}

namespace {
// What a file's stream gathers before it hands the bytes to the system: eight times the C library's usual
// buffer, so that a busy trace file calls the system once per few hundred records rather than once per dozens,
// which is what its lock is held longest for.
constexpr std::size_t kBufferSize = 32768;
}  // namespace

struct AppendStream {
  AppendStream(std::FILE* stream, std::int64_t bytes, bool standardStream)
      : file(stream), size(bytes), standard(standardStream) {}

  std::FILE* file;
  std::int64_t size;
  // The standard output or error: shared with the rest of the process, so neither closed nor counted here.
  bool standard;
};

AppendStream* openAppendStream(const char* path) {
  std::int64_t size = 0;
  std::FILE* file = backend::openForAppend(path, &size);
  if (file == nullptr) return nullptr;
  // The C library's buffer rather than one of our own: the C library empties it when the process exits, so a
  // record written just before a normal exit is not lost.
  std::setvbuf(file, nullptr, _IOFBF, kBufferSize);
  return new AppendStream(file, size, false);
}

AppendStream* getStandardOutput() {
  static AppendStream stream(stdout, 0, true);
  return &stream;
}

AppendStream* getStandardError() {
  static AppendStream stream(stderr, 0, true);
  return &stream;
}

std::int64_t getStreamSize(const AppendStream* stream) { return stream->size; }

void writeStream(AppendStream* stream, const char* data, std::size_t size) {
  if (stream->standard) {
    std::fwrite(data, 1, size, stream->file);
    return;
  }
  stream->size += backend::storedSize(data, size);
  backend::writeUnlocked(stream->file, data, size);
}

void flushStream(AppendStream* stream) { std::fflush(stream->file); }

void closeStream(AppendStream* stream) {
  if (stream->standard) return;
  std::fclose(stream->file);
  delete stream;
}

}  // namespace zem_util::os

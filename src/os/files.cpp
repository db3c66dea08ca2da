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
// What a file's stream gathers before it hands the bytes to the system: the C library's usual buffer size.
constexpr std::size_t kBufferSize = 4096;
}  // namespace

struct AppendStream {
  AppendStream(std::FILE* stream, std::int64_t bytes, bool standardStream)
      : file(stream), size(bytes), standard(standardStream) {}

  std::FILE* file;
  std::int64_t size;
  // The standard output or error: shared with the rest of the process, so neither closed, counted nor buffered
  // here.
  bool standard;
  std::size_t buffered = 0;  // bytes waiting in `buffer`
  char buffer[kBufferSize];

  // Hands the waiting bytes to the system; those it refuses are lost.
  void empty() {
    if (buffered > 0) backend::writeUnlocked(file, buffer, buffered);
    buffered = 0;
  }
};

AppendStream* openAppendStream(const char* path) {
  std::int64_t size = 0;
  std::FILE* file = backend::openForAppend(path, &size);
  if (file == nullptr) return nullptr;
  std::setvbuf(file, nullptr, _IONBF, 0);  // this stream's own buffer stands in front
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
  if (size > kBufferSize - stream->buffered) {
    stream->empty();
    if (size >= kBufferSize) {  // would fill the buffer on its own: straight through
      backend::writeUnlocked(stream->file, data, size);
      return;
    }
  }
  std::memcpy(stream->buffer + stream->buffered, data, size);
  stream->buffered += size;
}

void flushStream(AppendStream* stream) {
  if (!stream->standard) stream->empty();
  std::fflush(stream->file);
}

void closeStream(AppendStream* stream) {
  if (stream->standard) return;
  stream->empty();
  std::fclose(stream->file);
  delete stream;
}

}  // namespace zem_util::os

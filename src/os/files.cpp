// Platform layer, files: directory paths and append streams, for both back ends.
#include "os/files.h"

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

struct AppendStream {
  std::FILE* file;
  std::int64_t size;
  // The standard output or error: shared with the rest of the process, so neither closed nor counted.
  bool standard;
};

AppendStream* openAppendStream(const char* path) {
  std::int64_t size = 0;
  std::FILE* file = backend::openForAppend(path, &size);
  return file != nullptr ? new AppendStream{file, size, false} : nullptr;
}

AppendStream* getStandardOutput() {
  static AppendStream stream{stdout, 0, true};
  return &stream;
}

AppendStream* getStandardError() {
  static AppendStream stream{stderr, 0, true};
  return &stream;
}

std::int64_t getStreamSize(const AppendStream* stream) { return stream->size; }

void writeStream(AppendStream* stream, const char* data, std::size_t size) {
  std::fwrite(data, 1, size, stream->file);
  if (!stream->standard) stream->size += backend::storedSize(data, size);
}

void writeStreamFormatted(AppendStream* stream, const char* data, std::size_t size, const char* format, va_list args) {
  const std::int64_t stored = backend::writeFormatted(stream->file, data, size, format, args);
  if (!stream->standard) stream->size += stored;
}

void flushStream(AppendStream* stream) { std::fflush(stream->file); }

void closeStream(AppendStream* stream) {
  if (stream->standard) return;
  std::fclose(stream->file);
  delete stream;
}

}  // namespace zem_util::os

// Platform layer, files: directory paths and append streams, for both back ends.
#include "os/files.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "os/sync.h"

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
  ~AppendStream() {
    if (writing) deleteCriticalSection(writing);
  }

  std::FILE* file;
  std::int64_t size;
  // The standard output or error: shared with the rest of the process, so neither closed, counted nor buffered
  // here.
  bool standard;
  AppendStream* previous = nullptr;  // the open file streams, listed for the flush at exit
  AppendStream* next = nullptr;
  // Held while bytes go to the system, so that they go in the order they were written. Files only.
  CriticalSection* writing = nullptr;
  std::unique_ptr<char[]> buffer;  // the one being filled. Files only
  // The one set aside: taken at the first set-aside, so that a stream opened for a record or two (flush mode 2
  // opens the file for every record) costs one buffer.
  std::unique_ptr<char[]> other;
  std::size_t buffered = 0;  // bytes waiting in `buffer`
  std::size_t setAside = 0;  // bytes waiting in `other`, for writeSetAside

  // Hands the waiting bytes to the system; those it refuses are lost.
  void empty() {
    enterCriticalSection(writing);
    emptyWhileWriting();
    leaveCriticalSection(writing);
  }
  void emptyWhileWriting() {
    if (buffered > 0) backend::writeUnlocked(file, buffer.get(), buffered);
    buffered = 0;
  }
};

namespace {
// The file streams now open. The C library empties its own buffers when the process exits normally; these
// buffers stand in front of it, so they are emptied into it first, by a handler registered with the first
// stream. A thread that still writes while the process exits races with that handler exactly as it would with
// the C library's own flush.
struct OpenStreams {
  CriticalSection* lock = newCriticalSection();
  AppendStream* first = nullptr;
};

void emptyAllAtExit();

OpenStreams& openStreams() {
  static OpenStreams* const streams = [] {
    OpenStreams* made = new OpenStreams;  // never destroyed: the handler may run after static destructors
    std::atexit(emptyAllAtExit);
    return made;
  }();
  return *streams;
}

void emptyAllAtExit() {
  OpenStreams& streams = openStreams();
  enterCriticalSection(streams.lock);
  for (AppendStream* stream = streams.first; stream; stream = stream->next) stream->empty();
  leaveCriticalSection(streams.lock);
}

void listOpen(AppendStream* stream) {
  OpenStreams& streams = openStreams();
  enterCriticalSection(streams.lock);
  stream->next = streams.first;
  if (streams.first) streams.first->previous = stream;
  streams.first = stream;
  leaveCriticalSection(streams.lock);
}

void unlistClosed(AppendStream* stream) {
  OpenStreams& streams = openStreams();
  enterCriticalSection(streams.lock);
  (stream->previous ? stream->previous->next : streams.first) = stream->next;
  if (stream->next) stream->next->previous = stream->previous;
  leaveCriticalSection(streams.lock);
}
}  // namespace

AppendStream* openAppendStream(const char* path) {
  std::int64_t size = 0;
  std::FILE* file = backend::openForAppend(path, &size);
  if (file == nullptr) return nullptr;
  std::setvbuf(file, nullptr, _IONBF, 0);  // this stream's own buffer stands in front
  AppendStream* stream = new AppendStream(file, size, false);
  stream->writing = newCriticalSection();
  stream->buffer.reset(new char[kBufferSize]);
  listOpen(stream);
  return stream;
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
  std::memcpy(stream->buffer.get() + stream->buffered, data, size);
  stream->buffered += size;
}

bool writeStreamOrSetAside(AppendStream* stream, const char* data, std::size_t size) {
  if (stream->standard || size >= kBufferSize) {
    writeStream(stream, data, size);
    return false;
  }
  const bool full = size > kBufferSize - stream->buffered;
  if (full) {
    // Waits only while the buffer set aside before this one is still on its way to the system.
    enterCriticalSection(stream->writing);
    if (!stream->other) stream->other.reset(new char[kBufferSize]);
    stream->buffer.swap(stream->other);
    stream->setAside = stream->buffered;
    stream->buffered = 0;
  }
  stream->size += backend::storedSize(data, size);
  std::memcpy(stream->buffer.get() + stream->buffered, data, size);
  stream->buffered += size;
  return full;
}

void writeSetAside(AppendStream* stream) {
  backend::writeUnlocked(stream->file, stream->other.get(), stream->setAside);
  stream->setAside = 0;
  leaveCriticalSection(stream->writing);
}

void flushStream(AppendStream* stream) {
  if (!stream->standard) stream->empty();
  std::fflush(stream->file);
}

void closeStream(AppendStream* stream) {
  if (stream->standard) return;
  unlistClosed(stream);
  enterCriticalSection(stream->writing);
  stream->emptyWhileWriting();
  std::fclose(stream->file);
  leaveCriticalSection(stream->writing);
  delete stream;
}

}  // namespace zem_util::os

// Trace files: records with header and time, blocks, rotation, flush modes, tee and redirect.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "os/clock.h"
#include "os/files.h"
#include "zem_util/env.h"
#include "zem_util/trace.h"

namespace zem_util {

namespace {

// Every locking operation of a file waits this long; on a critical section it changes nothing.
constexpr unsigned kLockTimeoutMs = 10000;

// The block lock is the file's own mutex taken once more for the whole block.
void takeBlockLock(Mutex& mutex) { lock(mutex.getHandle(), kInfinite); }
void releaseBlockLock(Mutex& mutex) { unlock(mutex.getHandle()); }

bool isNamed(const ArrayPtr<char>& name, const char* text) {
  const std::size_t length = std::strlen(text);
  return static_cast<std::size_t>(name.length()) == length && std::memcmp(name.toPtr(), text, length) == 0;
}

// Hundredths of a second from milliseconds: rounded half up but never above 99, so no carry reaches the
// seconds. 4 -> 0, 5 -> 1, 985 -> 99, 994 -> 99, 999 -> 99.
unsigned hundredths(unsigned ms) {
  const unsigned q = ms / 10;
  return ms % 10 >= 5 && ms < 990 ? q + 1 : q;
}

}  // namespace

TraceFile::TraceFile(const ArrayPtr<char>& fileName)
    : parameters_(getTraceMgr()->getDefaultParameters()),
      fileName_(fileName),
      directory_(getDirectory(fileName)),
      baseName_(zem_util::getFileName(fileName)),
      extension_(getFileExtension(fileName)),
      currentPath_(fileName) {}

TraceFile::~TraceFile() { privateClose(); }

TraceParameters TraceFile::getParameters() {
  MutexLock guard(mutex_, kLockTimeoutMs);
  return parameters_;
}

void TraceFile::setParameters(const TraceParameters& parameters) {
  MutexLock guard(mutex_, kLockTimeoutMs);
  parameters_ = parameters;
}

bool TraceFile::open() {
  MutexLock guard(mutex_, kLockTimeoutMs);
  return privateOpen();
}

void TraceFile::close() {
  MutexLock guard(mutex_, kLockTimeoutMs);
  privateClose();
}

void TraceFile::flush() {
  MutexLock guard(mutex_, kLockTimeoutMs);
  privateFlush();
}

void TraceFile::begin(const Trace* trace) { beginWith(trace, ArrayPtr<char>()); }
void TraceFile::begin(const ArrayPtr<char>& header) { beginWith(nullptr, header); }

// The lock taken here for the call stays held as the block lock when the block is new; a nested begin (its
// thread already holds the lock) only counts.
void TraceFile::beginWith(const Trace* trace, const ArrayPtr<char>& header) {
  if (!target_.isNull()) {
    trace ? target_->begin(trace) : target_->begin(header);
    if (redirected_) return;
  }
  MutexLock guard(mutex_, kLockTimeoutMs);
  if (beginCount_ == 0) {
    header_ = trace ? trace->getHeader() : header;
    takeBlockLock(mutex_);
  }
  ++beginCount_;
}

void TraceFile::end() {
  if (!target_.isNull()) {
    target_->end();
    if (redirected_) return;
  }
  MutexLock guard(mutex_, kLockTimeoutMs);
  // While a block is open only its thread gets here, so a stray end() finds the depth at 0 and is ignored.
  if (beginCount_ == 0 || --beginCount_ > 0) return;
  struct BlockRelease {
    Mutex& mutex;
    ~BlockRelease() { releaseBlockLock(mutex); }
  } release{mutex_};
  if (lineOpen_ && privateOpen()) writeFooter();
}

void TraceFile::tee(const Ptr<TraceFile>& target) {
  MutexLock guard(mutex_, kLockTimeoutMs);
  target_ = target;
  redirected_ = false;
}

void TraceFile::redirect(const Ptr<TraceFile>& target) {
  MutexLock guard(mutex_, kLockTimeoutMs);
  target_ = target;
  redirected_ = true;
  privateClose();
}

// ---- outputs ------------------------------------------------------------------------------------------------

void TraceFile::print(const char* text) {
  if (!target_.isNull()) {
    target_->print(text);
    if (redirected_) return;
  }
  writeText(text, std::strlen(text));
}

void TraceFile::printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vprintf(format, args);
  va_end(args);
}

void TraceFile::vprintf(const char* format, va_list args) {
  if (!target_.isNull()) {
    va_list copy;
    va_copy(copy, args);
    target_->vprintf(format, copy);
    va_end(copy);
    if (redirected_) return;
  }
  if (!startOutput()) return;
  if (os::kTextModeLineEndExtra == 0) {
    // Nothing to count on disk but bytes: the prefix goes out as it is and the text is formatted straight
    // into the stream, which costs far less than formatting into memory first.
    os::lockStream(stream_);
    finishOutput();
    const int length = std::vfprintf(stream_, format, args);
    os::unlockStream(stream_);
    if (length > 0) position_ += length;
    return;
  }
  // Formatted behind the prefix, so that the line feeds it holds can be counted.
  const std::size_t start = output_.size();
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length > 0) {
    output_.resize(start + static_cast<std::size_t>(length) + 1);
    std::vsnprintf(&output_[start], static_cast<std::size_t>(length) + 1, format, args);
    output_.resize(start + static_cast<std::size_t>(length));
  }
  finishOutput();
}

void TraceFile::write(const char* data, int size) {
  if (!target_.isNull()) {
    target_->write(data, size);
    if (redirected_) return;
  }
  writeText(data, size > 0 ? static_cast<std::size_t>(size) : 0);
}

void TraceFile::printMsg(const ArrayPtr<char>& msg) {
  if (!target_.isNull()) {
    target_->printMsg(msg);
    if (redirected_) return;
  }
  ArrayPtr<char> text = parameters_.translator ? parameters_.translator->getMsg(msg) : msg;
  const char* s = text.toNullTerminatedPtr();
  writeText(s ? s : "", s ? std::strlen(s) : 0);
}

void TraceFile::printMsg(const ArrayPtr<char>& msg, const ArrayPtr<ArrayPtr<char>>& params) {
  if (!target_.isNull()) {
    target_->printMsg(msg, params);
    if (redirected_) return;
  }
  ArrayPtr<char> text = parameters_.translator ? parameters_.translator->getMsg(msg, params) : msg;
  const char* s = text.toNullTerminatedPtr();
  writeText(s ? s : "", s ? std::strlen(s) : 0);
}

// Opens the stream if needed and, at a record's first output, puts its prefix in front of the text. False when
// the file cannot be opened: the output is dropped.
bool TraceFile::startOutput() {
  if (!privateOpen()) return false;
  output_.clear();
  if (!lineOpen_) writeHeader();
  return true;
}

// Writes what startOutput and the output gathered, as one write.
void TraceFile::finishOutput() {
  if (output_.empty()) return;
  std::fwrite(output_.data(), 1, output_.size(), stream_);
  position_ += static_cast<long>(output_.size()) +
               os::kTextModeLineEndExtra * static_cast<long>(std::count(output_.begin(), output_.end(), '\n'));
}

void TraceFile::writeText(const char* text, std::size_t size) {
  if (!startOutput()) return;
  output_.append(text, size);
  finishOutput();
}

// ---- records ------------------------------------------------------------------------------------------------

// "[server 14:03:27.05 " -- the time is the record's first output, not its begin().
void TraceFile::writeHeader() {
  lineOpen_ = true;
  const os::LocalTime now = os::getLocalTime();
  const long long second = ((static_cast<long long>(now.day) * 24 + now.hour) * 60 + now.minute) * 60 + now.second;
  if (second != cachedSecond_) {
    std::snprintf(cachedTime_, sizeof cachedTime_, "%2.2d:%2.2d:%2.2d", now.hour, now.minute, now.second);
    cachedSecond_ = second;
  }
  const char* header = header_.toNullTerminatedPtr();
  const unsigned h = hundredths(static_cast<unsigned>(now.millisecond));
  const char fraction[] = {'.', static_cast<char>('0' + h / 10), static_cast<char>('0' + h % 10), ' '};
  output_ += '[';
  if (header) output_ += header;
  output_ += ' ';
  output_.append(cachedTime_, 8);
  output_.append(fraction, sizeof fraction);
}

void TraceFile::writeFooter() {
  lineOpen_ = false;
  std::fputs("]\n", stream_);
  position_ += 2 + os::kTextModeLineEndExtra;
  if (!overflow()) privateFlush();
}

// ---- the stream ---------------------------------------------------------------------------------------------

bool TraceFile::isStandardStream() const { return isNamed(fileName_, "stdout") || isNamed(fileName_, "stderr"); }

bool TraceFile::privateOpen() {
  if (stream_) return true;
  if (isNamed(fileName_, "stdout")) return (stream_ = stdout) != nullptr;
  if (isNamed(fileName_, "stderr")) return (stream_ = stderr) != nullptr;
  if (directoryPending_) {
    directoryPending_ = false;
    createDirectory();
  }
  // An existing file already at the limit rotates before anything is written, and so does every full
  // numbered file after it.
  for (;;) {
    stream_ = std::fopen(currentPath_.toNullTerminatedPtr(), "a");
    if (!stream_) return false;
    std::fseek(stream_, 0, SEEK_END);
    position_ = std::ftell(stream_);
    if (!overflow()) return true;
  }
}

void TraceFile::privateClose() {
  if (!stream_ || isStandardStream() || stream_ == stdout || stream_ == stderr) return;
  std::fclose(stream_);
  stream_ = nullptr;
}

void TraceFile::privateFlush() {
  if (parameters_.flushMode == 1) {
    if (stream_) std::fflush(stream_);
  } else if (parameters_.flushMode == 2) {
    privateClose();
  }
}

// With maxOldFiles 3: name.log, name_1.log, name_2.log, name_3.log; moving on to name_4.log deletes name.log.
bool TraceFile::overflow() {
  if (!stream_ || isStandardStream() || stream_ == stdout || stream_ == stderr) return false;
  if (position_ < parameters_.maxFileSize) return false;
  privateClose();
  if (fileIndex_ >= parameters_.maxOldFiles)
    std::remove(fileNameOfIndex(fileIndex_ - parameters_.maxOldFiles).toNullTerminatedPtr());
  ++fileIndex_;
  currentPath_ = fileNameOfIndex(fileIndex_);
  return true;
}

// "/app/ZemTrace/srv.log", 2 -> "/app/ZemTrace/srv_2.log"; index 0 -> the name itself.
ArrayPtr<char> TraceFile::fileNameOfIndex(std::uint32_t index) const {
  ArrayPtr<char> suffix = index > 0 ? format("_%u", index) : ArrayPtr<char>("");
  return directory_ + baseName_ + suffix + extension_;
}

// Creates every level of the directory, ignoring failures: "/a/b/c/" -> mkdir "/a", "/a/b", "/a/b/c".
// A leading separator, doubled separators and a drive prefix make no useful call.
void TraceFile::createDirectory() const {
  const std::string directory(directory_.toPtr() ? directory_.toPtr() : "",
                              static_cast<std::size_t>(directory_.length()));
  long lastSeparator = -1;
  for (std::size_t i = 0; i < directory.size(); ++i) {
    if (directory[i] != '/' && directory[i] != '\\') continue;
    if (static_cast<long>(i) - lastSeparator > 1) os::makeDirectory(directory.substr(0, i).c_str());
    lastSeparator = static_cast<long>(i);
  }
  if (lastSeparator != static_cast<long>(directory.size()) - 1) os::makeDirectory(directory.c_str());
}

}  // namespace zem_util

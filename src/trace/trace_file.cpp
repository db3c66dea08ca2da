// Trace files: records with header and time, blocks, rotation, flush modes, tee and redirect.
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "core/recursive_lock.h"
#include "os/clock.h"
#include "os/files.h"
#include "trace/trace_record.h"
#include "zem_util/env.h"
#include "zem_util/trace.h"

namespace zem_util {

namespace {

// The block lock is the file's own lock taken once more, from the first begin to the last end: held across
// calls, which the analysis cannot follow.
void takeBlockLock(detail::RecursiveLock& lock) ZEM_UTIL_NO_THREAD_SAFETY_ANALYSIS { lock.lock(); }
void releaseBlockLock(detail::RecursiveLock& lock) ZEM_UTIL_NO_THREAD_SAFETY_ANALYSIS { lock.unlock(); }

bool isNamed(const ArrayPtr<char>& name, const char* text) {
  const std::size_t length = std::strlen(text);
  return static_cast<std::size_t>(name.length()) == length && std::memcmp(name.toPtr(), text, length) == 0;
}

// The text of a path for the platform layer; a null name is the empty path, which no system opens.
const char* pathText(ArrayPtr<char> path) {
  const char* text = path.toNullTerminatedPtr();
  return text ? text : "";
}

// Hundredths of a second from milliseconds: rounded half up but never above 99, so no carry reaches the
// seconds. 4 -> 0, 5 -> 1, 985 -> 99, 994 -> 99, 999 -> 99.
unsigned hundredths(unsigned ms) {
  const unsigned q = ms / 10;
  return ms % 10 >= 5 && ms < 990 ? q + 1 : q;
}

}  // namespace

// What a trace file is made of. Its steps run with the file's lock held, or inside a block on its thread.
struct TraceFile::Impl {
  explicit Impl(const ArrayPtr<char>& name)
      : parameters(getTraceMgr()->getDefaultParameters()),
        fileName(name),
        directory(getDirectory(name)),
        baseName(zem_util::getFileName(name)),
        extension(getFileExtension(name)),
        currentPath(name) {}

  void beginBlock(const Trace* trace, const ArrayPtr<char>& blockHeader);
  // Outputs come inside a block, whose lock this thread has held since `begin`: no lock is taken per output.
  void insideBlock() const ZEM_UTIL_ASSERT_CAPABILITY(mutex) {}
  bool privateOpen() { return stream != nullptr || openStream(); }
  bool openStream();
  void privateClose();
  void privateFlush();
  bool overflow();
  void writeTime(char* time) ZEM_UTIL_REQUIRES(mutex);
  void writeHeader() ZEM_UTIL_REQUIRES(mutex);
  void writeFooter();
  bool startOutput();
  void finishOutput();
  void writeText(const char* text, std::size_t size);
  ArrayPtr<char> fileNameOfIndex(std::uint32_t index) const;
  bool isStandardStream() const { return isNamed(fileName, "stdout") || isNamed(fileName, "stderr"); }

  detail::RecursiveLock mutex{detail::RecursiveLock::Spinning{}};
  std::int32_t beginCount ZEM_UTIL_GUARDED_BY(mutex) = 0;
  std::string header ZEM_UTIL_GUARDED_BY(mutex);  // the open block's, copied: its room serves the next blocks
  bool lineOpen = false;
  Ptr<TraceFile> target;
  bool redirected = false;
  TraceParameters parameters;
  os::AppendStream* stream = nullptr;
  std::uint32_t fileIndex = 0;
  bool directoryPending = true;
  const ArrayPtr<char> fileName;
  const ArrayPtr<char> directory;
  const ArrayPtr<char> baseName;
  const ArrayPtr<char> extension;
  ArrayPtr<char> currentPath;
  // "HH:MM:SS" of the second in which the last record started, so most records format no time.
  std::int64_t cachedSecond ZEM_UTIL_GUARDED_BY(mutex) = -1;
  char cachedTime[9] ZEM_UTIL_GUARDED_BY(mutex) = {};
  std::string output;  // an output inside a block, prefix included, gathered for a single write; reused
};

TraceFile::TraceFile(const ArrayPtr<char>& fileName) : impl_(new Impl(fileName)) {}

TraceFile::~TraceFile() { impl_->privateClose(); }

ArrayPtr<char> TraceFile::getFileName() const { return impl_->fileName; }

TraceParameters TraceFile::getParameters() {
  detail::RecursiveLockGuard guard(impl_->mutex);
  return impl_->parameters;
}

void TraceFile::setParameters(const TraceParameters& parameters) {
  detail::RecursiveLockGuard guard(impl_->mutex);
  impl_->parameters = parameters;
}

bool TraceFile::open() {
  detail::RecursiveLockGuard guard(impl_->mutex);
  return impl_->privateOpen();
}

void TraceFile::close() {
  detail::RecursiveLockGuard guard(impl_->mutex);
  impl_->privateClose();
}

void TraceFile::flush() {
  detail::RecursiveLockGuard guard(impl_->mutex);
  impl_->privateFlush();
}

void TraceFile::begin(const Trace* trace) { impl_->beginBlock(trace, ArrayPtr<char>()); }
void TraceFile::begin(const ArrayPtr<char>& header) { impl_->beginBlock(nullptr, header); }

// The lock taken here for the call stays held as the block lock when the block is new; a nested begin (its
// thread already holds the lock) only counts.
void TraceFile::Impl::beginBlock(const Trace* trace, const ArrayPtr<char>& blockHeader) {
  if (!target.isNull()) {
    trace ? target->begin(trace) : target->begin(blockHeader);
    if (redirected) return;
  }
  detail::RecursiveLockGuard guard(mutex);
  if (beginCount == 0) {
    const ArrayPtr<char> text = trace ? trace->getHeader() : blockHeader;
    header.assign(text.toPtr(), detail::TraceRecord::headerLength(text.toPtr(), text.length()));
    takeBlockLock(mutex);
  }
  ++beginCount;
}

void TraceFile::end() {
  Impl& self = *impl_;
  if (!self.target.isNull()) {
    self.target->end();
    if (self.redirected) return;
  }
  detail::RecursiveLockGuard guard(self.mutex);
  // While a block is open only its thread gets here, so a stray end() finds the depth at 0 and is ignored.
  if (self.beginCount == 0 || --self.beginCount > 0) return;
  struct BlockRelease {
    detail::RecursiveLock& mutex;
    ~BlockRelease() { releaseBlockLock(mutex); }
  } release{self.mutex};
  if (self.lineOpen && self.privateOpen()) self.writeFooter();
}

void TraceFile::tee(const Ptr<TraceFile>& target) {
  detail::RecursiveLockGuard guard(impl_->mutex);
  impl_->target = target;
  impl_->redirected = false;
}

void TraceFile::redirect(const Ptr<TraceFile>& target) {
  detail::RecursiveLockGuard guard(impl_->mutex);
  impl_->target = target;
  impl_->redirected = true;
  impl_->privateClose();
}

// ---- outputs ------------------------------------------------------------------------------------------------

void TraceFile::print(const char* text) {
  if (!impl_->target.isNull()) {
    impl_->target->print(text);
    if (impl_->redirected) return;
  }
  impl_->writeText(text, std::strlen(text));
}

void TraceFile::printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vprintf(format, args);
  va_end(args);
}

void TraceFile::vprintf(const char* format, va_list args) {
  Impl& self = *impl_;
  if (!self.target.isNull()) {
    va_list copy;
    va_copy(copy, args);
    self.target->vprintf(format, copy);
    va_end(copy);
    if (self.redirected) return;
  }
  detail::TraceRecord& scratch = detail::TraceRecord::ofThisThread();
  scratch.start(nullptr, 0);
  scratch.appendFormatted(format, args);
  self.writeText(scratch.text(), scratch.textSize());
}

void TraceFile::write(const char* data, int size) {
  if (!impl_->target.isNull()) {
    impl_->target->write(data, size);
    if (impl_->redirected) return;
  }
  impl_->writeText(data, size > 0 ? static_cast<std::size_t>(size) : 0);
}

void TraceFile::printMsg(const ArrayPtr<char>& msg) {
  if (!impl_->target.isNull()) {
    impl_->target->printMsg(msg);
    if (impl_->redirected) return;
  }
  Translator* translator = impl_->parameters.translator;
  ArrayPtr<char> text = translator ? translator->getMsg(msg) : msg;
  const char* s = text.toNullTerminatedPtr();
  impl_->writeText(s ? s : "", s ? std::strlen(s) : 0);
}

void TraceFile::printMsg(const ArrayPtr<char>& msg, const ArrayPtr<ArrayPtr<char>>& params) {
  if (!impl_->target.isNull()) {
    impl_->target->printMsg(msg, params);
    if (impl_->redirected) return;
  }
  Translator* translator = impl_->parameters.translator;
  ArrayPtr<char> text = translator ? translator->getMsg(msg, params) : msg;
  const char* s = text.toNullTerminatedPtr();
  impl_->writeText(s ? s : "", s ? std::strlen(s) : 0);
}

// A standalone record goes out whole, in one write, with the lock taken once: the time into its place, the
// write, the size test, the flush policy. Inside this thread's own block (the only block that can be open while
// this thread holds the lock) the text joins the block's record instead. A record that fills the stream's buffer
// hands the full buffer to the system after the lock is free, so that other threads' records go on meanwhile,
// unless this record's flush or rotation needs the stream at once.
void TraceFile::writeRecord(detail::TraceRecord& record) {
  Impl& self = *impl_;
  if (!self.target.isNull()) {
    self.target->writeRecord(record);
    if (self.redirected) return;
  }
  os::AppendStream* setAside = nullptr;
  {
    detail::RecursiveLockGuard guard(self.mutex);
    if (self.beginCount > 0) {
      self.writeText(record.text(), record.textSize());
      return;
    }
    if (!self.privateOpen()) return;
    self.writeTime(record.time());
    if (os::writeStreamOrSetAside(self.stream, record.data(), record.size())) setAside = self.stream;
    const int mode = self.parameters.flushMode;
    if (setAside && (mode == 1 || mode == 2 || os::getStreamSize(setAside) >= self.parameters.maxFileSize)) {
      os::writeSetAside(std::exchange(setAside, nullptr));
    }
    if (!self.overflow()) self.privateFlush();
  }
  if (setAside) os::writeSetAside(setAside);
}

// Opens the stream if needed and, at a record's first output, puts its prefix in front of the text. False when
// the file cannot be opened: the output is dropped.
bool TraceFile::Impl::startOutput() {
  insideBlock();
  if (!privateOpen()) return false;
  output.clear();
  if (!lineOpen) writeHeader();
  return true;
}

// Writes what startOutput and the output gathered, as one write.
void TraceFile::Impl::finishOutput() {
  if (!output.empty()) os::writeStream(stream, output.data(), output.size());
}

void TraceFile::Impl::writeText(const char* text, std::size_t size) {
  if (!startOutput()) return;
  output.append(text, size);
  finishOutput();
}

// ---- records ------------------------------------------------------------------------------------------------

// "14:03:27.05 ": the time of day now, into the 12 bytes at `time`.
void TraceFile::Impl::writeTime(char* time) {
  const os::SystemTime now = os::getSystemTime();
  if (now.second != cachedSecond) {
    const os::LocalTime local = os::getLocalTimeOf(now.second);
    std::snprintf(cachedTime, sizeof cachedTime, "%2.2d:%2.2d:%2.2d", local.hour, local.minute, local.second);
    cachedSecond = now.second;
  }
  const unsigned h = hundredths(static_cast<unsigned>(now.millisecond));
  std::memcpy(time, cachedTime, 8);
  time[8] = '.';
  time[9] = static_cast<char>('0' + h / 10);
  time[10] = static_cast<char>('0' + h % 10);
  time[11] = ' ';
}

// "[server 14:03:27.05 " -- the time is the record's first output, not its begin().
void TraceFile::Impl::writeHeader() {
  lineOpen = true;
  output += '[';
  output += header;
  output += ' ';
  char time[detail::TraceRecord::kTimeSize];
  writeTime(time);
  output.append(time, sizeof time);
}

void TraceFile::Impl::writeFooter() {
  lineOpen = false;
  os::writeStream(stream, "]\n", 2);
  if (!overflow()) privateFlush();
}

// ---- the stream ---------------------------------------------------------------------------------------------

// privateOpen once the file has no stream.
bool TraceFile::Impl::openStream() {
  if (isNamed(fileName, "stdout")) stream = os::getStandardOutput();
  if (isNamed(fileName, "stderr")) stream = os::getStandardError();
  if (stream) return true;
  if (directoryPending) {
    directoryPending = false;
    os::makeDirectories(pathText(directory));
  }
  // An existing file already at the limit rotates before anything is written, and so does every full
  // numbered file after it.
  for (;;) {
    stream = os::openAppendStream(pathText(currentPath));
    if (!stream) return false;
    if (!overflow()) return true;
  }
}

void TraceFile::Impl::privateClose() {
  if (!stream || isStandardStream()) return;
  os::closeStream(stream);
  stream = nullptr;
}

void TraceFile::Impl::privateFlush() {
  if (parameters.flushMode == 1) {
    if (stream) os::flushStream(stream);
  } else if (parameters.flushMode == 2) {
    privateClose();
  }
}

// With maxOldFiles 3: name.log, name_1.log, name_2.log, name_3.log; moving on to name_4.log deletes name.log.
bool TraceFile::Impl::overflow() {
  if (!stream || isStandardStream()) return false;
  if (os::getStreamSize(stream) < parameters.maxFileSize) return false;
  privateClose();
  if (fileIndex >= parameters.maxOldFiles)
    os::removeFile(pathText(fileNameOfIndex(fileIndex - parameters.maxOldFiles)));
  ++fileIndex;
  currentPath = fileNameOfIndex(fileIndex);
  return true;
}

// "/app/ZemTrace/srv.log", 2 -> "/app/ZemTrace/srv_2.log"; index 0 -> the name itself.
ArrayPtr<char> TraceFile::Impl::fileNameOfIndex(std::uint32_t index) const {
  ArrayPtr<char> suffix = index > 0 ? format("_%u", index) : ArrayPtr<char>("");
  return directory + baseName + suffix + extension;
}

}  // namespace zem_util

// Traces: level filtering, binding to a file through the manager, and blocks.
//
// Lock order. The trace's own lock guards only its fields and is never held while this trace waits for
// anything else (the manager, a file). A thread inside a block holds its file's lock and may then take a
// trace's lock (to read a header, or for its own next output); no thread holds a trace's lock while it waits
// for a file, so the two orders can never meet.
#include "zem_util/trace.h"

#include <utility>

namespace zem_util {

namespace {
// Begins a block on construction and ends it on every way out.
class Block {
 public:
  Block(TraceFile& file, const Trace* trace) : file_(file) { file_.begin(trace); }
  ~Block() { file_.end(); }
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;

 private:
  TraceFile& file_;
};
}  // namespace

// Everything of a trace but its level. Its lock guards the fields; no thread holds it while waiting for a file
// or the manager.
struct Trace::Impl {
  // A file the trace was unbound from: kept until the trace goes, so that an output still using it on another
  // thread is never left dangling.
  struct Retired {
    Ptr<TraceFile> file;
    Retired* next;
  };

  explicit Impl(const ArrayPtr<char>& traceName) : name(traceName), header(traceName) {}
  ~Impl() {
    while (retired) delete std::exchange(retired, retired->next);
  }

  TraceFile& initTraceFile(const Trace& trace);
  static void initFlushMode(const Trace& trace, TraceFile& file);
  void retire(const Ptr<TraceFile>& file) ZEM_UTIL_REQUIRES(mutex) { retired = new Retired{file, retired}; }

  mutable Mutex mutex{MutexKind::kKernelMutex};
  const ArrayPtr<char> name;
  ArrayPtr<char> fileName ZEM_UTIL_GUARDED_BY(mutex);
  ArrayPtr<char> header ZEM_UTIL_GUARDED_BY(mutex);
  Ptr<TraceFile> traceFile ZEM_UTIL_GUARDED_BY(mutex);
  std::atomic<TraceFile*> boundFile{nullptr};  // traceFile as outputs see it, without the lock
  Retired* retired ZEM_UTIL_GUARDED_BY(mutex) = nullptr;
};

Trace::Trace(const ArrayPtr<char>& name) : impl_(new Impl(name)) {}

Trace::~Trace() = default;

// The name never changes, so it needs no lock; this also lets the manager ask for names while it holds its
// own lock without ever waiting for a trace.
ArrayPtr<char> Trace::getName() const { return impl_->name; }

ArrayPtr<char> Trace::getFileName() const {
  MutexLock guard(impl_->mutex);
  return impl_->fileName;
}

void Trace::setFileName(const ArrayPtr<char>& fileName) {
  Impl& self = *impl_;
  MutexLock guard(self.mutex);
  if (fileName == self.fileName) return;
  self.fileName = fileName;
  if (self.traceFile) {
    self.boundFile.store(nullptr, std::memory_order_release);
    self.retire(self.traceFile);
    self.traceFile = Ptr<TraceFile>();
  }
}

int Trace::getMaxLevel() const { return maxLevel_.load(std::memory_order_relaxed); }

void Trace::setMaxLevel(int level) {
  maxLevel_.store(level, std::memory_order_relaxed);
  if (TraceFile* file = impl_->boundFile.load(std::memory_order_acquire)) Impl::initFlushMode(*this, *file);
}

ArrayPtr<char> Trace::getHeader() const {
  MutexLock guard(impl_->mutex);
  return impl_->header;
}

void Trace::setHeader(const ArrayPtr<char>& header) {
  MutexLock guard(impl_->mutex);
  impl_->header = header;
}

bool Trace::isActive(int level) const {
  const int maxLevel = maxLevel_.load(std::memory_order_relaxed);
  return maxLevel != 0 && level <= maxLevel;
}

// The bound file, binding first when needed: once bound, one load. The manager is asked without this trace's
// lock held; if the file name changed meanwhile, the file found serves this one output and the next output
// binds again.
TraceFile& Trace::Impl::initTraceFile(const Trace& trace) {
  if (TraceFile* file = boundFile.load(std::memory_order_acquire)) return *file;
  ArrayPtr<char> name = trace.getFileName();
  Ptr<TraceFile> file = name.length() < 1 ? getTraceMgr()->getTraceFile() : getTraceMgr()->getTraceFile(name);
  TraceFile* bound;
  {
    MutexLock guard(mutex);
    if (!traceFile && fileName == name) {
      traceFile = file;
      boundFile.store(file.get(), std::memory_order_release);
    } else if (!traceFile) {
      retire(file);  // keeps this one output's file alive
      return *file;
    }
    // Read under the lock: a setFileName on another thread may unbind it as soon as the lock is free (the
    // file itself stays alive, retired, until the trace goes).
    bound = traceFile.get();
  }
  initFlushMode(trace, *bound);
  return *bound;
}

// Detail levels flush after every record, debug levels close the file after every record, so that nothing
// is lost when the process dies; the mode is the file's and is never lowered.
void Trace::Impl::initFlushMode(const Trace& trace, TraceFile& file) {
  const int maxLevel = trace.getMaxLevel();
  if (maxLevel <= 3) return;
  TraceParameters parameters = file.getParameters();
  if (maxLevel > 9 && parameters.flushMode < 2) {
    parameters.flushMode = 2;
    file.setParameters(parameters);
  } else if (parameters.flushMode < 1) {
    parameters.flushMode = 1;
    file.setParameters(parameters);
  }
}

void Trace::print(int level, const char* text) {
  if (!isActive(level)) return;
  TraceFile& file = impl_->initTraceFile(*this);
  Block block(file, this);
  file.print(text);
}

void Trace::write(int level, const char* data, int size) {
  if (!isActive(level)) return;
  TraceFile& file = impl_->initTraceFile(*this);
  Block block(file, this);
  file.write(data, size);
}

void Trace::vprintf(int level, const char* format, va_list args) {
  if (!isActive(level)) return;
  TraceFile& file = impl_->initTraceFile(*this);
  Block block(file, this);
  file.vprintf(format, args);
}

void Trace::printMsg(int level, const ArrayPtr<char>& msg, const ArrayPtr<ArrayPtr<char>>& params) {
  if (!isActive(level)) return;
  TraceFile& file = impl_->initTraceFile(*this);
  Block block(file, this);
  file.printMsg(msg, params);
}

void Trace::printMsg(int level, const ArrayPtr<char>& msg) {
  if (!isActive(level)) return;
  TraceFile& file = impl_->initTraceFile(*this);
  Block block(file, this);
  file.printMsg(msg);
}

void Trace::printf(int level, const char* format, ...) {
  if (!isActive(level)) return;
  va_list args;
  va_start(args, format);
  vprintf(level, format, args);
  va_end(args);
}

#define ZEM_UTIL_TRACE_AT_LEVEL(operation, level)  \
  void Trace::operation(const char* format, ...) { \
    va_list args;                                  \
    va_start(args, format);                        \
    vprintf(level, format, args);                  \
    va_end(args);                                  \
  }
ZEM_UTIL_TRACE_AT_LEVEL(error, kError)
ZEM_UTIL_TRACE_AT_LEVEL(standard, kStandard)
ZEM_UTIL_TRACE_AT_LEVEL(info, kInfo)
ZEM_UTIL_TRACE_AT_LEVEL(detail, kDetail)
ZEM_UTIL_TRACE_AT_LEVEL(debug, kDebug)
#undef ZEM_UTIL_TRACE_AT_LEVEL

void Trace::begin(const ArrayPtr<char>& header) { impl_->initTraceFile(*this).begin(header); }
void Trace::begin() { impl_->initTraceFile(*this).begin(this); }
void Trace::end() { impl_->initTraceFile(*this).end(); }

}  // namespace zem_util

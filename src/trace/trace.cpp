// Traces: level filtering, binding to a file through the manager, and blocks.
//
// Lock order. The trace's own lock guards only its fields and is never held while this trace waits for
// anything else (the manager, a file). A thread inside a block holds its file's lock and may then take a
// trace's lock (to read a header, or for its own next output); no thread holds a trace's lock while it waits
// for a file, so the two orders can never meet.
#include "zem_util/trace.h"

#include <cstring>
#include <typeinfo>
#include <utility>

#include "trace/trace_record.h"

namespace zem_util {

namespace {
// A number no header of the process had before. A thread keeps the bytes of the headers it wrote lately under
// their stamps, so a record whose trace still has the same stamp takes its header without asking the trace.
std::uint64_t newHeaderStamp() {
  static std::atomic<std::uint64_t> last{0};
  return last.fetch_add(1, std::memory_order_relaxed) + 1;
}

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
  void startRecord(const Trace& trace, detail::TraceRecord& record);
  void retire(const Ptr<TraceFile>& file) ZEM_UTIL_REQUIRES(mutex) { retired = new Retired{file, retired}; }

  mutable Mutex mutex{MutexKind::kKernelMutex};
  const ArrayPtr<char> name;
  ArrayPtr<char> fileName ZEM_UTIL_GUARDED_BY(mutex);
  ArrayPtr<char> header ZEM_UTIL_GUARDED_BY(mutex);
  // Changes with every setHeader, under the lock; read without it to find the thread's copy of the header.
  std::atomic<std::uint64_t> headerStamp{newHeaderStamp()};
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
  impl_->headerStamp.store(newHeaderStamp(), std::memory_order_release);
}

bool Trace::isActive(int level) const { return isWithinMaxLevel(level); }

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

// The header of this trace's next record, in front of `record`. The trace's own header is copied without a
// count change: from the thread's copy while the stamp is unchanged, else under the trace's lock. A class that
// overrides getHeader is asked through it, before `record` is touched (it might trace itself).
void Trace::Impl::startRecord(const Trace& trace, detail::TraceRecord& record) {
  if (typeid(trace) != typeid(Trace)) {
    const ArrayPtr<char> own = trace.getHeader();
    record.start(own.toPtr(), detail::TraceRecord::headerLength(own.toPtr(), own.length()));
    return;
  }
  const std::string* known = record.findHeader(headerStamp.load(std::memory_order_acquire));
  if (!known) {
    MutexLock guard(mutex);
    known = &record.keepHeader(headerStamp.load(std::memory_order_relaxed), header.toPtr(),
                               detail::TraceRecord::headerLength(header.toPtr(), header.length()));
  }
  record.start(known->data(), known->size());
}

// The outputs that make a record of their own: the text is put together before the file is locked, and the
// file writes the whole record at once (or, inside this thread's block, adds the text to the block's record).
void Trace::print(int level, const char* text) {
  if (!isActive(level)) return;
  TraceFile& file = impl_->initTraceFile(*this);
  detail::TraceRecord& record = detail::TraceRecord::ofThisThread();
  impl_->startRecord(*this, record);
  record.append(text, std::strlen(text));
  record.finish();
  file.writeRecord(record);
}

void Trace::write(int level, const char* data, int size) {
  if (!isActive(level)) return;
  TraceFile& file = impl_->initTraceFile(*this);
  detail::TraceRecord& record = detail::TraceRecord::ofThisThread();
  impl_->startRecord(*this, record);
  record.append(data, size > 0 ? static_cast<std::size_t>(size) : 0);
  record.finish();
  file.writeRecord(record);
}

void Trace::vprintf(int level, const char* format, va_list args) {
  if (!isActive(level)) return;
  TraceFile& file = impl_->initTraceFile(*this);
  detail::TraceRecord& record = detail::TraceRecord::ofThisThread();
  impl_->startRecord(*this, record);
  record.appendFormatted(format, args);
  record.finish();
  file.writeRecord(record);
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

// Each named level is vprintf at that level, so a derived class's vprintf and isActive decide for all of them.
#define ZEM_UTIL_TRACE_OPERATION(operation, level) \
  void Trace::operation(const char* format, ...) { \
    va_list args;                                  \
    va_start(args, format);                        \
    vprintf(level, format, args);                  \
    va_end(args);                                  \
  }
ZEM_UTIL_TRACE_OPERATION(error, kError)
ZEM_UTIL_TRACE_OPERATION(standard, kStandard)
ZEM_UTIL_TRACE_OPERATION(info, kInfo)
ZEM_UTIL_TRACE_OPERATION(detail, kDetail)
ZEM_UTIL_TRACE_OPERATION(debug, kDebug)
#undef ZEM_UTIL_TRACE_OPERATION

void Trace::begin(const ArrayPtr<char>& header) { impl_->initTraceFile(*this).begin(header); }
void Trace::begin() { impl_->initTraceFile(*this).begin(this); }
void Trace::end() { impl_->initTraceFile(*this).end(); }

}  // namespace zem_util

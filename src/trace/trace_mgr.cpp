// The trace manager: default parameters, name completion, and the registries of traces and trace files.
//
// Its lock waits at most 10 s. No path of the library holds a trace's or a file's lock while it waits for
// the manager, so a timeout means a holder that is merely slow (a plug-in catalogue being loaded, say); the
// operation then works without the registry, on objects of its own, and never touches the shared state.
#include <utility>

#include "core/no_destructor.h"
#include "os/clock.h"
#include "os/files.h"
#include "zem_util/env.h"
#include "zem_util/trace.h"

namespace zem_util {

namespace {

constexpr unsigned kLockTimeoutMs = 10000;
constexpr std::uint32_t kBuckets = 101;

// Names of last resort, should the process name or the default file name ever come out empty.
const char kFallbackTraceName[] = "ZemUtil";

bool isStandardStreamName(const ArrayPtr<char>& name) {
  return name == ArrayPtr<char>("stdout") || name == ArrayPtr<char>("stderr");
}

ArrayPtr<char> keyOf(const Trace& trace) { return trace.getName(); }
ArrayPtr<char> keyOf(const TraceFile& file) { return file.getFileName(); }

// "<executable directory>ZemTrace/<process name>_YYMMDD_HHMMSS_<pid>.log", native separators.
TraceParameters builtInDefaults() {
  const os::LocalTime now = os::getLocalTime();
  const ArrayPtr<char> suffix = format("_%02d%02d%02d_%02d%02d%02d_%u.log", now.year % 100, now.month, now.day,
                                       now.hour, now.minute, now.second, getCurrentProcessId());
  const char directory[] = {'Z', 'e', 'm', 'T', 'r', 'a', 'c', 'e', os::kNativeSeparator, '\0'};
  TraceParameters parameters;
  parameters.fileName = getProcessDirectory() + directory + getProcessName() + suffix;
  parameters.translator = getTranslator();
  return parameters;
}

// One of the two registries: 101 chains, newest first, allocated with the first entry.
template <class T>
struct Table {
  struct Entry {
    Ptr<T> item;
    Entry* next;
  };
  Entry* buckets[kBuckets] = {};

  ~Table() {
    for (Entry* head : buckets) {
      while (head) delete std::exchange(head, head->next);
    }
  }

  static Entry*& headOf(Table* table, const ArrayPtr<char>& key) { return table->buckets[hash(key) % kBuckets]; }

  static Ptr<T> find(Table* table, const ArrayPtr<char>& key) {
    if (!table) return Ptr<T>();
    for (Entry* e = headOf(table, key); e; e = e->next) {
      if (keyOf(*e->item) == key) return e->item;
    }
    return Ptr<T>();
  }

  static void add(Table*& table, const Ptr<T>& item) {
    if (!table) table = new Table;
    Entry*& head = headOf(table, keyOf(*item));
    head = new Entry{item, head};
  }

  // Unlinks the first entry of that key and hands back its item, so that the caller decides when it goes.
  static Ptr<T> remove(Table* table, const ArrayPtr<char>& key) {
    if (!table) return Ptr<T>();
    for (Entry** link = &headOf(table, key); *link; link = &(*link)->next) {
      if (keyOf(*(*link)->item) == key) {
        Entry* entry = std::exchange(*link, (*link)->next);
        Ptr<T> item = entry->item;
        delete entry;
        return item;
      }
    }
    return Ptr<T>();
  }
};

// With the default D = /app/bin/ZemTrace/server_091231_235959_424.log:
//   "net.txt" -> /app/bin/ZemTrace/net.txt     "net" -> /app/bin/ZemTrace/net.log
//   "../x.log" -> /app/bin/x.log               "/logs/" -> /logs/server_091231_235959_424.log
//   "/logs" -> /logs.log                       "" -> D
ArrayPtr<char> completeFileName(const ArrayPtr<char>& name, const ArrayPtr<char>& defaultName) {
  if (isStandardStreamName(name)) return name;
  ArrayPtr<char> base = getFileName(name);
  ArrayPtr<char> directory;
  if (base.length() == 0) {
    base = getFileName(defaultName);
    directory = name;
  } else {
    directory = getDirectory(name);
  }
  if (isRelativePath(directory)) directory = getDirectory(defaultName) + directory;
  directory = getFullPath(directory);
  ArrayPtr<char> extension = getFileExtension(name);
  if (extension.length() == 0) extension = getFileExtension(defaultName);
  return getFullPath(directory + base + extension);
}

}  // namespace

struct TraceMgr::Impl {
  Impl() : defaultParameters(builtInDefaults()), builtInParameters(defaultParameters) {}
  ~Impl() {
    delete traceTable;
    delete fileTable;
  }

  ArrayPtr<char> getFullFileName(const ArrayPtr<char>& fileName) const ZEM_UTIL_REQUIRES(mutex);

  Mutex mutex{MutexKind::kKernelMutex};
  TraceParameters defaultParameters ZEM_UTIL_GUARDED_BY(mutex);
  const TraceParameters builtInParameters;  // never changes: what a timed-out operation falls back on
  Ptr<TraceFile> defaultTraceFile ZEM_UTIL_GUARDED_BY(mutex);
  Ptr<Trace> defaultTrace ZEM_UTIL_GUARDED_BY(mutex);
  Table<TraceFile>* fileTable ZEM_UTIL_GUARDED_BY(mutex) = nullptr;
  Table<Trace>* traceTable ZEM_UTIL_GUARDED_BY(mutex) = nullptr;
};

TraceMgr::TraceMgr() : impl_(new Impl) {}

TraceMgr::~TraceMgr() = default;

TraceParameters TraceMgr::getDefaultParameters() {
  MutexLock guard(impl_->mutex, kLockTimeoutMs);
  return guard.isLocked() ? impl_->defaultParameters : impl_->builtInParameters;
}

void TraceMgr::setDefaultParameters(const TraceParameters& parameters) {
  Impl& self = *impl_;
  MutexLock guard(self.mutex, kLockTimeoutMs);
  if (!guard.isLocked()) return;
  const ArrayPtr<char> fileName = self.getFullFileName(parameters.fileName);
  self.defaultParameters = parameters;
  self.defaultParameters.fileName = fileName.length() > 0 ? fileName : self.builtInParameters.fileName;
}

ArrayPtr<char> TraceMgr::Impl::getFullFileName(const ArrayPtr<char>& fileName) const {
  return completeFileName(fileName, defaultParameters.fileName);
}

Ptr<Trace> TraceMgr::getTrace() {
  MutexLock guard(impl_->mutex, kLockTimeoutMs);
  if (guard.isLocked() && impl_->defaultTrace) return impl_->defaultTrace;
  ArrayPtr<char> name = getProcessName();
  if (name.length() == 0) name = kFallbackTraceName;
  Ptr<Trace> trace = getTrace(name);
  if (guard.isLocked()) impl_->defaultTrace = trace;
  return trace;
}

Ptr<Trace> TraceMgr::getTrace(const ArrayPtr<char>& name) {
  if (name.length() == 0) return getTrace();
  MutexLock guard(impl_->mutex, kLockTimeoutMs);
  if (!guard.isLocked()) return Ptr<Trace>(new Trace(name));
  if (Ptr<Trace> found = Table<Trace>::find(impl_->traceTable, name)) return found;
  Ptr<Trace> trace(new Trace(name));
  addTrace(trace);
  return trace;
}

void TraceMgr::addTrace(const Ptr<Trace>& trace) {
  MutexLock guard(impl_->mutex, kLockTimeoutMs);
  if (guard.isLocked()) Table<Trace>::add(impl_->traceTable, trace);
}

void TraceMgr::removeTrace(const ArrayPtr<char>& name) {
  Ptr<Trace> removed;  // released after the lock
  MutexLock guard(impl_->mutex, kLockTimeoutMs);
  if (!guard.isLocked()) return;
  removed = Table<Trace>::remove(impl_->traceTable, name);
}

Ptr<TraceFile> TraceMgr::getTraceFile() {
  Impl& self = *impl_;
  MutexLock guard(self.mutex, kLockTimeoutMs);
  if (!guard.isLocked()) return Ptr<TraceFile>(new TraceFile(self.builtInParameters.fileName));
  if (self.defaultTraceFile) return self.defaultTraceFile;
  const ArrayPtr<char> name =
      self.defaultParameters.fileName.length() > 0 ? self.defaultParameters.fileName : self.builtInParameters.fileName;
  self.defaultTraceFile = getTraceFile(name);
  return self.defaultTraceFile;
}

Ptr<TraceFile> TraceMgr::getTraceFile(const ArrayPtr<char>& fileName) {
  if (fileName.length() == 0) return getTraceFile();
  Impl& self = *impl_;
  MutexLock guard(self.mutex, kLockTimeoutMs);
  if (!guard.isLocked())
    return Ptr<TraceFile>(new TraceFile(completeFileName(fileName, self.builtInParameters.fileName)));
  const ArrayPtr<char> fullName = self.getFullFileName(fileName);
  if (Ptr<TraceFile> found = Table<TraceFile>::find(self.fileTable, fullName)) return found;
  Ptr<TraceFile> file(new TraceFile(fullName));
  file->setParameters(self.defaultParameters);
  addTraceFile(file);
  return file;
}

void TraceMgr::addTraceFile(const Ptr<TraceFile>& traceFile) {
  MutexLock guard(impl_->mutex, kLockTimeoutMs);
  if (guard.isLocked()) Table<TraceFile>::add(impl_->fileTable, traceFile);
}

void TraceMgr::removeTraceFile(const ArrayPtr<char>& fileName) {
  Ptr<TraceFile> removed;  // a file closes when its last holder lets go: not under the manager's lock
  MutexLock guard(impl_->mutex, kLockTimeoutMs);
  if (!guard.isLocked()) return;
  removed = Table<TraceFile>::remove(impl_->fileTable, fileName);
}

// Never destroyed: traces and files may be written to until the very end of the process.
TraceMgr* getTraceMgr() {
  static detail::NoDestructor<TraceMgr> manager;
  return manager.get();
}

}  // namespace zem_util

// The trace manager: default parameters, name completion, and the registries of traces and trace files.
//
// Its lock waits at most 10 s. No path of the library holds a trace's or a file's lock while it waits for
// the manager, so a timeout means a holder that is merely slow (a plug-in catalogue being loaded, say); the
// operation then works without the registry, on objects of its own, and never touches the shared state.
#include <utility>

#include "core/no_destructor.h"
#include "os/os.h"
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

}  // namespace

// One of the two registries: 101 chains, newest first, allocated with the first entry.
template <class T>
struct TraceMgr::Table {
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

TraceMgr::TraceMgr()
    : defaultParameters_(builtInDefaults()),
      builtInParameters_(defaultParameters_),
      fileTable_(nullptr),
      traceTable_(nullptr) {}

TraceMgr::~TraceMgr() {
  delete traceTable_;
  delete fileTable_;
}

TraceParameters TraceMgr::getDefaultParameters() {
  MutexLock guard(mutex_, kLockTimeoutMs);
  return guard.isLocked() ? defaultParameters_ : builtInParameters_;
}

void TraceMgr::setDefaultParameters(const TraceParameters& parameters) {
  MutexLock guard(mutex_, kLockTimeoutMs);
  if (!guard.isLocked()) return;
  const ArrayPtr<char> fileName = getFullFileName(parameters.fileName);
  defaultParameters_ = parameters;
  defaultParameters_.fileName = fileName.length() > 0 ? fileName : builtInParameters_.fileName;
}

// With the default D = /app/bin/ZemTrace/server_091231_235959_424.log:
//   "net.txt" -> /app/bin/ZemTrace/net.txt     "net" -> /app/bin/ZemTrace/net.log
//   "../x.log" -> /app/bin/x.log               "/logs/" -> /logs/server_091231_235959_424.log
//   "/logs" -> /logs.log                       "" -> D
ArrayPtr<char> TraceMgr::completeFileName(const ArrayPtr<char>& name, const ArrayPtr<char>& defaultName) {
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

ArrayPtr<char> TraceMgr::getFullFileName(const ArrayPtr<char>& fileName) const {
  return completeFileName(fileName, defaultParameters_.fileName);
}

Ptr<Trace> TraceMgr::getTrace() {
  MutexLock guard(mutex_, kLockTimeoutMs);
  if (guard.isLocked() && defaultTrace_) return defaultTrace_;
  ArrayPtr<char> name = getProcessName();
  if (name.length() == 0) name = kFallbackTraceName;
  Ptr<Trace> trace = getTrace(name);
  if (guard.isLocked()) defaultTrace_ = trace;
  return trace;
}

Ptr<Trace> TraceMgr::getTrace(const ArrayPtr<char>& name) {
  if (name.length() == 0) return getTrace();
  MutexLock guard(mutex_, kLockTimeoutMs);
  if (!guard.isLocked()) return Ptr<Trace>(new Trace(name));
  if (Ptr<Trace> found = Table<Trace>::find(traceTable_, name)) return found;
  Ptr<Trace> trace(new Trace(name));
  addTrace(trace);
  return trace;
}

void TraceMgr::addTrace(const Ptr<Trace>& trace) {
  MutexLock guard(mutex_, kLockTimeoutMs);
  if (guard.isLocked()) Table<Trace>::add(traceTable_, trace);
}

void TraceMgr::removeTrace(const ArrayPtr<char>& name) {
  Ptr<Trace> removed;  // released after the lock
  MutexLock guard(mutex_, kLockTimeoutMs);
  if (!guard.isLocked()) return;
  removed = Table<Trace>::remove(traceTable_, name);
}

Ptr<TraceFile> TraceMgr::getTraceFile() {
  MutexLock guard(mutex_, kLockTimeoutMs);
  if (!guard.isLocked()) return Ptr<TraceFile>(new TraceFile(builtInParameters_.fileName));
  if (defaultTraceFile_) return defaultTraceFile_;
  const ArrayPtr<char> name =
      defaultParameters_.fileName.length() > 0 ? defaultParameters_.fileName : builtInParameters_.fileName;
  defaultTraceFile_ = getTraceFile(name);
  return defaultTraceFile_;
}

Ptr<TraceFile> TraceMgr::getTraceFile(const ArrayPtr<char>& fileName) {
  if (fileName.length() == 0) return getTraceFile();
  MutexLock guard(mutex_, kLockTimeoutMs);
  if (!guard.isLocked()) return Ptr<TraceFile>(new TraceFile(completeFileName(fileName, builtInParameters_.fileName)));
  const ArrayPtr<char> fullName = getFullFileName(fileName);
  if (Ptr<TraceFile> found = Table<TraceFile>::find(fileTable_, fullName)) return found;
  Ptr<TraceFile> file(new TraceFile(fullName));
  file->setParameters(defaultParameters_);
  addTraceFile(file);
  return file;
}

void TraceMgr::addTraceFile(const Ptr<TraceFile>& traceFile) {
  MutexLock guard(mutex_, kLockTimeoutMs);
  if (guard.isLocked()) Table<TraceFile>::add(fileTable_, traceFile);
}

void TraceMgr::removeTraceFile(const ArrayPtr<char>& fileName) {
  Ptr<TraceFile> removed;  // a file closes when its last holder lets go: not under the manager's lock
  MutexLock guard(mutex_, kLockTimeoutMs);
  if (!guard.isLocked()) return;
  removed = Table<TraceFile>::remove(fileTable_, fileName);
}

// Never destroyed: traces and files may be written to until the very end of the process.
TraceMgr* getTraceMgr() {
  static detail::NoDestructor<TraceMgr> manager;
  return manager.get();
}

}  // namespace zem_util

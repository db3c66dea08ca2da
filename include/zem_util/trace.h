// Tracing: named traces with levels writing one-line records to shared, size-limited, rotating trace files.
//
//   zem_util::Ptr<zem_util::Trace> net = zem_util::getTraceMgr()->getTrace("net");
//   net->setMaxLevel(3);                               // error, standard and info pass; detail and debug don't
//   net->info("connected to %s:%d", host, port);       // [net 14:03:27.05 connected to db1:5432]
//
//   {
//     zem_util::TraceBlock block(*net);                // several outputs, one record: net->begin()
//     net->info("sent %d bytes", 120);
//     send(reply);                                     // may throw: the block ends all the same
//     net->info(", acknowledged");
//   }                                                  // net->end(): [net 14:03:27.06 sent 120 bytes, acknowledged]
//
// By default every trace writes to the process's default trace file,
// <executable directory>ZemTrace/<process name>_YYMMDD_HHMMSS_<pid>.log, created (with its directory) on the first
// record. `setFileName("db")` sends a trace to ZemTrace/db.log instead; "stdout" and "stderr" name the standard
// streams. A file that reaches `maxFileSize` continues in name_1.log, name_2.log, ..., keeping `maxOldFiles` old
// files. Records are never cut by a rotation and never interleaved: a record is written under the file's lock.
//
// Failures: tracing reports no file-system failure. A file that cannot be opened or written drops its output, and
// the next record tries again.
//
// Thread safety: traces, trace files and the manager may be shared by any number of threads. A block
// (`begin` ... `end`) must be opened and closed by one thread, and excludes other threads' records on the same
// file until it ends. A block that is never ended keeps its file locked by the thread that began it: every
// other thread's records to that file wait for it without limit, even after that thread has ended. Open blocks
// with a `TraceBlock`, which ends them on every path, exceptions included.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <memory>

#include "zem_util/annotations.h"
#include "zem_util/core.h"
#include "zem_util/export.h"
#include "zem_util/system.h"
#include "zem_util/translator.h"

namespace zem_util {

class Trace;
namespace detail {
class TraceRecord;
}  // namespace detail

// Settings of a trace file. Copies share the name text.
struct ZEM_UTIL_EXPORT TraceParameters {
  ArrayPtr<char> fileName;               // the default trace file's name (in the manager's default set)
  std::int32_t maxFileSize = 100000000;  // bytes; a file at or above it rotates after its current record
  std::uint32_t maxOldFiles = 3;         // rotated files kept besides the current one
  std::int32_t flushMode = 0;            // after each record: 0 nothing, 1 fflush, 2 close the file
  Translator* translator = nullptr;      // for printMsg; not owned; null writes identifiers as they are
};

// One destination of records: a disk file, or the standard output or error ("stdout", "stderr"). Created and
// shared by the manager (`getTraceMgr()->getTraceFile(name)`); not copyable.
class ZEM_UTIL_EXPORT TraceFile : public Shared {
 public:
  // Takes `fileName` unchanged and the manager's current default parameters. Touches no file.
  explicit TraceFile(const ArrayPtr<char>& fileName);
  TraceFile(const TraceFile&) = delete;
  TraceFile& operator=(const TraceFile&) = delete;
  ~TraceFile() override;  // closes the file; an open record gets no closing bracket

  ArrayPtr<char> getFileName() const;  // as constructed; never changes
  TraceParameters getParameters();
  // Applies from the next record or open; nothing is reopened.
  void setParameters(const TraceParameters& parameters);

  bool open();   // true when a stream is open; creates the directory on the first attempt
  void close();  // the standard streams are never closed
  void flush();  // applies the flush mode now

  // A block: the outputs until the matching `end` form one record headed by `header` (or the trace's header).
  // Blocks nest on one thread; other threads' blocks on this file wait until the outermost `end`. An `end`
  // without a `begin` on this thread is ignored.
  void begin(const Trace* trace);
  void begin(const ArrayPtr<char>& header);
  void end();

  // Outputs, meant to be called inside a block. Each passes first to the tee or redirect target, if any.
  void print(const char* text);
  void printf(ZEM_UTIL_PRINTF_FORMAT_STRING const char* format, ...) ZEM_UTIL_PRINTF_FORMAT(2, 3);
  void vprintf(const char* format, va_list args) ZEM_UTIL_PRINTF_FORMAT(2, 0);
  void write(const char* data, int size);
  // The translation of `msg` by the parameters' translator (the identifier itself without one).
  void printMsg(const ArrayPtr<char>& msg);
  void printMsg(const ArrayPtr<char>& msg, const ArrayPtr<ArrayPtr<char>>& params);

  // Copies every record to `target` as well (tee) or sends it there instead (redirect, which also closes this
  // file). A null target ends either. Targets must not form a cycle.
  void tee(const Ptr<TraceFile>& target);
  void redirect(const Ptr<TraceFile>& target);

 private:
  friend class Trace;
  // A trace's whole record, assembled before the file's lock is taken: one short critical region.
  void writeRecord(detail::TraceRecord& record);

  struct Impl;  // the lock, the block, the stream and the rotation state
  const std::unique_ptr<Impl> impl_;
};

// Trace levels; any other number works with the operations that take a level.
enum TraceLevel : int { kError = 1, kStandard = 2, kInfo = 3, kDetail = 4, kDebug = 10 };

// A named channel of records with a maximum level (0 = off; new traces let only errors through). Obtain traces
// from the manager; derive to change any operation. Not copyable.
class ZEM_UTIL_EXPORT Trace : public Shared {
 public:
  explicit Trace(const ArrayPtr<char>& name);
  Trace(const Trace&) = delete;
  Trace& operator=(const Trace&) = delete;
  ~Trace() override;

  virtual ArrayPtr<char> getName() const;
  virtual ArrayPtr<char> getFileName() const;
  // Another name binds the trace to that file at its next output; empty means the default trace file.
  virtual void setFileName(const ArrayPtr<char>& fileName);
  virtual int getMaxLevel() const;
  // Levels 4-9 raise the bound file's flush mode to 1, levels 10 and above to 2; nothing ever lowers it.
  virtual void setMaxLevel(int level);
  virtual ArrayPtr<char> getHeader() const;
  virtual void setHeader(const ArrayPtr<char>& header);
  // True when the trace is on and `level` <= the maximum level. Lock-free: one load and a comparison.
  virtual bool isActive(int level) const;
  // The same test of the maximum level, inline and not virtual: what the ZEM_UTIL_TRACE_... macros below ask
  // before they call into the library.
  bool isWithinMaxLevel(int level) const {
    const int maxLevel = maxLevel_.load(std::memory_order_relaxed);
    return maxLevel != 0 && level <= maxLevel;
  }

  // One record each (or part of the open block's record), when `level` is active.
  virtual void print(int level, const char* text);
  virtual void printf(int level, ZEM_UTIL_PRINTF_FORMAT_STRING const char* format, ...) ZEM_UTIL_PRINTF_FORMAT(3, 4);
  virtual void write(int level, const char* data, int size);
  virtual void vprintf(int level, const char* format, va_list args) ZEM_UTIL_PRINTF_FORMAT(3, 0);
  virtual void printMsg(int level, const ArrayPtr<char>& msg, const ArrayPtr<ArrayPtr<char>>& params);
  virtual void printMsg(int level, const ArrayPtr<char>& msg);

  // printf at levels 1 (kError), 2, 3, 4 and 10 (kDebug).
  virtual void error(ZEM_UTIL_PRINTF_FORMAT_STRING const char* format, ...) ZEM_UTIL_PRINTF_FORMAT(2, 3);
  virtual void standard(ZEM_UTIL_PRINTF_FORMAT_STRING const char* format, ...) ZEM_UTIL_PRINTF_FORMAT(2, 3);
  virtual void info(ZEM_UTIL_PRINTF_FORMAT_STRING const char* format, ...) ZEM_UTIL_PRINTF_FORMAT(2, 3);
  virtual void detail(ZEM_UTIL_PRINTF_FORMAT_STRING const char* format, ...) ZEM_UTIL_PRINTF_FORMAT(2, 3);
  virtual void debug(ZEM_UTIL_PRINTF_FORMAT_STRING const char* format, ...) ZEM_UTIL_PRINTF_FORMAT(2, 3);

  // Group outputs into one record, whatever the level; `begin(header)` heads this record with `header`.
  virtual void begin(const ArrayPtr<char>& header);
  virtual void begin();
  virtual void end();

 private:
  struct Impl;                    // the lock, the header, the file name and the bound file
  std::atomic<int> maxLevel_{1};  // read without a lock by isActive
  const std::unique_ptr<Impl> impl_;
};

// A block as a scope (example at the top of this file): `begin` in the constructor, `end` in the destructor, so
// the block ends on every path out of the scope, an exception included, and the file's lock is never left held.
// On a trace it calls the trace's `begin()` or `begin(header)` and `end()`, on a trace file the file's
// `begin(header)` and `end()`. The trace or file must outlive the guard, which stays on its thread. Not copyable.
class TraceBlock {
 public:
  explicit TraceBlock(Trace& trace) : trace_(&trace) { trace.begin(); }
  TraceBlock(Trace& trace, const ArrayPtr<char>& header) : trace_(&trace) { trace.begin(header); }
  TraceBlock(TraceFile& file, const ArrayPtr<char>& header) : file_(&file) { file.begin(header); }
  ~TraceBlock() {
    if (trace_) {
      trace_->end();
    } else {
      file_->end();
    }
  }
  TraceBlock(const TraceBlock&) = delete;
  TraceBlock& operator=(const TraceBlock&) = delete;

 private:
  Trace* trace_ = nullptr;
  TraceFile* file_ = nullptr;
};

// The process's registry of traces and trace files, and their defaults. Reached through `getTraceMgr()`; never
// destroyed. Its lock waits at most 10 s: an operation that cannot get it in that time works on its own
// (a new, unregistered trace or file; the built-in defaults) and leaves the registry untouched.
class ZEM_UTIL_EXPORT TraceMgr {
 public:
  TraceMgr();
  TraceMgr(const TraceMgr&) = delete;
  TraceMgr& operator=(const TraceMgr&) = delete;
  ~TraceMgr();

  TraceParameters getDefaultParameters();
  // Replaces the defaults for files created afterwards; the name is completed against the current default.
  void setDefaultParameters(const TraceParameters& parameters);

  // The trace named after the process.
  Ptr<Trace> getTrace();
  // The trace of that name (case-sensitive), created with maximum level 1 on first request.
  Ptr<Trace> getTrace(const ArrayPtr<char>& name);
  void addTrace(const Ptr<Trace>& trace);
  void removeTrace(const ArrayPtr<char>& name);

  // The file of the default name.
  Ptr<TraceFile> getTraceFile();
  // The file of `fileName` completed against the default name: with the default
  // /app/bin/ZemTrace/server_091231_235959_424.log, "net" -> /app/bin/ZemTrace/net.log,
  // "net.txt" -> /app/bin/ZemTrace/net.txt, "../x.log" -> /app/bin/x.log, "/logs/" -> /logs/server_..._424.log.
  Ptr<TraceFile> getTraceFile(const ArrayPtr<char>& fileName);
  void addTraceFile(const Ptr<TraceFile>& traceFile);
  // Removes the file registered under exactly this (full) name.
  void removeTraceFile(const ArrayPtr<char>& fileName);

 private:
  struct Impl;  // the lock, the defaults and the two registries
  const std::unique_ptr<Impl> impl_;
};

// The process's trace manager, created on first use. Never null.
ZEM_UTIL_EXPORT TraceMgr* getTraceMgr();

}  // namespace zem_util

// Outputs at a named level whose level test is made inline, before any call into the library: at an inactive
// level they cost one load and one comparison, and their arguments are not even evaluated.
//
//   zem_util::Ptr<zem_util::Trace> net = zem_util::getTraceMgr()->getTrace("net");
//   ZEM_UTIL_TRACE_INFO(net, "connected to %s:%d", host, port);   // net->info(...) when info is on
//   ZEM_UTIL_TRACE_DEBUG(net, "%s", dump().c_str());              // dump() runs only when debug is on
//   ZEM_UTIL_TRACE_PRINTF(net, 7, "cache %d%% full", percent);    // net->printf(7, ...) at level 7
//
// `trace` is anything with `->` to a Trace (a Ptr<Trace>, a Trace*), evaluated once. The inline test is
// isWithinMaxLevel: the maximum level set by setMaxLevel, not the virtual isActive. For a class that overrides
// isActive this means the macros can only drop more than it does: an output its isActive refuses is still
// refused (the operation called tests isActive again), but one it lets through above the maximum level is
// dropped by the macro. Such classes are called directly (`trace->info(...)`).
#define ZEM_UTIL_TRACE_PRINTF(trace, level, ...)                                                       \
  do {                                                                                                 \
    auto&& zemUtilTrace = (trace);                                                                     \
    const int zemUtilLevel = (level);                                                                  \
    if (zemUtilTrace->isWithinMaxLevel(zemUtilLevel)) zemUtilTrace->printf(zemUtilLevel, __VA_ARGS__); \
  } while (false)
#define ZEM_UTIL_TRACE_NAMED_(trace, level, operation, ...)                          \
  do {                                                                               \
    auto&& zemUtilTrace = (trace);                                                   \
    if (zemUtilTrace->isWithinMaxLevel(level)) zemUtilTrace->operation(__VA_ARGS__); \
  } while (false)
#define ZEM_UTIL_TRACE_ERROR(trace, ...) ZEM_UTIL_TRACE_NAMED_(trace, ::zem_util::kError, error, __VA_ARGS__)
#define ZEM_UTIL_TRACE_STANDARD(trace, ...) ZEM_UTIL_TRACE_NAMED_(trace, ::zem_util::kStandard, standard, __VA_ARGS__)
#define ZEM_UTIL_TRACE_INFO(trace, ...) ZEM_UTIL_TRACE_NAMED_(trace, ::zem_util::kInfo, info, __VA_ARGS__)
#define ZEM_UTIL_TRACE_DETAIL(trace, ...) ZEM_UTIL_TRACE_NAMED_(trace, ::zem_util::kDetail, detail, __VA_ARGS__)
#define ZEM_UTIL_TRACE_DEBUG(trace, ...) ZEM_UTIL_TRACE_NAMED_(trace, ::zem_util::kDebug, debug, __VA_ARGS__)

// Mutexes, events, threads, the clock, and the library's exception type.
//
//   zem_util::Mutex mutex;                       // recursive, MutexKind::kCriticalSection
//   zem_util::Event ready;
//   bool done = false;
//
//   // worker                                   // waiter
//   { zem_util::MutexLock guard(mutex);          zem_util::MutexLock guard(mutex);
//     done = true;                               while (!done) ready.wait(mutex, 1000);
//     ready.notifyAll(); }
//
// Mutexes are recursive and owned by a thread: only the thread that locked one may unlock it. Two kinds exist
// behind one opaque handle (see MutexKind).
//
// Events are pulses, not flags: a notification releases only threads that are waiting at that instant and is
// otherwise forgotten, so waiters always re-check their own condition after `wait` returns.
//
// Operating-system failures throw `Exception` with a message such as
// "Internal error : Cannot create a new event object. : 'CreateEvent' returned error code 12 : Cannot allocate memory".
#pragma once

#include <chrono>

#include "zem_util/annotations.h"
#include "zem_util/core.h"
#include "zem_util/exception_handler.h"  // WindowsExceptionHandler: processor faults as Exceptions
#include "zem_util/export.h"

namespace zem_util {

// Waits without limit.
constexpr unsigned int kInfinite = 0xFFFFFFFF;

// ---- exceptions ---------------------------------------------------------------------------------------------

// The library's exception: a shared message text and a return code (always 0 when the library throws).
// Copies share the message block. Note that the formatting functions throw a `const char*` instead (see
// `format`), so callers that want every library failure catch both.
class ZEM_UTIL_EXPORT Exception {
 public:
  Exception() = default;
  explicit Exception(const ArrayPtr<char>& message, int retCode = 0) : retCode_(retCode), message_(message) {}
  Exception(const Exception&) = default;
  Exception& operator=(const Exception&) = default;
  virtual ~Exception();

  virtual void setMessage(const ArrayPtr<char>& message);
  virtual ArrayPtr<char> getMessage() const;  // shares the text; null when none was given
  virtual int getRetCode() const;

 private:
  int retCode_ = 0;
  ArrayPtr<char> message_;
};

// The system's text for an error code (errno-style on POSIX, GetLastError() on Windows), passed through
// unchanged, or "error code %u" when the system has none.
ZEM_UTIL_EXPORT ArrayPtr<char> getSystemErrorMsg(unsigned int code);
// "'%s' returned error code %u : %s", or "'%s' returned error code %u" without a system text.
ZEM_UTIL_EXPORT ArrayPtr<char> getSystemErrorMsg(const char* function, unsigned int code);
// "%s : '%s' returned error code %u : %s", or "%s : '%s' returned error code %u" without a system text.
ZEM_UTIL_EXPORT ArrayPtr<char> getSystemErrorMsg(const char* context, const char* function, unsigned int code);

// ---- mutexes ------------------------------------------------------------------------------------------------

// The two kinds of mutex behind one handle.
enum class MutexKind {
  kCriticalSection,  // in-process and cheap; always waits without limit, whatever the timeout
  kKernelMutex,      // honours timeouts (0 = try); acquired normally when its owner thread ended holding it
};

// A new free mutex of that kind. Throws `Exception` when the system cannot create a kernel mutex. Free it with
// `deleteMutex`.
ZEM_UTIL_EXPORT void* newMutex(MutexKind kind);
// The same by flag: true is kCriticalSection, false kKernelMutex.
ZEM_UTIL_EXPORT void* newMutex(bool criticalSection);
// Acquires for the calling thread, recursively. `timeout` in ms (kInfinite: no limit) applies to kernel
// mutexes only; false when it ran out. Throws `Exception` when the wait itself fails.
ZEM_UTIL_EXPORT bool lock(void* mutex, unsigned int timeout);
// Releases one level. False, changing nothing, when the calling thread does not hold the mutex. Never throws.
ZEM_UTIL_EXPORT bool unlock(void* mutex);
ZEM_UTIL_EXPORT void deleteMutex(void* mutex);

// Owns one mutex handle. Not copyable: a mutex has exactly one owner. Fields it guards say so with
// ZEM_UTIL_GUARDED_BY (zem_util/annotations.h), which clang's -Wthread-safety checks.
class ZEM_UTIL_EXPORT ZEM_UTIL_CAPABILITY("mutex") Mutex {
 public:
  explicit Mutex(MutexKind kind = MutexKind::kCriticalSection) : handle_(newMutex(kind)) {}
  // true is kCriticalSection, false kKernelMutex.
  explicit Mutex(bool criticalSection) : handle_(newMutex(criticalSection)) {}
  ~Mutex() { deleteMutex(handle_); }
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void* getHandle() const { return handle_; }

  // The standard's Lockable and TimedLockable requirements (hence the standard's names), so that
  // std::lock_guard, std::unique_lock, std::scoped_lock and std::condition_variable_any take a Mutex:
  //
  //   std::condition_variable_any changed;
  //   std::unique_lock<zem_util::Mutex> hold(mutex);
  //   changed.wait_for(hold, std::chrono::seconds(1), [&] { return done; });
  //
  // Recursive like the handle functions: `lock` and each successful try add one level, `unlock` releases one.
  // std::condition_variable_any releases one level while it waits, so wait holding the mutex once (`Event::wait`
  // releases every level). `lock` throws `Exception` when the system's wait fails.
  void lock() ZEM_UTIL_ACQUIRE() ZEM_UTIL_NO_THREAD_SAFETY_ANALYSIS { zem_util::lock(handle_, kInfinite); }
  void unlock() ZEM_UTIL_RELEASE() ZEM_UTIL_NO_THREAD_SAFETY_ANALYSIS { zem_util::unlock(handle_); }
  // Never waits, whichever the kind: false at once when another thread holds the mutex.
  bool try_lock() ZEM_UTIL_TRY_ACQUIRE(true);
  // Waits at most `time`, rounded up to whole milliseconds (at most kInfinite - 1 ms, about 49.7 days; 0 or less
  // is `try_lock`). A kernel mutex waits in the system. A critical section has no timed wait: it tries again
  // every millisecond until the time is up, so it may take the lock up to a millisecond after it was released.
  template <class Rep, class Period>
  bool try_lock_for(const std::chrono::duration<Rep, Period>& time) ZEM_UTIL_TRY_ACQUIRE(true) {
    return tryLockFor(timeoutOf(time));
  }
  template <class Clock, class Duration>
  bool try_lock_until(const std::chrono::time_point<Clock, Duration>& deadline) ZEM_UTIL_TRY_ACQUIRE(true) {
    return tryLockFor(timeoutOf(deadline - Clock::now()));
  }

 private:
  bool tryLockFor(unsigned int timeoutMs) ZEM_UTIL_TRY_ACQUIRE(true);
  template <class Rep, class Period>
  static unsigned int timeoutOf(const std::chrono::duration<Rep, Period>& time) {
    const double ms = std::chrono::duration<double, std::milli>(time).count();  // no overflow, whatever the unit
    if (!(ms > 0)) return 0;
    if (ms >= kInfinite - 1.0) return kInfinite - 1;
    const auto whole = static_cast<unsigned int>(ms);
    return whole < ms ? whole + 1 : whole;
  }

  void* handle_;
};

// Scoped lock: locks in the constructor, unlocks in the destructor only if the lock was obtained. With a
// timeout, test `isLocked()` before touching what the mutex guards (the analysis assumes the lock was taken).
class ZEM_UTIL_EXPORT ZEM_UTIL_SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex, unsigned int timeout = kInfinite) ZEM_UTIL_ACQUIRE(mutex)
      : mutex_(mutex), locked_(lock(mutex.getHandle(), timeout)) {}
  ~MutexLock() ZEM_UTIL_RELEASE() {
    if (locked_) unlock(mutex_.getHandle());
  }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

  bool isLocked() const { return locked_; }

 private:
  Mutex& mutex_;
  bool locked_;
};

// The process-wide mutexes the library itself uses. The reference-count mutex is the innermost lock: while
// holding it, take no other.
ZEM_UTIL_EXPORT Mutex& getGlobalMutex();
ZEM_UTIL_EXPORT Mutex& getRefCountMutex();

// ---- events -------------------------------------------------------------------------------------------------

ZEM_UTIL_EXPORT void* newEvent();
// Releases exactly one thread waiting at this instant, if any.
ZEM_UTIL_EXPORT void notifyEvent(void* event);
// Releases every thread waiting at this instant.
ZEM_UTIL_EXPORT void notifyEventToAll(void* event);
// The caller must hold `mutex` (at any depth; otherwise `Exception` is thrown at once). Releases it fully,
// waits for a notification or `timeout` ms, and takes it back to the same depth. True when notified.
ZEM_UTIL_EXPORT bool waitForEvent(void* event, void* mutex, unsigned int timeout);
ZEM_UTIL_EXPORT void deleteEvent(void* event);

// Owns one event handle. Not copyable.
class ZEM_UTIL_EXPORT Event {
 public:
  Event() : handle_(newEvent()) {}
  ~Event() { deleteEvent(handle_); }
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  // REQUIRES the caller to hold `mutex`, which it holds again at the same depth on return.
  bool wait(Mutex& mutex, unsigned int timeout = kInfinite) ZEM_UTIL_REQUIRES(mutex) {
    return waitForEvent(handle_, mutex.getHandle(), timeout);
  }
  void notify() { notifyEvent(handle_); }
  void notifyAll() { notifyEventToAll(handle_); }
  void* getHandle() const { return handle_; }

 private:
  void* handle_;
};

// ---- threads ------------------------------------------------------------------------------------------------

// The body of a thread. `run` must not let an exception escape.
class ZEM_UTIL_EXPORT Runnable {
 public:
  Runnable() = default;
  Runnable(const Runnable&) = default;
  Runnable& operator=(const Runnable&) = default;
  virtual ~Runnable();
  virtual void run();
};

// Runs `body.run()` on a new detached thread. The object is used in place, not copied: keep it alive until
// `run` returns. Throws `Exception` when the thread cannot be created.
ZEM_UTIL_EXPORT void startThread(Runnable& body);

// ---- time and identity --------------------------------------------------------------------------------------

// Milliseconds since the system started, wrapping after about 49.7 days: compare times by unsigned
// subtraction (`getTimeMs() - start >= interval`), never with `<`.
ZEM_UTIL_EXPORT unsigned int getTimeMs();
ZEM_UTIL_EXPORT void sleepMs(unsigned int ms);
ZEM_UTIL_EXPORT unsigned int getCurrentThreadId();
ZEM_UTIL_EXPORT unsigned int getCurrentProcessId();

}  // namespace zem_util

// Mutexes, events, Exception, the texts of system errors and the translation of processor faults. Built with
// -fnon-call-exceptions, as code that expects faults to be thrown should be.
#include <gtest/gtest.h>
#include <zem_util/env.h>
#include <zem_util/system.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "support/platform.h"

namespace zem_util {
namespace {

// Another thread holding the mutex for as long as this object lives.
class Holder {
 public:
  explicit Holder(Mutex& mutex)
      : thread_([this, &mutex] {
          MutexLock guard(mutex);
          for (held_ = true; !done_;) sleepMs(1);
        }) {
    while (!held_) sleepMs(1);
  }
  ~Holder() {
    done_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> held_{false}, done_{false};
  std::thread thread_;
};

// Every way to make a mutex, and whether it is the kernel kind (which honours timeouts).
const struct Construction {
  const char* name;
  Mutex* (*make)();
  bool isKernelMutex;
} kConstructions[] = {
    {"CriticalSection", [] { return new Mutex(MutexKind::kCriticalSection); }, false},
    {"KernelMutex", [] { return new Mutex(MutexKind::kKernelMutex); }, true},
    {"Default", [] { return new Mutex(); }, false},
    {"FlagTrue", [] { return new Mutex(true); }, false},
    {"FlagFalse", [] { return new Mutex(false); }, true},
};

class MutexKindTest : public testing::TestWithParam<Construction> {};

TEST_P(MutexKindTest, RecursesChecksTheOwnerAndTimesOutIfKernel) {
  std::unique_ptr<Mutex> mutex(GetParam().make());
  void* m = mutex->getHandle();
  EXPECT_FALSE(unlock(m));  // not held
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(lock(m, kInfinite));
  std::thread([m] { EXPECT_FALSE(unlock(m)); }).join();  // only the owner releases
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(unlock(m));
  EXPECT_FALSE(unlock(m));
  {
    Holder holder(*mutex);
    if (GetParam().isKernelMutex) {
      EXPECT_FALSE(lock(m, 0));   // try-lock
      EXPECT_FALSE(lock(m, 30));  // bounded wait
      MutexLock guard(*mutex, 0);
      EXPECT_FALSE(guard.isLocked());  // and its destructor must not release the holder's lock
    }
  }
  std::thread([m] { EXPECT_TRUE(lock(m, 0) && unlock(m)); }).join();  // free again
  if (GetParam().isKernelMutex) return;
  // A critical section ignores the timeout: this waits for the holder, then succeeds.
  std::atomic<bool> held{false};
  std::thread holder([&] {
    MutexLock guard(*mutex);
    held = true;
    sleepMs(30);
  });
  while (!held) sleepMs(1);
  EXPECT_TRUE(lock(m, 0) && unlock(m));
  holder.join();
}

// Through the standard's names, in patterns the analysis does not follow (levels released in a loop, results
// read by the test macros).
TEST_P(MutexKindTest, MeetsTheStandardLockRequirements) ZEM_UTIL_NO_THREAD_SAFETY_ANALYSIS {
  std::unique_ptr<Mutex> owned(GetParam().make());
  Mutex& mutex = *owned;
  {
    Holder holder(mutex);
    auto start = std::chrono::steady_clock::now();
    int taken = 0;
    for (int i = 0; i < 500; ++i) taken += mutex.try_lock();  // never waits, whichever the kind
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));  // not one tick each
    start = std::chrono::steady_clock::now();
    EXPECT_FALSE(taken || mutex.try_lock_for(std::chrono::milliseconds(30)));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(15));  // a tick may be 15.6 ms
    EXPECT_FALSE(mutex.try_lock_until(std::chrono::steady_clock::now() + std::chrono::milliseconds(5)));
  }
  // Free: each success adds a level, as `lock` does; beyond the longest wait is taken at once.
  EXPECT_TRUE(mutex.try_lock() && mutex.try_lock_for(std::chrono::hours(1000000)));
  mutex.lock();
  for (int i = 0; i < 3; ++i) mutex.unlock();
  EXPECT_FALSE(unlock(mutex.getHandle()));
  // Two threads take both mutexes in opposite orders through std::scoped_lock; a waiter is woken through
  // std::condition_variable_any.
  Mutex other(MutexKind::kKernelMutex);
  std::condition_variable_any changed;
  int count = 0;
  auto add = [&](Mutex& first, Mutex& second) {
    for (int i = 0; i < 500; ++i) {
      std::scoped_lock both(first, second);
      ++count;
      changed.notify_all();
    }
  };
  std::thread forward(add, std::ref(mutex), std::ref(other)), backward(add, std::ref(other), std::ref(mutex));
  std::unique_lock<Mutex> hold(mutex);
  EXPECT_TRUE(changed.wait_for(hold, std::chrono::seconds(20), [&] { return count == 1000; }));
  hold.unlock();
  forward.join();
  backward.join();
}

INSTANTIATE_TEST_SUITE_P(EveryConstruction, MutexKindTest, testing::ValuesIn(kConstructions),
                         [](const testing::TestParamInfo<Construction>& info) { return info.param.name; });

TEST(MutexTest, AbandonedKernelMutexIsAcquiredAtDepthOne) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "ThreadSanitizer does not model a lock whose owner thread ended while holding it";
#endif
  Mutex kernel(MutexKind::kKernelMutex);
  std::thread([&] { EXPECT_TRUE(lock(kernel.getHandle(), kInfinite) && lock(kernel.getHandle(), 0)); }).join();
  ASSERT_TRUE(lock(kernel.getHandle(), 1000));
  EXPECT_TRUE(unlock(kernel.getHandle()));
  EXPECT_FALSE(unlock(kernel.getHandle()));  // the dead owner's levels are gone
  try {
    MutexLock guard(kernel);
    throw 1;
  } catch (int) {
  }
  std::thread([&] { EXPECT_TRUE(lock(kernel.getHandle(), 0) && unlock(kernel.getHandle())); }).join();
  EXPECT_NE(&getGlobalMutex(), &getRefCountMutex());
  Mutex& counts = getRefCountMutex();
  std::thread([&] {
    if (counts.try_lock()) {
      counts.unlock();
    } else {
      ADD_FAILURE() << "the free reference-count mutex refused a try";
    }
  }).join();
  MutexLock guard(counts);
  EXPECT_TRUE(lock(counts.getHandle(), 0) && unlock(counts.getHandle()));  // recursive
  std::thread([&] { EXPECT_FALSE(counts.try_lock()); }).join();
}

// Waiters hold the mutex at depth 2 while they wait; they must hold it at depth 2 again afterwards.
struct Waiters {
  Mutex mutex{MutexKind::kKernelMutex};
  Event event;
  int entered = 0;
  std::atomic<int> notified{0}, timedOut{0};
  std::vector<std::thread> threads;

  void start(int count, unsigned timeout) {
    for (int i = 0; i < count; ++i) {
      threads.emplace_back([this, timeout]() ZEM_UTIL_NO_THREAD_SAFETY_ANALYSIS {  // held twice on purpose
        lock(mutex.getHandle(), kInfinite);
        MutexLock guard(mutex);
        ++entered;
        (event.wait(mutex, timeout) ? notified : timedOut)++;
        EXPECT_TRUE(unlock(mutex.getHandle()));
        EXPECT_TRUE(unlock(mutex.getHandle()));
        EXPECT_FALSE(unlock(mutex.getHandle()));
        lock(mutex.getHandle(), kInfinite);  // the level the guard gives back
      });
    }
    for (bool all = false; !all; sleepMs(1)) {
      MutexLock guard(mutex);
      all = entered == count;
    }
    sleepMs(100);  // a back end may register a waiter only after the mutex is released
  }
  void join() {
    for (auto& thread : threads) thread.join();
  }
};

TEST(EventTest, PulsesReleaseTheWaitersOfTheMomentOnly) {
  Waiters w;
  w.event.notify();  // nobody waits: forgotten
  w.event.notifyAll();
  w.start(3, 20000);
  w.event.notify();
  for (int i = 0; i < 2000 && w.notified < 1; ++i) sleepMs(1);
  sleepMs(100);
  EXPECT_EQ(w.notified, 1);  // exactly one; the others keep waiting
  w.event.notifyAll();
  w.join();
  EXPECT_EQ(w.notified, 3);
  Waiters late;
  late.start(1, 50);
  late.join();
  EXPECT_EQ(late.timedOut, 1);
}

TEST(EventTest, WaitsLastTheirTimeoutAndNeedTheMutex) {
  Mutex mutex(MutexKind::kCriticalSection);
  Event event;
  // Nobody notifies: to the millisecond, also when the deadline passes into the next second (999 ms nearly always).
  for (unsigned timeout : {1u, 1u, 1u, 999u}) {
    MutexLock guard(mutex);
    const unsigned start = getTimeMs();
    EXPECT_FALSE(event.wait(mutex, timeout));
    EXPECT_GE(getTimeMs() - start, timeout);
  }
  const unsigned start = getTimeMs();
  try {
    waitForEvent(event.getHandle(), mutex.getHandle(), 5000);  // Event::wait without the check that it is held
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.getMessage().str(),
              "Internal error : Erroneous use of Event::wait : the current thread does not own the mutex.");
    EXPECT_EQ(e.getRetCode(), 0);
  }
  EXPECT_LT(getTimeMs() - start, 4000u);  // and without waiting
  Holder holder(mutex);                   // held by another thread does not count as held
  EXPECT_THROW(event.wait(mutex, 5000), Exception);
}

TEST(ExceptionTest, CopiesShareTheMessageAndSystemErrorsTakeTheirForms) {
  EXPECT_TRUE(Exception().getMessage().isNull());
  const Exception original(ArrayPtr<char>("disk full"), 28);
  Exception copy(original), assigned;
  assigned = original;
  EXPECT_TRUE(copy.getMessage().sharesBlockWith(original.getMessage()) &&
              assigned.getMessage().sharesBlockWith(original.getMessage()) && assigned.getRetCode() == 28);
  copy.setMessage(ArrayPtr<char>("other"));
  EXPECT_EQ(original.getMessage().str() + copy.getMessage().str(), "disk fullother");
  // No system has a text for the first code; the second has one everywhere, passed on untrimmed.
  const std::string known = getSystemErrorMsg(2).str();
  ASSERT_FALSE(known.empty());
  const std::pair<ArrayPtr<char>, std::string> cases[] = {
      {getSystemErrorMsg(0xFFFFFFFFu), "error code 4294967295"},
      {getSystemErrorMsg("CreateMutex", 0xFFFFFFFFu), "'CreateMutex' returned error code 4294967295"},
      {getSystemErrorMsg("Cannot go on", "CreateMutex", 0xFFFFFFFFu),
       "Cannot go on : 'CreateMutex' returned error code 4294967295"},
      {getSystemErrorMsg("open", 2), "'open' returned error code 2 : " + known},
      {getSystemErrorMsg("Context", "open", 2), "Context : 'open' returned error code 2 : " + known}};
  for (const auto& [message, expected] : cases) EXPECT_EQ(message.str(), expected);
}

// Out of line and fed through volatiles, so that the compiler can neither fold nor drop the faults; the
// undefined-behaviour sanitizer would stop them before the processor gets to fault.
__attribute__((noinline, no_sanitize("undefined"))) int divide(int a, int b) { return a / b; }
__attribute__((noinline, no_sanitize("undefined"))) int load(const int* p) { return *p; }
__attribute__((noinline)) void trap() { __builtin_trap(); }
volatile int zero = 0;
int* volatile nullPointer = nullptr;
void (*volatile nullFunction)() = nullptr;
// GCC takes a trap instruction for one that cannot throw, even with -fnon-call-exceptions, and would make a direct
// caller of trap() terminate; a call through a pointer it cannot see through may throw.
void (*volatile trapFunction)() = trap;

template <class Fault>
std::string translated(Fault fault) {
  try {
    fault();
  } catch (const Exception& e) {
    EXPECT_EQ(0, e.getRetCode());
    return e.getMessage().str();
  }
  return "not translated";
}

// "System exception <code>:<name> occured in module <path> at offset <n> (address <n>)"
struct Translation {
  std::string codeAndName, module;
  std::uintptr_t offset = 0, address = 0;
};

Translation parse(const std::string& message) {
  static const std::regex form(R"(System exception (\d+:.+) occured in module (.+) at offset (\d+) \(address (\d+)\))");
  std::smatch parts;
  if (!std::regex_match(message, parts, form)) return {message, "", 0, 0};
  return {parts[1], parts[2], static_cast<std::uintptr_t>(std::stoull(parts[3])),
          static_cast<std::uintptr_t>(std::stoull(parts[4]))};
}

template <class Function>
std::uintptr_t addressOf(Function* function) {
  return reinterpret_cast<std::uintptr_t>(function);
}

TEST(WindowsExceptionHandlerTest, TranslatesFaultsWithTheirCodeModuleAndAddress) {
  WindowsExceptionHandler handler;
  const std::tuple<std::string, const char*, std::uintptr_t> cases[] = {
      // message, code and name, function
      {translated([] { divide(1, zero); }), "3221225620:Integer Division by Zero", addressOf(&divide)},
      {translated([] { load(nullPointer); }), "3221225477:Access Violation", addressOf(&load)},
      {translated([] { trapFunction(); }), "3221225501:Illegal Instruction", addressOf(&trap)}};
  const Translation first = parse(std::get<0>(cases[0]));
  EXPECT_EQ(0u, first.module.substr(first.module.find_last_of("/\\") + 1).find("system_test")) << first.module;
  EXPECT_NE(std::string::npos, first.module.find_first_of("/\\")) << "not a full path: " << first.module;
  for (const auto& [message, codeAndName, function] : cases) {
    const Translation t = parse(message);
    EXPECT_EQ(t.codeAndName, codeAndName);
    EXPECT_TRUE(t.address >= function && t.address < function + 512) << message;  // in the faulting function
    EXPECT_EQ(t.module, first.module);
    EXPECT_EQ(t.address - t.offset, first.address - first.offset);  // offsets count from the module's base
  }
  EXPECT_LE(first.address - first.offset, addressOf(&divide));
  // A fault inside a library names the library.
  int (*pluginLoad)(const int*) = nullptr;
  void* address = getFunctionPointer("pluginLoad", "BareMsg_fr");  // a translator plug-in beside this program
  std::memcpy(&pluginLoad, &address, sizeof address);
  ASSERT_NE(pluginLoad, nullptr);
  const std::string inLibrary = parse(translated([pluginLoad] { pluginLoad(nullPointer); })).module;
  EXPECT_NE(inLibrary.find("BareMsg_fr"), std::string::npos) << inLibrary;
  // Code in no module at all: a call through a null function pointer.
  EXPECT_EQ("System exception 3221225477:Access Violation occured in module Unknown at offset 0 (address 0)",
            translated([] { nullFunction(); }));
  // A read past the end of a mapped file that was cut short, where the platform can make one.
  if (const int* pastTheEnd = test_support::pastTheEndOfAMappedFile()) {
    EXPECT_EQ(parse(translated([pastTheEnd] { load(pastTheEnd); })).codeAndName, "3221225478:In Page Error");
  }
}

// Whether the destructor ran, when the fault is caught in the function where it happens.
__attribute__((noinline, no_sanitize("undefined"))) bool catchInSameFunction(int* destroyed) {
  struct Counted {
    int* destroyed;
    ~Counted() { ++*destroyed; }
  };
  try {
    Counted local{destroyed};
    volatile int value = *nullPointer;
    (void)value;
  } catch (const Exception&) {
    return true;
  }
  return false;
}

TEST(WindowsExceptionHandlerTest, TranslatesOnlyInItsThreadAndScope) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // The library gives the fault signals back as it goes, before earlier exit handlers run (SIGILL: no sanitizer's),
  // unless the program has set one of its own since.
  static void (*setSince)(int);
  for (void (*disposition)(int) : {SIG_DFL, SIG_IGN}) {
    setSince = disposition;
    EXPECT_EXIT((std::atexit([] { std::_Exit(std::signal(SIGILL, SIG_DFL) == setSince ? 3 : 4); }),
                 WindowsExceptionHandler(), setSince == SIG_IGN && std::signal(SIGILL, SIG_IGN), std::exit(0)),
                testing::ExitedWithCode(3), "");
  }
  std::string inOtherThread;
  std::thread([&] {
    WindowsExceptionHandler handler;
    inOtherThread = translated([] { load(nullPointer); });
  }).join();
  EXPECT_EQ("3221225477:Access Violation", parse(inOtherThread).codeAndName);
  WindowsExceptionHandler outer;
  EXPECT_DEATH(std::thread([] { load(nullPointer); }).join(), "");  // a thread without a handler
  EXPECT_DEATH(std::raise(SIGSEGV), "");  // sent, not a fault of the processor: the default action
  int destroyed = 0;
  EXPECT_TRUE(catchInSameFunction(&destroyed));
  EXPECT_EQ(1, destroyed);
  { WindowsExceptionHandler inner; }
  EXPECT_EQ("3221225620:Integer Division by Zero", parse(translated([] { divide(1, zero); })).codeAndName);
  {
    WindowsExceptionHandler copy(outer), assigned;
    assigned = outer;
  }
  // The copies put back what `outer` replaced, no translator at all, although `outer` still lives.
  EXPECT_DEATH(divide(1, zero), "");
}

}  // namespace
}  // namespace zem_util

// Built with -fnon-call-exceptions, as code that expects faults to be thrown should be.
#include <gtest/gtest.h>
#include <zem_util/system.h>

#include <cstdint>
#include <regex>
#include <string>
#include <thread>

#include "support/text.h"

namespace zem_util {
namespace {

// Out of line and fed through volatiles, so that the compiler can neither fold nor drop the faults; the
// undefined-behaviour sanitizer would stop them before the processor gets to fault.
__attribute__((noinline, no_sanitize("undefined"))) int divide(int a, int b) { return a / b; }
__attribute__((noinline, no_sanitize("undefined"))) int load(const int* p) { return *p; }
__attribute__((noinline)) void trap() { __builtin_trap(); }
volatile int zero = 0;
int* volatile nullPointer = nullptr;
void (*volatile nullFunction)() = nullptr;
// Even with -fnon-call-exceptions GCC takes a trap instruction for one that cannot throw, and would let a
// direct caller of trap() call std::terminate; a call through a pointer it cannot see through may throw.
void (*volatile trapFunction)() = trap;

template <class Fault>
std::string translatedMessage(Fault fault) {
  try {
    fault();
  } catch (const Exception& e) {
    EXPECT_EQ(0, e.getRetCode());
    return test_support::text(e.getMessage());
  }
  return "not translated";
}

struct Translation {
  unsigned long long code = 0;
  std::string name;
  std::string module;
  std::uintptr_t offset = 0;
  std::uintptr_t address = 0;

  std::uintptr_t base() const { return address - offset; }
  std::string moduleFileName() const { return module.substr(module.find_last_of("/\\") + 1); }
};

Translation parse(const std::string& message) {
  static const std::regex format(
      R"(System exception (\d+):(.+) occured in module (.+) at offset (\d+) \(address (\d+)\))");
  std::smatch parts;
  Translation result;
  EXPECT_TRUE(std::regex_match(message, parts, format)) << message;
  if (parts.empty()) return result;
  result.code = std::stoull(parts[1]);
  result.name = parts[2];
  result.module = parts[3];
  result.offset = static_cast<std::uintptr_t>(std::stoull(parts[4]));
  result.address = static_cast<std::uintptr_t>(std::stoull(parts[5]));
  return result;
}

// The address of the faulting instruction lies within the function that faulted.
bool isWithin(std::uintptr_t address, void (*function)()) {
  const auto start = reinterpret_cast<std::uintptr_t>(function);
  return address >= start && address < start + 512;
}

template <class Function>
void (*asPlain(Function* function))() {
  return reinterpret_cast<void (*)()>(function);
}

TEST(WindowsExceptionHandlerTest, TranslatesFaultsInCalledFunctions) {
  WindowsExceptionHandler handler;

  const Translation division = parse(translatedMessage([] { divide(1, zero); }));
  EXPECT_EQ(3221225620u, division.code);
  EXPECT_EQ("Integer Division by Zero", division.name);
  EXPECT_TRUE(isWithin(division.address, asPlain(&divide))) << division.address;
  EXPECT_EQ(0u, division.moduleFileName().find("system_test")) << division.module;
  EXPECT_NE(std::string::npos, division.module.find_first_of("/\\")) << "not a full path: " << division.module;

  const Translation access = parse(translatedMessage([] { load(nullPointer); }));
  EXPECT_EQ(3221225477u, access.code);
  EXPECT_EQ("Access Violation", access.name);
  EXPECT_TRUE(isWithin(access.address, asPlain(&load))) << access.address;
  EXPECT_EQ(division.module, access.module);
  // Offsets count from where the module is loaded.
  EXPECT_EQ(division.base(), access.base());
  EXPECT_LE(division.base(), reinterpret_cast<std::uintptr_t>(&divide));

  const Translation illegal = parse(translatedMessage([] { trapFunction(); }));
  EXPECT_EQ(3221225501u, illegal.code);
  EXPECT_EQ("Illegal Instruction", illegal.name);
  EXPECT_TRUE(isWithin(illegal.address, &trap)) << illegal.address;

  // Code in no module at all: a call through a null function pointer.
  EXPECT_EQ("System exception 3221225477:Access Violation occured in module Unknown at offset 0 (address 0)",
            translatedMessage([] { nullFunction(); }));
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

TEST(WindowsExceptionHandlerTest, CatchesFaultsInTheSameFunction) {
  WindowsExceptionHandler handler;
  int destroyed = 0;
  EXPECT_TRUE(catchInSameFunction(&destroyed));
  EXPECT_EQ(1, destroyed);
}

TEST(WindowsExceptionHandlerTest, NestedHandlersRestoreInReverseOrder) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  {
    WindowsExceptionHandler outer;
    {
      WindowsExceptionHandler inner;
      EXPECT_EQ(3221225620u, parse(translatedMessage([] { divide(1, zero); })).code);
    }
    EXPECT_EQ(3221225620u, parse(translatedMessage([] { divide(1, zero); })).code);
  }
  // With both gone the fault takes its ordinary course.
  EXPECT_DEATH(divide(1, zero), "");
}

TEST(WindowsExceptionHandlerTest, CopyPutsBackWhatTheOriginalReplaced) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  WindowsExceptionHandler handler;
  {
    WindowsExceptionHandler copy(handler);
    WindowsExceptionHandler assigned;
    assigned = handler;
    EXPECT_EQ(3221225477u, parse(translatedMessage([] { load(nullPointer); })).code);
  }
  // Destroying the copies put back "no translator", although `handler` still lives.
  EXPECT_DEATH(load(nullPointer), "");
}

TEST(WindowsExceptionHandlerTest, TranslatesOnlyInThreadsWithAHandler) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::string inOtherThread;
  std::thread([&] {
    WindowsExceptionHandler handler;
    inOtherThread = translatedMessage([] { load(nullPointer); });
  }).join();
  EXPECT_EQ(3221225477u, parse(inOtherThread).code);

  WindowsExceptionHandler handler;
  EXPECT_DEATH(std::thread([] { load(nullPointer); }).join(), "");
}

}  // namespace
}  // namespace zem_util

#include <gtest/gtest.h>
#include <zem_util/export.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>

#include "support/text.h"
#include "zem_util/env.h"
#include "zem_util/system.h"

// Looked up in the executable itself by the tests below.
extern "C" ZEM_UTIL_PLUGIN_EXPORT int zemEnvTestExecutableFunction() { return 7; }

namespace zem_util {
namespace {

using test_support::text;
using Counter = int (*)();

const char kPlugin[] = "zem_env_plugin";  // built beside this test, named without its extension
const char kCount[] = "zemTestPluginNextCount";

Counter toCounter(void* address) {
  Counter function = nullptr;
  static_assert(sizeof function == sizeof address);
  std::memcpy(&function, &address, sizeof address);
  return function;
}

// "name\0x": the name, a NUL and more.
ArrayPtr<char> withNul(const char* name) {
  const std::string text = std::string(name) + '\0' + "x";
  return ArrayPtr<char>(text.data(), 0, static_cast<int>(text.size()));
}

// Every test leaves the table empty, as it found it.
class LibraryTest : public ::testing::Test {
 protected:
  void TearDown() override { freeAllLibraries(); }
};

TEST_F(LibraryTest, LoadsOnceAndFreeAllLoadsAnew) {
  const Counter next = toCounter(getFunctionPointer(kCount, kPlugin));
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(next(), 1);
  EXPECT_EQ(next(), 2);
  EXPECT_EQ(toCounter(getFunctionPointer(kCount, kPlugin)), next);
  EXPECT_EQ(next(), 3);
  // Another spelling of the same file is a second entry and a second load of the same module.
  const std::string fullName = text(getLibraryFileName(kPlugin));
  const Counter same = toCounter(getFunctionPointer(kCount, fullName.c_str()));
  EXPECT_EQ(same(), 4);

  // Both loads are released: the module goes, and the next request starts it afresh.
  freeAllLibraries();
  const Counter fresh = toCounter(getFunctionPointer(kCount, kPlugin));
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(fresh(), 1);
}

TEST_F(LibraryTest, NamesFilesAndTheExecutable) {
  const ArrayPtr<char> fileName = getLibraryFileName(kPlugin);
  EXPECT_EQ(text(getDirectory(fileName)), text(getProcessDirectory()));
  EXPECT_EQ(text(getFileName(fileName)), kPlugin);
  // An empty (or null) library name is the executable itself.
  const Counter function = toCounter(getFunctionPointer("zemEnvTestExecutableFunction", ""));
  ASSERT_NE(function, nullptr);
  EXPECT_EQ(function(), 7);
  EXPECT_EQ(toCounter(getFunctionPointer("zemEnvTestExecutableFunction", ArrayPtr<char>())), function);
}

TEST_F(LibraryTest, BadNamesGiveNullOrEmpty) {
  EXPECT_EQ(getLibraryFileName("zem_env_no_such_library").length(), 0);
  EXPECT_EQ(getLibraryFileName("").length(), 0);
  EXPECT_EQ(getFunctionPointer("zemNoSuchFunction", kPlugin), nullptr);
  EXPECT_EQ(getFunctionPointer("zemNoSuchFunction", ""), nullptr);
  EXPECT_EQ(getFunctionPointer("", kPlugin), nullptr);
  for (const char* library : {"zem_env_no_such_library", "/", ".", "\\"}) {
    EXPECT_EQ(getFunctionPointer(kCount, library), nullptr) << library;
  }
  // A NUL inside either name would make the system see another name: refused.
  EXPECT_EQ(getFunctionPointer(withNul(kCount), kPlugin), nullptr);
  EXPECT_EQ(getFunctionPointer(kCount, withNul(kPlugin)), nullptr);
}

TEST_F(LibraryTest, FailuresAreNotRemembered) {
  // A library that appears after a failed request is loaded by the next one.
  const std::string extension = text(getFileExtension(getLibraryFileName(kPlugin)));
  const std::string late = "zem_env_late_" + std::to_string(getCurrentProcessId());
  const std::string lateFile = text(getProcessDirectory()) + late + extension;
  EXPECT_EQ(getFunctionPointer(kCount, late.c_str()), nullptr);
  EXPECT_EQ(getLibraryFileName(late.c_str()).length(), 0);
  std::filesystem::copy_file(text(getLibraryFileName(kPlugin)), lateFile);
  const Counter next = toCounter(getFunctionPointer(kCount, late.c_str()));
  EXPECT_NE(next, nullptr);
  if (next != nullptr) {
    EXPECT_EQ(next(), 1);
  }
  freeAllLibraries();
  std::filesystem::remove(lateFile);
}

TEST_F(LibraryTest, ConcurrentRequestsShareOneEntry) {
  constexpr int kThreads = 8;
  struct Requester : Runnable {
    void* function = nullptr;
    std::atomic<bool> done{false};
    void run() override {
      for (int i = 0; i < 50; ++i) function = getFunctionPointer(kCount, kPlugin);
      done = true;
    }
  } requesters[kThreads];
  for (Requester& requester : requesters) startThread(requester);
  for (Requester& requester : requesters) {
    while (!requester.done) sleepMs(1);
  }
  for (const Requester& requester : requesters) EXPECT_EQ(requester.function, requesters[0].function);
  ASSERT_NE(requesters[0].function, nullptr);
  // Whatever the race, the module was loaded once per entry and is freed completely.
  freeAllLibraries();
  EXPECT_EQ(toCounter(getFunctionPointer(kCount, kPlugin))(), 1);
}

}  // namespace
}  // namespace zem_util

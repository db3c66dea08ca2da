// Win32 side of the environment tests' helpers, and the behaviour only the Win32 back end has.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>

#include "env_test_support.h"
#include "zem_util/env.h"

namespace test_support {

namespace {
thread_local LCID startLocale = 0;
}

bool setThreadLocale(const char*, unsigned windowsId) {
  if (startLocale == 0) startLocale = GetThreadLocale();
  return SetThreadLocale(windowsId) != FALSE && GetThreadLocale() == windowsId;
}

void restoreThreadLocale() {
  if (startLocale != 0) SetThreadLocale(startLocale);
}

void setRuntimeEnvironmentVariable(const char* name, const char* value) { _putenv_s(name, value); }

bool getSystemEnvironmentVariable(const char* name, std::string* value) {
  char buffer[4096];
  const DWORD length = GetEnvironmentVariableA(name, buffer, sizeof buffer);
  if (length == 0 || length >= sizeof buffer) return false;
  value->assign(buffer, length);
  return true;
}

std::string createHiddenFile(const TempDir& dir) {
  const std::string file = dir.createFile("hidden.txt");
  SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_HIDDEN);
  return file;
}

}  // namespace test_support

namespace zem_util {
namespace {

using test_support::getSystemEnvironmentVariable;

TEST(Win32BackEndTest, SettingAVariableLeavesTheRuntimeCopyAlone) {
  setEnvironmentVariable("ZEM_ENV_WIN32_ONLY", "system");
  EXPECT_EQ(std::getenv("ZEM_ENV_WIN32_ONLY"), nullptr);
  std::string value;
  EXPECT_TRUE(getSystemEnvironmentVariable("ZEM_ENV_WIN32_ONLY", &value));
  EXPECT_EQ(value, "system");
}

}  // namespace
}  // namespace zem_util

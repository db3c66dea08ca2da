// Windows side of the tests' platform helpers: no file-size limit, no always-full device, no mapped-file faults.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdlib>
#include <fstream>

#include "support/platform.h"

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

std::string createHiddenFile(const std::string& directory) {
  std::ofstream(directory + "hidden.txt").put('x');
  SetFileAttributesA((directory + "hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
  return directory + "hidden.txt";
}

int runWithFileSizeLimit(std::size_t, const std::function<int()>&, std::string* whyNot) {
  *whyNot = "Windows has no per-process file-size limit";
  return -1;
}

std::string fullDevicePath() { return ""; }

const int* pastTheEndOfAMappedFile() { return nullptr; }

}  // namespace test_support

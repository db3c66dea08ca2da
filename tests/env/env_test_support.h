// Helpers of the environment tests: the few system services the tests need that the library does not offer
// (one implementation per platform, chosen by the build), and a guard for tests that need a process of their own.
#pragma once

#include <string>

#include "support/temp_dir.h"

namespace test_support {

// Tests that watch a process-wide cache being filled for the first time need a process of their own. ctest
// runs each such test alone; run among others in one process they skip with this reason.
bool isFirstTestOfProcess();
constexpr const char* kNeedsOwnProcess = "watches the first use of a process-wide cache: run it alone (ctest does)";

// ---- per platform ----

// Gives the calling thread a locale of its own: the LC_MESSAGES of `posixName` on POSIX, the identifier
// `windowsId` on Windows. False when the system lacks that locale.
bool setThreadLocale(const char* posixName, unsigned windowsId);
// Back to the locale the thread started with.
void restoreThreadLocale();

// Sets a variable where getenv reads it (on Windows the C runtime's copy, which the system's block is not).
void setRuntimeEnvironmentVariable(const char* name, const char* value);
// The variable as the system's own environment holds it (what setEnvironmentVariable changes); false when unset.
bool getSystemEnvironmentVariable(const char* name, std::string* value);

// A file in `dir` that the system counts as hidden (".hidden" on POSIX, the hidden attribute on Windows).
std::string createHiddenFile(const TempDir& dir);

}  // namespace test_support

// What the tests need from the system beyond the library: one implementation per platform (posix.cpp, win32.cpp),
// chosen by the build. Where a platform cannot do something the helper says so, and the test skips with the reason.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace test_support {

// Gives the calling thread a locale of its own: the LC_MESSAGES of `posixName` on POSIX, the identifier
// `windowsId` on Windows. False when the system lacks that locale; restoreThreadLocale undoes it.
bool setThreadLocale(const char* posixName, unsigned windowsId);
void restoreThreadLocale();

// Sets a variable where getenv reads it (on Windows the C runtime's copy, which the system's block is not).
void setRuntimeEnvironmentVariable(const char* name, const char* value);
// The variable as the system's own environment holds it (what setEnvironmentVariable changes); false when unset.
bool getSystemEnvironmentVariable(const char* name, std::string* value);

// Makes a file in `directory` (which ends with a separator) that the system counts as hidden (".hidden" on
// POSIX, the hidden attribute on Windows), and returns its path.
std::string createHiddenFile(const std::string& directory);

// Runs `body` in a child process in which no file may grow beyond `bytes`: writes past the limit fail (EFBIG)
// instead of killing the process. Returns how the child ended: the body's result, 125 when an exception left the
// body, 128 + the signal that ended it; or -1 with the reason in `whyNot` when the platform cannot.
int runWithFileSizeLimit(std::size_t bytes, const std::function<int()>& body, std::string* whyNot);

// A file that accepts opening for appending and fails every write because the disk is full; "" if there is none.
std::string fullDevicePath();

// An address in a mapping of a file that has since been cut short, so that reading it faults (SIGBUS on POSIX);
// null where the platform cannot make one. The mapping stays for the rest of the process.
const int* pastTheEndOfAMappedFile();

}  // namespace test_support

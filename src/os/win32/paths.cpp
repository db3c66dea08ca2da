// Win32 back end: path separators.
#include <cstdio>

#include "os/os.h"

namespace zem_util::os {

// Both "/" and "\" are accepted when parsing; this is the one the library adds: "ZemTrace" -> "ZemTrace\".
extern const char kNativeSeparator = '\\';
// PATH entries: "C:\bin;D:\tools" -> "C:\bin", "D:\tools".
extern const char kPathListSeparator = ';';
// Trace files are opened in text mode, which stores every "\n" as "\r\n".
extern const int kTextModeLineEndExtra = 1;

void lockStream(std::FILE* stream) { _lock_file(stream); }
void unlockStream(std::FILE* stream) { _unlock_file(stream); }

}  // namespace zem_util::os

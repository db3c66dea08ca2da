// Win32 back end: path separators.
#include "os/os.h"

namespace zem_util::os {

// Both "/" and "\" are accepted when parsing; this is the one the library adds: "ZemTrace" -> "ZemTrace\".
extern const char kNativeSeparator = '\\';
// PATH entries: "C:\bin;D:\tools" -> "C:\bin", "D:\tools".
extern const char kPathListSeparator = ';';
// Trace files are opened in text mode, which stores every "\n" as "\r\n".
extern const int kTextModeLineEndExtra = 1;

}  // namespace zem_util::os

// POSIX back end: separators.
#include <cstdio>

#include "os/os.h"

namespace zem_util::os {

const char kNativeSeparator = '/';
const char kPathListSeparator = ':';
const int kTextModeLineEndExtra = 0;

void lockStream(std::FILE* stream) { flockfile(stream); }
void unlockStream(std::FILE* stream) { funlockfile(stream); }

}  // namespace zem_util::os

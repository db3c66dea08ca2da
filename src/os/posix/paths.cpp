// POSIX back end: separators.
#include "os/os.h"

namespace zem_util::os {

const char kNativeSeparator = '/';
const char kPathListSeparator = ':';
const int kTextModeLineEndExtra = 0;

}  // namespace zem_util::os

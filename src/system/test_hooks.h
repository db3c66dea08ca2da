// Test hooks: exported only so that the library's own tests can reach them. Not part of the interface.
#pragma once

#include "zem_util/export.h"

namespace zem_util::detail {

// From now on `getTimeMs` returns the system's tick count plus `offsetMs` (wrapping), so that tests can put
// the clock just before its 2^32 wrap instead of waiting 49.7 days. 0 restores the plain tick count.
ZEM_UTIL_EXPORT void setTimeOffsetForTesting(unsigned int offsetMs);

}  // namespace zem_util::detail

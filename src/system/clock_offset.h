// The offset that `getTimeMs` adds to the system's tick count: 0, except in the tests that put the clock just
// before its 2^32 wrap (through testing/test_access.h).
#pragma once

namespace zem_util::detail {

void setTimeOffset(unsigned int offsetMs);

}  // namespace zem_util::detail

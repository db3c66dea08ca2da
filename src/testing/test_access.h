// What the library's own tests may reach beyond the public interface: a clock they can set near its wrap, the
// locale identifier the platform reports, and probes of the representation. Exported only for those tests; not part of
// the interface, and never to be called by the library itself.
#pragma once

#include <cstdint>

#include "zem_util/core.h"
#include "zem_util/export.h"

namespace zem_util::test_access {

// From now on `getTimeMs` returns the system's tick count plus `offsetMs` (wrapping), so that tests can put
// the clock just before its 2^32 wrap instead of waiting 49.7 days. 0 restores the plain tick count.
ZEM_UTIL_EXPORT void setTimeOffset(unsigned int offsetMs);

// The platform's identifier of the calling thread's locale, from which `getCurrentLanguage` picks its row:
// 0x241A for "sr_RS.UTF-8@latin", 0x281A for "sr_RS.UTF-8"; 0 for a locale the platform cannot name.
ZEM_UTIL_EXPORT unsigned getThreadLocaleId();

// The count of the block `text` shows: how many handles and `CstStr` values share it. 0 for a null handle.
ZEM_UTIL_EXPORT std::int32_t getBlockCount(const ArrayPtr<char>& text);

}  // namespace zem_util::test_access

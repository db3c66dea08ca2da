// What the library's own tests may reach beyond the public interface: a clock they can set near its wrap, the
// locale identifier the platform reports, probes of the representation, the library's printf on its own, and the
// plug-in names the translator registry would try. Exported only for those tests; not part of the interface, and
// never called by the library itself.
#pragma once

#include <cstdarg>
#include <cstddef>
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

// The library's printf, which must give what `std::vsnprintf(buffer, size, format, args)` gives, byte for byte.
ZEM_UTIL_EXPORT int formatText(char* buffer, std::size_t size, const char* format, va_list args)
    ZEM_UTIL_PRINTF_FORMAT(3, 0);

// The plug-in library names `getTranslator(name, language)` hands to the loader, in order, when none of them
// yields a catalogue.
ZEM_UTIL_EXPORT ArrayPtr<ArrayPtr<char>> getPluginLibraryNames(const ArrayPtr<char>& name,
                                                               const ArrayPtr<char>& language);

}  // namespace zem_util::test_access

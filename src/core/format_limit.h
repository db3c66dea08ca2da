// The 3000-character formatting limit shared by every printf-style builder of the library.
#pragma once

#include <cstdarg>

#include "zem_util/annotations.h"
#include "zem_util/core.h"

namespace zem_util::detail {

constexpr int kFormatLimit = 3000;

// Formats into a new text of at most kFormatLimit characters. Longer results throw `limitMessage` (a plain
// character pointer); an encoding error gives an empty text.
ArrayPtr<char> formatLimited(const char* limitMessage, const char* fmt, va_list args) ZEM_UTIL_PRINTF_FORMAT(2, 0);

}  // namespace zem_util::detail

// The library's printf: what vsnprintf makes of a format, byte for byte, written without the C library for the
// conversions that traces and messages use most.
//
//   char text[32];
//   formatText(text, sizeof text, "%-6s|%05d|%#x", args);   // "ab    |00042|0xff", returns 17
//   formatText(text, 4, "%d", args);                        // 12345 -> "123", returns 5 (the full length)
#pragma once

#include <cstdarg>
#include <cstddef>

namespace zem_util::detail {

// Exactly what `std::vsnprintf(buffer, size, format, args)` gives: the same characters in the buffer (at most
// size - 1 of them and a NUL; nothing written when size is 0) and the same result (the length of the whole
// text, or a negative number when the C library reports an error). `%d %i %u %x %X %o %c %s %%` with the flags
// `- + space # 0`, a width and a precision (numbers or `*`) and the sizes `hh h l ll z j t` are written here;
// floating point and `%p` go to the C library one conversion at a time, and a format holding anything else
// (`%n`, positional arguments, wide characters, a conversion the C standard does not name) goes to it whole.
// `args` is left as the C library leaves it: not to be used again.
int formatText(char* buffer, std::size_t size, const char* format, va_list args);

}  // namespace zem_util::detail

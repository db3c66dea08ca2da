// printf-style formatting into a new text, limited to 3000 characters.
#include <cstdarg>
#include <cstring>

#include "core/format_limit.h"
#include "core/format_text.h"
#include "zem_util/core.h"

namespace zem_util {

namespace detail {
ArrayPtr<char> formatLimited(const char* limitMessage, const char* fmt, va_list args) {
  // formatText, like vsnprintf, stops at the buffer's end and still reports the full length, so the limit is
  // checked without ever writing past the 3000 characters and their NUL.
  char buffer[kFormatLimit + 1];
  const int length = formatText(buffer, sizeof buffer, fmt, args);
  if (length > kFormatLimit) throw limitMessage;
  if (length < 0) return ArrayPtr<char>("");
  return ArrayPtr<char>(buffer, 0, length);
}
}  // namespace detail

ArrayPtr<char> format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  struct End {
    va_list& args;
    ~End() { va_end(args); }
  } end{args};
  return detail::formatLimited("'zem_util::format' cannot be used to format more than 3000 characters !", fmt, args);
}

}  // namespace zem_util

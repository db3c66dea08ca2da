// Where the library's printf (format_text.cpp) puts its text: a caller's buffer of fixed size, filled as far as it
// goes, with everything beyond it counted, as vsnprintf does.
//
//   char text[4];
//   Sink sink(text, sizeof text);
//   sink.put("hello", 5);   // text holds "hel", 2 bytes counted beyond it
//   sink.finish();          // "hel" and its NUL; returns 5
#pragma once

#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstring>

namespace zem_util::detail {

// As much of the text as fits before the buffer's last byte, which is kept for the NUL; the rest only counted.
class Sink {
 public:
  // With size 0 nothing is written: the sink then points at a byte of its own and has no room.
  Sink(char* buffer, std::size_t size)
      : start_(size > 0 ? buffer : none_),
        next_(start_),
        limit_(size > 0 ? buffer + size - 1 : none_),
        hasBuffer_(size > 0) {}
  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;

  void put(const char* text, std::size_t n) {
    if (n == 0) return;
    const std::size_t fit = n < room() ? n : room();
    std::memcpy(next_, text, fit);
    next_ += fit;
    dropped_ += n - fit;
  }
  void put(char c) {
    if (next_ < limit_) {
      *next_++ = c;
    } else {
      ++dropped_;
    }
  }
  void fill(char c, std::size_t n) {
    if (n == 0) return;
    const std::size_t fit = n < room() ? n : room();
    std::memset(next_, c, fit);
    next_ += fit;
    dropped_ += n - fit;
  }

  // One conversion by the C library, written (as far as it fits) where the text has got to. False when the C
  // library reports an error. `conversion` is one directive the engine has already parsed and paired with
  // `value`'s type, which is why it is built at run time rather than a literal.
  template <class Value>
  bool putFormatted(const char* conversion, Value value) {
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
    const int length =
        hasBuffer_ ? std::snprintf(next_, room() + 1, conversion, value) : std::snprintf(nullptr, 0, conversion, value);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    if (length < 0) return false;
    const std::size_t n = static_cast<std::size_t>(length);
    const std::size_t fit = n < room() ? n : room();
    next_ += fit;
    dropped_ += n - fit;
    return true;
  }

  // The whole length, or -1 when it does not fit in an int (the caller then asks the C library).
  long long finish() {
    if (hasBuffer_) *next_ = '\0';
    const unsigned long long total = static_cast<unsigned long long>(next_ - start_) + dropped_;
    return total > INT_MAX ? -1 : static_cast<long long>(total);
  }

 private:
  std::size_t room() const { return static_cast<std::size_t>(limit_ - next_); }

  char none_[1] = {};
  char* start_;
  char* next_;
  char* limit_;
  bool hasBuffer_;
  std::size_t dropped_ = 0;
};

}  // namespace zem_util::detail

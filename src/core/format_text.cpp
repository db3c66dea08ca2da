// The library's printf. Integers, characters and strings are written here; the C library formats the rest.
#include "core/format_text.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "core/format_sink.h"

namespace zem_util::detail {

namespace {

// A width or precision above this goes to the C library with the whole format, which then also decides what a
// text longer than INT_MAX gives. Traces and messages never come near it; its being small lets the differential
// fuzz target cross it cheaply.
constexpr int kLargestNumber = 4096;

// The va_list inside a struct, so that helpers can take its values one by one on every platform.
struct Arguments {
  va_list list;
};

enum class Size { kDefault, kChar, kShort, kLong, kLongLong, kLongDouble, kSize, kMax, kPtrDiff };
constexpr char kSizeLetters[] = "Lzjt";  // kLongDouble, kSize, kMax, kPtrDiff; "h", "hh", "l", "ll" apart

// One conversion: "%-08.3lx" -> left, zero, width 8, precision 3, kLong, 'x'.
struct Directive {
  bool left = false;
  bool plus = false;
  bool space = false;
  bool alternate = false;
  bool zero = false;
  int width = 0;
  int precision = -1;  // -1: none
  Size size = Size::kDefault;
  char conversion = '\0';
};

// A decimal number of a width or precision; -1 when it is too large for this file.
int parseNumber(const char*& p) {
  long long value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + (*p - '0');
    if (value > kLargestNumber) return -1;
  }
  return static_cast<int>(value);
}

// Reads what follows a '%' up to its conversion character, taking `*` widths and precisions from the
// arguments. False for anything this file leaves to the C library as a whole: "%n", "%1$d", "%'d", "%ls", ...
bool parseDirective(const char*& p, Directive& directive, Arguments& args) {
  for (;; ++p) {
    bool* flag = *p == '-'   ? &directive.left
                 : *p == '+' ? &directive.plus
                 : *p == ' ' ? &directive.space
                 : *p == '#' ? &directive.alternate
                 : *p == '0' ? &directive.zero
                             : nullptr;
    if (!flag) break;
    *flag = true;
  }
  if (*p == '*') {
    ++p;
    const int width = va_arg(args.list, int);
    if (width < -kLargestNumber || width > kLargestNumber) return false;
    if (width < 0) directive.left = true;
    directive.width = width < 0 ? -width : width;
  } else if ((directive.width = parseNumber(p)) < 0) {
    return false;
  }
  if (*p == '$' || (*p >= '0' && *p <= '9')) return false;  // positional: "%2$d", "%*2$d"
  if (*p == '.') {
    ++p;
    if (*p == '*') {
      ++p;
      const int precision = va_arg(args.list, int);
      if (precision > kLargestNumber) return false;
      directive.precision = precision < 0 ? -1 : precision;
    } else if ((directive.precision = parseNumber(p)) < 0) {
      return false;
    }
    if (*p == '$' || (*p >= '0' && *p <= '9')) return false;
  }
  if (*p == 'h' || *p == 'l') {
    const bool doubled = p[1] == *p;
    directive.size = *p == 'h' ? (doubled ? Size::kChar : Size::kShort) : (doubled ? Size::kLongLong : Size::kLong);
    p += doubled ? 2 : 1;
  } else if (const char* letter = *p != '\0' ? std::strchr(kSizeLetters, *p) : nullptr) {
    static constexpr Size kSizes[] = {Size::kLongDouble, Size::kSize, Size::kMax, Size::kPtrDiff};
    directive.size = kSizes[letter - kSizeLetters];
    ++p;
  }
  directive.conversion = *p;
  if (*p == '\0') return false;
  if (std::strchr("diuxXo", *p)) return directive.size != Size::kLongDouble;
  if (std::strchr("csp", *p)) return directive.size == Size::kDefault;
  if (std::strchr("fFeEgGaA", *p)) {
    return directive.size == Size::kDefault || directive.size == Size::kLong || directive.size == Size::kLongDouble;
  }
  return false;
}

// The conversion again as a format of its own, with its `*` numbers written out: "%-*.*d" with 8 and 3 ->
// "%-8.3d". Only floating point and pointers are rebuilt, so the size is at most "L".
void rebuildDirective(const Directive& directive, char* out) {
  *out++ = '%';
  if (directive.left) *out++ = '-';
  if (directive.plus) *out++ = '+';
  if (directive.space) *out++ = ' ';
  if (directive.alternate) *out++ = '#';
  if (directive.zero) *out++ = '0';
  if (directive.width > 0) out += std::sprintf(out, "%d", directive.width);
  if (directive.precision >= 0) out += std::sprintf(out, ".%d", directive.precision);
  if (directive.size == Size::kLongDouble) *out++ = 'L';
  *out++ = directive.conversion;
  *out = '\0';
}

// The value of an integer conversion, as a magnitude and a sign, read at the size the conversion names.
struct Integer {
  std::uint64_t magnitude;
  bool negative;
};

Integer takeSigned(const Directive& directive, Arguments& args) {
  long long value;
  switch (directive.size) {
    case Size::kChar:
      value = static_cast<signed char>(va_arg(args.list, int));
      break;
    case Size::kShort:
      value = static_cast<short>(va_arg(args.list, int));
      break;
    case Size::kLong:
      value = va_arg(args.list, long);
      break;
    case Size::kLongLong:
      value = va_arg(args.list, long long);
      break;
    case Size::kSize:
      value = static_cast<std::ptrdiff_t>(va_arg(args.list, std::size_t));
      break;
    case Size::kMax:
      value = va_arg(args.list, std::intmax_t);
      break;
    case Size::kPtrDiff:
      value = va_arg(args.list, std::ptrdiff_t);
      break;
    default:
      value = va_arg(args.list, int);
      break;
  }
  // 0 - magnitude in unsigned arithmetic, so that LLONG_MIN has one too.
  return value < 0 ? Integer{0 - static_cast<std::uint64_t>(value), true}
                   : Integer{static_cast<std::uint64_t>(value), false};
}

Integer takeUnsigned(const Directive& directive, Arguments& args) {
  std::uint64_t value;
  switch (directive.size) {
    case Size::kChar:
      value = static_cast<unsigned char>(va_arg(args.list, unsigned));
      break;
    case Size::kShort:
      value = static_cast<unsigned short>(va_arg(args.list, unsigned));
      break;
    case Size::kLong:
      value = va_arg(args.list, unsigned long);
      break;
    case Size::kLongLong:
      value = va_arg(args.list, unsigned long long);
      break;
    case Size::kSize:
      value = va_arg(args.list, std::size_t);
      break;
    case Size::kMax:
      value = va_arg(args.list, std::uintmax_t);
      break;
    case Size::kPtrDiff:
      value = static_cast<std::size_t>(va_arg(args.list, std::ptrdiff_t));
      break;
    default:
      value = va_arg(args.list, unsigned);
      break;
  }
  return Integer{value, false};
}

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// The digits of `value` in `base`, written backwards from `end`; returns where they start. 0 gives "0".
template <class Unsigned>
char* writeDecimal(Unsigned value, char* end) {
  char* p = end;
  while (value >= 100) {
    p -= 2;
    std::memcpy(p, kDigitPairs + (value % 100) * 2, 2);
    value /= 100;
  }
  if (value >= 10) {
    p -= 2;
    std::memcpy(p, kDigitPairs + value * 2, 2);
  } else {
    *--p = static_cast<char>('0' + value);
  }
  return p;
}

char* writeDigits(std::uint64_t value, int base, bool upper, char* end) {
  if (base == 10) {
    // Most values fit in 32 bits, whose divisions by 100 are cheaper.
    return value <= 0xFFFFFFFFu ? writeDecimal(static_cast<std::uint32_t>(value), end) : writeDecimal(value, end);
  }
  char* p = end;
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  const unsigned shift = base == 16 ? 4 : 3;
  do {
    *--p = digits[value & (static_cast<unsigned>(base) - 1)];
    value >>= shift;
  } while (value != 0);
  return p;
}

// "%+08.3d" and its kin: sign or "0x", zeros up to the precision (or, with '0' and no precision, the width),
// the digits, and spaces up to the width on the side the '-' flag says.
void putInteger(Sink& sink, const Directive& directive, Integer value) {
  const char c = directive.conversion;
  const int base = c == 'x' || c == 'X' ? 16 : c == 'o' ? 8 : 10;
  char buffer[24];
  char* end = buffer + sizeof buffer;
  char* digits =
      value.magnitude == 0 && directive.precision == 0 ? end : writeDigits(value.magnitude, base, c == 'X', end);
  const int count = static_cast<int>(end - digits);

  char prefix[2];
  int prefixLength = 0;
  if (value.negative) {
    prefix[prefixLength++] = '-';
  } else if (c == 'd' || c == 'i') {
    if (directive.plus) {
      prefix[prefixLength++] = '+';
    } else if (directive.space) {
      prefix[prefixLength++] = ' ';
    }
  } else if (directive.alternate && base == 16 && value.magnitude != 0) {
    prefix[prefixLength++] = '0';
    prefix[prefixLength++] = c;
  }
  int precision = directive.precision;
  // '#' with 'o': the first digit is a 0, added by raising the precision when no 0 leads already.
  if (directive.alternate && base == 8 && (count == 0 || *digits != '0') && precision <= count) precision = count + 1;
  int zeros = precision > count ? precision - count : 0;
  if (directive.zero && !directive.left && directive.precision < 0 && directive.width > prefixLength + count)
    zeros = directive.width - prefixLength - count;
  const int length = prefixLength + zeros + count;
  const int padding = directive.width > length ? directive.width - length : 0;

  if (!directive.left) sink.fill(' ', static_cast<std::size_t>(padding));
  sink.put(prefix, static_cast<std::size_t>(prefixLength));
  sink.fill('0', static_cast<std::size_t>(zeros));
  sink.put(digits, static_cast<std::size_t>(count));
  if (directive.left) sink.fill(' ', static_cast<std::size_t>(padding));
}

// "%-5s", "%.3s", "%c": text padded with spaces to the width.
void putText(Sink& sink, const Directive& directive, const char* text, std::size_t length) {
  const std::size_t width = static_cast<std::size_t>(directive.width);
  const std::size_t padding = width > length ? width - length : 0;
  if (!directive.left) sink.fill(' ', padding);
  sink.put(text, length);
  if (directive.left) sink.fill(' ', padding);
}

// The length of a "%s" text: up to its NUL, and no further than the precision (the bytes beyond need not exist;
// memchr stops at the first match). Texts cut by a precision run to thousands of characters.
std::size_t textLength(const char* text, int precision) {
  if (precision < 0) return std::strlen(text);
  const void* end = std::memchr(text, '\0', static_cast<std::size_t>(precision));
  return end ? static_cast<std::size_t>(static_cast<const char*>(end) - text) : static_cast<std::size_t>(precision);
}

// "%d", "%i", "%u" and "%s" as they stand, without flags, width, precision or size: most conversions of traces
// and messages, written without parsing a directive. False when the C library reports an error.
bool putPlain(Sink& sink, char conversion, Arguments& args) {
  char buffer[12];
  char* end = buffer + sizeof buffer;
  char* digits;
  switch (conversion) {
    case 's': {
      const char* text = va_arg(args.list, const char*);
      if (!text) {  // as the C library writes a null text
        char plain[32];
        Directive directive;
        directive.conversion = 's';
        rebuildDirective(directive, plain);
        return sink.putFormatted(plain, text);
      }
      sink.put(text, std::strlen(text));
      return true;
    }
    case 'u':
      digits = writeDecimal(va_arg(args.list, unsigned), end);
      break;
    default: {
      const int value = va_arg(args.list, int);
      digits = writeDecimal(value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value), end);
      if (value < 0) *--digits = '-';
      break;
    }
  }
  sink.put(digits, static_cast<std::size_t>(end - digits));
  return true;
}

// Writes one conversion; false sends the whole format to the C library.
bool putConversion(Sink& sink, const Directive& directive, Arguments& args) {
  char conversion[32];
  switch (directive.conversion) {
    case 'd':
    case 'i':
      putInteger(sink, directive, takeSigned(directive, args));
      return true;
    case 'u':
    case 'x':
    case 'X':
    case 'o':
      putInteger(sink, directive, takeUnsigned(directive, args));
      return true;
    case 'c': {
      const char c = static_cast<char>(va_arg(args.list, int));
      // Only '-' and a width are written here; what other flags and a precision do is the C library's.
      if (directive.plus || directive.space || directive.alternate || directive.zero || directive.precision >= 0) {
        rebuildDirective(directive, conversion);
        return sink.putFormatted(conversion, static_cast<int>(static_cast<unsigned char>(c)));
      }
      putText(sink, directive, &c, 1);
      return true;
    }
    case 's': {
      const char* text = va_arg(args.list, const char*);
      // A null text is written as the C library writes it, where it writes it at all.
      if (!text || directive.plus || directive.space || directive.alternate || directive.zero) {
        rebuildDirective(directive, conversion);
        return sink.putFormatted(conversion, text);
      }
      putText(sink, directive, text, textLength(text, directive.precision));
      return true;
    }
    case 'p':
      rebuildDirective(directive, conversion);
      return sink.putFormatted(conversion, va_arg(args.list, void*));
    default:  // floating point
      rebuildDirective(directive, conversion);
      if (directive.size == Size::kLongDouble) return sink.putFormatted(conversion, va_arg(args.list, long double));
      return sink.putFormatted(conversion, va_arg(args.list, double));
  }
}

}  // namespace

int formatText(char* buffer, std::size_t size, const char* format, va_list args) {
  Sink sink(buffer, size);
  Arguments taken;
  va_copy(taken.list, args);
  bool mine = true;
  const char* const end = format + std::strlen(format);
  for (const char* p = format;;) {
    const char* percent = static_cast<const char*>(std::memchr(p, '%', static_cast<std::size_t>(end - p)));
    if (!percent) {
      sink.put(p, static_cast<std::size_t>(end - p));
      break;
    }
    sink.put(p, static_cast<std::size_t>(percent - p));
    p = percent + 1;
    const char c = *p;
    if (c == '%') {
      sink.put('%');
      ++p;
      continue;
    }
    if (c == 'd' || c == 'i' || c == 'u' || c == 's') {
      if (!putPlain(sink, c, taken)) {
        mine = false;
        break;
      }
      ++p;
      continue;
    }
    Directive directive;
    if (!parseDirective(p, directive, taken) || !putConversion(sink, directive, taken)) {
      mine = false;
      break;
    }
    ++p;
  }
  va_end(taken.list);
  const long long length = mine ? sink.finish() : -1;
  if (length >= 0) return static_cast<int>(length);
  // Everything this file does not write, and every error, exactly as the C library has it.
  return std::vsnprintf(buffer, size, format, args);
}

}  // namespace zem_util::detail

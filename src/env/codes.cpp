// Base-36 and base-64 integer codes over digit tables built by the compiler.
#include <cstdint>

#include "zem_util/env.h"

namespace zem_util {

namespace {

// "0"-"9", "A"-"Z", then for base 64 "a"-"z", "_" and ".".
constexpr char digitCharacter(unsigned value) {
  if (value < 10) return static_cast<char>('0' + value);
  if (value < 36) return static_cast<char>('A' + (value - 10));
  if (value < 62) return static_cast<char>('a' + (value - 36));
  return value == 62 ? '_' : '.';
}

// One base's alphabet (digit value -> character), its digit pairs (value below Base^2 -> two characters, so
// that writing divides once per two digits) and decoding table (byte -> digit value, or -1). Constant data:
// nothing to build at run time, nothing to lock.
template <unsigned Base>
struct DigitTables {
  char alphabet[Base] = {};
  char pairs[Base * Base][2] = {};
  std::int32_t values[256] = {};

  constexpr DigitTables() {
    for (std::int32_t& value : values) value = -1;
    for (unsigned digit = 0; digit < Base; ++digit) {
      const char c = digitCharacter(digit);
      alphabet[digit] = c;
      values[static_cast<unsigned char>(c)] = static_cast<std::int32_t>(digit);
      // Base 36 reads lower-case letters too: both cases have their own entry, so reading folds no case.
      if (Base == 36 && c >= 'A' && c <= 'Z') values[static_cast<unsigned char>(c - 'A' + 'a')] = digit;
    }
    for (unsigned pair = 0; pair < Base * Base; ++pair) {
      pairs[pair][0] = alphabet[pair / Base];
      pairs[pair][1] = alphabet[pair % Base];
    }
  }
};

constexpr DigitTables<36> kBase36;
constexpr DigitTables<64> kBase64;
static_assert(kBase36.values[unsigned{'z'}] == 35 && kBase64.values[unsigned{'z'}] == 61 &&
              kBase64.alphabet[63] == '.');

// Right-aligned, zero-padded, leading digits beyond `width` dropped. The value is taken as its unsigned 32-bit
// pattern, which for values of 0 or more is the value itself and for negative ones is what decoding gives back.
template <unsigned Base>
void encode(const DigitTables<Base>& tables, int value, char* buffer, int width) {
  if (buffer == nullptr) return;
  std::uint32_t rest = static_cast<std::uint32_t>(value);
  int i = width - 1;
  for (; i >= 1; i -= 2) {
    const char* pair = tables.pairs[rest % (Base * Base)];
    buffer[i - 1] = pair[0];
    buffer[i] = pair[1];
    rest /= Base * Base;
  }
  if (i == 0) buffer[0] = tables.alphabet[rest % Base];
}

// Wrapping unsigned arithmetic, returned as int; `end` gets the index of the first non-digit, or `length`.
template <unsigned Base>
int decode(const DigitTables<Base>& tables, const char* digits, int length, int& end) {
  if (digits == nullptr) {
    end = length < 0 ? length : 0;
    return 0;
  }
  std::uint32_t value = 0;
  int i = 0;
  for (; i < length; ++i) {
    const std::int32_t digit = tables.values[static_cast<unsigned char>(digits[i])];
    if (digit < 0) break;
    value = value * Base + static_cast<std::uint32_t>(digit);
  }
  end = length < 1 ? length : i;
  return static_cast<int>(value);
}

// Divisions by the base until 0, 0 itself counting as one digit; signed and truncating, so a negative value
// counts the digits of its magnitude without overflowing at INT_MIN.
unsigned int countDigits(int value, int base) {
  unsigned int digits = 1;
  while ((value /= base) != 0) ++digits;
  return digits;
}

}  // namespace

void intToBase36(int value, char* buffer, int width) { encode(kBase36, value, buffer, width); }
void intToBase64(int value, char* buffer, int width) { encode(kBase64, value, buffer, width); }

int base36ToInt(const char* digits, int length) {
  int end;
  return decode(kBase36, digits, length, end);
}
int base36ToInt(const char* digits, int length, int& end) { return decode(kBase36, digits, length, end); }

int base64ToInt(const char* digits, int length) {
  int end;
  return decode(kBase64, digits, length, end);
}
int base64ToInt(const char* digits, int length, int& end) { return decode(kBase64, digits, length, end); }

unsigned int minLengthForBase36(int value) { return countDigits(value, 36); }
unsigned int minLengthForBase64(int value) { return countDigits(value, 64); }

}  // namespace zem_util

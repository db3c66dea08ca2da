// Base-36 and base-64 integer codes over digit tables built once per base.
#include <atomic>
#include <cstdint>

#include "system/statics.h"
#include "zem_util/env.h"

namespace zem_util {

namespace {

// One base's alphabet (digit value -> character) and decoding table (byte -> digit value, or -1), filled on
// first use under the base's table mutex and read without a lock once `built` is set.
template <unsigned Base>
struct DigitTables {
  std::atomic<bool> built{false};
  char alphabet[Base] = {};
  std::int32_t values[256] = {};
};

DigitTables<36> base36Tables;
DigitTables<64> base64Tables;

// "0"-"9", "A"-"Z", then for base 64 "a"-"z", "_" and ".".
char digitCharacter(unsigned value) {
  if (value < 10) return static_cast<char>('0' + value);
  if (value < 36) return static_cast<char>('A' + (value - 10));
  if (value < 62) return static_cast<char>('a' + (value - 36));
  return value == 62 ? '_' : '.';
}

template <unsigned Base>
const DigitTables<Base>& getTables(DigitTables<Base>& tables, Mutex& mutex) {
  if (tables.built.load(std::memory_order_acquire)) return tables;
  MutexLock guard(mutex);
  if (!tables.built.load(std::memory_order_relaxed)) {
    for (std::int32_t& value : tables.values) value = -1;
    for (unsigned digit = 0; digit < Base; ++digit) {
      const char c = digitCharacter(digit);
      tables.alphabet[digit] = c;
      tables.values[static_cast<unsigned char>(c)] = static_cast<std::int32_t>(digit);
      // Base 36 reads lower-case letters too: both cases have their own entry, so reading folds no case.
      if (Base == 36 && c >= 'A' && c <= 'Z') tables.values[static_cast<unsigned char>(c - 'A' + 'a')] = digit;
    }
    tables.built.store(true, std::memory_order_release);
  }
  return tables;
}

const DigitTables<36>& base36() { return getTables(base36Tables, detail::statics().base36TableMutex); }
const DigitTables<64>& base64() { return getTables(base64Tables, detail::statics().base64TableMutex); }

// Right-aligned, zero-padded, leading digits beyond `width` dropped. The value is taken as its unsigned 32-bit
// pattern, which for values of 0 or more is the value itself and for negative ones is what decoding gives back.
template <unsigned Base>
void encode(const DigitTables<Base>& tables, int value, char* buffer, int width) {
  if (buffer == nullptr) return;
  std::uint32_t rest = static_cast<std::uint32_t>(value);
  for (int i = width - 1; i >= 0; --i) {
    buffer[i] = tables.alphabet[rest % Base];
    rest /= Base;
  }
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

void intToBase36(int value, char* buffer, int width) { encode(base36(), value, buffer, width); }
void intToBase64(int value, char* buffer, int width) { encode(base64(), value, buffer, width); }

int base36ToInt(const char* digits, int length) {
  int end;
  return decode(base36(), digits, length, end);
}
int base36ToInt(const char* digits, int length, int& end) { return decode(base36(), digits, length, end); }

int base64ToInt(const char* digits, int length) {
  int end;
  return decode(base64(), digits, length, end);
}
int base64ToInt(const char* digits, int length, int& end) { return decode(base64(), digits, length, end); }

unsigned int minLengthForBase36(int value) { return countDigits(value, 36); }
unsigned int minLengthForBase64(int value) { return countDigits(value, 64); }

}  // namespace zem_util

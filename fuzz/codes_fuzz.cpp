// Fuzz target of the base-36 and base-64 codes. The input's first bytes choose a value (4 bytes), a width and a
// length; the rest is read as digits. In both bases: writing fills exactly `width` characters of the alphabet and
// reads back as the value's 32-bit pattern modulo base^width; `minLength...` counts the digits of the value's
// magnitude, just enough for a value of 0 or more; reading arbitrary bytes gives the digits up to the first
// non-digit (wrapping unsigned), with `end` on it, never reading past the length given; no digits, or a null
// pointer, read as 0.
#include <zem_util/env.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_support.h"

namespace {

struct Base {
  std::uint32_t radix;
  void (*write)(int, char*, int);
  int (*read)(const char*, int, int&);
  unsigned int (*minLength)(int);
};

const Base kBases[] = {
    {36, zem_util::intToBase36, zem_util::base36ToInt, zem_util::minLengthForBase36},
    {64, zem_util::intToBase64, zem_util::base64ToInt, zem_util::minLengthForBase64},
};

// The digit of a character, or -1: both cases of a letter are the same base-36 digit; base 64 tells them apart.
int digitValue(std::uint32_t radix, unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  if (c >= 'a' && c <= 'z') return c - 'a' + (radix == 36 ? 10 : 36);
  return radix == 64 && c == '_' ? 62 : radix == 64 && c == '.' ? 63 : -1;
}

// Reads digits from a buffer of exactly their size, so that reading one more is AddressSanitizer's.
std::uint32_t readExactly(const Base& base, const std::string& digits, int& end) {
  const std::unique_ptr<char[]> buffer(new char[digits.size()]);
  std::memcpy(buffer.get(), digits.data(), digits.size());
  return static_cast<std::uint32_t>(base.read(buffer.get(), static_cast<int>(digits.size()), end));
}

std::string writeExactly(const Base& base, int value, int width) {
  const std::unique_ptr<char[]> buffer(new char[static_cast<std::size_t>(width)]);
  base.write(value, buffer.get(), width);
  return std::string(buffer.get(), static_cast<std::size_t>(width));
}

void checkWriting(const Base& base, int value, int width) {
  const std::string digits = writeExactly(base, value, width);
  for (char c : digits) {
    ZEM_FUZZ_CHECK(digitValue(base.radix, static_cast<unsigned char>(c)) >= 0 &&
                   (base.radix == 64 || c < 'a' || c > 'z'));
  }
  std::uint64_t modulus = 1;  // radix^width, or past 32 bits
  for (int i = 0; i < width && modulus <= 0xFFFFFFFFu; ++i) modulus *= base.radix;
  int end = -1;
  ZEM_FUZZ_CHECK(readExactly(base, digits, end) == static_cast<std::uint32_t>(value) % modulus);
  ZEM_FUZZ_CHECK(end == width);

  std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::int64_t>(value) : static_cast<std::uint64_t>(value);
  unsigned int needed = 1;
  while ((magnitude /= base.radix) != 0) ++needed;
  ZEM_FUZZ_CHECK(base.minLength(value) == needed);
  if (value < 0) return;
  const std::string shortest = writeExactly(base, value, static_cast<int>(needed));
  ZEM_FUZZ_CHECK(readExactly(base, shortest, end) == static_cast<std::uint32_t>(value));
  ZEM_FUZZ_CHECK(value == 0 || shortest[0] != '0');
  const std::string shorter = writeExactly(base, value, static_cast<int>(needed) - 1);
  ZEM_FUZZ_CHECK(needed == 1 || readExactly(base, shorter, end) != static_cast<std::uint32_t>(value));
}

void checkReading(const Base& base, const std::string& digits, int noLength) {
  std::uint32_t expected = 0;
  std::size_t stop = 0;
  for (int digit; stop < digits.size() && (digit = digitValue(base.radix, digits[stop])) >= 0; ++stop)
    expected = expected * base.radix + static_cast<std::uint32_t>(digit);
  int end = -1;
  ZEM_FUZZ_CHECK(readExactly(base, digits, end) == expected);
  ZEM_FUZZ_CHECK(end == static_cast<int>(stop));
  const char digit = '7';
  ZEM_FUZZ_CHECK(base.read(&digit, noLength, end) == 0 && end == noLength);
  ZEM_FUZZ_CHECK(base.read(nullptr, noLength + 5, end) == 0 && end == (noLength + 5 < 0 ? noLength + 5 : 0));
  base.write(7, nullptr, noLength + 5);  // nothing written, nothing read
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zem_util::fuzz::Input input(data, size);
  const int value = static_cast<int>(input.takeWord());
  const int width = input.pick(14);
  const int noLength = -input.pick(4);  // 0 or negative
  const std::string digits = input.takeText(size);
  for (const Base& base : kBases) {
    checkWriting(base, value, width);
    checkReading(base, digits, noLength);
  }
  // Base 36 reads both cases alike.
  std::string lower = digits;
  for (char& c : lower) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  int end = -1, lowerEnd = -2;
  ZEM_FUZZ_CHECK(readExactly(kBases[0], digits, end) == readExactly(kBases[0], lower, lowerEnd) && end == lowerEnd);
  return 0;
}

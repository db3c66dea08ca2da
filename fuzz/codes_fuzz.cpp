// Fuzz target of the base-36 and base-64 codes. The input's first bytes choose a value (4 bytes), a width and a
// length; the rest is read as digits. Checked whatever the input, in both bases:
//   - writing puts exactly `width` characters of the alphabet in a buffer of exactly that size, and reading them
//     back gives the value's low digits (its 32-bit pattern modulo base^width), with `end` = width;
//   - for a value of 0 or more, `minLength...` digits hold it exactly, with a first digit other than 0 (unless it
//     is 0), and one digit less does not; for a negative value it counts the digits of the magnitude;
//   - reading arbitrary bytes gives the digits up to the first non-digit (in wrapping unsigned arithmetic),
//     stops there with `end` on it, and never reads past the length given.
#include <zem_util/env.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_support.h"

namespace {

using zem_util::fuzz::Input;

struct Base {
  std::uint32_t radix;
  void (*write)(int, char*, int);
  int (*read)(const char*, int, int&);
  unsigned int (*minLength)(int);
};

int read36(const char* digits, int length, int& end) { return zem_util::base36ToInt(digits, length, end); }
int read64(const char* digits, int length, int& end) { return zem_util::base64ToInt(digits, length, end); }

const Base kBase36{36, zem_util::intToBase36, read36, zem_util::minLengthForBase36};
const Base kBase64{64, zem_util::intToBase64, read64, zem_util::minLengthForBase64};

// The digit of a character, or -1: both cases of a letter are the same base-36 digit; base 64 tells them apart.
int digitValue(std::uint32_t radix, unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  if (c >= 'a' && c <= 'z') return c - 'a' + (radix == 36 ? 10 : 36);
  if (radix == 64 && c == '_') return 62;
  if (radix == 64 && c == '.') return 63;
  return -1;
}

// Reads `length` digits from a buffer of exactly that size, so that reading one more is AddressSanitizer's.
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

// The value modulo radix^width, as unsigned 32 bits.
std::uint32_t lowDigits(std::uint32_t value, std::uint32_t radix, int width) {
  std::uint64_t modulus = 1;
  for (int i = 0; i < width && modulus <= 0xFFFFFFFFu; ++i) modulus *= radix;
  return modulus > 0xFFFFFFFFu ? value : static_cast<std::uint32_t>(value % modulus);
}

void checkRoundTrip(const Base& base, int value, int width) {
  const std::string digits = writeExactly(base, value, width);
  for (char c : digits) ZEM_FUZZ_CHECK(digitValue(base.radix, static_cast<unsigned char>(c)) >= 0);
  for (char c : digits) ZEM_FUZZ_CHECK(!(c >= 'a' && c <= 'z') || base.radix == 64);
  int end = -1;
  ZEM_FUZZ_CHECK(readExactly(base, digits, end) == lowDigits(static_cast<std::uint32_t>(value), base.radix, width));
  ZEM_FUZZ_CHECK(end == width);

  std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::int64_t>(value) : static_cast<std::uint64_t>(value);
  unsigned int needed = 1;
  while ((magnitude /= base.radix) != 0) ++needed;
  ZEM_FUZZ_CHECK(base.minLength(value) == needed);
  if (value < 0) return;
  const std::string shortest = writeExactly(base, value, static_cast<int>(needed));
  ZEM_FUZZ_CHECK(readExactly(base, shortest, end) == static_cast<std::uint32_t>(value));
  ZEM_FUZZ_CHECK(value == 0 || shortest[0] != '0');
  if (needed > 1) {
    const std::string tooShort = writeExactly(base, value, static_cast<int>(needed) - 1);
    ZEM_FUZZ_CHECK(readExactly(base, tooShort, end) != static_cast<std::uint32_t>(value));
  }
}

void checkReading(const Base& base, const std::string& digits) {
  std::uint32_t expected = 0;
  std::size_t stop = 0;
  for (; stop < digits.size(); ++stop) {
    const int digit = digitValue(base.radix, static_cast<unsigned char>(digits[stop]));
    if (digit < 0) break;
    expected = expected * base.radix + static_cast<std::uint32_t>(digit);
  }
  int end = -1;
  ZEM_FUZZ_CHECK(readExactly(base, digits, end) == expected);
  ZEM_FUZZ_CHECK(end == static_cast<int>(stop));
}

void checkNoDigits(const Base& base, int length) {
  char digit = '7';
  int end = 1;
  ZEM_FUZZ_CHECK(base.read(&digit, length, end) == 0);
  ZEM_FUZZ_CHECK(end == length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input input(data, size);
  const int value = static_cast<int>(input.takeWord());
  const int width = input.pick(14);
  const int noLength = -input.pick(4);  // 0 or negative
  const std::string digits = input.takeText(size);
  for (const Base* base : {&kBase36, &kBase64}) {
    checkRoundTrip(*base, value, width);
    checkReading(*base, digits);
    checkNoDigits(*base, noLength);
  }
  // Base 36 reads both cases alike.
  std::string lower = digits;
  for (char& c : lower) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  int end = -1, lowerEnd = -2;
  ZEM_FUZZ_CHECK(readExactly(kBase36, digits, end) == readExactly(kBase36, lower, lowerEnd) && end == lowerEnd);
  return 0;
}

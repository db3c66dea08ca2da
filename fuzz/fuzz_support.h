// What the fuzz targets share: checks that name the property they break, and a reader that turns the input's
// bytes into choices.
#pragma once

#include <zem_util/core.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

// A failed check names its file, line and condition before aborting, so the report says which property broke.
#define ZEM_FUZZ_CHECK(condition) ((condition) ? (void)0 : zem_util::fuzz::fail(__FILE__, __LINE__, #condition))

namespace zem_util::fuzz {

[[noreturn]] inline void fail(const char* file, int line, const char* what) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
  std::abort();
}

// "<head>\n<tail>" -> the text up to the first line feed, and the rest (empty without a line feed).
inline std::pair<std::string_view, std::string_view> splitAtLineFeed(std::string_view input) {
  const std::size_t split = input.find('\n');
  if (split == std::string_view::npos) return {input, input.substr(input.size())};
  return {input.substr(0, split), input.substr(split + 1)};
}

inline std::string_view asText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// Hands out the input's bytes as small decisions; once the bytes run out every decision is 0.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool isEmpty() const { return used_ >= size_; }
  std::uint8_t takeByte() { return used_ < size_ ? data_[used_++] : 0; }
  // A value below n (n > 0), from one byte, or two when n is above 256.
  int pick(int n) {
    unsigned value = takeByte();
    if (n > 256) value = value << 8 | takeByte();
    return static_cast<int>(value % static_cast<unsigned>(n));
  }
  // Four bytes, little-endian.
  std::uint32_t takeWord() {
    std::uint32_t word = 0;
    for (int i = 0; i < 4; ++i) word |= static_cast<std::uint32_t>(takeByte()) << (8 * i);
    return word;
  }
  // Up to `count` of the next bytes, as they are.
  std::string takeText(std::size_t count) {
    const std::size_t n = count < size_ - used_ ? count : size_ - used_;
    std::string text(reinterpret_cast<const char*>(data_ + used_), n);
    used_ += n;
    return text;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t used_ = 0;
};

}  // namespace zem_util::fuzz

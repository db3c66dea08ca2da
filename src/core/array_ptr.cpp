// The operations of the string handle.
#include <cstring>
#include <new>

#include "core/block_access.h"
#include "zem_util/core.h"

namespace zem_util {

Shared::~Shared() = default;

namespace detail {

namespace {
// std::bad_array_new_length that says which function refused which length; catch clauses for the standard type
// still see it.
class LengthError : public std::bad_array_new_length {
 public:
  explicit LengthError(const char* message) noexcept : message_(message) {}
  const char* what() const noexcept override { return message_; }

 private:
  const char* message_;  // a literal: copying the exception never allocates
};
}  // namespace

void throwLengthError(const char* message) { throw LengthError(message); }

}  // namespace detail

namespace {
using detail::BlockAccess;

// A new block holding `length` bytes of `text` and a NUL.
SharedArray<char>* copyText(const char* text, std::int32_t length) {
  SharedArray<char>* block = BlockAccess::create<char>(length);
  if (length > 0) std::memcpy(BlockAccess::data(block), text, static_cast<std::size_t>(length));
  return block;
}

// `error` names the caller and the limit.
std::int32_t checkedLength(std::size_t length, const char* error) {
  if (length > 0x7FFFFFFE) detail::throwLengthError(error);
  return static_cast<std::int32_t>(length);
}
}  // namespace

ArrayPtr<char>::ArrayPtr(const char* text) {
  if (text)
    adopt(
        copyText(text, checkedLength(std::strlen(text),
                                     "zem_util::ArrayPtr<char>::ArrayPtr: a text of more than 2147483646 characters")));
}

ArrayPtr<char>::ArrayPtr(const char* source, std::int32_t start, std::int32_t count) {
  if (source) adopt(copyText(source + start, count));
}

ArrayPtr<char>::ArrayPtr(std::string_view text) {
  if (text.data())
    adopt(copyText(
        text.data(),
        checkedLength(text.size(), "zem_util::ArrayPtr<char>::ArrayPtr: a text of more than 2147483646 characters")));
}

char* ArrayPtr<char>::toNullTerminatedPtr() {
  char* window = toPtr();
  if (!window || window[length()] == '\0') return window;
  adopt(copyText(window, length()));
  return toPtr();
}

bool operator==(const ArrayPtr<char>& a, const ArrayPtr<char>& b) noexcept {
  if (a.length() != b.length()) return false;
  if (BlockAccess::blockOf(a) == BlockAccess::blockOf(b) && a.offset() == b.offset()) return true;
  return a.length() == 0 || std::memcmp(a.toPtr(), b.toPtr(), static_cast<std::size_t>(a.length())) == 0;
}

namespace {
constexpr const char* kSumTooLong = "zem_util::operator+: a text of more than 2147483646 characters";

ArrayPtr<char> concatenate(const char* a, std::int32_t aLength, const char* b, std::int32_t bLength) {
  ArrayPtr<char> result(
      checkedLength(static_cast<std::size_t>(aLength) + static_cast<std::size_t>(bLength), kSumTooLong));
  if (aLength > 0) std::memcpy(result.toPtr(), a, static_cast<std::size_t>(aLength));
  if (bLength > 0) std::memcpy(result.toPtr() + aLength, b, static_cast<std::size_t>(bLength));
  return result;
}
}  // namespace

ArrayPtr<char> operator+(const ArrayPtr<char>& a, const ArrayPtr<char>& b) {
  return concatenate(a.toPtr(), a.length(), b.toPtr(), b.length());
}

ArrayPtr<char> operator+(const ArrayPtr<char>& a, const char* b) {
  return concatenate(a.toPtr(), a.length(), b, b ? checkedLength(std::strlen(b), kSumTooLong) : 0);
}

std::uint32_t hash(const ArrayPtr<char>& text) noexcept {
  if (text.isNull()) return 0;
  const std::uint32_t n = static_cast<std::uint32_t>(text.length());
  const char* bytes = text.toPtr();
  // Bytes enter sign-extended, so 0x80 counts as 0xFFFFFF80.
  auto byteAt = [bytes](std::uint32_t i) {
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<signed char>(bytes[i])));
  };
  std::uint32_t h = 0;
  if (n <= 4) {
    for (std::uint32_t i = 0; i < n; ++i) h = (h << 8) ^ byteAt(i);
  } else {
    const std::uint32_t step = n / 8 > 0 ? n / 8 : 1;
    for (std::uint32_t i = 0; i < n; i += step) h = (h << 4) ^ byteAt(i);
  }
  return n ^ h;
}

}  // namespace zem_util

// Immutable strings with short-string storage and lazy concatenation.
//
//   zem_util::CstStr name("net");                  // under 8 characters: inside the value, no heap
//   zem_util::CstStr path = name;                  // a short copy: just the value's words
//   path += ".log.";                               // "net.log.": a node of the two pieces
//   path += zem_util::CstStr::fromFormat("%d", 2); // "net.log.2": written into the node in place
//   int dot = path.lastIndexOf('.');               // 7: the first contiguous read flattens once
//   zem_util::ArrayPtr<char> text = path;          // shares the flat block: nothing copied
//
// A `CstStr` never changes its text. Three forms stand behind it: texts under 8 characters live inside the
// value; longer ones share a counted character block (possibly with `ArrayPtr<char>` handles and other values,
// possibly a window of it); concatenations of long texts are kept as a counted node of their two operands and
// copied into one block only when characters are first needed side by side. Copying a long value takes one
// count; concatenating never copies a long operand; appending short pieces to a value that nobody else
// shares writes them in place.
//
// Threads: copies of one value may be used and destroyed on different threads at once. One value object,
// though, must not be read on two threads at once while it may be a concatenation: reads that need the
// characters side by side (marked "flattens" below), `toNullTerminatedPtr`, and copying such a value rewrite
// the object's own words. Flatten it first (for example with `toPtr`) to share it read-only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iosfwd>
#include <string>
#include <string_view>

#include "zem_util/annotations.h"
#include "zem_util/core.h"
#include "zem_util/export.h"

namespace zem_util {

class ZEM_UTIL_EXPORT CstStr {
 public:
  // ---- building ----------------------------------------------------------------------------------------------

  CstStr() noexcept : rep_{} {}
  CstStr(char c) noexcept;                                            // NOLINT: implicit, like the other texts
  CstStr(signed char c) noexcept : CstStr(static_cast<char>(c)) {}    // NOLINT
  CstStr(unsigned char c) noexcept : CstStr(static_cast<char>(c)) {}  // NOLINT
  // The characters before the NUL; a null pointer gives the empty text. 8 or more: a new block with a copy.
  CstStr(const char* text);  // NOLINT: implicit
  // Exactly `count` characters, NULs included. A null pointer or a count of 0 or less gives the empty text.
  CstStr(int count, const char* text);
  // `count` copies of `c`; the empty text for a count of 0 or less.
  CstStr(int count, char c);
  // Under 8 characters: a copy. Otherwise the value shares the handle's block (at the handle's offset):
  // nothing is copied, and the text survives the handle.
  CstStr(const ArrayPtr<char>& text);  // NOLINT: implicit
  // A copy of the characters of `text`, embedded NULs included (8 or more: a new block). Explicit: it copies.
  // Longer than 2147483647 characters throws std::bad_array_new_length.
  explicit CstStr(std::string_view text);
  // Short texts are copied; long ones shared (one count).
  CstStr(const CstStr& other) {
    if (other.isLong()) {
      shareLong(other);
    } else {
      std::memcpy(rep_, other.rep_, sizeof rep_);
    }
  }
  // Leaves `other` empty.
  CstStr(CstStr&& other) noexcept {
    std::memcpy(rep_, other.rep_, sizeof rep_);
    std::memset(other.rep_, 0, sizeof other.rep_);
  }
  ~CstStr() {
    if (isLong()) releaseLong();
  }

  // Each assignment leaves the old text alive for as long as something else needs it. The source is read
  // before anything is released, so `s = s.toPtr() + 3` is safe.
  CstStr& operator=(const CstStr& other);
  CstStr& operator=(CstStr&& other) noexcept;
  CstStr& operator=(const ArrayPtr<char>& text);
  CstStr& operator=(const char* text);  // null gives the empty text

  // a then b. Short results are copied; otherwise the result is a node sharing the operands (or, when one
  // side is short and the other already a node, a node that merges the short text into its neighbour):
  //   cat("abc", "defg") -> "abcdefg" (short);  cat("abcd", "efgh") -> node("abcd", "efgh").
  // An empty operand gives a copy of the other. Throws std::bad_array_new_length beyond 2^31 - 1 characters.
  static CstStr cat(const CstStr& a, const CstStr& b);

  // this = cat(this, text). A short piece appended to a value nobody else shares is written in place.
  CstStr& operator+=(const CstStr& text);
  CstStr& operator+=(const ArrayPtr<char>& text);
  CstStr& operator+=(const char* text);  // null adds nothing
  CstStr& operator+=(char c);

  // printf-style formatting (the runtime's conventions). Results over 3000 characters are refused: a
  // `const char*` (not an `Exception`) is thrown, pointing to "CstStr::fromFormat cannot be used to format
  // more than 3000 characters !"; nothing is written past them. An encoding error gives the empty text.
  static CstStr fromFormat(ZEM_UTIL_PRINTF_FORMAT_STRING const char* format, ...) ZEM_UTIL_PRINTF_FORMAT(1, 2);

  // ---- the representation ------------------------------------------------------------------------------------
  //
  // Which form a value is in, for code that must know what a read will cost or what it shares: a value whose
  // length is below `internBigStrLen()` is short (no heap, no count); otherwise `internIdx()` tells a block
  // window (0 or more) from a concatenation node (-1), which the next read that flattens will copy once.

  // 8: texts of this length or more are long (block or node); shorter ones live in the value.
  int internBigStrLen() const noexcept { return kBigLen; }
  // The length, as the value stores it (the same as `length()`).
  const int& internLen() const noexcept;
  // Long form: the text's position in its block, or -1 for a concatenation node. Meaningless when short.
  const int& internIdx() const noexcept;

  // ---- reading -----------------------------------------------------------------------------------------------

  int length() const noexcept {
    std::int32_t n;
    std::memcpy(&n, rep_, sizeof n);  // the length leads the representation in every form
    return n;
  }
  int isEmpty() const noexcept { return length() == 0 ? 1 : 0; }  // 1 or 0

  // Unchecked: 0 <= i < length(). Flattens.
  char get(int i) const { return toPtr()[i]; }
  char operator[](int i) const { return toPtr()[i]; }
  char getFirst() const;  // NUL for the empty text. Flattens.
  char getLast() const;   // NUL for the empty text. Flattens.

  // The address of the first character: inside this object for a short text, in the shared block otherwise. Not
  // NUL-terminated in general. Valid until this value is assigned or destroyed (a copy does not keep it valid).
  // Flattens.
  const char* toPtr() const;
  // The text as a C string, with the validity of `toPtr`. A long window not followed by a NUL is first copied
  // into a private block of this value (other values keep theirs). Flattens.
  const char* toNullTerminatedPtr() const;
  operator const char*() const { return toNullTerminatedPtr(); }  // NOLINT: implicit by design
  // A short text is copied into a new block (the empty text gives an empty, non-null handle); a long one is
  // shared: the handle shows the value's window of its block. Flattens.
  ArrayPtr<char> toStr() const;
  operator ArrayPtr<char>() const { return toStr(); }  // NOLINT: implicit by design

  // The standard library's view of the text: `view()` is {toPtr(), length()}, with the validity of `toPtr`
  // (nothing copied; a short text is seen inside this object). `data`, `begin` and `end` make the value a
  // contiguous range of const characters. Flatten, so the threads rule above applies to them.
  std::string_view view() const { return std::string_view(toPtr(), size()); }
  const char* data() const { return toPtr(); }
  const char* begin() const { return toPtr(); }
  const char* end() const { return toPtr() + length(); }
  std::size_t size() const noexcept { return static_cast<std::size_t>(length()); }
  bool empty() const noexcept { return length() == 0; }
  // A copy of the text. Walks a node as it is: no flattening.
  std::string str() const {
    std::string text(size(), '\0');
    copyTo(text.data());
    return text;
  }

  // Copy out `length()` characters, or `count` characters from `start` (clipped at the end; nothing for a
  // count of 0 or less or a start outside the text). No NUL is written. These walk a node as it is.
  void copyTo(char* destination) const;
  void copySubstrTo(int start, int count, char* destination) const;
  // The characters through the stream's unformatted `write`; nothing else, no flush. Walks a node as it is.
  void write(std::ostream& out) const;

  // Samples about four characters: n XOR (bytes at 0, n/4, 2n/4, ... as unsigned, folded 8 bits at a time).
  // "" -> 0, "abc" -> 0x616260. Not the hash of `ArrayPtr<char>`. Flattens.
  int hash() const;

  // ---- searching (all flatten; -1 when nothing is found) ------------------------------------------------------
  //
  // "hello world": indexOf('o') 4, lastIndexOf('o') 7, lastIndexOf('o', 6) 4, indexOneOf("wd") 6,
  // indexOf("") 0, lastIndexOf("") 10 (length - 1).
  // Forward searches treat a negative start as 0 and find nothing from the end on; backward ones treat a start
  // past the end as the last position and find nothing before 0.

  int indexOf(char c) const;
  int indexOf(char c, int from) const;
  int lastIndexOf(char c) const;
  int lastIndexOf(char c, int from) const;
  // The empty text is found at `from` (0 without one), whatever the length.
  int indexOf(const CstStr& text) const;
  int indexOf(const CstStr& text, int from) const;
  // The last occurrence starting at or before min(from, length() - text.length()); the empty text is found at
  // `from` (length() - 1 without one).
  int lastIndexOf(const CstStr& text) const;
  int lastIndexOf(const CstStr& text, int from) const;
  // The first position holding any character of `set`; an empty set is found at `from` (0 without one).
  int indexOneOf(const CstStr& set) const;
  int indexOneOf(const CstStr& set, int from) const;

  // `count` characters from `start`, clipped at the end; empty for a count of 0 or less or a start outside
  // the text. A long result shares the source's block (flattening a node first); a short one is a copy.
  //   "abcdefghij".substr(3, 100) -> "defghij" (short);  "abcdefghijk".substr(1, 9) -> shares, index 1.
  CstStr substr(int start, int count) const;
  CstStr substr(int start) const;

  // ---- comparing -----------------------------------------------------------------------------------------------

  // Same length and bytes. Values that share a block or node at the same index compare without reading it.
  static bool equals(const CstStr& a, const CstStr& b);
  // Byte order with bytes taken as signed (0x80 and above sort before ASCII); a prefix sorts first and the
  // result is then the length difference: cmp("abc", "abcd") == -1.
  static int cmp(const CstStr& a, const CstStr& b);

  // The operators compare through `equals` and `cmp`; a C string by its characters before the NUL (null as "").
  friend bool operator==(const CstStr& a, const CstStr& b) { return equals(a, b); }
  friend bool operator!=(const CstStr& a, const CstStr& b) { return !equals(a, b); }
  friend bool operator==(const CstStr& a, const char* b) { return equalsText(a, b); }
  friend bool operator!=(const CstStr& a, const char* b) { return !equalsText(a, b); }
  friend bool operator==(const char* a, const CstStr& b) { return equalsText(b, a); }
  friend bool operator!=(const char* a, const CstStr& b) { return !equalsText(b, a); }
  friend bool operator<(const CstStr& a, const CstStr& b) { return cmp(a, b) < 0; }
  friend bool operator>(const CstStr& a, const CstStr& b) { return cmp(a, b) > 0; }
  friend bool operator<=(const CstStr& a, const CstStr& b) { return cmp(a, b) <= 0; }
  friend bool operator>=(const CstStr& a, const CstStr& b) { return cmp(a, b) >= 0; }
  // Comparisons with an `ArrayPtr<char>`, either way round, and orderings with a C string: see core.h. They
  // flatten.

 private:
  struct Impl;  // the forms' layouts and the algorithms, in src/core
  static constexpr int kBigLen = 8;

  bool isLong() const noexcept { return static_cast<std::uint32_t>(length()) >= kBigLen; }
  void shareLong(const CstStr& other);  // this = a new reference to what the long `other` refers to
  void releaseLong() noexcept;
  // Replaces a node by a block holding the same text.
  void compact() const;
  static bool equalsText(const CstStr& a, const char* b);

  // The representation, opaque outside the library: the text's length, then two words whose meaning depends on
  // the form. All bytes 0 is the empty text.
  alignas(std::uintptr_t) mutable unsigned char rep_[2 * sizeof(std::int32_t) + sizeof(std::uintptr_t)];
};

// Writes the text like a std::string_view (field width and fill apply). Flattens; `write` does not.
ZEM_UTIL_EXPORT std::ostream& operator<<(std::ostream& out, const CstStr& text);

namespace detail {
template <>
struct TextView<CstStr> {
  static constexpr int kind = 3;
  static std::string_view of(const CstStr& text) { return text.view(); }
};
}  // namespace detail

}  // namespace zem_util

// Values as keys of std::unordered_map and std::unordered_set: the same hash as `ArrayPtr<char>` and
// std::string_view give the same text (not `CstStr::hash`, which samples four characters). Flattens.
namespace std {
template <>
struct hash<zem_util::CstStr> {
  size_t operator()(const zem_util::CstStr& text) const { return hash<string_view>()(text.view()); }
};
}  // namespace std

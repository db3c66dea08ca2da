// CstStr against std::string: eight values and four `ArrayPtr<char>` handles, each beside the text it must
// hold, built, shared, changed and read by operations that a chooser picks. Shared by the random test and the
// fuzz target, which differ only in where the choices come from and how a mismatch is reported:
//
//   struct Chooser { int pick(int n); };  // a number below n
//   struct Checker { template <class T> void equal(const T& actual, const T& expected, const char* what); };
//
// A text that grows past `maxLength` characters (3000 unless told) goes back to empty; in a long run, appends of
// short pieces still build node chains hundreds deep.
#pragma once

#include <zem_util/cst_str.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <utility>

#include "support/text.h"

namespace test_support {

using zem_util::ArrayPtr;
using zem_util::CstStr;

template <class Chooser, class Checker>
class CstStrModel {
 public:
  CstStrModel(Chooser& chooser, Checker& checker, std::size_t maxLength = 3000)
      : chooser_(chooser), checker_(checker), maxLength_(maxLength) {}

  void step() {
    const int a = pick(kValues);
    const int b = pick(kValues);
    const int h = pick(kHandles);
    const std::string piece = randomPiece();
    switch (pick(16)) {
      case 0:
        apply(a, values_[a] += piece[0], texts_[a] + piece[0]);
        break;
      case 1:
        apply(a, values_[a] += piece.c_str(), texts_[a] + piece);
        break;
      case 2:  // possibly itself
        apply(a, values_[a] += values_[b], texts_[a] + texts_[b]);
        break;
      case 3:
        apply(pick(kValues), CstStr::cat(values_[a], values_[b]), texts_[a] + texts_[b]);
        break;
      case 4:
        apply(a, CstStr::cat(piece.c_str(), values_[a]), piece + texts_[a]);
        break;
      case 5:
        apply(b, values_[a], texts_[a]);
        break;
      case 6: {
        const int start = position(a);
        const int count = pick(14) - 2;
        const bool empty = count <= 0 || start < 0 || start >= length(a);
        apply(b, values_[a].substr(start, count), empty ? std::string() : texts_[a].substr(start, count));
        break;
      }
      case 7:
        checkSearches(a, values_[b], texts_[b]);
        checkSearches(a, CstStr(piece.c_str()), piece);
        break;
      case 8:
        if (a != b) {
          values_[b] = std::move(values_[a]);
          texts_[b] = std::exchange(texts_[a], std::string());
          checkText(b);
          checkText(a);
        }
        break;
      case 9: {  // from a pointer into its own text, which the assignment releases
        const std::size_t skip = static_cast<std::size_t>(pick(length(a) + 1));
        const std::string rest(texts_[a].c_str() + skip);
        apply(a, values_[a] = values_[a].toNullTerminatedPtr() + skip, rest);
        break;
      }
      case 10:  // a handle on the value's block, which later changes of the value must not reach
        handles_[h] = values_[a].toStr();
        handleTexts_[h] = texts_[a];
        checkHandle(h);
        break;
      case 11:
        if (pick(2) == 0) {
          apply(b, values_[b] = handles_[h], handleTexts_[h]);
        } else {
          apply(b, values_[b] += handles_[h], texts_[b] + handleTexts_[h]);
        }
        break;
      case 12: {  // a window of a larger block, which goes away at once
        const std::string around = piece + texts_[a] + piece;
        const ArrayPtr<char> block(around.data(), 0, static_cast<std::int32_t>(around.size()));
        apply(b, CstStr(block.slice(static_cast<std::int32_t>(piece.size()), length(a))), texts_[a]);
        break;
      }
      case 13: {  // NULs are characters like any other
        const int count = pick(12);
        const char c = "a\0\xE9"[pick(3)];
        apply(b, CstStr(count, c), std::string(static_cast<std::size_t>(count), c));
        break;
      }
      default:
        checkReads(a, b);
        break;
    }
    if (texts_[a].size() > maxLength_) apply(a, CstStr(), std::string());
    if (texts_[b].size() > maxLength_) apply(b, CstStr(), std::string());
  }

  // Every value and handle against its text, walking nodes as they are (no flattening).
  void checkAll() {
    for (int i = 0; i < kValues; ++i) checkText(i);
    for (int i = 0; i < kHandles; ++i) checkHandle(i);
  }

 private:
  static constexpr int kValues = 8;
  static constexpr int kHandles = 4;

  int pick(int n) { return chooser_.pick(n); }
  int length(int slot) const { return static_cast<int>(texts_[slot].size()); }
  int position(int slot) { return pick(length(slot) + 7) - 3; }  // some outside [0, length]
  // A small alphabet so that searches find things; 0xE9 tests the sign of bytes.
  std::string randomPiece() {
    std::string piece;
    for (int n = 1 + pick(pick(2) == 0 ? 7 : 20); n > 0; --n) piece += "abc\xE9"[pick(4)];
    return piece;
  }

  template <class T>
  void equal(const T& actual, const T& expected, const char* what) {
    checker_.equal(actual, expected, what);
  }

  void apply(int slot, const CstStr& value, const std::string& text) {
    values_[slot] = value;
    texts_[slot] = text;
    checkText(slot);
  }

  void checkText(int slot) {
    const std::string& text = texts_[slot];
    equal(values_[slot].length(), length(slot), "length");
    std::string copied(text.size(), '#');
    values_[slot].copyTo(copied.data());
    equal(copied, text, "copyTo");
  }

  void checkHandle(int slot) {
    const ArrayPtr<char>& handle = handles_[slot];
    equal(test_support::text(handle), handleTexts_[slot], "ArrayPtr<char> from toStr");
  }

  static int found(std::size_t position) { return position == std::string::npos ? -1 : static_cast<int>(position); }

  void checkSearches(int slot, const CstStr& pattern, const std::string& patternText) {
    const CstStr& value = values_[slot];
    const std::string& text = texts_[slot];
    const int n = length(slot);
    const int m = static_cast<int>(patternText.size());
    const int from = position(slot);
    const int start = from < 0 ? 0 : from;
    const char c = patternText.empty() ? 'a' : patternText[0];
    equal(value.indexOf(c, from), from >= n ? -1 : found(text.find(c, start)), "indexOf(char, from)");
    equal(value.lastIndexOf(c, from), from < 0 ? -1 : found(text.rfind(c, from)), "lastIndexOf(char, from)");
    equal(value.indexOf(pattern, from), m == 0 ? from : found(text.find(patternText, start)), "indexOf(text, from)");
    equal(value.lastIndexOf(pattern), m == 0 ? n - 1 : found(text.rfind(patternText)), "lastIndexOf(text)");
    const int last = from < n - m ? from : n - m;
    equal(value.lastIndexOf(pattern, from),
          m == 0     ? from
          : last < 0 ? -1
                     : found(text.rfind(patternText, last)),
          "lastIndexOf(text, from)");
    equal(value.indexOneOf(pattern, from),
          m == 0      ? from
          : from >= n ? -1
                      : found(text.find_first_of(patternText, start)),
          "indexOneOf(set, from)");
  }

  static int expectedCmp(const std::string& a, const std::string& b) {
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
      if (a[i] != b[i]) return static_cast<signed char>(a[i]) - static_cast<signed char>(b[i]);
    }
    return static_cast<int>(a.size()) - static_cast<int>(b.size());
  }

  static int expectedHash(const std::string& text) {
    const std::uint32_t n = static_cast<std::uint32_t>(text.size());
    const std::uint32_t step = n / 4 > 0 ? n / 4 : 1;
    std::uint32_t h = 0;
    for (std::uint32_t i = 0; i < n; i += step) h = (h << 8) + static_cast<unsigned char>(text[i]);
    return static_cast<int>(h ^ n);
  }

  void checkReads(int slot, int other) {
    const CstStr& value = values_[slot];
    const std::string& text = texts_[slot];
    equal(CstStr::cmp(value, values_[other]), expectedCmp(text, texts_[other]), "cmp");
    equal(CstStr::equals(value, values_[other]), text == texts_[other], "equals");
    out_.str(std::string());  // one stream for every read: building one costs more than the write
    value.write(out_);
    equal(out_.str(), text, "write");
    const int start = position(slot);
    const int count = pick(20) - 2;
    std::string part(20, '#');
    value.copySubstrTo(start, count, part.data());
    std::string expectedPart(20, '#');
    if (count > 0 && start >= 0 && start < length(slot))
      expectedPart.replace(0, text.substr(start, count).size(), text.substr(start, count));
    equal(part, expectedPart, "copySubstrTo");
    equal(value.hash(), expectedHash(text), "hash");
    equal(value.getFirst(), text.empty() ? '\0' : text.front(), "getFirst");
    equal(value.getLast(), text.empty() ? '\0' : text.back(), "getLast");
    const char* terminated = value.toNullTerminatedPtr();
    equal(std::string(terminated, text.size() + 1), text + '\0', "toNullTerminatedPtr");
    const ArrayPtr<char> handle = value.toStr();
    equal(std::string(handle.toPtr(), text.size()), text, "toStr");
  }

  Chooser& chooser_;
  Checker& checker_;
  const std::size_t maxLength_;
  std::array<CstStr, kValues> values_;
  std::array<std::string, kValues> texts_;
  std::array<ArrayPtr<char>, kHandles> handles_;
  std::array<std::string, kHandles> handleTexts_;
  std::ostringstream out_;
};

}  // namespace test_support

// Fuzz target of CstStr against std::string: the input's bytes choose operations on eight values and four
// `ArrayPtr<char>` handles, each kept beside the text it must hold. Every result is compared with the std::string
// one, and every few operations every value and handle with its text, walking nodes as they are, so a change that
// reaches a text it must not (an append written into a shared block, say) shows soon after. An input runs at most
// 16 operations on texts of at most 256 characters: every representation and threshold of CstStr (short below 8,
// tail blocks from 32) is reached well within that, and a short state lets the fuzzer try many more sequences.
#include <zem_util/cst_str.h>

#include <array>
#include <cstdint>
#include <sstream>
#include <string>
#include <utility>

#include "fuzz_support.h"

namespace {

using zem_util::ArrayPtr;
using zem_util::CstStr;

int found(std::size_t position) { return position == std::string::npos ? -1 : static_cast<int>(position); }

int expectedCmp(const std::string& a, const std::string& b) {
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
    if (a[i] != b[i]) return static_cast<signed char>(a[i]) - static_cast<signed char>(b[i]);
  }
  return static_cast<int>(a.size()) - static_cast<int>(b.size());
}

// n XOR the bytes at 0, n/4, 2n/4, ... (unsigned), folded 8 bits at a time.
int expectedHash(const std::string& text) {
  const std::uint32_t n = static_cast<std::uint32_t>(text.size());
  const std::uint32_t step = n / 4 > 0 ? n / 4 : 1;
  std::uint32_t h = 0;
  for (std::uint32_t i = 0; i < n; i += step) h = (h << 8) + static_cast<unsigned char>(text[i]);
  return static_cast<int>(h ^ n);
}

class Model {
 public:
  explicit Model(zem_util::fuzz::Input& input) : input_(input) {}

  void step() {
    const int a = pick(kValues), b = pick(kValues), h = pick(kHandles);
    const std::string piece = randomPiece();
    switch (pick(16)) {
      case 0:
        return apply(a, values_[a] += piece[0], texts_[a] + piece[0]);
      case 1:
        return apply(a, values_[a] += piece.c_str(), texts_[a] + piece);
      case 2:  // possibly itself
        return apply(a, values_[a] += values_[b], texts_[a] + texts_[b]);
      case 3:
        return apply(pick(kValues), CstStr::cat(values_[a], values_[b]), texts_[a] + texts_[b]);
      case 4:
        return apply(a, CstStr::cat(piece.c_str(), values_[a]), piece + texts_[a]);
      case 5:
        return apply(b, values_[a], texts_[a]);
      case 6: {
        const int start = position(a), count = pick(14) - 2;
        const bool empty = count <= 0 || start < 0 || start >= length(a);
        return apply(b, values_[a].substr(start, count), empty ? std::string() : texts_[a].substr(start, count));
      }
      case 7:
        checkSearches(a, values_[b], texts_[b]);
        return checkSearches(a, CstStr(piece.c_str()), piece);
      case 8:
        if (a == b) return;
        values_[b] = std::move(values_[a]);
        texts_[b] = std::exchange(texts_[a], std::string());
        checkText(b);
        return checkText(a);
      case 9: {  // from a pointer into its own text, which the assignment releases
        const std::size_t skip = static_cast<std::size_t>(pick(length(a) + 1));
        return apply(a, values_[a] = values_[a].toNullTerminatedPtr() + skip, texts_[a].c_str() + skip);
      }
      case 10:  // a handle on the value's block, which later changes of the value must not reach
        handles_[h] = values_[a].toStr();
        handleTexts_[h] = texts_[a];
        return ZEM_FUZZ_CHECK(handles_[h].view() == handleTexts_[h]);
      case 11:
        if (pick(2) == 0) return apply(b, values_[b] = handles_[h], handleTexts_[h]);
        return apply(b, values_[b] += handles_[h], texts_[b] + handleTexts_[h]);
      case 12: {  // a window of a larger block, which goes away at once
        const ArrayPtr<char> block(piece + texts_[a] + piece);
        return apply(b, CstStr(block.slice(static_cast<std::int32_t>(piece.size()), length(a))), texts_[a]);
      }
      case 13: {  // NULs are characters like any other
        const int count = pick(12);
        const char c = "a\0\xE9"[pick(3)];
        return apply(b, CstStr(count, c), std::string(static_cast<std::size_t>(count), c));
      }
      default:
        return checkReads(a, b);
    }
  }

  void checkAll() {
    for (int i = 0; i < kValues; ++i) checkText(i);
    for (int i = 0; i < kHandles; ++i) ZEM_FUZZ_CHECK(handles_[i].view() == handleTexts_[i]);
  }

 private:
  static constexpr int kValues = 8;
  static constexpr int kHandles = 4;
  static constexpr std::size_t kMaxLength = 256;

  int pick(int n) { return input_.pick(n); }
  int length(int slot) const { return static_cast<int>(texts_[slot].size()); }
  int position(int slot) { return pick(length(slot) + 7) - 3; }  // some outside [0, length]
  // A small alphabet so that searches find things; 0xE9 tests the sign of bytes.
  std::string randomPiece() {
    std::string piece;
    for (int n = 1 + pick(pick(2) == 0 ? 7 : 20); n > 0; --n) piece += "abc\xE9"[pick(4)];
    return piece;
  }

  void apply(int slot, const CstStr& value, const std::string& text) {
    values_[slot] = value;  // directly: a copy would share a value just appended to, which then stops growing in place
    if (text.size() > kMaxLength) values_[slot] = CstStr();
    texts_[slot] = text.size() > kMaxLength ? std::string() : text;
    checkText(slot);
  }

  void checkText(int slot) {
    ZEM_FUZZ_CHECK(values_[slot].length() == length(slot));
    std::string copied(texts_[slot].size(), '#');
    values_[slot].copyTo(copied.data());
    ZEM_FUZZ_CHECK(copied == texts_[slot]);
  }

  void checkSearches(int slot, const CstStr& pattern, const std::string& p) {
    const CstStr& value = values_[slot];
    const std::string& text = texts_[slot];
    const int n = length(slot), m = static_cast<int>(p.size()), from = position(slot);
    const int start = from < 0 ? 0 : from, last = from < n - m ? from : n - m;
    const char c = p.empty() ? 'a' : p[0];
    ZEM_FUZZ_CHECK(value.indexOf(c, from) == (from >= n ? -1 : found(text.find(c, start))));
    ZEM_FUZZ_CHECK(value.lastIndexOf(c, from) == (from < 0 ? -1 : found(text.rfind(c, from))));
    ZEM_FUZZ_CHECK(value.indexOf(pattern, from) == (m == 0 ? from : found(text.find(p, start))));
    ZEM_FUZZ_CHECK(value.lastIndexOf(pattern) == (m == 0 ? n - 1 : found(text.rfind(p))));
    ZEM_FUZZ_CHECK(value.lastIndexOf(pattern, from) == (m == 0 ? from : last < 0 ? -1 : found(text.rfind(p, last))));
    ZEM_FUZZ_CHECK(value.indexOneOf(pattern, from) == (m == 0      ? from
                                                       : from >= n ? -1
                                                                   : found(text.find_first_of(p, start))));
  }

  void checkReads(int slot, int other) {
    const CstStr& value = values_[slot];
    const std::string& text = texts_[slot];
    ZEM_FUZZ_CHECK(CstStr::cmp(value, values_[other]) == expectedCmp(text, texts_[other]));
    ZEM_FUZZ_CHECK(CstStr::equals(value, values_[other]) == (text == texts_[other]));
    std::ostringstream out;
    value.write(out);
    ZEM_FUZZ_CHECK(out.str() == text);
    const int start = position(slot), count = pick(20) - 2;
    const std::string piece = count > 0 && start >= 0 && start < length(slot) ? text.substr(start, count) : "";
    std::string part(20, '#');
    value.copySubstrTo(start, count, part.data());
    ZEM_FUZZ_CHECK(part == piece + std::string(20 - piece.size(), '#'));
    ZEM_FUZZ_CHECK(value.hash() == expectedHash(text));
    ZEM_FUZZ_CHECK(value.getFirst() == (text.empty() ? '\0' : text.front()));
    ZEM_FUZZ_CHECK(value.getLast() == (text.empty() ? '\0' : text.back()));
    ZEM_FUZZ_CHECK(std::string(value.toNullTerminatedPtr(), text.size() + 1) == text + '\0');
    ZEM_FUZZ_CHECK(value.toStr().view() == text);
  }

  zem_util::fuzz::Input& input_;
  std::array<CstStr, kValues> values_;
  std::array<std::string, kValues> texts_;
  std::array<ArrayPtr<char>, kHandles> handles_;
  std::array<std::string, kHandles> handleTexts_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zem_util::fuzz::Input input(data, size);
  Model model(input);
  for (int step = 1; step <= 16 && !input.isEmpty(); ++step) {
    model.step();
    if (step % 4 == 0) model.checkAll();
  }
  model.checkAll();
  return 0;
}

// CstStr against std::string: random building, sharing and reading with a fixed seed, every result checked.
#include <gtest/gtest.h>
#include <zem_util/cst_str.h>

#include <array>
#include <random>
#include <sstream>
#include <string>

namespace {

using zem_util::CstStr;

int found(std::size_t position) { return position == std::string::npos ? -1 : static_cast<int>(position); }

int expectedCmp(const std::string& a, const std::string& b) {
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
    if (a[i] != b[i]) return static_cast<signed char>(a[i]) - static_cast<signed char>(b[i]);
  }
  return static_cast<int>(a.size()) - static_cast<int>(b.size());
}

int expectedHash(const std::string& text) {
  const std::uint32_t n = static_cast<std::uint32_t>(text.size());
  std::uint32_t h = 0;
  for (std::uint32_t i = 0; i<n; i += n / 4> 0 ? n / 4 : 1) h = (h << 8) + static_cast<unsigned char>(text[i]);
  return static_cast<int>(h ^ n);
}

class Model {
 public:
  void step() {
    const int a = pick(kSlots);
    const int b = pick(kSlots);
    const std::string piece = randomPiece();
    switch (pick(10)) {
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
        apply(pick(kSlots), CstStr::cat(values_[a], values_[b]), texts_[a] + texts_[b]);
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
      default:
        checkReads(a, b);
        break;
    }
    if (texts_[a].size() > 3000) apply(a, CstStr(), std::string());
  }

 private:
  static constexpr int kSlots = 8;

  int pick(int n) { return static_cast<int>(random_() % static_cast<unsigned>(n)); }
  int length(int slot) const { return static_cast<int>(texts_[slot].size()); }
  int position(int slot) { return pick(length(slot) + 7) - 3; }  // some outside [0, length]
  // A small alphabet so that searches find things; 0xE9 tests the sign of bytes.
  std::string randomPiece() {
    std::string piece;
    for (int n = 1 + pick(pick(2) == 0 ? 7 : 20); n > 0; --n) piece += "abc\xE9"[pick(4)];
    return piece;
  }

  void apply(int slot, const CstStr& value, const std::string& text) {
    values_[slot] = value;
    texts_[slot] = text;
    std::string copied(text.size(), '\0');
    values_[slot].copyTo(copied.data());
    ASSERT_EQ(copied, text);
  }

  void checkSearches(int slot, const CstStr& pattern, const std::string& patternText) {
    const CstStr& value = values_[slot];
    const std::string& text = texts_[slot];
    const int n = length(slot);
    const int m = static_cast<int>(patternText.size());
    const int from = position(slot);
    const int start = from < 0 ? 0 : from;
    const char c = patternText.empty() ? 'a' : patternText[0];
    EXPECT_EQ(value.indexOf(c, from), from >= n ? -1 : found(text.find(c, start)));
    EXPECT_EQ(value.lastIndexOf(c, from), from < 0 ? -1 : found(text.rfind(c, from)));
    EXPECT_EQ(value.indexOf(pattern, from), m == 0 ? from : found(text.find(patternText, start)));
    EXPECT_EQ(value.lastIndexOf(pattern), m == 0 ? n - 1 : found(text.rfind(patternText)));
    const int last = from < n - m ? from : n - m;
    EXPECT_EQ(value.lastIndexOf(pattern, from), m == 0 ? from : last < 0 ? -1 : found(text.rfind(patternText, last)));
    EXPECT_EQ(value.indexOneOf(pattern, from), m == 0      ? from
                                               : from >= n ? -1
                                                           : found(text.find_first_of(patternText, start)));
  }

  void checkReads(int slot, int other) {
    const CstStr& value = values_[slot];
    const std::string& text = texts_[slot];
    EXPECT_EQ(CstStr::cmp(value, values_[other]), expectedCmp(text, texts_[other]));
    EXPECT_EQ(CstStr::equals(value, values_[other]), text == texts_[other]);
    std::ostringstream out;
    value.write(out);
    EXPECT_EQ(out.str(), text);
    const int start = position(slot);
    const int count = pick(20) - 2;
    std::string part(20, '#');
    value.copySubstrTo(start, count, part.data());
    std::string expectedPart(20, '#');
    if (count > 0 && start >= 0 && start < length(slot))
      expectedPart.replace(0, text.substr(start, count).size(), text.substr(start, count));
    EXPECT_EQ(part, expectedPart);
    EXPECT_EQ(value.hash(), expectedHash(text));
    EXPECT_EQ(std::string(value.toStr().toPtr(), text.size()), text);
  }

  std::mt19937 random_{20240611u};
  std::array<CstStr, kSlots> values_;
  std::array<std::string, kSlots> texts_;
};

TEST(CstStrRandomTest, MatchesStdStringUnderRandomOperations) {
  Model model;
  for (int i = 0; i < 50000; ++i) {
    model.step();
    if (::testing::Test::HasFailure()) FAIL() << "after step " << i;
  }
}

}  // namespace

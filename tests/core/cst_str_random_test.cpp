// CstStr against std::string: random building, sharing and reading, every result checked.
#include <gtest/gtest.h>
#include <zem_util/cst_str.h>

#include <array>
#include <random>
#include <sstream>
#include <string>

namespace {

using zem_util::CstStr;

constexpr int kSlots = 8;

class Model {
 public:
  explicit Model(unsigned seed) : random_(seed) {}

  void step() {
    const int slot = pick(kSlots);
    const int other = pick(kSlots);
    switch (pick(12)) {
      case 0:  // append a character
        append(slot, std::string(1, letter()));
        break;
      case 1:  // append a short or long piece as a C string
        append(slot, piece());
        break;
      case 2:  // append another value, possibly itself
        values_[slot] += values_[other];
        texts_[slot] += texts_[other];
        break;
      case 3: {  // cat into a third value
        const int target = pick(kSlots);
        values_[target] = CstStr::cat(values_[slot], values_[other]);
        texts_[target] = texts_[slot] + texts_[other];
        break;
      }
      case 4:  // prepend
        values_[slot] = CstStr::cat(CstStr(piece().c_str()), values_[slot]);
        texts_[slot] = lastPiece_ + texts_[slot];
        break;
      case 5:  // copy
        values_[slot] = values_[other];
        texts_[slot] = texts_[other];
        break;
      case 6:  // substring
        substr(slot, other);
        break;
      case 7:  // assign from the value's own characters
        if (!texts_[slot].empty()) {
          const int start = pick(static_cast<int>(texts_[slot].size()));
          values_[slot] = values_[slot].toNullTerminatedPtr() + start;
          texts_[slot] = std::string(texts_[slot].c_str() + start);
        }
        break;
      case 8:
        checkSearches(slot, other);
        break;
      case 9:
        checkComparison(slot, other);
        break;
      default:
        checkReads(slot);
        break;
    }
    check(slot);
    check(other);
    if (texts_[slot].size() > 4000) reset(slot);
  }

 private:
  int pick(int n) { return static_cast<int>(random_() % static_cast<unsigned>(n)); }
  // A small alphabet, so that searches find things; 0xE9 tests the sign of bytes.
  char letter() { return "abc\xE9"[pick(4)]; }
  std::string piece() {
    lastPiece_.clear();
    for (int n = 1 + pick(pick(2) == 0 ? 7 : 20); n > 0; --n) lastPiece_ += letter();
    return lastPiece_;
  }
  int position(int length) { return pick(length + 7) - 3; }  // some outside [0, length]

  void append(int slot, const std::string& text) {
    values_[slot] += text.c_str();
    texts_[slot] += text;
  }

  void reset(int slot) {
    values_[slot] = CstStr();
    texts_[slot].clear();
  }

  void substr(int slot, int target) {
    const int length = static_cast<int>(texts_[slot].size());
    const int start = position(length);
    const int count = pick(12) - 2;
    const CstStr result = values_[slot].substr(start, count);
    std::string expected;
    if (count > 0 && start >= 0 && start < length) expected = texts_[slot].substr(start, count);
    values_[target] = result;
    texts_[target] = expected;
  }

  void checkSearches(int slot, int other) {
    const CstStr& value = values_[slot];
    const std::string& text = texts_[slot];
    const int length = static_cast<int>(text.size());
    const char c = letter();
    const int from = position(length);
    EXPECT_EQ(value.indexOf(c), found(text.find(c)));
    EXPECT_EQ(value.indexOf(c, from), from >= length ? -1 : found(text.find(c, from < 0 ? 0 : from)));
    EXPECT_EQ(value.lastIndexOf(c), found(text.rfind(c)));
    EXPECT_EQ(value.lastIndexOf(c, from), from < 0 ? -1 : found(text.rfind(c, from)));

    const std::string& pattern = pick(2) == 0 ? texts_[other] : lastPiece_;
    const CstStr patternValue = pattern == texts_[other] ? values_[other] : CstStr(pattern.c_str());
    const int m = static_cast<int>(pattern.size());
    const int start = from < 0 ? 0 : from;
    EXPECT_EQ(value.indexOf(patternValue), m == 0 ? 0 : found(text.find(pattern)));
    EXPECT_EQ(value.indexOf(patternValue, from), m == 0 ? from : found(text.find(pattern, start)));
    EXPECT_EQ(value.lastIndexOf(patternValue), m == 0 ? length - 1 : found(text.rfind(pattern)));
    const int last = from < length - m ? from : length - m;
    EXPECT_EQ(value.lastIndexOf(patternValue, from), m == 0 ? from : last < 0 ? -1 : found(text.rfind(pattern, last)));
    EXPECT_EQ(value.indexOneOf(patternValue, from), m == 0           ? from
                                                    : from >= length ? -1
                                                                     : found(text.find_first_of(pattern, start)));
  }

  void checkComparison(int slot, int other) {
    const std::string& a = texts_[slot];
    const std::string& b = texts_[other];
    int expected = static_cast<int>(a.size()) - static_cast<int>(b.size());
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
      if (a[i] != b[i]) {
        expected = static_cast<signed char>(a[i]) - static_cast<signed char>(b[i]);
        break;
      }
    }
    EXPECT_EQ(CstStr::cmp(values_[slot], values_[other]), expected);
    EXPECT_EQ(CstStr::equals(values_[slot], values_[other]), a == b);
  }

  void checkReads(int slot) {
    const CstStr& value = values_[slot];
    const std::string& text = texts_[slot];
    const int length = static_cast<int>(text.size());
    std::ostringstream out;
    value.write(out);
    EXPECT_EQ(out.str(), text);
    const int start = position(length);
    const int count = pick(20) - 2;
    std::string part(20, '#');
    value.copySubstrTo(start, count, part.data());
    std::string expectedPart(20, '#');
    if (count > 0 && start >= 0 && start < length)
      expectedPart.replace(0, text.substr(start, count).size(), text.substr(start, count));
    EXPECT_EQ(part, expectedPart);
    std::uint32_t h = 0;
    const std::uint32_t step = length / 4 > 0 ? static_cast<std::uint32_t>(length / 4) : 1;
    for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(length); i += step) {
      h = (h << 8) + static_cast<unsigned char>(text[i]);
    }
    EXPECT_EQ(static_cast<std::uint32_t>(value.hash()), h ^ static_cast<std::uint32_t>(length));
    EXPECT_EQ(std::string(value.toStr().toPtr(), static_cast<std::size_t>(length)), text);
    EXPECT_EQ(std::string(value.toPtr(), static_cast<std::size_t>(length)), text);
  }

  void check(int slot) {
    const CstStr& value = values_[slot];
    const std::string& text = texts_[slot];
    ASSERT_EQ(value.length(), static_cast<int>(text.size()));
    std::string copied(text.size(), '\0');
    value.copyTo(copied.data());
    ASSERT_EQ(copied, text);
  }

  static int found(std::size_t position) { return position == std::string::npos ? -1 : static_cast<int>(position); }

  std::mt19937 random_;
  std::array<CstStr, kSlots> values_;
  std::array<std::string, kSlots> texts_;
  std::string lastPiece_;
};

TEST(CstStrRandomTest, MatchesStdStringUnderRandomOperations) {
  Model model(20240611u);
  for (int i = 0; i < 50000; ++i) {
    model.step();
    if (::testing::Test::HasFailure()) FAIL() << "after step " << i;
  }
}

}  // namespace

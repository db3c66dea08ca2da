// Random star patterns checked against the C library's fnmatch (flags 0). The alphabets leave out '?', '[' and
// '\\', which fnmatch treats specially: on patterns made of literals and stars only, both must agree on every case.
#include <fnmatch.h>
#include <gtest/gtest.h>
#include <zem_util/regexp.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <string>

namespace zem_util {
namespace {

std::string randomString(std::mt19937& random, const std::string& alphabet, int maxLength) {
  std::uniform_int_distribution<int> length(0, maxLength);
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
  std::string result(static_cast<std::size_t>(length(random)), ' ');
  for (char& c : result) c = alphabet[pick(random)];
  return result;
}

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool fnmatches(const std::string& pattern, const std::string& text) {
  return fnmatch(pattern.c_str(), text.c_str(), 0) == 0;
}

// After a true result the captures must spell the segments, in order, without overlapping, at the ends of the
// text where the pattern has no star, and each middle segment at its leftmost place after the one before.
void expectConsistentCaptures(const std::string& pattern, const ArrayPtr<char>& text,
                              const ArrayPtr<ArrayPtr<char>>& captures, bool caseSensitive) {
  std::int32_t next = 0;
  std::int32_t i = 0;
  const std::string folded = caseSensitive ? pattern : lower(pattern);
  const std::string foldedText = caseSensitive ? std::string(text.toPtr()) : lower(text.toPtr());
  for (std::size_t p = 0; p < folded.size();) {
    if (folded[p] == '*') {
      ++p;
      continue;
    }
    const std::size_t end = std::min(folded.find('*', p), folded.size());
    ASSERT_LT(i, captures.length());
    const ArrayPtr<char>& capture = captures[i++];
    const std::string segment = folded.substr(p, end - p);
    const std::string found(capture.toPtr(), capture.length());
    EXPECT_EQ(caseSensitive ? found : lower(found), segment);
    EXPECT_GE(capture.offset(), next);
    if (p == 0) {
      EXPECT_EQ(capture.offset(), 0);
    }
    if (end == folded.size()) {
      EXPECT_EQ(capture.offset() + capture.length(), text.length());
    } else if (p != 0) {
      EXPECT_EQ(foldedText.find(segment, next), static_cast<std::size_t>(capture.offset()));
    }
    next = capture.offset() + capture.length();
    p = end;
  }
  EXPECT_EQ(i, captures.length());
}

TEST(RegexpFnmatchTest, AgreesOnRandomStarPatterns) {
  std::mt19937 random(20091204);
  ArrayPtr<ArrayPtr<char>> captures;
  int matches = 0;
  for (int n = 0; n < 60000; ++n) {
    const std::string pattern = randomString(random, "ab**", 9);
    const std::string text = randomString(random, n % 2 ? "ab" : "abc", 14);
    const ArrayPtr<char> handle(text.c_str());
    Regexp regexp(pattern.c_str(), true);
    const bool expected = fnmatches(pattern, text);
    ASSERT_EQ(regexp.match(handle, captures), expected) << "pattern '" << pattern << "', text '" << text << "'";
    if (expected) {
      ++matches;
      expectConsistentCaptures(pattern, handle, captures, true);
    }
  }
  // Both outcomes must be well represented for the comparison to mean anything.
  EXPECT_GT(matches, 10000);
  EXPECT_LT(matches, 50000);
}

// Without case sensitivity a match is a match of the lower-case pattern on the lower-case text.
TEST(RegexpFnmatchTest, IgnoringCaseAgreesOnFoldedText) {
  std::mt19937 random(1204);
  ArrayPtr<ArrayPtr<char>> captures;
  for (int n = 0; n < 30000; ++n) {
    const std::string pattern = randomString(random, "aAbB**", 8);
    const std::string text = randomString(random, "aAbB", 12);
    const ArrayPtr<char> handle(text.c_str());
    Regexp regexp(pattern.c_str(), false);
    const bool expected = fnmatches(lower(pattern), lower(text));
    ASSERT_EQ(regexp.match(handle, captures), expected) << "pattern '" << pattern << "', text '" << text << "'";
    if (expected) expectConsistentCaptures(pattern, handle, captures, false);
  }
}

}  // namespace
}  // namespace zem_util

// Random star patterns checked against the C library's fnmatch (flags 0). The alphabets leave out '?', '[' and
// '\\', which fnmatch treats specially: on patterns made of literals and stars only, both must agree on every case.
#include <fnmatch.h>
#include <gtest/gtest.h>
#include <zem_util/regexp.h>

#include <random>
#include <string>

#include "capture_rules.h"

namespace zem_util {
namespace {

using test_support::findCaptureFault;
using test_support::lower;

std::string randomString(std::mt19937& random, const std::string& alphabet, int maxLength) {
  std::uniform_int_distribution<int> length(0, maxLength);
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
  std::string result(static_cast<std::size_t>(length(random)), ' ');
  for (char& c : result) c = alphabet[pick(random)];
  return result;
}

bool fnmatches(const std::string& pattern, const std::string& text) {
  return fnmatch(pattern.c_str(), text.c_str(), 0) == 0;
}

TEST(RegexpFnmatchTest, AgreesOnRandomStarPatterns) {
  std::mt19937 random(20091204);
  ArrayPtr<ArrayPtr<char>> captures;
  int matches = 0;
  for (int n = 0; n < 60000; ++n) {
    const std::string pattern = randomString(random, "ab**", 9);
    const std::string text = randomString(random, n % 2 ? "ab" : "abc", 14);
    const ArrayPtr<char> handle(text.c_str());
    Regexp regexp(pattern.c_str(), LetterCase::kSensitive);
    const bool expected = fnmatches(pattern, text);
    ASSERT_EQ(regexp.match(handle, captures), expected) << "pattern '" << pattern << "', text '" << text << "'";
    if (expected) {
      ++matches;
      ASSERT_EQ(findCaptureFault(pattern, handle, captures, true), "") << pattern << " on " << text;
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
    Regexp regexp(pattern.c_str(), LetterCase::kIgnored);
    const bool expected = fnmatches(lower(pattern), lower(text));
    ASSERT_EQ(regexp.match(handle, captures), expected) << "pattern '" << pattern << "', text '" << text << "'";
    if (expected) {
      ASSERT_EQ(findCaptureFault(pattern, handle, captures, false), "") << pattern << " on " << text;
    }
  }
}

}  // namespace
}  // namespace zem_util

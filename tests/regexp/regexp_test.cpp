// Regexp: the named and the flag forms, the capture and segment arrays, copies and threads. Any pattern against
// any text (captures in place, case folding, agreement with fnmatch) is the regexp fuzz target's, whose corpus
// ctest replays; its table-* inputs hold the answers worth naming.
#include <gtest/gtest.h>
#include <zem_util/regexp.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "support/threads.h"

namespace zem_util {
namespace {

using Captures = ArrayPtr<ArrayPtr<char>>;

TEST(RegexpTest, BothFormsAnswerAlike) {
  // Pattern, text, whether case matters, and the answer.
  const std::tuple<const char*, const char*, bool, bool> rows[] = {
      {"abc", "aBC", true, false}, {"abc", "aBC", false, true}, {"*AB*", "xaBy", false, true}};
  for (const auto& [pattern, text, caseSensitive, expected] : rows) {
    SCOPED_TRACE(std::string("'") + pattern + "' on '" + text + "'");
    Regexp fromC(pattern, caseSensitive);  // the flag means the same as the named case
    Regexp fromHandle(ArrayPtr<char>(pattern), caseSensitive ? LetterCase::kSensitive : LetterCase::kIgnored);
    Captures captures;
    EXPECT_EQ(fromC.match(text), expected);
    EXPECT_EQ(fromHandle.match(text, captures), expected);
    EXPECT_EQ(std::as_const(fromHandle).match(text, captures), expected);  // nothing compiled changed
  }
  for (Regexp empty : {Regexp(), Regexp(nullptr, LetterCase::kSensitive), Regexp(ArrayPtr<char>(), false)}) {
    EXPECT_TRUE(empty.match(ArrayPtr<char>()) && empty.match("") && !empty.match("a") && empty.getSegments().isNull());
  }
}

TEST(RegexpTest, CapturesAreSlicesOfTheTextInAnArrayReusedOnlyAtItsSize) {
  const ArrayPtr<char> line("[x] xaBcdXcdEF [y]");
  const ArrayPtr<char> word = line.slice(4, 10);  // "xaBcdXcdEF"
  Captures captures(3), sharer = captures;
  ASSERT_TRUE(Regexp("*Ab*CD*ef", LetterCase::kIgnored).match(word, captures));
  EXPECT_TRUE(captures.sharesBlockWith(sharer));  // overwritten in place, so whoever shares it sees them
  EXPECT_EQ(sharer[0].str() + sharer[1].str() + sharer[2].str(), "aBcdEF");
  ASSERT_TRUE(Regexp("*b*d*", LetterCase::kSensitive).match("bd", captures));  // another size: a new array
  EXPECT_TRUE(!captures.sharesBlockWith(sharer) && captures.length() == 2 && sharer[0].str() == "aB");
  EXPECT_TRUE(Regexp("**", LetterCase::kSensitive).match("xyz", captures));  // no segments: emptied
  EXPECT_EQ(captures.length(), 0);
  Captures third(1);
  EXPECT_FALSE(Regexp().match("x", third));  // even when the match fails
  EXPECT_EQ(third.length(), 0);
}

TEST(RegexpTest, SegmentsAreAFoldedPrivateCopySharedByCopies) {
  char source[] = "**Ab*Cd**E";
  Regexp regexp(source, LetterCase::kIgnored);
  source[2] = 'Z';  // the regexp kept its own copy
  const Captures segments = regexp.getSegments();
  ASSERT_EQ(segments.length(), 3);
  EXPECT_EQ(std::string(segments[0].toPtr() - segments[0].offset()), "**ab*cd**e");  // slices of one block
  EXPECT_EQ(segments[1].offset() * 10 + segments[2].offset(), 59);
  Captures list = regexp.getSegments();
  ASSERT_TRUE(regexp.match("xABxcDe", list));  // fills the list, not the compiled segments
  EXPECT_EQ(list[0].str() + regexp.getSegments()[0].str(), "ABab");
  Regexp copy(regexp), assigned;
  assigned = regexp;
  EXPECT_TRUE(copy.getSegments()[0].sharesBlockWith(segments[0]) && assigned.match("ABCDE"));
  copy.setPattern("A*b", LetterCase::kSensitive);  // a new pattern and case mode, for the copy alone
  EXPECT_TRUE(copy.match("AxXb") && !copy.match("axxb") && regexp.match("abcde"));
  const Regexp& self = assigned;
  assigned = self;
  EXPECT_TRUE(assigned.getSegments()[0].sharesBlockWith(segments[0]));
}

TEST(RegexpTest, EveryByteIsALiteralButTheStarAndOneObjectServesManyThreads) {
  Regexp regexp(ArrayPtr<char>("a\0*\xE9?[\\*", 0, 8), LetterCase::kSensitive);
  EXPECT_TRUE(regexp.match(ArrayPtr<char>("a\0x\xE9?[\\", 0, 7)) &&
              !regexp.match(ArrayPtr<char>("a\0x\xE9q[\\", 0, 7)));

  const Regexp shared("trace_*_2009*.txt", LetterCase::kIgnored);
  std::vector<int> failures(4, 0);
  test_support::onThreads(4, [&shared, &failures](int t) {
    Captures captures;  // the only thing the two-argument form writes
    for (int i = 0; i < 2000; ++i) {
      failures[t] += !shared.match("TRACE_net_20091204.txt", captures) || captures[1].str() != "_2009" ||
                     shared.match("trace_net_2008.txt", captures);
    }
  });
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace zem_util

#include <gtest/gtest.h>
#include <zem_util/regexp.h>

#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/text.h"

namespace zem_util {
namespace {

using Captures = ArrayPtr<ArrayPtr<char>>;

using test_support::text;

// Position of a capture within the text it was cut from.
std::int32_t positionIn(const ArrayPtr<char>& capture, const ArrayPtr<char>& text) {
  return capture.offset() - text.offset();
}

struct Row {
  const char* pattern;
  const char* text;
  bool caseSensitive;
  bool expected;
};

const Row kTable[] = {
    {"", "", true, true},
    {"", "a", true, false},
    {"*", "", true, true},
    {"*", "anything at all", true, true},
    {"**", "", true, true},
    {"**", "x", true, true},
    {"abc", "abc", true, true},
    {"abc", "abcd", true, false},
    {"abc", "ab", true, false},
    {"abc", "aBC", true, false},
    {"abc", "aBC", false, true},
    {"ABC", "abc", false, true},
    {"a*", "a", true, true},
    {"a*", "abc", true, true},
    {"a*", "ba", true, false},
    {"*c", "abc", true, true},
    {"*c", "c", true, true},
    {"*c", "cb", true, false},
    {"a*c", "ac", true, true},
    {"a*c", "abbc", true, true},
    {"a*c", "abcd", true, false},
    {"*b*", "abc", true, true},
    {"*b*", "b", true, true},
    {"*b*", "ac", true, false},
    {"ab*ba", "aba", true, false},  // shorter than the four literal characters
    {"ab*ba", "abba", true, true},
    {"ab*ba", "abXba", true, true},
    {"a*b*c", "aXbYbZc", true, true},
    {"a**b", "ab", true, true},
    {"*AB*", "xaBy", false, true},
    {"*AB*", "xaBy", true, false},
    {"*ab*ab*", "abab", true, true},
    {"*ab*ab*", "aba", true, false},
    {"*aab*", "aaab", true, true},  // the first 'a' is a false start
    {"*abc*abd", "abcabdabd", true, true},
    {"*abc*abd", "abcab", true, false},  // the second segment no longer fits
    {"a*a", "a", true, false},           // the anchored ends may not share a character
    {"*.log", "net.LOG", false, true},
    {"*.log", "net.log.1", true, false},
};

TEST(RegexpTest, MatchTable) {
  for (const Row& row : kTable) {
    SCOPED_TRACE(std::string("pattern '") + row.pattern + "', text '" + row.text + "', case " +
                 (row.caseSensitive ? "sensitive" : "ignored"));
    const LetterCase letterCase = row.caseSensitive ? LetterCase::kSensitive : LetterCase::kIgnored;
    Regexp fromC(row.pattern, row.caseSensitive);  // the flag means the same as the named case
    Regexp fromHandle(ArrayPtr<char>(row.pattern), letterCase);
    Captures captures;
    EXPECT_EQ(fromC.match(row.text), row.expected);
    EXPECT_EQ(fromHandle.match(row.text, captures), row.expected);
    // Matching again, on the object as const, gives the same answer: nothing of the compiled form changes.
    EXPECT_EQ(std::as_const(fromHandle).match(row.text, captures), row.expected);
  }
}

TEST(RegexpTest, EmptyPatternsMatchOnlyTheEmptyText) {
  Regexp patterns[] = {Regexp(), Regexp(nullptr, LetterCase::kSensitive), Regexp("", LetterCase::kIgnored),
                       Regexp(ArrayPtr<char>(), LetterCase::kSensitive)};
  for (Regexp& regexp : patterns) {
    EXPECT_TRUE(regexp.match(ArrayPtr<char>()));
    EXPECT_TRUE(regexp.match(""));
    EXPECT_FALSE(regexp.match("a"));
    EXPECT_TRUE(regexp.getSegments().isNull());
  }
  // Back to empty after a real pattern.
  Regexp regexp("a*", LetterCase::kSensitive);
  regexp.setPattern("", LetterCase::kSensitive);
  EXPECT_TRUE(regexp.match(""));
  EXPECT_FALSE(regexp.match("a"));
  EXPECT_EQ(regexp.getSegments().length(), 0);
}

TEST(RegexpTest, CapturesAreSlicesOfTheText) {
  ArrayPtr<char> subject("aXbYbZc");
  Regexp regexp("a*b*c", LetterCase::kSensitive);
  Captures captures;
  ASSERT_TRUE(regexp.match(subject, captures));
  ASSERT_EQ(captures.length(), 3);
  const std::int32_t expected[] = {0, 2, 6};
  for (std::int32_t i = 0; i < 3; ++i) {
    EXPECT_TRUE(captures[i].sharesBlockWith(subject)) << i;
    EXPECT_EQ(captures[i].length(), 1) << i;
    EXPECT_EQ(positionIn(captures[i], subject), expected[i]) << i;
  }
  EXPECT_EQ(text(captures[1]), "b");

  // The text's own case, at its position in a text that is itself a slice of a larger block.
  ArrayPtr<char> line("[x] xaBy [y]");
  ArrayPtr<char> word = line.slice(4, 4);  // "xaBy"
  Regexp noCase("*AB*", LetterCase::kIgnored);
  ASSERT_TRUE(noCase.match(word, captures));
  ASSERT_EQ(captures.length(), 1);
  EXPECT_EQ(text(captures[0]), "aB");
  EXPECT_EQ(positionIn(captures[0], word), 1);
  EXPECT_TRUE(captures[0].sharesBlockWith(line));

  // Anchored ends and a middle segment placed leftmost between them.
  Regexp both("Ab*CD*ef", LetterCase::kIgnored);
  ASSERT_TRUE(both.match("abcdXcdEF", captures));
  ASSERT_EQ(captures.length(), 3);
  EXPECT_EQ(text(captures[0]), "ab");
  EXPECT_EQ(text(captures[1]), "cd");
  EXPECT_EQ(captures[1].offset(), 2);
  EXPECT_EQ(text(captures[2]), "EF");
  EXPECT_EQ(captures[2].offset(), 7);
}

TEST(RegexpTest, CaptureArrayIsReusedOnlyWhenItHasOneElementPerSegment) {
  Regexp regexp("*b*d*", LetterCase::kSensitive);
  Captures captures(2);
  Captures sharer = captures;
  ASSERT_TRUE(regexp.match("abcd", captures));
  EXPECT_TRUE(captures.sharesBlockWith(sharer));  // overwritten in place...
  EXPECT_EQ(text(sharer[0]), "b");                // ...so whoever shares it sees the new elements
  EXPECT_EQ(text(sharer[1]), "d");

  Captures wrongSize(3);
  Captures keeper = wrongSize;
  ASSERT_TRUE(regexp.match("bd", wrongSize));
  EXPECT_FALSE(wrongSize.sharesBlockWith(keeper));
  EXPECT_EQ(wrongSize.length(), 2);
  EXPECT_EQ(keeper[0].length(), 0);  // the old array is left alone

  // No segments: the array is emptied, even when the match fails.
  Regexp stars("**", LetterCase::kSensitive);
  EXPECT_TRUE(stars.match("xyz", wrongSize));
  EXPECT_EQ(wrongSize.length(), 0);
  Captures third(1);
  EXPECT_FALSE(Regexp().match("x", third));
  EXPECT_EQ(third.length(), 0);
}

TEST(RegexpTest, SetPatternCompilesAFoldedPrivateCopy) {
  char source[] = "**Ab*Cd**E";
  Regexp regexp(source, LetterCase::kIgnored);
  source[2] = 'Z';  // the regexp kept its own copy
  const Captures segments = regexp.getSegments();
  ASSERT_EQ(segments.length(), 3);
  EXPECT_EQ(text(segments[0]), "ab");
  EXPECT_EQ(text(segments[1]), "cd");
  EXPECT_EQ(text(segments[2]), "e");
  // All three are slices of one block that still holds the stars.
  EXPECT_TRUE(segments[0].sharesBlockWith(segments[2]));
  EXPECT_EQ(segments[0].offset(), 2);
  EXPECT_EQ(segments[1].offset(), 5);
  EXPECT_EQ(segments[2].offset(), 9);
  EXPECT_EQ(std::string(segments[0].toPtr() - segments[0].offset()), "**ab*cd**e");  // the whole block
  EXPECT_TRUE(regexp.match("xABxcDe"));
  Captures list = regexp.getSegments();
  ASSERT_TRUE(regexp.match("xABxcDe", list));  // fills the list, not the compiled segments
  EXPECT_EQ(text(list[0]), "AB");
  EXPECT_EQ(text(regexp.getSegments()[0]), "ab");

  regexp.setPattern("A*b", LetterCase::kSensitive);  // a new pattern and a new case mode
  EXPECT_EQ(text(regexp.getSegments()[0]), "A");
  EXPECT_TRUE(regexp.match("AxXb"));
  EXPECT_FALSE(regexp.match("axxb"));
}

TEST(RegexpTest, CopiesShareTheCompiledPatternUntilOneIsRecompiled) {
  Regexp original("*err*", LetterCase::kIgnored);
  Regexp copy(original);
  Regexp assigned;
  assigned = original;
  const ArrayPtr<char> compiled = original.getSegments()[0];
  EXPECT_TRUE(copy.getSegments()[0].sharesBlockWith(compiled));
  EXPECT_TRUE(assigned.getSegments()[0].sharesBlockWith(compiled));
  EXPECT_TRUE(copy.match("an ERROR"));
  EXPECT_TRUE(assigned.match("an ERROR"));

  copy.setPattern("ok", LetterCase::kSensitive);
  EXPECT_TRUE(copy.match("ok"));
  EXPECT_FALSE(copy.match("error"));
  EXPECT_TRUE(original.match("error"));  // the source keeps its own form
  EXPECT_TRUE(assigned.getSegments()[0].sharesBlockWith(compiled));

  const Regexp& self = assigned;
  assigned = self;
  EXPECT_TRUE(assigned.match("Err"));
}

TEST(RegexpTest, EveryByteIsALiteralExceptTheStar) {
  const char pattern[] = {'a', '\0', '*', '\xE9', '?', '[', '\\', '*'};
  Regexp regexp(ArrayPtr<char>(pattern, 0, sizeof pattern), LetterCase::kSensitive);
  const char good[] = {'a', '\0', 'x', '\xE9', '?', '[', '\\'};
  const char bad[] = {'a', '\0', 'x', '\xE9', 'q', '[', '\\'};
  EXPECT_TRUE(regexp.match(ArrayPtr<char>(good, 0, sizeof good)));
  EXPECT_FALSE(regexp.match(ArrayPtr<char>(bad, 0, sizeof bad)));

  // Bytes above 0x7F go through the case folding unharmed; the "C" locale of this program folds only A-Z.
  Regexp noCase("*\xC9Z*", LetterCase::kIgnored);
  EXPECT_TRUE(noCase.match("x\xC9zy"));
  EXPECT_FALSE(noCase.match("x\xE9zy"));
  EXPECT_FALSE(noCase.match("\x80\x81"));
}

TEST(RegexpTest, TwoArgumentMatchRunsOnOneObjectFromManyThreads) {
  const Regexp shared("trace_*_2009*.txt", LetterCase::kIgnored);
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&shared, &failures, t] {
      Captures captures;  // the only thing the two-argument form writes
      ArrayPtr<char> yes("TRACE_net_20091204.txt");
      ArrayPtr<char> no("trace_net_2008.txt");
      for (int i = 0; i < 2000; ++i) {
        if (!shared.match(yes, captures) || text(captures[1]) != "_2009" || shared.match(no, captures)) {
          ++failures[t];
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace zem_util

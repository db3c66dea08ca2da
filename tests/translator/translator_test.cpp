#include <gtest/gtest.h>
#include <zem_util/translator.h>

#include <string>
#include <vector>

#include "support/text.h"

namespace zem_util {
namespace {

ArrayPtr<ArrayPtr<char>> listOf(const std::vector<std::string>& values) {
  ArrayPtr<ArrayPtr<char>> list(static_cast<std::int32_t>(values.size()));
  for (std::size_t i = 0; i < values.size(); ++i) list[static_cast<std::int32_t>(i)] = values[i].c_str();
  return list;
}

using test_support::text;

TEST(TranslatorTest, ReplacesMarkersExactly) {
  struct Case {
    const char* text;
    std::vector<std::string> params;
    const char* expected;
  };
  const Case cases[] = {
      {"a{0}b{1}", {"x", "y"}, "axby"},
      {"{1}{0}{1}", {"x", "y"}, "yxy"},
      {"a{2}b", {"x", "y"}, "ab"},
      {"a{0}b", {}, "ab"},
      {"{{0}}", {"x"}, "{x}"},
      {"{007}", {"p0", "p1", "p2", "p3", "p4", "p5", "p6", "p7"}, "p7"},
      {"{} and {x} and {-1} and { 0}", {"x"}, "{} and {x} and {-1} and { 0}"},
      {"a{12", {"x"}, "a{12"},
      {"{", {"x"}, "{"},
      {"plain text", {"x", "y"}, "plain text"},
      {"{0}", {"v{0}"}, "v{0}"},
      {"{99999999999999999999}end", {"x"}, "end"},
      {"{1a}{0}", {"x"}, "{1a}x"},
  };
  Translator catalogue;
  for (const Case& c : cases) {
    catalogue.addMsg(c.text, c.text);
    EXPECT_EQ(text(catalogue.getMsg(c.text, listOf(c.params))), c.expected) << c.text;
    // An identifier without an entry is its own text, markers included.
    EXPECT_EQ(text(Translator().getMsg(c.text, listOf(c.params))), c.expected) << c.text;
  }
}

TEST(TranslatorTest, LookupsShareTextsAndFallBackToTheIdentifier) {
  Translator empty;
  ArrayPtr<char> id("missing");
  EXPECT_TRUE(empty.getMsg(id).sharesBlockWith(id));

  Translator catalogue;
  ArrayPtr<char> bonjour("Bonjour");
  catalogue.addMsg("hello", bonjour);
  EXPECT_TRUE(catalogue.getMsg("hello").sharesBlockWith(bonjour));
  EXPECT_EQ(text(catalogue.getMsg("Hello")), "Hello");  // case matters
  ArrayPtr<char> noMarkers = catalogue.getMsg("hello", listOf({"x"}));
  EXPECT_TRUE(noMarkers.sharesBlockWith(bonjour));  // no markers: no new text
}

// Growing re-links each bucket's entries in reverse, so the text found for a duplicated identifier flips at
// exactly the 506th and the 5046th addMsg (101 and 1009 buckets of 5 entries each).
TEST(TranslatorTest, GrowsThroughItsSizesAndReversesDuplicates) {
  Translator catalogue;
  catalogue.addMsg("dup", "first");
  catalogue.addMsg("dup", "second");
  EXPECT_EQ(catalogue.getMessageCount(), 2u);
  EXPECT_EQ(text(catalogue.getMsg("dup")), "second");  // the later one sits nearer the head
  for (int i = 3; i <= 505; ++i) catalogue.addMsg(format("id%d", i), "x");
  EXPECT_EQ(text(catalogue.getMsg("dup")), "second");
  catalogue.addMsg("id506", "x");
  EXPECT_EQ(text(catalogue.getMsg("dup")), "first");  // growth re-linked them in reverse
  for (int i = 507; i <= 5045; ++i) catalogue.addMsg(format("id%d", i), "x");
  EXPECT_EQ(text(catalogue.getMsg("dup")), "first");
  catalogue.addMsg("id5046", "x");
  EXPECT_EQ(text(catalogue.getMsg("dup")), "second");  // and back again
  EXPECT_EQ(text(catalogue.getMsg("id4000")), "x");
}

TEST(TranslatorTest, BuildsFromPairsAndCopiesDeeply) {
  const char* none[] = {nullptr};
  EXPECT_EQ(Translator(none).getMessageCount(), 0u);
  const char* pairs[] = {"a", "Alpha", "b", nullptr, nullptr};
  Translator catalogue(pairs);
  EXPECT_EQ(catalogue.getMessageCount(), 2u);
  EXPECT_EQ(text(catalogue.getMsg("a")), "Alpha");
  EXPECT_TRUE(catalogue.getMsg("b").isNull());

  Translator copy(catalogue);
  copy.addMsg("c", "Gamma");
  EXPECT_EQ(text(catalogue.getMsg("c")), "c");  // the original's table is its own
  EXPECT_EQ(text(copy.getMsg("a")), "Alpha");
  catalogue = copy;
  EXPECT_EQ(text(catalogue.getMsg("c")), "Gamma");
  const Translator& self = catalogue;
  catalogue = self;
  EXPECT_EQ(catalogue.getMessageCount(), 3u);
}

TEST(TranslatorTest, FormatsWithTheLimitOf3000Characters) {
  const char* pairs[] = {"count", "%d files in %s", "wide", "%3000d", "wider", "%3001d", nullptr};
  Translator catalogue(pairs);
  EXPECT_EQ(text(catalogue.getFormattedMsg("count", 3, "/tmp")), "3 files in /tmp");
  EXPECT_EQ(text(catalogue.getFormattedMsg("%d%%", 50)), "50%");  // the identifier itself is the format
  EXPECT_EQ(catalogue.getFormattedMsg("wide", 1).length(), 3000);
  try {
    catalogue.getFormattedMsg("wider", 1);
    FAIL() << "3001 characters were accepted";
  } catch (const char* message) {
    EXPECT_STREQ(message, "Translator::getMsgWithArgs cannot be used to format more than 3000 characters !");
  }
  EXPECT_EQ(text(catalogue.getFormattedMsg("{0}", 1)), "{0}");  // markers mean nothing here
}

TEST(TranslatorTest, OverridingGetMsgChangesEveryOperation) {
  class Upper : public Translator {
   public:
    ArrayPtr<char> getMsg(const ArrayPtr<char>& id) const override {
      if (id == ArrayPtr<char>("greet")) return "HI {0} %s";
      return Translator::getMsg(id);
    }
    using Translator::getMsg;
  } catalogue;
  EXPECT_EQ(text(catalogue.getMsg("greet", listOf({"Ann"}))), "HI Ann %s");
  EXPECT_EQ(text(catalogue.getFormattedMsg("greet", "Bob")), "HI {0} Bob");
  const Translator& base = catalogue;
  EXPECT_EQ(text(base.getMsg("greet", listOf({"Cy"}))), "HI Cy %s");
}

}  // namespace
}  // namespace zem_util

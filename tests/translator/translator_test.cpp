// Catalogues and the registry of plug-ins. The expansion of {N} markers is checked against a plain reference by
// the translator fuzz target, and the 3000-character formatting limit by the format fuzz target; ctest replays
// both corpora.
#include <gtest/gtest.h>
#include <zem_util/env.h>
#include <zem_util/translator.h>

#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace zem_util {
namespace {

std::string messageOf(const Translator* t, const char* id) { return t->getMsg(id).str(); }

TEST(TranslatorTest, LookupsShareTextsAndFallBackToTheIdentifier) {
  const ArrayPtr<char> id("missing"), bonjour("Bonjour {x}");
  EXPECT_TRUE(Translator().getMsg(id).sharesBlockWith(id));
  Translator catalogue;
  catalogue.addMsg("hello", bonjour);
  EXPECT_TRUE(catalogue.getMsg("hello").sharesBlockWith(bonjour));
  EXPECT_EQ(messageOf(&catalogue, "Hello"), "Hello");             // case matters
  EXPECT_EQ(catalogue.getFormattedMsg("%d%%", 50).str(), "50%");  // the identifier itself is the format
  EXPECT_EQ(catalogue.getFormattedMsg("{0}", 1).str(), "{0}");    // markers mean nothing there
}

// Growing re-links each bucket's entries in reverse, so the text found for a duplicated identifier flips at
// exactly the 506th and the 5046th addMsg (101 and 1009 buckets of 5 entries each).
TEST(TranslatorTest, GrowsThroughItsSizesAndReversesDuplicates) {
  Translator catalogue;
  catalogue.addMsg("dup", "first");
  catalogue.addMsg("dup", "second");
  EXPECT_EQ(messageOf(&catalogue, "dup"), "second");  // nearer the head
  std::string flips;
  for (int i = 3; i <= 5046; ++i) {
    const std::string before = messageOf(&catalogue, "dup");
    catalogue.addMsg(format("id%d", i), format("%d", i));
    if (messageOf(&catalogue, "dup") != before) flips += " " + std::to_string(i);
  }
  EXPECT_EQ(flips, " 506 5046");
  EXPECT_EQ(catalogue.getMessageCount(), 5046u);
  Translator assigned;  // takes the size with the table: one more entry does not grow it again
  assigned = catalogue;
  assigned.addMsg("one more", "");
  EXPECT_EQ(messageOf(&assigned, "dup"), messageOf(&catalogue, "dup"));
  for (const char* id : {"id3", "id505", "id506", "id4000", "id5046"}) EXPECT_EQ(messageOf(&catalogue, id), id + 2);
}

TEST(TranslatorTest, BuildsFromPairsAndCopiesDeeply) {
  const char* none[] = {nullptr};
  EXPECT_EQ(Translator(none).getMessageCount(), 0u);
  const char* pairs[] = {"a", "Alpha", "b", nullptr, nullptr};
  Translator catalogue(pairs);
  EXPECT_EQ(catalogue.getMessageCount(), 2u);
  EXPECT_TRUE(catalogue.getMsg("b").isNull());
  Translator copy(catalogue);
  copy.addMsg("c", "Gamma");
  EXPECT_EQ(messageOf(&catalogue, "c") + messageOf(&copy, "a"), "cAlpha");  // the original's table is its own
  catalogue = copy;
  const Translator& self = catalogue;
  catalogue = self;
  EXPECT_EQ(messageOf(&catalogue, "c"), "Gamma");
  EXPECT_EQ(catalogue.getMessageCount(), 3u);
  catalogue = Translator();  // empty again
  EXPECT_EQ(messageOf(&catalogue, "a") + messageOf(&copy, "c"), "aGamma");
  EXPECT_EQ(catalogue.getMessageCount(), 0u);
}

TEST(TranslatorTest, OverridingGetMsgChangesEveryOperation) {
  class Upper : public Translator {
   public:
    ArrayPtr<char> getMsg(const ArrayPtr<char>& id) const override {
      return id == ArrayPtr<char>("greet") ? ArrayPtr<char>("HI {0} %s") : Translator::getMsg(id);
    }
    using Translator::getMsg;
  } catalogue;
  ArrayPtr<ArrayPtr<char>> ann(1);
  ann[0] = "Ann";
  const Translator& base = catalogue;
  EXPECT_EQ(base.getMsg("greet", ann).str(), "HI Ann %s");
  EXPECT_EQ(catalogue.getFormattedMsg("greet", "Bob").str(), "HI {0} Bob");
}

// Plug-ins beside this program: CfgMsg_fr (a catalogue), NulMsg_fr_FR (null), NulMsg_fr (a catalogue),
// ThrMsg_fr_FR (throws), ThrMsg (a catalogue), BareMsg_fr (no entry point).
TEST(RegistryTest, TriesPlugInsFromTheMostSpecificNameDownAndRemembersTheAnswer) {
  Translator* found = getTranslator("Cfg", "fr_FR");
  EXPECT_EQ(messageOf(found, "library") + " " + messageOf(found, "asked"), "CfgMsg_fr Cfg/fr_FR");
  EXPECT_EQ(getTranslator("Cfg", "fr_FR"), found);
  EXPECT_EQ(messageOf(getTranslator("Nul", "fr_FR"), "library"), "NulMsg_fr");  // null goes on to the next
  EXPECT_EQ(messageOf(getTranslator("Thr", "fr_FR"), "library"), "ThrMsg");     // so does an exception
  Translator* fallback = getTranslator("Nobody", "en_US");
  EXPECT_EQ(getTranslator("Bare", "fr"), fallback);                    // no entry point: the one default catalogue
  EXPECT_NE(getFunctionPointer("pluginKind", "BareMsg_fr"), nullptr);  // ... though it was loaded
  EXPECT_EQ(messageOf(fallback, "ID_X"), "ID_X");

  static Translator mine, registeredFirst;  // the registry keeps them to the end of the process
  setTranslator("Nobody", "en_US", &mine);
  setTranslator("Nobody", "en_US", nullptr);  // ignored
  EXPECT_EQ(getTranslator("Nobody", "en_US"), &mine);
  EXPECT_EQ(getTranslator("Nobody", "en_GB"), fallback);  // other pairs keep the default
  EXPECT_NE(getTranslator("nobody", "en_US"), &mine);     // case matters
  setTranslator("Cfg", "de_DE", &registeredFirst);        // before any request: no search
  EXPECT_EQ(getTranslator("Cfg", "de_DE"), &registeredFirst);
  // The short forms stand for the process and the current language.
  EXPECT_EQ(getTranslator(), getTranslator(getProcessName(), getCurrentLanguage()));
  EXPECT_EQ(getTranslator("Cfg"), getTranslator("Cfg", getCurrentLanguage()));
  setTranslator("Short", &mine);
  setTranslator(&registeredFirst);
  EXPECT_EQ(getTranslator("Short", getCurrentLanguage()), &mine);
  EXPECT_EQ(getTranslator(), &registeredFirst);
}

// A plug-in one level above the current directory, and a directory CfgMsg_x through which "x/../../evil" leads to
// it on POSIX. Windows resolves "..\" in a library name by itself, so its form needs no directory at all. (Which
// names reach the loader is the translator fuzz target's to check.)
TEST(RegistryTest, ALanguageLoadsNoLibraryFromAnotherDirectory) {
  test_support::TempDir dir;
  const std::filesystem::path plugin = getLibraryFileName("CfgMsg_fr").str();
  const std::string evil = "evil" + plugin.extension().string();
  std::filesystem::copy_file(plugin, dir / evil);
  const std::filesystem::path work = dir.createDirectory("work"), before = std::filesystem::current_path();
  std::filesystem::current_path(work);
  Translator* fallback = getTranslator("Nobody", "xx");
  EXPECT_EQ(getTranslator("Cfg", "x\\..\\..\\evil"), fallback);
  std::filesystem::create_directory(work / "CfgMsg_x");
  EXPECT_TRUE(std::filesystem::exists(work / "CfgMsg_x/../.." / evil));  // the way is open
  EXPECT_EQ(getTranslator("Cfg", "x/../../evil"), fallback);
  std::filesystem::current_path(before);
}

}  // namespace
}  // namespace zem_util

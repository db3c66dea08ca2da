#include <gtest/gtest.h>
#include <zem_util/env.h>
#include <zem_util/translator.h>

#include <string>

#include "support/text.h"

namespace zem_util {
namespace {

// The test build places these plug-ins beside this executable:
//   CfgMsg_fr      catalogue        NulMsg_fr_FR  null         ThrMsg_fr_FR  throws
//   NulMsg_fr      catalogue        ThrMsg        catalogue    BareMsg_fr    no entry point
std::string messageOf(Translator* t, const char* id) { return test_support::text(t->getMsg(id)); }

TEST(RegistryTest, TriesCandidatesFromTheMostSpecificDown) {
  Translator* found = getTranslator("Cfg", "fr_FR");
  EXPECT_EQ(messageOf(found, "library"), "CfgMsg_fr");
  EXPECT_EQ(messageOf(found, "asked"), "Cfg/fr_FR");  // the pair asked for, not the shortened name
  EXPECT_EQ(getTranslator("Cfg", "fr_FR"), found);

  EXPECT_EQ(messageOf(getTranslator("Nul", "fr_FR"), "library"), "NulMsg_fr");  // null goes on to the next
  EXPECT_EQ(messageOf(getTranslator("Thr", "fr_FR"), "library"), "ThrMsg");     // so does an exception
  EXPECT_EQ(getTranslator("Bare", "fr"), getTranslator("Absent", "xx"));        // no entry point: the default
  EXPECT_NE(getFunctionPointer("pluginKind", "BareMsg_fr"), nullptr);           // ... though it was loaded
}

TEST(RegistryTest, RemembersFallbacksAndReplacesPerPair) {
  Translator* fallback = getTranslator("Nobody", "en_US");
  EXPECT_EQ(getTranslator("Nobody", "en_US"), fallback);
  EXPECT_EQ(getTranslator("Nobody", "en_GB"), fallback);  // one shared default catalogue
  EXPECT_EQ(messageOf(fallback, "ID_X"), "ID_X");

  Translator mine;
  setTranslator("Nobody", "en_US", &mine);
  EXPECT_EQ(getTranslator("Nobody", "en_US"), &mine);
  EXPECT_EQ(getTranslator("Nobody", "en_GB"), fallback);  // other pairs keep the default
  setTranslator("Nobody", "en_US", nullptr);              // ignored
  EXPECT_EQ(getTranslator("Nobody", "en_US"), &mine);
  EXPECT_NE(getTranslator("nobody", "en_US"), &mine);  // case matters

  Translator registeredFirst;
  setTranslator("Cfg", "de_DE", &registeredFirst);  // registered before any request: no search
  EXPECT_EQ(getTranslator("Cfg", "de_DE"), &registeredFirst);
}

TEST(RegistryTest, ShortFormsUseTheProcessAndTheCurrentLanguage) {
  EXPECT_EQ(getTranslator(), getTranslator(getProcessName(), getCurrentLanguage()));
  EXPECT_EQ(getTranslator("Cfg"), getTranslator("Cfg", getCurrentLanguage()));
  Translator mine;
  setTranslator("Short", &mine);
  EXPECT_EQ(getTranslator("Short", getCurrentLanguage()), &mine);
}

}  // namespace
}  // namespace zem_util

#include <gtest/gtest.h>
#include <zem_util/env.h>
#include <zem_util/translator.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "support/text.h"
#include "testing/test_access.h"

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

// What reaches the loader: names only. A candidate that is a path counts as one that cannot be loaded, and the
// search goes on with the shorter ones.
TEST(RegistryTest, HandsTheLoaderNamesNeverPaths) {
  using Names = std::vector<std::string>;
  const struct {
    const char* name;
    std::string language;
    Names libraries;
  } cases[] = {
      {"Cfg", "fr_FR.UTF-8", {"CfgMsg_fr_FR.UTF-8", "CfgMsg_fr", "CfgMsg"}},
      {"Cfg", "sr_RS@latin", {"CfgMsg_sr_RS@latin", "CfgMsg_sr", "CfgMsg"}},
      {"Cfg", "de-AT x.\x80.", {"CfgMsg_de-AT x.\x80.", "CfgMsg"}},  // space, single dots, high bytes
      {"a_b", "", {"a_bMsg_", "a_bMsg"}},
      {"Cfg", "x/../../evil", {"CfgMsg"}},
      {"Cfg", "x\\..\\..\\evil", {"CfgMsg"}},
      {"Cfg", "fr_FR/x", {"CfgMsg_fr", "CfgMsg"}},
      {"Cfg", "fr_C:x", {"CfgMsg_fr", "CfgMsg"}},
      {"Cfg", "fr_FR..", {"CfgMsg_fr", "CfgMsg"}},
      {"Cfg", "..", {"CfgMsg"}},
      {"Cfg", std::string("fr\0", 3), {"CfgMsg"}},
      {"Cfg", "fr\x1F", {"CfgMsg"}},
      {"Cfg", "fr\x7F", {"CfgMsg"}},
      {"Cfg", "fr_\n", {"CfgMsg_fr", "CfgMsg"}},
      {"../Cfg", "fr", {}},
      {"C:Cfg", "fr", {}},
  };
  for (const auto& c : cases) {
    const ArrayPtr<char> language(c.language.data(), 0, static_cast<std::int32_t>(c.language.size()));
    const ArrayPtr<ArrayPtr<char>> libraries = test_access::getPluginLibraryNames(c.name, language);
    Names names;
    for (std::int32_t i = 0; i < libraries.length(); ++i) names.push_back(test_support::text(libraries[i]));
    EXPECT_EQ(names, c.libraries) << c.name << " " << c.language;
  }
}

// A plug-in one level above the current directory, and a directory CfgMsg_x through which "x/../../evil" leads
// to it on POSIX. Windows resolves "..\" in a library name by itself, so its form needs no directory at all.
TEST(RegistryTest, ALanguageLoadsNoLibraryFromAnotherDirectory) {
  test_support::TempDir dir;
  const std::filesystem::path plugin = test_support::text(getLibraryFileName("CfgMsg_fr"));
  const std::string evil = "evil" + plugin.extension().string();
  std::filesystem::copy_file(plugin, dir / evil);
  const std::filesystem::path work = dir.createDirectory("work");
  const std::filesystem::path before = std::filesystem::current_path();
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

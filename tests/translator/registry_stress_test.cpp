// The translator registry asked and changed from four threads at once.
#include <gtest/gtest.h>
#include <zem_util/core.h>
#include <zem_util/translator.h>

#include <string>
#include <thread>
#include <vector>

#include "support/text.h"

namespace zem_util {
namespace {

std::string messageOf(const Translator* t, const char* id) { return test_support::text(t->getMsg(id)); }

// Each thread asks for the same pairs as the others, most of them for the first time, in its own order: some
// have a plug-in (Cfg), most fall back to the default catalogue. Meanwhile each registers catalogues of its own
// and finds them, and all of them keep replacing one shared pair. Every answer must be the one every other
// thread got.
TEST(RegistryStressTest, LookupsAndRegistrationsFromFourThreadsAgree) {
  constexpr int kThreads = 4;
  constexpr int kNames = 30;
  const char* const languages[] = {"fr_FR", "de_DE", "fr_CA"};
  Translator own[kThreads];
  Translator* seen[kThreads][kNames][3] = {};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const ArrayPtr<char> ownName = format("Own%d", t);
      for (int round = 0; round < 100; ++round) {
        for (int k = 0; k < kNames; ++k) {
          const int n = (k * (t + 1) + round) % kNames;  // a different order on each thread
          for (int l = 0; l < 3; ++l) {
            Translator* found = getTranslator(format("Stress%d", n), languages[l]);
            if (seen[t][n][l] && seen[t][n][l] != found) ADD_FAILURE() << "the answer for a pair changed";
            seen[t][n][l] = found;
          }
          const char* french = (k + t) % 2 == 0 ? "fr_FR" : "fr_CA";  // both end at the plug-in CfgMsg_fr
          if (messageOf(getTranslator("Cfg", french), "library") != "CfgMsg_fr") ADD_FAILURE();
          setTranslator(ownName, languages[k % 3], &own[t]);
          if (getTranslator(ownName, languages[k % 3]) != &own[t]) ADD_FAILURE() << "lost a registration";
          setTranslator("Shared", "fr_FR", &own[(t + k) % kThreads]);
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();

  for (int t = 1; t < kThreads; ++t) {
    for (int n = 0; n < kNames; ++n) {
      for (int l = 0; l < 3; ++l) EXPECT_EQ(seen[t][n][l], seen[0][n][l]);
    }
  }
  EXPECT_EQ(seen[0][0][0], getTranslator("Absent", "xx"));  // the shared default catalogue
  const Translator* shared = getTranslator("Shared", "fr_FR");
  EXPECT_TRUE(shared >= &own[0] && shared < &own[kThreads]);
}

}  // namespace
}  // namespace zem_util

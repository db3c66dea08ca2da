// POSIX side of the environment tests' helpers, and the behaviour only the POSIX back end has.
#include <gtest/gtest.h>
#include <locale.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "env_test_support.h"
#include "zem_util/env.h"

namespace zem_util::test {

namespace {
thread_local locale_t threadLocale = nullptr;
}

bool setThreadLocale(const char* posixName, unsigned) {
  locale_t created = newlocale(LC_MESSAGES_MASK, posixName, nullptr);
  if (created == nullptr) return false;
  uselocale(created);
  if (threadLocale != nullptr) freelocale(threadLocale);
  threadLocale = created;
  return true;
}

void restoreThreadLocale() {
  uselocale(LC_GLOBAL_LOCALE);
  if (threadLocale != nullptr) freelocale(threadLocale);
  threadLocale = nullptr;
}

void setRuntimeEnvironmentVariable(const char* name, const char* value) { setenv(name, value, 1); }

bool getSystemEnvironmentVariable(const char* name, std::string* value) {
  const char* text = std::getenv(name);
  if (text == nullptr) return false;
  *value = text;
  return true;
}

std::string createHiddenFile(const TempDir& dir) { return dir.createFile(".hidden"); }

namespace {

TEST(PosixBackEndTest, ErrorMessageIsOneLineOnStandardError) {
  ::testing::internal::CaptureStderr();
  showErrorMessage("disk full");
  showErrorMessage(ArrayPtr<char>());
  const std::string written = ::testing::internal::GetCapturedStderr();
  const std::string name = text(getProcessName());
  EXPECT_EQ(written, "Error in " + name + ": disk full\nError in " + name + ": \n");
}

TEST(PosixBackEndTest, FullPathIsLexicalAndReadsBackslashesAsSeparators) {
  TempDir dir;
  const std::string real = dir.createDirectory("real");
  const std::string link = dir.path() + "link";
  ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
  // "link/.." is the temporary directory itself, not the parent of "real" that the link points into.
  EXPECT_EQ(text(getFullPath((link + "/../x").c_str())), dir.path() + "x");
  EXPECT_EQ(text(getFullPath((dir.path() + "a\\b\\..\\c\\").c_str())), dir.path() + "a/c/");
  EXPECT_EQ(text(getFullPath("/../..")), "/");
  EXPECT_EQ(text(getFullPath("/a/.")), "/a");
  // A drive prefix means nothing to POSIX: "C:" is a directory name relative to the current directory.
  EXPECT_EQ(text(getFullPath("C:/x")), text(getCurrentDirectory()) + "C:/x");
}

TEST(PosixBackEndTest, CLocaleAndUnknownLocalesGiveEnglish) {
  std::thread([] {
    ASSERT_TRUE(setThreadLocale("C", 0));
    EXPECT_EQ(text(getCurrentLanguage()), "en_US");
    ASSERT_TRUE(setThreadLocale("POSIX", 0));
    EXPECT_EQ(text(getCurrentLanguage()), "en_US");
    restoreThreadLocale();
  }).join();
}

}  // namespace
}  // namespace zem_util::test

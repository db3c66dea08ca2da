// POSIX side of the environment tests' helpers, and the behaviour only the POSIX back end has.
#include <gtest/gtest.h>
#include <locale.h>
#include <unistd.h>

#include <cstdlib>

#include "env_test_support.h"
#include "support/text.h"
#include "zem_util/env.h"

namespace test_support {

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

}  // namespace test_support

namespace zem_util {
namespace {

using test_support::TempDir;
using test_support::text;

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
  const std::string link = dir / "link";
  ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
  // "link/.." is the temporary directory itself, not the parent of "real" that the link points into.
  EXPECT_EQ(text(getFullPath((link + "/../x").c_str())), dir / "x");
  EXPECT_EQ(text(getFullPath((dir / "a\\b\\..\\c\\").c_str())), dir / "a/c/");
  EXPECT_EQ(text(getFullPath("/../..")), "/");
  EXPECT_EQ(text(getFullPath("/a/.")), "/a");
  // A drive prefix means nothing to POSIX: "C:" is a directory name relative to the current directory.
  EXPECT_EQ(text(getFullPath("C:/x")), text(getCurrentDirectory()) + "C:/x");
}

}  // namespace
}  // namespace zem_util

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "env_test_support.h"
#include "support/text.h"
#include "zem_util/env.h"

namespace zem_util {
namespace {

using test_support::text;

TEST(ProcessTest, PathDirectoryAndNameDescribeTheExecutable) {
  const ArrayPtr<char> path = getProcessPath();
  ASSERT_GT(path.length(), 0);
  EXPECT_FALSE(isRelativePath(path));
  EXPECT_TRUE(isFileReadable(path)) << text(path);
  EXPECT_EQ(text(getProcessDirectory()), text(getDirectory(path)));
  EXPECT_EQ(text(getProcessName()), "env_test");
  EXPECT_TRUE(getProcessPath().sharesBlockWith(path));  // cached: every caller shares one block
}

TEST(ProcessFirstUseTest, SetProcessPathBeforeFirstUseMovesDirectoryAndName) {
  if (!test_support::isFirstTestOfProcess()) GTEST_SKIP() << test_support::kNeedsOwnProcess;
  const ArrayPtr<char> executable = getProcessPath();
  setProcessPath("app/bin/../bin/server.exe");  // relative: its absolute form is kept
  const std::string cwd = text(getCurrentDirectory());
  const std::string expected = cwd + "app" + cwd.back() + "bin" + cwd.back() + "server.exe";
  EXPECT_EQ(text(getProcessPath()), expected);
  EXPECT_EQ(text(getProcessDirectory()), expected.substr(0, expected.size() - 10));
  EXPECT_EQ(text(getProcessName()), "server");
  // An empty path drops the replacement: the system is asked again. Directory and name stay.
  setProcessPath("");
  EXPECT_EQ(text(getProcessPath()), text(executable));
  EXPECT_EQ(text(getProcessName()), "server");
}

TEST(ProcessFirstUseTest, SetProcessPathAfterFirstUseLeavesDirectoryAndName) {
  if (!test_support::isFirstTestOfProcess()) GTEST_SKIP() << test_support::kNeedsOwnProcess;
  const std::string directory = text(getProcessDirectory());
  const std::string name = text(getProcessName());
  test_support::TempDir dir;
  const std::string elsewhere = dir / "other.bin";
  setProcessPath(elsewhere.c_str());
  EXPECT_EQ(text(getProcessPath()), elsewhere);
  EXPECT_EQ(text(getProcessDirectory()), directory);
  EXPECT_EQ(text(getProcessName()), name);
  setProcessPath("");
}

TEST(ProcessTest, CachesAreFilledOnceUnderConcurrentFirstUse) {
  std::vector<ArrayPtr<char>> directories(8), names(8);
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&, i] {
      directories[i] = getProcessDirectory();
      names[i] = getProcessName();
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int i = 1; i < 8; ++i) {
    EXPECT_TRUE(directories[i].sharesBlockWith(directories[0]));
    EXPECT_TRUE(names[i].sharesBlockWith(names[0]));
  }
}

TEST(EnvironmentTest, SetsAndRemovesVariables) {
  std::string value;
  setEnvironmentVariable("ZEM_ENV_TEST_VARIABLE", "on");
  ASSERT_TRUE(test_support::getSystemEnvironmentVariable("ZEM_ENV_TEST_VARIABLE", &value));
  EXPECT_EQ(value, "on");
  setEnvironmentVariable("ZEM_ENV_TEST_VARIABLE", ArrayPtr<char>());  // null: removed
  EXPECT_FALSE(test_support::getSystemEnvironmentVariable("ZEM_ENV_TEST_VARIABLE", &value));
  // Names the system cannot take, and texts with a NUL of their own, change nothing.
  setEnvironmentVariable("", "x");
  setEnvironmentVariable(ArrayPtr<char>("ZEM_ENV_NUL\0X", 0, 13), "x");
  setEnvironmentVariable("ZEM_ENV_VALUE", ArrayPtr<char>("a\0b", 0, 3));
  EXPECT_FALSE(test_support::getSystemEnvironmentVariable("ZEM_ENV_NUL", &value));
  EXPECT_FALSE(test_support::getSystemEnvironmentVariable("ZEM_ENV_VALUE", &value));
}

// The CharConv.txt tests move the process path into a temporary directory first, so that they see only the
// files they create, whatever the build directory holds and whichever other test runs beside them.
class CharconvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test_support::isFirstTestOfProcess()) GTEST_SKIP() << test_support::kNeedsOwnProcess;
    setProcessPath((bin_ + "app.exe").c_str());
    ASSERT_EQ(text(getProcessDirectory()), bin_);
  }
  void setPath(const std::string& entries) { test_support::setRuntimeEnvironmentVariable("PATH", entries.c_str()); }

  static char listSeparator() { return text(getCurrentDirectory()).back() == '/' ? ':' : ';'; }

  test_support::TempDir root_;
  const std::string bin_ = root_.createDirectory("bin");
};

TEST_F(CharconvTest, SearchesPathInOrderAndRetriesUntilFound) {
  const std::string a = root_.createDirectory("a"), b = root_.createDirectory("b"), c = root_.createDirectory("c");
  const char sep = listSeparator();
  setPath(a + sep + sep + b + sep + c);  // the empty entry is skipped
  EXPECT_EQ(getCharconvPath().length(), 0);
  EXPECT_EQ(getCharconvPath().length(), 0);
  root_.createFile("c/CharConv.txt");
  root_.createFile("b/CharConv.txt");
  // Entries already end with a separator; one is added all the same.
  const std::string expected = b + text(getCurrentDirectory()).back() + "CharConv.txt";
  EXPECT_EQ(text(getCharconvPath()), expected);
  // Found once, kept: the file may go, the answer stays.
  std::filesystem::remove(b + "CharConv.txt");
  EXPECT_EQ(text(getCharconvPath()), expected);
  EXPECT_TRUE(getCharconvPath().sharesBlockWith(getCharconvPath()));
}

TEST_F(CharconvTest, PrefersTheCopyBesideTheExecutable) {
  const std::string onPath = root_.createDirectory("path");
  root_.createFile("path/CharConv.txt");
  root_.createFile("bin/CharConv.txt");
  setPath(onPath);
  EXPECT_EQ(text(getCharconvPath()), bin_ + "CharConv.txt");
}

}  // namespace
}  // namespace zem_util

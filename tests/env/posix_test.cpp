// What only the POSIX back end does: the error message on standard error, and lexical full paths.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zem_util/env.h>
#include <zem_util/system.h>

#include <csignal>
#include <cstdlib>

#include "support/temp_dir.h"

namespace zem_util {
namespace {

TEST(PosixBackEndTest, ErrorMessageIsOneLineOnStandardErrorAndFullPathsAreLexical) {
  ::testing::internal::CaptureStderr();
  showErrorMessage("disk full");
  showErrorMessage(ArrayPtr<char>());
  const std::string name = getProcessName().str();
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error in " + name + ": disk full\nError in " + name + ": \n");
  test_support::TempDir dir;
  const std::string link = dir / "link";
  ASSERT_EQ(symlink(dir.createDirectory("real").c_str(), link.c_str()), 0);
  // "link/.." is the temporary directory itself, not the parent of "real" that the link points into.
  EXPECT_EQ(getFullPath((link + "/../x").c_str()).str(), dir / "x");
  EXPECT_EQ(getFullPath((dir / "a\\b\\..\\c\\").c_str()).str(), dir / "a/c/");
  EXPECT_EQ(getFullPath("/../..").str() + getFullPath("/a/.").str(), "//a");
  // A drive prefix means nothing to POSIX: "C:" is a directory name relative to the current directory.
  const std::string cwd = getCurrentDirectory().str();
  EXPECT_EQ(getFullPath("C:/x").str(), cwd + "C:/x");
  // A current directory longer than a first guess at its length (Windows paths stop at 260 characters).
  const std::string deep = dir.createDirectory(std::string(200, 'd') + "/" + std::string(200, 'e'));
  ASSERT_EQ(chdir(deep.c_str()), 0);
  EXPECT_EQ(getCurrentDirectory().str(), deep);
  ASSERT_EQ(chdir(cwd.c_str()), 0);
}

// A fault that no handler of its thread translates goes on to the handler the program had before the library's
// (SIGILL: sanitizers leave it to the program).
TEST(PosixBackEndTest, UntranslatedFaultsReachTheProgramsOwnHandler) {
  EXPECT_EXIT(
      {
        struct sigaction own {};
        own.sa_flags = SA_SIGINFO;
        own.sa_sigaction = [](int, siginfo_t*, void*) { std::_Exit(5); };
        sigaction(SIGILL, &own, nullptr);
        { WindowsExceptionHandler translating; }
        alarm(10);  // a fault nobody handles would come back for good
        __builtin_trap();
      },
      testing::ExitedWithCode(5), "");
}

}  // namespace
}  // namespace zem_util

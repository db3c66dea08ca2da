// What only the POSIX back end does: the error message on standard error, and lexical full paths.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zem_util/env.h>

#include "support/temp_dir.h"
#include "support/text.h"

namespace zem_util {
namespace {

using test_support::text;

TEST(PosixBackEndTest, ErrorMessageIsOneLineOnStandardErrorAndFullPathsAreLexical) {
  ::testing::internal::CaptureStderr();
  showErrorMessage("disk full");
  showErrorMessage(ArrayPtr<char>());
  const std::string name = text(getProcessName());
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error in " + name + ": disk full\nError in " + name + ": \n");
  test_support::TempDir dir;
  const std::string link = dir / "link";
  ASSERT_EQ(symlink(dir.createDirectory("real").c_str(), link.c_str()), 0);
  // "link/.." is the temporary directory itself, not the parent of "real" that the link points into.
  EXPECT_EQ(text(getFullPath((link + "/../x").c_str())), dir / "x");
  EXPECT_EQ(text(getFullPath((dir / "a\\b\\..\\c\\").c_str())), dir / "a/c/");
  EXPECT_EQ(text(getFullPath("/../..")) + text(getFullPath("/a/.")), "//a");
  // A drive prefix means nothing to POSIX: "C:" is a directory name relative to the current directory.
  const std::string cwd = text(getCurrentDirectory());
  EXPECT_EQ(text(getFullPath("C:/x")), cwd + "C:/x");
  // A current directory longer than a first guess at its length (Windows paths stop at 260 characters).
  const std::string deep = dir.createDirectory(std::string(200, 'd') + "/" + std::string(200, 'e'));
  ASSERT_EQ(chdir(deep.c_str()), 0);
  EXPECT_EQ(text(getCurrentDirectory()), deep);
  ASSERT_EQ(chdir(cwd.c_str()), 0);
}

}  // namespace
}  // namespace zem_util

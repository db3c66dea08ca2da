// Win32 back end: behaviour only Windows has (file attributes, the two environments, module names and the
// system's own message texts).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "os/files.h"
#include "os/libraries.h"
#include "os/locale.h"
#include "os/process.h"
#include "os/windows_api.h"

namespace zem_util::os {
namespace {

// A fresh directory under the system's temporary directory, removed with everything the test put in it.
class Win32FileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    ASSERT_NE(GetTempPathA(MAX_PATH, temp), 0u);
    dir_ = std::string(temp) + "zem_os_test_" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryA(dir_.c_str(), nullptr));
  }
  void TearDown() override {
    for (const std::string& file : files_) {
      SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA(file.c_str());
    }
    RemoveDirectoryA(dir_.c_str());
  }
  std::string createFile(const char* name) {
    std::string path = dir_ + "\\" + name;
    std::ofstream{path};
    files_.push_back(path);
    return path;
  }

  std::string dir_;
  std::vector<std::string> files_;
};

TEST_F(Win32FileTest, OnlyVisibleOrdinaryFilesAreReadable) {
  const std::string plain = createFile("plain.txt");
  const std::string hidden = createFile("hidden.txt");
  ASSERT_TRUE(SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN));
  EXPECT_TRUE(isFileReadable(plain.c_str()));
  EXPECT_TRUE(isFileReadable((dir_ + "/plain.txt").c_str()));  // forward slashes work too
  EXPECT_FALSE(isFileReadable(hidden.c_str()));
  EXPECT_FALSE(isFileReadable(dir_.c_str()));
  EXPECT_FALSE(isFileReadable((dir_ + "\\missing.txt").c_str()));
}

TEST_F(Win32FileTest, RemoveFileReportsWhetherItActed) {
  const std::string file = createFile("gone.txt");
  EXPECT_TRUE(removeFile(file.c_str()));
  EXPECT_FALSE(removeFile(file.c_str()));
  EXPECT_EQ(GetFileAttributesA(file.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Win32FileTest, CurrentDirectoryFollowsTheProcess) {
  std::string before;
  ASSERT_TRUE(getCurrentDirectory(&before));
  ASSERT_TRUE(SetCurrentDirectoryA(dir_.c_str()));
  std::string inside;
  EXPECT_TRUE(getCurrentDirectory(&inside));
  ASSERT_TRUE(SetCurrentDirectoryA(before.c_str()));
  // "C:\users\...\Temp\zem_os_test_42" however the temporary path was spelled.
  char full[MAX_PATH];
  ASSERT_NE(GetFullPathNameA(dir_.c_str(), MAX_PATH, full, nullptr), 0u);
  EXPECT_EQ(lstrcmpiA(inside.c_str(), full), 0) << inside << " vs " << full;
  EXPECT_NE(inside.back(), '\\');
}

TEST(Win32ProcessTest, ExecutablePathIsTheRunningProgram) {
  std::string path;
  ASSERT_TRUE(getExecutablePath(&path));
  ASSERT_GT(path.size(), 4u);
  EXPECT_EQ(path.substr(path.size() - 4), ".exe");
  EXPECT_EQ(path[1], ':') << path;  // a full path with its drive letter
  EXPECT_NE(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(Win32ProcessTest, SettingAVariableChangesTheSystemBlockNotTheRuntimeCopy) {
  const char* path = std::getenv("PATH");
  ASSERT_NE(path, nullptr);
  EXPECT_NE(path[0], '\0');
  ASSERT_TRUE(setEnvironmentVariable("ZEM_OS_TEST_VARIABLE", "on"));
  char system[16] = {};
  EXPECT_EQ(GetEnvironmentVariableA("ZEM_OS_TEST_VARIABLE", system, sizeof system), 2u);
  EXPECT_STREQ(system, "on");
  EXPECT_EQ(std::getenv("ZEM_OS_TEST_VARIABLE"), nullptr);  // the C runtime's copy is another
}

TEST(Win32LibraryTest, LoadsFindsNamesAndFrees) {
  void* kernel = loadLibrary("kernel32");  // the system adds ".dll"
  ASSERT_NE(kernel, nullptr);
  EXPECT_EQ(findSymbol(kernel, "GetTickCount"), reinterpret_cast<void*>(&GetTickCount));
  EXPECT_EQ(findSymbol(kernel, "NoSuchFunctionAnywhere"), nullptr);
  std::string name;
  ASSERT_TRUE(getLibraryFileName(kernel, &name));
  EXPECT_NE(CharLowerA(name.data()), nullptr);
  EXPECT_NE(name.find("kernel32.dll"), std::string::npos) << name;
  freeLibrary(kernel);
  EXPECT_EQ(loadLibrary("no_such_library_anywhere"), nullptr);
}

TEST(Win32LibraryTest, MainModuleIsTheExecutable) {
  std::string fromModule, executable;
  ASSERT_TRUE(getLibraryFileName(getMainModule(), &fromModule));
  ASSERT_TRUE(getExecutablePath(&executable));
  EXPECT_EQ(fromModule, executable);
}

TEST(Win32LocaleTest, ThreadLocaleIsTheSystemIdentifier) {
  EXPECT_NE(getThreadLocaleId(), 0u);
  EXPECT_EQ(getThreadLocaleId(), GetThreadLocale());
}

TEST(Win32ErrorTextTest, KeepsTheSystemLineEnd) {
  std::string text;
  ASSERT_TRUE(getSystemErrorText(ERROR_ACCESS_DENIED, &text));
  ASSERT_GE(text.size(), 2u);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

}  // namespace
}  // namespace zem_util::os

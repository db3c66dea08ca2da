// Helpers of the environment tests that are the same on every platform.
#include "env_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>

#include "zem_util/system.h"

namespace zem_util::test {

std::string text(const ArrayPtr<char>& handle) {
  return handle.length() > 0 ? std::string(handle.toPtr(), static_cast<std::size_t>(handle.length())) : "";
}

TempDir::TempDir() {
  static std::atomic<int> serial{0};
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() /
      ("zem_env_" + std::to_string(getCurrentProcessId()) + "_" + std::to_string(++serial));
  std::filesystem::create_directories(dir);
  path_ = (dir / "").string();
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::createFile(const std::string& name) const {
  const std::string file = path_ + name;
  std::ofstream(file, std::ios::binary).put('x');
  return file;
}

std::string TempDir::createDirectory(const std::string& name) const {
  const std::filesystem::path dir = std::filesystem::path(path_) / name;
  std::filesystem::create_directories(dir);
  return (dir / "").string();
}

namespace {
int startedTests = 0;

class StartCounter : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override { ++startedTests; }
};

// Installed before main, so that it sees every test start.
const bool counterInstalled = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new StartCounter);
  return true;
}();
}  // namespace

bool isFirstTestOfProcess() { return counterInstalled && startedTests == 1; }

}  // namespace zem_util::test

// A fresh directory per test, removed with everything in it when the test ends, and reading a file back.
#pragma once

#include <zem_util/system.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

namespace test_support {

class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("zem_util_test_" + std::to_string(zem_util::getCurrentProcessId()) + "_" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // A path inside the directory, as a string with the platform's separators.
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

  // Creates (or rewrites) the file `name` holding one character, and returns its path.
  std::string createFile(const std::string& name) const {
    const std::string file = *this / name;
    std::ofstream(file, std::ios::binary).put('x');
    return file;
  }
  // Creates the directory `name` (and its parents) and returns its path, ending with a separator.
  std::string createDirectory(const std::string& name) const {
    const std::filesystem::path dir = path_ / name;
    std::filesystem::create_directories(dir);
    return (dir / "").string();
  }

 private:
  std::filesystem::path path_;
};

inline std::string readFile(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

}  // namespace test_support

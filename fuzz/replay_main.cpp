// The fuzz targets without libFuzzer: every file named on the command line, and every file of a directory named
// there, goes once through LLVMFuzzerTestOneInput, so that ctest replays the committed corpora on every build.
//   path_fuzz fuzz/corpus/path        # "26 inputs replayed"; a broken check aborts naming the file
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

// Each input in a buffer of exactly its size, so that a sanitized build sees any read past it.
int main(int argc, char** argv) {
  int count = 0;
  const auto replay = [&count](const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::unique_ptr<std::uint8_t[]> data(new std::uint8_t[bytes.size()]);
    bytes.copy(reinterpret_cast<char*>(data.get()), bytes.size());
    std::fprintf(stderr, "%s\n", file.string().c_str());  // the last one named is the one that failed
    LLVMFuzzerTestOneInput(data.get(), bytes.size());
    ++count;
  };
  for (int i = 1; i < argc; ++i) {
    if (!std::filesystem::is_directory(argv[i])) {
      replay(argv[i]);
    } else {
      for (const auto& entry : std::filesystem::directory_iterator(argv[i])) replay(entry.path());
    }
  }
  std::printf("%d inputs replayed\n", count);
  return count > 0 ? 0 : 1;
}

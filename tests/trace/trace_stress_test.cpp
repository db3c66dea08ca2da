#include <gtest/gtest.h>
#include <zem_util/trace.h>

#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

namespace zem_util {
namespace {

using test_support::readFile;
using test_support::TempDir;

// Four traces share two rotating files, two traces each, and four threads write through all four traces in
// turn, closing the file after every record. Afterwards every record is there exactly once, whole and well
// formed, in the numbered files of the right file, under the header of a trace of that file.
TEST(TraceStressTest, SharedFilesLoseNothingAndInterleaveNothing) {
  TempDir dir;
  constexpr int kThreads = 4;
  constexpr int kRecords = 10000;
  const char* const fileNames[] = {"alpha", "beta"};
  const char* const traceNames[] = {"alpha0", "beta0", "alpha1", "beta1"};  // trace i writes to file i % 2
  Ptr<TraceFile> traceFiles[2];
  Ptr<Trace> traces[4];
  for (int i = 0; i < 4; ++i) {
    const std::string path = dir / (std::string(fileNames[i % 2]) + ".log");
    if (i < 2) {
      traceFiles[i] = getTraceMgr()->getTraceFile(path.c_str());
      TraceParameters parameters = traceFiles[i]->getParameters();
      parameters.maxFileSize = 8 * 1024;
      parameters.maxOldFiles = 100000;  // keep every file so that every record can be counted
      parameters.flushMode = 2;
      traceFiles[i]->setParameters(parameters);
    }
    traces[i] = new Trace(traceNames[i]);
    traces[i]->setFileName(path.c_str());
    traces[i]->setMaxLevel(3);
  }

  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRecords; ++i) {
        Trace& trace = *traces[(t + i) % 4];
        if (i % 3 == 0) {  // a block of three outputs must stay one record
          trace.begin();
          trace.info("t%d", t);
          trace.info(" r%d", i);
          trace.info(" end");
          trace.end();
        } else {
          trace.info("t%d r%d end", t, i);
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (Ptr<TraceFile>& file : traceFiles) file->close();

  std::map<std::string, std::set<std::pair<int, int>>> seen;  // by file: (thread, record)
  std::map<std::string, int> files;
  const std::regex record(R"(\[((alpha|beta)\d) \d\d:\d\d:\d\d\.\d\d t(\d) r(\d+) end\]\r?)");
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    const std::string fileName = entry.path().filename().string();
    const std::string file = fileName.substr(0, fileName.find_first_of("_."));
    ++files[file];
    std::istringstream stream(readFile(entry.path().string()));
    for (std::string line; std::getline(stream, line);) {
      std::smatch match;
      ASSERT_TRUE(std::regex_match(line, match, record)) << fileName << ": " << line;
      const int t = std::stoi(match[3]);
      const int i = std::stoi(match[4]);
      EXPECT_EQ(match[1], traceNames[(t + i) % 4]) << fileName << ": " << line;
      EXPECT_EQ(match[2], file) << fileName << ": " << line;
      EXPECT_TRUE(seen[file].emplace(t, i).second) << line;
    }
  }
  for (const char* file : fileNames) {
    EXPECT_EQ(seen[file].size(), static_cast<std::size_t>(kThreads * kRecords / 2)) << file;
    EXPECT_GT(files[file], 3) << file;  // it really rotated
  }
}

}  // namespace
}  // namespace zem_util

#include <gtest/gtest.h>
#include <zem_util/trace.h>

#include <filesystem>
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

// Threads write through traces that share one rotating file; afterwards every record is there exactly once,
// whole and well formed, across all the numbered files.
TEST(TraceStressTest, SharedFileLosesNothingAndInterleavesNothing) {
  TempDir dir;
  const std::string path = dir / "stress.log";
  constexpr int kThreads = 4;
  constexpr int kRecords = 1500;
  Ptr<TraceFile> file = getTraceMgr()->getTraceFile(path.c_str());
  TraceParameters parameters = file->getParameters();
  parameters.maxFileSize = 16 * 1024;
  parameters.maxOldFiles = 100000;  // keep every file so that every record can be counted
  parameters.flushMode = 2;
  file->setParameters(parameters);
  Ptr<Trace> traces[2] = {new Trace("even"), new Trace("odd")};
  for (Ptr<Trace>& trace : traces) {
    trace->setFileName(path.c_str());
    trace->setMaxLevel(3);
  }

  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      Trace& trace = *traces[t % 2];
      for (int i = 0; i < kRecords; ++i) {
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
  file->close();

  std::set<std::pair<int, int>> seen;
  const std::regex record(R"(\[(even|odd) \d\d:\d\d:\d\d\.\d\d t(\d) r(\d+) end\]\r?)");
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    ++files;
    std::istringstream stream(readFile(entry.path().string()));
    for (std::string line; std::getline(stream, line);) {
      std::smatch match;
      ASSERT_TRUE(std::regex_match(line, match, record)) << entry.path() << ": " << line;
      const int t = std::stoi(match[2]);
      EXPECT_EQ(match[1], t % 2 == 0 ? "even" : "odd");
      EXPECT_TRUE(seen.emplace(t, std::stoi(match[3])).second) << line;
    }
  }
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kRecords));
  EXPECT_GT(files, 3);  // it really rotated
}

}  // namespace
}  // namespace zem_util

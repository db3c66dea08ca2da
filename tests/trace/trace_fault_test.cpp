// Tracing when the file system fails: output is dropped, the program goes on, nothing is thrown, and what was
// written before stays whole.
#include <gtest/gtest.h>
#include <zem_util/trace.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "trace/fault_support.h"
#include "trace/trace_file_support.h"

namespace zem_util {
namespace {

using test_support::fileAt;
using test_support::lines;
using test_support::readFile;
using test_support::TempDir;

// "[fault 12:00:00.00 record 7 ...]": the record numbers of a file's whole records, in order; `tail` receives
// what follows the last line end.
std::vector<int> recordNumbers(const std::string& content, std::string* tail = nullptr) {
  static const std::regex pattern(R"(\[fault \d\d:\d\d:\d\d\.\d\d record (\d+) \.{40}\])");
  std::vector<int> numbers;
  std::istringstream stream(lines(content));
  std::string line;
  while (std::getline(stream, line)) {
    if (stream.eof()) break;  // no line end after it: not a whole record
    std::smatch match;
    if (!std::regex_match(line, match, pattern)) {
      ADD_FAILURE() << "not a whole record: " << line;
      continue;
    }
    numbers.push_back(std::stoi(match[1]));
  }
  if (tail) *tail = stream.eof() ? line : std::string();
  return numbers;
}

std::vector<int> range(int first, int end) {
  std::vector<int> numbers;
  for (int i = first; i < end; ++i) numbers.push_back(i);
  return numbers;
}

Ptr<Trace> traceTo(const std::string& path) {
  Ptr<Trace> trace(new Trace("fault"));
  trace->setFileName(path.c_str());
  trace->setMaxLevel(kInfo);
  return trace;
}

// The manager's trace file of `path`, which traces naming that path write to, with the given flush mode; taken
// out of the manager's registry at the end of the scope.
class RegisteredFile {
 public:
  RegisteredFile(const std::string& path, std::int32_t flushMode) : file_(getTraceMgr()->getTraceFile(path.c_str())) {
    test_support::configure(*file_, 100000000, 3, flushMode);
  }
  ~RegisteredFile() {
    getTraceMgr()->removeTraceFile(file_->getFileName());
    file_->close();
  }
  RegisteredFile(const RegisteredFile&) = delete;
  RegisteredFile& operator=(const RegisteredFile&) = delete;

  TraceFile* operator->() const { return file_.get(); }

 private:
  Ptr<TraceFile> file_;
};

// Whether `tail` is how a record of `trace` begins: what a write cut short leaves.
bool isStartOfRecord(const std::string& tail) {
  const std::string start = "[fault ";
  const std::size_t n = std::min(tail.size(), start.size());
  return tail.compare(0, n, start, 0, n) == 0 && tail.size() < 80 && tail.find(']') == std::string::npos;
}

void writeRecords(Trace& trace, int first, int end) {
  for (int i = first; i < end; ++i) trace.info("record %d %s", i, std::string(40, '.').c_str());
}

TEST(TraceFaultTest, DirectoryThatCannotBeCreatedDropsOutputUntilItExists) {
  TempDir dir;
  std::ofstream(dir / "blocked") << "a file where a directory should be";
  const std::string path = dir / "blocked/sub/x.log";
  RegisteredFile file(path, 0);
  Ptr<Trace> trace = traceTo(path);
  EXPECT_NO_THROW(writeRecords(*trace, 0, 5));
  EXPECT_FALSE(std::filesystem::is_directory(dir / "blocked"));

  // The file makes its directory once only; when something else has made it, the next record gets through.
  std::filesystem::remove(dir / "blocked");
  std::filesystem::create_directories(dir / "blocked/sub");
  writeRecords(*trace, 5, 8);
  file->close();
  EXPECT_EQ(recordNumbers(readFile(path)), range(5, 8));

  // A name the system refuses outright.
  const std::string tooLong = dir / (std::string(300, 'n') + "/x.log");
  RegisteredFile refused(tooLong, 0);
  EXPECT_NO_THROW(writeRecords(*traceTo(tooLong), 0, 3));
}

TEST(TraceFaultTest, FileReplacedByADirectoryDropsOutputUntilItIsBack) {
  TempDir dir;
  const std::string path = dir / "moving.log";
  RegisteredFile file(path, 2);  // closed after every record, opened again for the next
  Ptr<Trace> trace = traceTo(path);
  writeRecords(*trace, 0, 5);
  std::filesystem::rename(path, dir / "moved.log");
  std::filesystem::create_directory(path);
  EXPECT_NO_THROW(writeRecords(*trace, 5, 10));
  std::filesystem::remove(path);
  writeRecords(*trace, 10, 13);

  EXPECT_EQ(recordNumbers(readFile(dir / "moved.log")), range(0, 5));
  EXPECT_EQ(recordNumbers(readFile(path)), range(10, 13));
}

// In a child process whose files may not grow beyond 4096 bytes: records stop reaching the file in the middle
// of one, the others are dropped, and the program carries on; another file still gets its records.
TEST(TraceFaultTest, FileSizeLimitCutsTheFileButNothingBeforeIt) {
  constexpr std::size_t kLimit = 4096;
  for (const std::int32_t flushMode : {0, 2}) {
    TempDir dir;
    const std::string path = dir / "limited.log";
    const std::string after = dir / "after.log";
    const test_support::ChildOutcome outcome = test_support::runWithFileSizeLimit(kLimit, [&] {
      Ptr<Trace> trace = traceTo(path);
      {
        RegisteredFile file(path, flushMode);
        writeRecords(*trace, 0, 200);  // about 14000 bytes
      }
      RegisteredFile other(after, flushMode);
      trace->setFileName(after.c_str());
      writeRecords(*trace, 200, 205);
      return 0;
    });
    if (!outcome.ran) GTEST_SKIP() << outcome.why;
    EXPECT_EQ(outcome.signal, 0) << "flush mode " << flushMode;
    EXPECT_EQ(outcome.exitCode, 0) << "flush mode " << flushMode;

    const std::string content = readFile(path);
    EXPECT_EQ(content.size(), kLimit) << "flush mode " << flushMode;
    std::string tail;
    const std::vector<int> numbers = recordNumbers(content, &tail);
    EXPECT_EQ(numbers, range(0, static_cast<int>(numbers.size()))) << "flush mode " << flushMode;
    EXPECT_GT(numbers.size(), 50u);
    EXPECT_TRUE(isStartOfRecord(tail)) << "the cut record: " << tail;
    EXPECT_EQ(recordNumbers(readFile(after)), range(200, 205)) << "flush mode " << flushMode;
  }
}

// Every write fails with "no space left": the file's own records go nowhere, quietly, and a file that tees its
// records to it keeps all of its own.
TEST(TraceFaultTest, FullDiskDropsOutputAndSparesTheOtherFiles) {
  const std::string device = test_support::fullDevicePath();
  if (device.empty()) GTEST_SKIP() << "no device here that is always full";
  for (const std::int32_t flushMode : {0, 1, 2}) {
    TempDir dir;
    const std::string path = dir / "teeing.log";
    // A size limit far above what is written: a rotation would remove the device.
    Ptr<TraceFile> full = fileAt(device, 1000000000, 3, flushMode);
    {
      RegisteredFile teeing(path, flushMode);
      teeing->tee(full);
      EXPECT_NO_THROW(writeRecords(*traceTo(path), 0, 300)) << "flush mode " << flushMode;
      EXPECT_NO_THROW(full->flush());
      EXPECT_NO_THROW(full->close());
    }
    EXPECT_EQ(recordNumbers(readFile(path)), range(0, 300)) << "flush mode " << flushMode;
  }
}

}  // namespace
}  // namespace zem_util

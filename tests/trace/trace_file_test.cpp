#include <gtest/gtest.h>
#include <zem_util/trace.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "trace/trace_file_support.h"

namespace zem_util {
namespace {

using test_support::fileAt;
using test_support::lines;
using test_support::readFile;
using test_support::record;
using test_support::TempDir;

TEST(TraceFileTest, WritesExactRecordsAndCreatesItsDirectory) {
  TempDir dir;
  const std::string path = dir / "a/b/server.log";
  Ptr<TraceFile> file = fileAt(path);
  EXPECT_FALSE(std::filesystem::exists(dir / "a"));  // nothing touched before the first output
  record(*file, "server", "connection accepted");
  file->begin(ArrayPtr<char>("outer"));
  file->print("a");
  file->begin(ArrayPtr<char>("inner"));  // nested: same record, outer header
  file->printf("%d", 42);
  file->end();
  file->write("b]c\nd", 5);
  file->end();
  record(*file, "empty", "");
  file->begin(ArrayPtr<char>("silent"));  // no output: no record
  file->end();
  file->end();  // a stray end is ignored and harms nothing after it
  record(*file, "last", "ok");

  const std::string time = R"(\d\d:\d\d:\d\d\.\d\d)";
  const std::regex expected("\\[server " + time + " connection accepted\\]\n" + "\\[outer " + time +
                            " a42b\\]c\nd\\]\n" + "\\[empty " + time + " \\]\n" + "\\[last " + time + " ok\\]\n");
  const std::string content = lines(readFile(path));
  EXPECT_TRUE(std::regex_match(content, expected)) << content;
}

TEST(TraceFileTest, RotatesWhenFullAndKeepsTheNewestFiles) {
  TempDir dir;
  {
    Ptr<TraceFile> file = fileAt(dir / "rot.log", 100, 2, 0);
    // Records of 33 bytes (34 where the line end is CR LF): a file takes three or four, then rotates.
    // 14 records never end exactly at a rotation, which would delete one more old file.
    for (int i = 0; i < 14; ++i) record(*file, "r", format("record number %02d", i).toNullTerminatedPtr());
  }
  // Two old files are kept besides the current one, and the oldest are the ones gone.
  std::vector<int> kept;
  for (int index = 0; index <= 8; ++index) {
    if (std::filesystem::exists(dir / (index == 0 ? "rot.log" : "rot_" + std::to_string(index) + ".log")))
      kept.push_back(index);
  }
  ASSERT_EQ(kept.size(), 3u) << testing::PrintToString(kept);
  EXPECT_GT(kept[0], 0);
  EXPECT_EQ(kept[2] - kept[0], 2) << testing::PrintToString(kept);
  int number = -1;
  for (int index : kept) {
    const std::string content = readFile(dir / ("rot_" + std::to_string(index) + ".log"));
    if (index != kept.back()) {
      EXPECT_GE(content.size(), 100u);  // a file rotates only once full...
    }
    std::istringstream stream(lines(content));
    for (std::string line; std::getline(stream, line);) {
      // ...and never in the middle of a record: every line is whole, in order, once.
      EXPECT_TRUE(std::regex_match(line, std::regex(R"(\[r \S+ record number \d\d\])"))) << line;
      const int current = std::stoi(line.substr(line.size() - 3, 2));
      if (number >= 0) {
        EXPECT_EQ(current, number + 1) << line;
      }
      number = current;
    }
  }
  EXPECT_EQ(number, 13);
}

TEST(TraceFileTest, ExistingFullFilesAreSkippedBeforeWriting) {
  TempDir dir;
  for (const char* name : {"full.log", "full_1.log"}) std::ofstream(dir / name) << std::string(200, 'x');
  Ptr<TraceFile> file = fileAt(dir / "full.log", 100, 5);
  record(*file, "h", "fresh");
  EXPECT_EQ(readFile(dir / "full.log"), std::string(200, 'x'));
  EXPECT_EQ(readFile(dir / "full_1.log"), std::string(200, 'x'));
  EXPECT_NE(readFile(dir / "full_2.log").find("fresh]"), std::string::npos);
}

TEST(TraceFileTest, FlushModesDecideWhenBytesReachTheDisk) {
  TempDir dir;
  Ptr<TraceFile> buffered = fileAt(dir / "m0.log", 100000000, 3, 0);
  Ptr<TraceFile> flushed = fileAt(dir / "m1.log", 100000000, 3, 1);
  Ptr<TraceFile> closed = fileAt(dir / "m2.log", 100000000, 3, 2);
  for (TraceFile* file : {buffered.get(), flushed.get(), closed.get()}) record(*file, "h", "text");
  EXPECT_EQ(readFile(dir / "m0.log"), "");  // still in the stream's buffer
  EXPECT_NE(readFile(dir / "m1.log").find("text]"), std::string::npos);
  EXPECT_NE(readFile(dir / "m2.log").find("text]"), std::string::npos);
  // Mode 2 closed the file: removing it and writing again recreates it (and not its directory twice).
  std::filesystem::remove(dir / "m2.log");
  record(*closed, "h", "again");
  EXPECT_NE(readFile(dir / "m2.log").find("again]"), std::string::npos);
  buffered->close();
  EXPECT_NE(readFile(dir / "m0.log").find("text]"), std::string::npos);
}

TEST(TraceFileTest, TeeCopiesAndRedirectDiverts) {
  TempDir dir;
  Ptr<TraceFile> main = fileAt(dir / "main.log");
  Ptr<TraceFile> copy = fileAt(dir / "copy.log");
  Ptr<TraceFile> other = fileAt(dir / "other.log");
  copy->tee(other);  // chains are followed
  main->tee(copy);
  record(*main, "h", "both");
  main->redirect(copy);
  record(*main, "h", "diverted");
  main->tee(Ptr<TraceFile>());
  record(*main, "h", "own");

  const std::string mainText = readFile(dir / "main.log");
  EXPECT_NE(mainText.find("both]"), std::string::npos);
  EXPECT_EQ(mainText.find("diverted]"), std::string::npos);
  EXPECT_NE(mainText.find("own]"), std::string::npos);
  for (const char* name : {"copy.log", "other.log"}) {
    const std::string text = readFile(dir / name);
    EXPECT_NE(text.find("both]"), std::string::npos) << name;
    EXPECT_NE(text.find("diverted]"), std::string::npos) << name;
    EXPECT_EQ(text.find("own]"), std::string::npos) << name;
  }
}

TEST(TraceFileTest, PrintMsgTranslatesThroughItsParameters) {
  TempDir dir;
  const char* pairs[] = {"HELLO", "Hello {0}", nullptr};
  Translator catalogue(pairs);
  Ptr<TraceFile> file = fileAt(dir / "msg.log");
  ArrayPtr<char> values[] = {"Ann", ""};
  ArrayPtr<ArrayPtr<char>> params;
  params = values;

  file->begin(ArrayPtr<char>("h"));
  file->printMsg("HELLO", params);  // no translator: the identifier, parameters unused
  file->end();
  TraceParameters parameters = file->getParameters();
  parameters.translator = &catalogue;
  file->setParameters(parameters);
  file->begin(ArrayPtr<char>("h"));
  file->printMsg("HELLO", params);
  file->printMsg(" HELLO");
  file->end();
  const std::string text = lines(readFile(dir / "msg.log"));
  EXPECT_NE(text.find(" HELLO]\n"), std::string::npos);
  EXPECT_NE(text.find(" Hello Ann HELLO]\n"), std::string::npos);
}

TEST(TraceFileTest, UnwritablePathDropsOutputSilently) {
  TempDir dir;
  std::ofstream(dir / "plain") << "a file where a directory should be";
  Ptr<TraceFile> file = fileAt(dir / "plain/sub/x.log");
  EXPECT_FALSE(file->open());
  record(*file, "h", "lost");
  EXPECT_FALSE(std::filesystem::exists(dir / "plain/sub"));
  for (const ArrayPtr<char>& name : {ArrayPtr<char>(), ArrayPtr<char>("")}) {
    Ptr<TraceFile> nameless(new TraceFile(name));
    EXPECT_FALSE(nameless->open());
    record(*nameless, "h", "lost");
  }
}

TEST(TraceFileTest, StandardStreamsAreNamedExactly) {
  TempDir dir;
  Ptr<TraceFile> out = fileAt("stdout");
  EXPECT_TRUE(out->open());
  out->close();
  out->redirect(Ptr<TraceFile>());
  EXPECT_TRUE(out->open());  // never closed
  const std::string notStdout = dir / "Stdout";
  Ptr<TraceFile> file = fileAt(notStdout);
  record(*file, "h", "disk");
  EXPECT_NE(readFile(notStdout).find("disk]"), std::string::npos);
}

}  // namespace
}  // namespace zem_util

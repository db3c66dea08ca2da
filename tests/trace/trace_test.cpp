// Trace files (records, rotation, flush modes, tee and redirect), traces (levels, blocks, binding), the manager's
// registries and defaults, and tracing when the file system fails: output is dropped, the program goes on,
// nothing is thrown, and what was written before stays whole.
#include <gtest/gtest.h>
#include <zem_util/env.h>
#include <zem_util/trace.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

#include "support/platform.h"
#include "support/temp_dir.h"

namespace zem_util {
namespace {

using test_support::TempDir;

// A file's records with the line ends of every platform read as "\n" (Windows text mode writes CR LF), and their
// times taken out: "[server 14:03:27.05 text]" -> "[server text]".
std::string recordsWithoutTimes(const std::string& path) {
  std::string text = test_support::readFile(path);
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return std::regex_replace(text, std::regex(R"( \d\d:\d\d:\d\d\.\d\d )"), " ");
}

// `file`, given these parameters and no translator.
Ptr<TraceFile> configure(Ptr<TraceFile> file, int maxFileSize, unsigned maxOldFiles, int flushMode) {
  file->setParameters({file->getFileName(), maxFileSize, maxOldFiles, flushMode, nullptr});
  return file;
}

// A trace file of its own (not registered with the manager) at `path`.
Ptr<TraceFile> fileAt(const std::string& path, int maxFileSize = 100000000, unsigned maxOldFiles = 3,
                      int flushMode = 2) {
  return configure(new TraceFile(path.c_str()), maxFileSize, maxOldFiles, flushMode);
}

// One record: `text` under `header`.
void record(TraceFile& file, const char* header, const char* text) {
  file.begin(ArrayPtr<char>(header));
  file.print(text);
  file.end();
}

// A trace of its own (not registered with the manager) writing to `path`.
Ptr<Trace> newTrace(const char* name, const std::string& path, int maxLevel = kInfo) {
  Ptr<Trace> trace(new Trace(name));
  trace->setFileName(path.c_str());
  trace->setMaxLevel(maxLevel);
  return trace;
}

// Each test gets a directory of its own, where the manager's default file lies too.
class TraceTest : public testing::Test {
 protected:
  void SetUp() override {
    TraceParameters parameters = saved_;
    parameters.fileName = (dir_ / "default.log").c_str();
    parameters.flushMode = 2;
    getTraceMgr()->setDefaultParameters(parameters);
  }
  void TearDown() override { getTraceMgr()->setDefaultParameters(saved_); }

  // The records of <dir>/<file>, their times taken out: "[server 14:03:27.05 text]" -> "[server text]".
  std::string contentOf(const std::string& file) { return recordsWithoutTimes(dir_ / file); }

  test_support::TempDir dir_;
  const TraceParameters saved_ = getTraceMgr()->getDefaultParameters();
};

TEST_F(TraceTest, FilesWriteExactRecordsAndCreateTheirDirectory) {
  Ptr<TraceFile> file = fileAt(dir_ / "a/b/server.log");
  EXPECT_FALSE(std::filesystem::exists(dir_ / "a"));  // nothing touched before the first output
  record(*file, "server", "connection accepted");
  file->begin(ArrayPtr<char>("outer"));
  file->print("a");
  file->begin(ArrayPtr<char>("inner"));  // nested: the same record, under the outer header
  file->printf("%d", 42);
  file->end();
  file->write("b]c\nd", 5);
  file->end();
  record(*file, "empty", "");
  file->begin(ArrayPtr<char>("silent"));  // no output: no record
  file->end();
  file->end();  // a stray end is ignored and harms nothing after it
  record(*file, "last", "ok");
  EXPECT_EQ(contentOf("a/b/server.log"), "[server connection accepted]\n[outer a42b]c\nd]\n[empty ]\n[last ok]\n");
  for (const ArrayPtr<char>& name : {ArrayPtr<char>(), ArrayPtr<char>("")}) {
    Ptr<TraceFile> nameless(new TraceFile(name));
    EXPECT_FALSE(nameless->open());
    record(*nameless, "h", "lost");
  }
  Ptr<TraceFile> out = fileAt("stdout");  // the standard stream, never closed; "Stdout" is a file
  out->close();
  out->redirect(Ptr<TraceFile>());
  EXPECT_TRUE(out->open());
  record(*fileAt(dir_ / "Stdout"), "h", "disk");
  EXPECT_EQ(contentOf("Stdout"), "[h disk]\n");
}

// Records of 19 bytes (20 where the line end is CR LF) in files of 50: a file takes three, then rotates, keeping
// two old files. 14 records never end exactly at a rotation, which would delete one more old file.
TEST_F(TraceTest, FilesRotateWhenFullAndKeepTheNewest) {
  {
    Ptr<TraceFile> file = fileAt(dir_ / "rot.log", 50, 2, 0);
    for (int i = 10; i < 24; ++i) record(*file, "r", std::to_string(i).c_str());
  }
  std::string names;
  for (int index = 0; index <= 9; ++index) {
    const std::string name = index == 0 ? "rot.log" : "rot_" + std::to_string(index) + ".log";
    if (std::filesystem::exists(dir_ / name)) names += " " + name + ": " + contentOf(name);
  }
  EXPECT_EQ(names,
            " rot_2.log: [r 16]\n[r 17]\n[r 18]\n rot_3.log: [r 19]\n[r 20]\n[r 21]\n rot_4.log: [r 22]\n[r 23]\n");
  // A file that is full already is passed over before anything is written; one byte short of it is written to.
  std::ofstream(dir_ / "full.log", std::ios::binary) << std::string(100, 'x');
  std::ofstream(dir_ / "full_1.log", std::ios::binary) << std::string(99, 'x');
  record(*fileAt(dir_ / "full.log", 100, 5), "h", "fresh");
  EXPECT_EQ(contentOf("full.log") + contentOf("full_1.log"), std::string(199, 'x') + "[h fresh]\n");
}

TEST_F(TraceTest, FlushModesDecideWhenBytesReachTheDisk) {
  Ptr<TraceFile> files[] = {fileAt(dir_ / "m0.log", 100000000, 3, 0), fileAt(dir_ / "m1.log", 100000000, 3, 1),
                            fileAt(dir_ / "m2.log", 100000000, 3, 2)};
  for (auto& file : files) record(*file, "h", "text");
  EXPECT_EQ(contentOf("m0.log") + "|" + contentOf("m1.log"), "|[h text]\n");  // mode 0: still in the buffer
  std::filesystem::remove(dir_ / "m2.log");                                   // mode 2: closed, so made anew
  record(*files[2], "h", "again");
  EXPECT_EQ(contentOf("m2.log"), "[h again]\n");
  files[0]->close();
  EXPECT_EQ(contentOf("m0.log"), "[h text]\n");
  // Mode 1 flushes the standard output too: a child that leaves without flushing stdio still wrote its record.
  std::string whyNot;
  const int status = test_support::runWithFileSizeLimit(
      1 << 20,
      [&] {
        if (std::freopen((dir_ / "stdout.txt").c_str(), "w", stdout) == nullptr) return 1;
        record(*fileAt("stdout", 100000000, 3, 1), "h", "out");
        return 0;
      },
      &whyNot);
  if (status < 0) GTEST_SKIP() << whyNot;
  EXPECT_EQ(std::to_string(status) + contentOf("stdout.txt"), "0[h out]\n");
}

// Every output goes to the tee as well, or only to the redirect; each file translates with its own parameters.
TEST_F(TraceTest, TeeCopiesRedirectDivertsAndPrintMsgTranslates) {
  Ptr<TraceFile> main = fileAt(dir_ / "main.log"), copy = fileAt(dir_ / "copy.log"), other = fileAt(dir_ / "other.log");
  const char* pairs[] = {"HELLO", "Hello {0}", "BYE", "Bye", nullptr};
  Translator catalogue(pairs);
  TraceParameters parameters = main->getParameters();
  parameters.translator = &catalogue;
  main->setParameters(parameters);
  ArrayPtr<char> values[] = {"Ann", ""};
  ArrayPtr<ArrayPtr<char>> params;
  params = values;
  const auto writeAll = [&] {
    main->begin(ArrayPtr<char>("h"));
    main->print("p ");
    main->printf("%d ", 1);
    main->write("w ", 2);
    main->printMsg("HELLO", params);
    main->printMsg("BYE");
    main->printMsg(ArrayPtr<char>());  // nothing
    main->end();
  };
  copy->tee(other);  // chains are followed
  main->tee(copy);
  writeAll();
  main->redirect(copy);
  writeAll();
  main->tee(Ptr<TraceFile>());
  record(*main, "h", "own");
  EXPECT_EQ(contentOf("main.log"), "[h p 1 w Hello AnnBye]\n[h own]\n");
  EXPECT_EQ(contentOf("copy.log"), "[h p 1 w HELLOBYE]\n[h p 1 w HELLOBYE]\n");
  EXPECT_EQ(contentOf("other.log"), contentOf("copy.log"));
}

TEST_F(TraceTest, LevelsSelectWhatIsWrittenAndRaiseTheFlushMode) {
  Ptr<Trace> trace = newTrace("lvl", dir_ / "levels.log", kError);
  Ptr<TraceFile> file = configure(getTraceMgr()->getTraceFile((dir_ / "levels.log").c_str()), 100000000, 3, 0);
  trace->setMaxLevel(10);  // not bound yet: no file changes
  EXPECT_EQ(file->getParameters().flushMode, 0);
  trace->setMaxLevel(kError);
  trace->error("e1");  // binds
  for (int level : {kStandard, kInfo, kDetail}) trace->print(level, "hidden");
  trace->setMaxLevel(4);  // detail: every record flushed
  EXPECT_EQ(file->getParameters().flushMode, 1);
  trace->detail("t4");
  trace->print(5, "hidden");
  trace->setMaxLevel(9);  // below debug: still flushed only
  EXPECT_EQ(file->getParameters().flushMode, 1);
  trace->debug("hidden");
  trace->setMaxLevel(10);  // debug: the file closed after every record
  EXPECT_EQ(file->getParameters().flushMode, 2);
  trace->printf(9, "p%d", 9);
  trace->debug("d10");
  trace->standard("s2");
  trace->setMaxLevel(1);
  EXPECT_EQ(file->getParameters().flushMode, 2);  // never lowered
  EXPECT_TRUE(trace->isActive(-5) && !trace->isActive(2));
  trace->setMaxLevel(0);  // off
  trace->print(0, "hidden");
  trace->error("hidden");
  EXPECT_EQ(contentOf("levels.log"), "[lvl e1]\n[lvl t4]\n[lvl p9]\n[lvl d10]\n[lvl s2]\n");
}

TEST_F(TraceTest, TracesMakeBlocksShareFilesByNameAndRebind) {
  Ptr<Trace> first = newTrace("a", dir_ / "shared.log"), second = newTrace("b", dir_ / "shared.log");
  first->begin();
  first->info("one");
  first->info(", two");
  first->end();
  second->begin(ArrayPtr<char>("special"));
  second->error("once");
  second->end();
  first->setFileName((dir_ / "shared.log").c_str());  // the same name: the binding stays
  first->setHeader("renamed");
  first->error("again");
  first->setMaxLevel(kStandard);
  first->begin();
  first->info("hidden");
  first->end();
  first->setFileName((dir_ / "moved.log").c_str());
  first->error("moved");
  first->setFileName(ArrayPtr<char>(""));  // the manager's default file
  first->error("to default");
  EXPECT_EQ(contentOf("shared.log"), "[a one, two]\n[special once]\n[renamed again]\n");
  EXPECT_EQ(contentOf("moved.log"), "[renamed moved]\n");
}

TEST_F(TraceTest, ManagerCompletesNamesAndRegistersFilesAndTraces) {
  TraceMgr* manager = getTraceMgr();
  const ArrayPtr<char> full = getFullPath((dir_ / "net.log").c_str());
  Ptr<TraceFile> byBase = manager->getTraceFile("net");
  EXPECT_EQ(manager->getTraceFile("net.log"), byBase);
  EXPECT_EQ(manager->getTraceFile(full), byBase);
  EXPECT_EQ(byBase->getFileName().str(), full.str());
  // "sub/.": the directory is made full on its own, "<dir>/sub", and the default name added without a separator.
  const std::pair<const char*, const char*> names[] = {{"../other.txt", "../other.txt"},
                                                       {"sub/", "sub/default.log"},
                                                       {"x.y/a", "x.y/a.log"},
                                                       {"sub/.", "subdefault.log"}};
  for (const auto& [asked, completed] : names) {
    EXPECT_EQ(manager->getTraceFile(asked)->getFileName().str(), getFullPath((dir_ / completed).c_str()).str());
  }
  EXPECT_EQ(manager->getTraceFile("stdout")->getFileName().str(), "stdout");
  EXPECT_EQ(manager->getTraceFile(""), manager->getTraceFile());
  manager->removeTraceFile("net.log");  // relative: not the registered key
  EXPECT_EQ(manager->getTraceFile("net"), byBase);
  manager->removeTraceFile(full);
  EXPECT_NE(manager->getTraceFile("net"), byBase);

  Ptr<Trace> trace = manager->getTrace("component");
  EXPECT_EQ(manager->getTrace("component"), trace);
  EXPECT_NE(manager->getTrace("Component"), trace);
  EXPECT_EQ(manager->getTrace(ArrayPtr<char>("")), manager->getTrace());
  EXPECT_EQ(manager->getTrace(), manager->getTrace(getProcessName()));
  trace->setMaxLevel(7);
  manager->removeTrace("component");
  EXPECT_EQ(manager->getTrace("component")->getMaxLevel(), 1);  // a new one
  EXPECT_EQ(trace->getMaxLevel(), 7);                           // holders keep the old one
}

TEST_F(TraceTest, DefaultParametersCompleteAgainstTheCurrentDefault) {
  TraceParameters parameters = getTraceMgr()->getDefaultParameters();
  parameters.fileName = "sub/next";  // relative, no extension
  parameters.maxFileSize = 1234;
  parameters.maxOldFiles = 7;
  getTraceMgr()->setDefaultParameters(parameters);
  const TraceParameters now = getTraceMgr()->getDefaultParameters();
  EXPECT_EQ(now.fileName.str(), getFullPath((dir_ / "sub/next.log").c_str()).str());
  EXPECT_EQ(now.maxFileSize, 1234);
  EXPECT_EQ(getTraceMgr()->getTraceFile("fresh")->getParameters().maxOldFiles, 7u);
  // The built-in set: <exe dir>ZemTrace<sep><name>_YYMMDD_HHMMSS_<pid>.log, of the day it was made.
  const std::time_t today = std::time(nullptr);
  char date[16];
  std::strftime(date, sizeof date, "%Y%m%d", std::localtime(&today));
  const std::string directory = getProcessDirectory().str();
  const std::string expected = "ZemTrace[/\\\\]" + getProcessName().str() + "_" + (date + 2) + "_\\d{6}_" +
                               std::to_string(getCurrentProcessId()) + "\\.log";
  EXPECT_EQ(saved_.fileName.str().substr(0, directory.size()), directory);
  EXPECT_TRUE(std::regex_match(saved_.fileName.str().substr(directory.size()), std::regex(expected)))
      << saved_.fileName.str();
  EXPECT_EQ(saved_.maxFileSize * 10 + saved_.maxOldFiles, 1000000003);
  EXPECT_EQ(saved_.translator, getTranslator());
}

// A record is put together in a buffer of its thread before the file is locked: records far larger than that
// buffer, formatted or not, are written whole, and so are the small records after them. Without flushes, the
// 20000-byte records fill the file's own buffer, and the 100000-byte ones pass it by.
TEST_F(TraceTest, RecordsLargerThanTheThreadsBufferAreWrittenWhole) {
  Ptr<Trace> trace = newTrace("big", dir_ / "big.log");
  Ptr<TraceFile> file = configure(getTraceMgr()->getTraceFile((dir_ / "big.log").c_str()), 100000000, 3, 0);
  std::string expected;
  for (const std::size_t size : {1000u, 5000u, 20000u, 100000u}) {
    const std::string x(size, 'x');
    trace->error("%s|%d", x.c_str(), 7);
    trace->print(kError, x.c_str());
    trace->error("after %d", static_cast<int>(size));
    expected += "[big " + x + "|7]\n[big " + x + "]\n[big after " + std::to_string(size) + "]\n";
  }
  file->close();
  EXPECT_TRUE(contentOf("big.log") == expected);
}

// The size test follows each record: a record that brings the file to its limit, or past it, is the file's last.
TEST_F(TraceTest, ARecordReachingTheSizeLimitEndsItsFile) {
  record(*fileAt(dir_ / "probe.log"), "h", "first");
  const auto size = static_cast<std::int32_t>(std::filesystem::file_size(dir_ / "probe.log"));  // CR LF or LF
  for (const std::int32_t limit : {size + 1, size, size - 1}) {
    const std::string name = "at" + std::to_string(limit);
    Ptr<TraceFile> file = fileAt(dir_ / (name + ".log"), limit, 3, 2);
    record(*file, "h", "first");
    record(*file, "h", "other");
    EXPECT_EQ(std::filesystem::exists(dir_ / (name + "_1.log")), limit <= size) << limit;
  }
}

// A class that overrides getHeader heads its records with what it returns; the macros test the maximum level
// inline and evaluate nothing else when it is too low.
TEST_F(TraceTest, DerivedHeadersAndInlineLevelTests) {
  struct Tagged : Trace {
    Tagged() : Trace("plain") {}
    ArrayPtr<char> getHeader() const override { return "tagged"; }
  };
  Ptr<Trace> trace(new Tagged);
  trace->setFileName((dir_ / "tagged.log").c_str());
  int evaluated = 0;
  ZEM_UTIL_TRACE_ERROR(trace, "e%d", ++evaluated);
  ZEM_UTIL_TRACE_INFO(trace, "i%d", ++evaluated);
  ZEM_UTIL_TRACE_PRINTF(trace.get(), kDebug, "d%d", ++evaluated);
  trace->setMaxLevel(kDebug);
  ZEM_UTIL_TRACE_DEBUG(trace.get(), "d%d", ++evaluated);
  EXPECT_EQ(evaluated, 2);
  EXPECT_EQ(contentOf("tagged.log"), "[tagged e1]\n[tagged d2]\n");
}

// A guarded block ends when an exception leaves it: one left open would keep the file locked by a thread that
// has ended.
TEST_F(TraceTest, TraceBlockEndsItsBlockWhenAnExceptionLeavesIt) {
  Ptr<Trace> trace = newTrace("blk", dir_ / "block.log");
  Ptr<TraceFile> file = getTraceMgr()->getTraceFile((dir_ / "block.log").c_str());
  std::thread([&] {
    try {  // the stress test has blocks of traces end normally
      TraceBlock block(*file, "file");
      file->print("by file");
      throw std::runtime_error("failed");
    } catch (const std::runtime_error&) {
    }
  }).join();
  trace->info("after");  // would wait for the lock for good
  EXPECT_EQ(contentOf("block.log"), "[file by file]\n[blk after]\n");
}

// Records first..end-1: "[fault 12:00:00.00 record 7 ........]".
void writeRecords(Trace& trace, int first, int end) {
  for (int i = first; i < end; ++i) trace.info("record %d %s", i, std::string(40, '.').c_str());
}

// Records first..end-1 as a file holds them, times taken out.
std::string recordTexts(int first, int end) {
  std::string texts;
  for (int i = first; i < end; ++i) texts += "[fault record " + std::to_string(i) + " " + std::string(40, '.') + "]\n";
  return texts;
}

// The manager's trace file of `path`, which the traces below write to, with the given flush mode; taken out of the
// manager's registry at the end of the scope.
struct RegisteredFile {
  RegisteredFile(const std::string& path, int flushMode)
      : file(configure(getTraceMgr()->getTraceFile(path.c_str()), 100000000, 3, flushMode)) {}
  ~RegisteredFile() { getTraceMgr()->removeTraceFile(file->getFileName()), file->close(); }
  const Ptr<TraceFile> file;
};

TEST(TraceFaultTest, UnusablePathsDropOutputUntilTheyWork) {
  TempDir dir;
  // A directory that cannot be made: the file makes it once only, so records get through once another has.
  std::ofstream(dir / "blocked") << "a file where a directory should be";
  const std::string blocked = dir / "blocked/sub/x.log";
  RegisteredFile file(blocked, 0);
  Ptr<Trace> trace = newTrace("fault", blocked);
  EXPECT_NO_THROW(writeRecords(*trace, 0, 5));
  EXPECT_FALSE(std::filesystem::is_directory(dir / "blocked"));
  std::filesystem::remove(dir / "blocked");
  std::filesystem::create_directories(dir / "blocked/sub");
  writeRecords(*trace, 5, 8);
  file.file->close();
  EXPECT_EQ(recordsWithoutTimes(blocked), recordTexts(5, 8));
  // A file replaced by a directory between records (each closes it), then back.
  const std::string moving = dir / "moving.log";
  RegisteredFile closing(moving, 2);
  trace->setFileName(moving.c_str());
  writeRecords(*trace, 0, 5);
  std::filesystem::rename(moving, dir / "moved.log");
  std::filesystem::create_directory(moving);
  EXPECT_NO_THROW(writeRecords(*trace, 5, 10));
  std::filesystem::remove(moving);
  writeRecords(*trace, 10, 13);
  EXPECT_EQ(recordsWithoutTimes(dir / "moved.log"), recordTexts(0, 5));
  EXPECT_EQ(recordsWithoutTimes(moving), recordTexts(10, 13));
  // A name the system refuses outright.
  const std::string tooLong = dir / (std::string(300, 'n') + "/x.log");
  RegisteredFile refused(tooLong, 0);
  EXPECT_NO_THROW(writeRecords(*newTrace("fault", tooLong), 0, 3));
}

// In a child process whose files may not grow beyond 4096 bytes: records stop reaching the file in the middle of
// one, the others are dropped, and the program carries on; another file still gets its records.
TEST(TraceFaultTest, FileSizeLimitCutsTheFileInsideOneRecordAtMost) {
  for (const std::int32_t flushMode : {0, 2}) {
    TempDir dir;
    const std::string path = dir / "limited.log", after = dir / "after.log";
    std::string whyNot;
    const int status = test_support::runWithFileSizeLimit(
        4096,
        [&] {
          Ptr<Trace> trace = newTrace("fault", path);
          {
            RegisteredFile file(path, flushMode);
            writeRecords(*trace, 0, 200);  // about 14000 bytes
          }
          RegisteredFile other(after, flushMode);
          trace->setFileName(after.c_str());
          writeRecords(*trace, 200, 205);
          return 0;
        },
        &whyNot);
    if (status < 0) GTEST_SKIP() << whyNot;
    EXPECT_EQ(status, 0) << "flush mode " << flushMode;
    const std::string content = recordsWithoutTimes(path);
    const std::size_t whole = content.rfind('\n') + 1;
    const int count = static_cast<int>(std::count(content.begin(), content.end(), '\n'));
    EXPECT_EQ(std::filesystem::file_size(path), 4096u);
    EXPECT_GT(count, 50);
    EXPECT_EQ(content.substr(0, whole), recordTexts(0, count)) << "flush mode " << flushMode;
    // The one record cut short: how a record begins, without its end.
    const std::string tail = content.substr(whole);
    EXPECT_EQ(tail.substr(0, 7), std::string("[fault ").substr(0, tail.size()));
    EXPECT_EQ(tail.find(']'), std::string::npos);
    EXPECT_EQ(recordsWithoutTimes(after), recordTexts(200, 205)) << "flush mode " << flushMode;
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
      teeing.file->tee(full);
      EXPECT_NO_THROW(writeRecords(*newTrace("fault", path), 0, 300)) << "flush mode " << flushMode;
      EXPECT_NO_THROW(full->flush());
      EXPECT_NO_THROW(full->close());
    }
    EXPECT_EQ(recordsWithoutTimes(path), recordTexts(0, 300)) << "flush mode " << flushMode;
  }
}

}  // namespace
}  // namespace zem_util

#include <gtest/gtest.h>
#include <zem_util/env.h>
#include <zem_util/trace.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <future>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "support/temp_dir.h"
#include "trace/trace_file_support.h"

namespace zem_util {
namespace {

using test_support::readFile;
using test_support::TempDir;

// Points the manager's defaults into a fresh directory for the test's lifetime.
class TraceTest : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = getTraceMgr()->getDefaultParameters();
    TraceParameters parameters = saved_;
    parameters.fileName = (dir_ / "default.log").c_str();
    parameters.flushMode = 2;
    getTraceMgr()->setDefaultParameters(parameters);
  }
  void TearDown() override { getTraceMgr()->setDefaultParameters(saved_); }

  // A trace of its own, writing to <dir>/<file>.log.
  Ptr<Trace> traceTo(const char* name, const char* file) {
    Ptr<Trace> trace(new Trace(name));
    trace->setFileName((dir_ / file).c_str());
    return trace;
  }
  std::string contentOf(const char* file) { return readFile(dir_ / file); }

  TempDir dir_;
  TraceParameters saved_;
};

TEST_F(TraceTest, LevelsSelectWhatIsWritten) {
  Ptr<Trace> trace = traceTo("lvl", "levels.log");
  trace->error("e1");
  trace->standard("s1");
  trace->info("i1");
  trace->debug("d1");
  trace->setMaxLevel(4);
  trace->detail("t4");
  trace->print(5, "p5");
  trace->debug("d2");
  trace->setMaxLevel(10);
  trace->printf(9, "p%d", 9);
  trace->debug("d3");
  trace->setMaxLevel(0);
  trace->error("e2");
  trace->print(0, "zero");
  trace->print(-1, "negative");
  const std::string text = contentOf("levels.log");
  for (const char* present : {" e1]", " t4]", " p9]", " d3]"})
    EXPECT_NE(text.find(present), std::string::npos) << present;
  for (const char* absent : {"s1", "i1", "d1", "p5", "d2", "e2", "zero", "negative"})
    EXPECT_EQ(text.find(absent), std::string::npos) << absent;
  EXPECT_FALSE(trace->isActive(0));
  trace->setMaxLevel(1);
  EXPECT_TRUE(trace->isActive(-5));
}

TEST_F(TraceTest, DetailAndDebugLevelsRaiseTheFilesFlushMode) {
  TraceParameters parameters = getTraceMgr()->getDefaultParameters();
  parameters.flushMode = 0;
  getTraceMgr()->setDefaultParameters(parameters);
  Ptr<Trace> trace = traceTo("flush", "flush.log");
  trace->setMaxLevel(10);  // not bound yet: no file changes
  Ptr<TraceFile> file = getTraceMgr()->getTraceFile((dir_ / "flush.log").c_str());
  EXPECT_EQ(file->getParameters().flushMode, 0);
  trace->setMaxLevel(4);
  trace->error("bind");  // binding applies the level: 4 -> mode 1
  EXPECT_EQ(file->getParameters().flushMode, 1);
  trace->setMaxLevel(10);
  EXPECT_EQ(file->getParameters().flushMode, 2);
  trace->setMaxLevel(1);
  EXPECT_EQ(file->getParameters().flushMode, 2);  // never lowered
}

TEST_F(TraceTest, BlocksMakeOneRecordWithTheirHeader) {
  Ptr<Trace> trace = traceTo("blk", "blocks.log");
  trace->setMaxLevel(3);
  trace->begin();
  trace->info("one");
  trace->info(", two");
  trace->end();
  trace->begin(ArrayPtr<char>("special"));
  trace->error("once");
  trace->end();
  trace->setHeader("renamed");
  trace->error("after");
  trace->setMaxLevel(2);
  trace->begin();
  trace->info("hidden");
  trace->end();
  const std::string time = R"(\d\d:\d\d:\d\d\.\d\d)";
  std::string text = contentOf("blocks.log");
  for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
  EXPECT_TRUE(std::regex_match(text, std::regex("\\[blk " + time + " one, two\\]\n\\[special " + time +
                                                " once\\]\n\\[renamed " + time + " after\\]\n")))
      << text;
}

TEST_F(TraceTest, SetFileNameRebindsAndSharesFilesByName) {
  Ptr<Trace> first = traceTo("a", "shared.log");
  Ptr<Trace> second = traceTo("b", "shared.log");
  first->error("from a");
  second->error("from b");
  EXPECT_NE(contentOf("shared.log").find("[b "), std::string::npos);
  first->setFileName((dir_ / "shared.log").c_str());  // same name: binding kept
  first->setFileName((dir_ / "moved.log").c_str());
  first->error("moved");
  EXPECT_NE(contentOf("moved.log").find(" moved]"), std::string::npos);
  first->setFileName(ArrayPtr<char>(""));  // the default trace file
  first->error("to default");
  EXPECT_EQ(contentOf("shared.log").find("to default"), std::string::npos);
}

TEST_F(TraceTest, ManagerCompletesNamesToOneFileObject) {
  TraceMgr* manager = getTraceMgr();
  Ptr<TraceFile> byBase = manager->getTraceFile("net");
  Ptr<TraceFile> byName = manager->getTraceFile("net.log");
  Ptr<TraceFile> byPath = manager->getTraceFile(getFullPath((dir_ / "net.log").c_str()));
  EXPECT_EQ(byBase.get(), byName.get());
  EXPECT_EQ(byBase.get(), byPath.get());
  EXPECT_TRUE(byBase->getFileName() == getFullPath((dir_ / "net.log").c_str()));
  EXPECT_TRUE(manager->getTraceFile("other.txt")->getFileName() == getFullPath((dir_ / "other.txt").c_str()));
  EXPECT_TRUE(manager->getTraceFile("stdout")->getFileName() == ArrayPtr<char>("stdout"));

  manager->removeTraceFile("net.log");  // relative: not the registered key
  EXPECT_EQ(manager->getTraceFile("net").get(), byBase.get());
  manager->removeTraceFile(byBase->getFileName());
  EXPECT_NE(manager->getTraceFile("net").get(), byBase.get());
}

TEST_F(TraceTest, ManagerHandsOutTracesByName) {
  TraceMgr* manager = getTraceMgr();
  Ptr<Trace> trace = manager->getTrace("component");
  EXPECT_EQ(manager->getTrace("component").get(), trace.get());
  EXPECT_NE(manager->getTrace("Component").get(), trace.get());
  EXPECT_EQ(manager->getTrace(ArrayPtr<char>("")).get(), manager->getTrace().get());
  EXPECT_EQ(manager->getTrace().get(), manager->getTrace(getProcessName()).get());

  trace->setMaxLevel(7);
  manager->removeTrace("component");
  Ptr<Trace> fresh = manager->getTrace("component");
  EXPECT_NE(fresh.get(), trace.get());
  EXPECT_EQ(fresh->getMaxLevel(), 1);
  EXPECT_EQ(trace->getMaxLevel(), 7);  // holders keep the old one
}

TEST_F(TraceTest, DefaultParametersCompleteAgainstTheCurrentDefault) {
  TraceMgr* manager = getTraceMgr();
  TraceParameters parameters = manager->getDefaultParameters();
  parameters.fileName = "sub/next";  // relative, no extension
  parameters.maxFileSize = 1234;
  parameters.maxOldFiles = 7;
  manager->setDefaultParameters(parameters);
  TraceParameters now = manager->getDefaultParameters();
  EXPECT_TRUE(now.fileName == getFullPath((dir_ / "sub/next.log").c_str()));
  EXPECT_EQ(now.maxFileSize, 1234);
  EXPECT_EQ(now.maxOldFiles, 7u);
  EXPECT_EQ(manager->getTraceFile("fresh")->getParameters().maxOldFiles, 7u);
  EXPECT_TRUE(manager->getTraceFile("stderr")->getFileName() == ArrayPtr<char>("stderr"));
}

// A record is put together in a buffer of its thread before the file is locked: records far larger than that
// buffer, formatted or not, are written whole, and so are the small records after them.
TEST_F(TraceTest, RecordsLargerThanTheThreadsBufferAreWrittenWhole) {
  Ptr<Trace> trace = traceTo("big", "big.log");
  std::string expected;
  for (const std::size_t size : {1000u, 5000u, 100000u}) {
    const std::string text(size, 'x');
    trace->error("%s|%d", text.c_str(), 7);
    trace->print(kError, text.c_str());
    trace->error("after %d", static_cast<int>(size));
    expected += text + "|7]\n" + text + "]\n" + "after " + std::to_string(size) + "]\n";
  }
  std::string texts;  // each line without its prefix "[big HH:MM:SS.hh "
  std::istringstream lines(test_support::lines(contentOf("big.log")));
  for (std::string line; std::getline(lines, line);) texts += line.substr(17) + "\n";
  EXPECT_EQ(texts, expected);
}

// The size test follows each record: a record that brings the file to its limit, or past it, is the file's last.
TEST_F(TraceTest, ARecordReachingTheSizeLimitEndsItsFile) {
  Ptr<Trace> probe = traceTo("limit", "probe.log");
  probe->error("first");
  const auto size = static_cast<std::int32_t>(std::filesystem::file_size(dir_ / "probe.log"));  // CR LF or LF
  const struct {
    const char* name;
    std::int32_t maxFileSize;
    bool rotated;
  } cases[] = {{"below", size + 1, false}, {"exact", size, true}, {"above", size - 1, true}};
  for (const auto& c : cases) {
    const std::string file = std::string(c.name) + ".log";
    Ptr<Trace> trace = traceTo("limit", file.c_str());
    test_support::configure(*getTraceMgr()->getTraceFile((dir_ / file).c_str()), c.maxFileSize, 3, 2);
    trace->error("first");
    trace->error("other");
    EXPECT_EQ(contentOf(file.c_str()).find("other") == std::string::npos, c.rotated) << c.name;
    EXPECT_EQ(std::filesystem::exists(dir_ / (std::string(c.name) + "_1.log")), c.rotated) << c.name;
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
  const std::string time = R"( \d\d:\d\d:\d\d\.\d\d )";
  EXPECT_TRUE(std::regex_match(test_support::lines(contentOf("tagged.log")),
                               std::regex("\\[tagged" + time + "e1\\]\n\\[tagged" + time + "d2\\]\n")))
      << contentOf("tagged.log");
}

TEST(TraceMgrTest, BuiltInDefaultNameSitsBesideTheExecutable) {
  // The first default set of the process: <exe dir>ZemTrace<sep><name>_YYMMDD_HHMMSS_<pid>.log
  static const TraceParameters builtIn = getTraceMgr()->getDefaultParameters();
  const std::string name(builtIn.fileName.toPtr(), builtIn.fileName.length());
  const std::string directory(getProcessDirectory().toPtr(), getProcessDirectory().length());
  const std::string process(getProcessName().toPtr(), getProcessName().length());
  const std::regex pattern(std::regex_replace(directory + "ZemTrace", std::regex(R"([\\.^$|()\[\]{}*+?])"), R"(\$&)") +
                           "[/\\\\]" + process + "_\\d{6}_\\d{6}_" + std::to_string(getCurrentProcessId()) + "\\.log");
  EXPECT_TRUE(std::regex_match(name, pattern)) << name;
  EXPECT_EQ(builtIn.maxFileSize, 100000000);
  EXPECT_EQ(builtIn.maxOldFiles, 3u);
  EXPECT_EQ(builtIn.translator, getTranslator());
}

// A guarded block ends when an exception leaves it, so the file is free once the thread that threw has ended: a
// block left open would keep the file locked by that thread, and the writer below would wait for ever.
TEST_F(TraceTest, TraceBlockEndsItsBlockWhenAnExceptionLeavesIt) {
  Ptr<Trace> trace = traceTo("blk", "block.log");
  trace->setMaxLevel(kInfo);
  Ptr<TraceFile> file = getTraceMgr()->getTraceFile((dir_ / "block.log").c_str());
  std::thread([&] {
    try {
      TraceBlock block(*trace);
      trace->info("by trace");
      throw std::runtime_error("failed");
    } catch (const std::runtime_error&) {
    }
    try {
      TraceBlock block(*file, "file");
      file->print("by file");
      throw std::runtime_error("failed");
    } catch (const std::runtime_error&) {
    }
  }).join();
  std::promise<void> written;
  std::thread writer([&] {
    trace->info("after");
    written.set_value();
  });
  if (written.get_future().wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    writer.detach();  // stuck on the lock for good
    FAIL() << "the file is still locked by a block that was never ended";
  }
  writer.join();
  const std::string text = contentOf("block.log");
  for (const char* record : {"[blk ", " by trace]", "[file ", " by file]", " after]"}) {
    EXPECT_NE(text.find(record), std::string::npos) << record;
  }
}

}  // namespace
}  // namespace zem_util

// Four threads at once on shared objects: handles, the alarm manager, the translator registry and trace files.
// Under a second natively; the ThreadSanitizer run (ctest label "threads") watches the same code.
#include <gtest/gtest.h>
#include <zem_util/alarm.h>
#include <zem_util/cst_str.h>
#include <zem_util/system.h>
#include <zem_util/trace.h>
#include <zem_util/translator.h>

#include <array>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/temp_dir.h"
#include "support/threads.h"
#include "testing/test_access.h"

namespace zem_util {
namespace {

using test_access::getBlockCount;
using test_support::onThreads;

constexpr int kThreads = 4;

struct Counted : Shared {
  explicit Counted(std::atomic<int>* destroyed) : destroyed(destroyed) {}
  ~Counted() override { ++*destroyed; }
  std::atomic<int>* destroyed;
};

// Every handle travels between threads through mailboxes, so that its last release may happen on any of them.
TEST(StressTest, HandlesTravellingBetweenThreadsAreReleasedExactlyOnce) {
  std::atomic<int> created{1}, destroyed{0};
  const ArrayPtr<char> text("a text long enough to be shared, never copied");
  const Ptr<Counted> object(new Counted(&destroyed));
  // Read-only from here on, so every thread may copy them at once: blocks, not concatenations (the second was
  // one, flattened here as the header asks).
  const CstStr value(text), built = CstStr::cat(CstStr(text.toPtr()), CstStr("... and its tail"));
  const std::string builtText(built.toPtr(), static_cast<std::size_t>(built.length()));
  struct Bundle {
    Ptr<Counted> object;
    ArrayPtr<char> text;
    CstStr value;
    ArrayPtr<ArrayPtr<char>> list{2};
  };
  std::array<std::pair<std::mutex, Bundle>, kThreads> mailboxes;
  onThreads(kThreads, [&](int t) {
    Bundle mine{object, text, built};
    for (int i = 0; i < 40000; ++i) {
      if (i % 50 == 0) mine.object = new Counted(&destroyed), ++created;
      const Ptr<Counted> copy = mine.object;
      const ArrayPtr<char> slice = text.slice(i % 10, 20);
      mine.list[i % 2] = slice;
      const CstStr joined = CstStr::cat(value, CstStr(slice));  // a node sharing the shared value's block
      if (joined.length() != value.length() + 20) ADD_FAILURE() << "cat";
      mine.value = i % 3 == 0 ? value : i % 3 == 1 ? built : joined;
      mine.text = i % 2 == 0 ? slice : text;
      auto& [mutex, bundle] = mailboxes[(t + i) % kThreads];
      std::lock_guard<std::mutex> guard(mutex);
      std::swap(bundle, mine);
    }
  });
  for (auto& box : mailboxes) box.second = Bundle();
  EXPECT_EQ(created - 1, destroyed.load());  // all but `object`, which this thread still holds
  EXPECT_EQ(getBlockCount(text), 2);         // `text` and `value`
  EXPECT_EQ(std::string(built.toPtr(), builtText.size()), builtText);
}

// One of the threads also takes the reference-count mutex now and then and changes a count while it holds it, so
// that the others find the lock held for long and go to sleep. Not one change may be lost.
TEST(StressTest, CountsComeOutExactAfterMillionsOfConcurrentCopies) {
  constexpr int kCopies = 100000, kKeepEvery = 1000;  // per thread, of each of three handles on two counts
  const ArrayPtr<char> text("a block whose count every thread changes");
  const CstStr value(text);  // shares the block: its copies change the same count
  std::atomic<int> destroyed{0}, started{0};
  const Ptr<Counted> object(new Counted(&destroyed));
  std::array<std::vector<ArrayPtr<char>>, kThreads> kept;
  onThreads(kThreads, [&](int t) {
    for (++started; started < kThreads;) std::this_thread::yield();  // all at once, not one after the other
    for (int i = 1; i <= kCopies; ++i) {
      ArrayPtr<char> copy(text);
      const CstStr sharing(value);
      const Ptr<Counted> other(object);
      if (i % kKeepEvery == 0) kept[t].push_back(copy);
      if (t == 0 && i % 997 == 0) {
        MutexLock hold(getRefCountMutex());
        const ArrayPtr<char> inside(copy);
      }
    }
  });
  EXPECT_EQ(getBlockCount(text), 2 + kThreads * (kCopies / kKeepEvery));
  for (std::vector<ArrayPtr<char>>& k : kept) k.clear();
  EXPECT_EQ(getBlockCount(text) * 10 + destroyed.load(), 20);  // the object's count never touched 0 on the way
}

// A thread already copying handles at full speed stops dead while this thread holds the reference-count mutex,
// whose holder still changes counts itself; once it lets go, the copier finishes and no copy is lost.
TEST(StressTest, HoldingTheRefCountMutexFreezesEveryCount) {
  const ArrayPtr<char> text("a block whose count the holder watches");
  std::atomic<int> copies{0};
  std::atomic<bool> stop{false};
  std::vector<ArrayPtr<char>> kept;
  kept.reserve(1 << 20);
  std::thread copier([&] {
    while (!stop && kept.size() < kept.capacity()) kept.push_back(text), ++copies;
  });
  while (copies < 1000) std::this_thread::yield();
  {
    MutexLock hold(getRefCountMutex());
    const std::int32_t frozen = getBlockCount(text);
    sleepMs(20);
    EXPECT_EQ(getBlockCount(text), frozen);
    const ArrayPtr<char> mine(text);
    EXPECT_EQ(getBlockCount(text), frozen + 1);
  }
  stop = true;
  copier.join();
  EXPECT_EQ(getBlockCount(text), 1 + static_cast<std::int32_t>(kept.size()));
}

// Listeners, each registered once, that on their first call add another or remove someone else's, and later end
// or change their interval, while four threads add and remove too. No registration may be lost, none called after
// it ended, and every listener released once the manager goes.
struct Registrations {
  std::unique_ptr<AlarmMgr> owner = std::make_unique<AlarmMgr>();
  AlarmMgr* const mgr = owner.get();  // still set while the manager is destroyed and its thread makes last calls
  std::mutex mutex;
  std::vector<Ptr<AlarmListener>> listeners;  // every listener ever made
  std::atomic<int> created{0}, destroyed{0}, lateCalls{0}, addsLeft{1000};

  struct Listener : AlarmListener {
    Listener(Registrations& r, unsigned int id) : r(r), id(id) { ++r.created; }
    ~Listener() override { ++r.destroyed; }
    unsigned int alarm() override {
      r.lateCalls += ended;
      const int call = ++calls;
      if (call == 1 && id % 4 == 0 && --r.addsLeft >= 0) r.add(id % 7);
      if (call == 1 && id % 4 == 1) r.remove(id * 7919u);
      if (call >= 3 && id % 3 == 0) ended = true;
      return ended ? kRemoveAlarm : call % 2 == 0 ? kKeepInterval : 1 + id % 9;
    }
    Registrations& r;
    const unsigned int id;
    std::atomic<bool> ended{false};
    std::atomic<int> calls{0};
  };

  void add(unsigned int interval) {
    Ptr<AlarmListener> listener;
    {
      std::lock_guard<std::mutex> guard(mutex);
      listeners.push_back(listener = new Listener(*this, static_cast<unsigned int>(listeners.size())));
    }
    mgr->addAlarm(interval, listener);  // the manager is called without `mutex` held
  }
  void remove(unsigned int seed) {  // anyone's; another thread may be removing it too
    Ptr<AlarmListener> listener;
    {
      std::lock_guard<std::mutex> guard(mutex);
      listener = listeners[seed % listeners.size()];
    }
    if (mgr->removeAlarm(kDueFirst, listener) != kAlarmNotFound) static_cast<Listener&>(*listener).ended = true;
  }
};

TEST(StressTest, AlarmsAddedAndRemovedByThreadsAndListenersKeepEveryRegistrationStraight) {
  Registrations r;  // outlives the manager, whose thread calls the listeners that use it
  r.mgr->setMinimumInterval(4);
  onThreads(kThreads, [&r](unsigned int t) {
    for (unsigned int i = 0; i < 500; ++i) {
      r.add((t + i) % 13);
      if (i % 3 == 0) r.remove(t * 1009 + i * 31);
      if (i % 2 == 0) sleepMs(1);
    }
  });
  std::vector<std::pair<Registrations::Listener*, int>> live;  // each gets called again unless it ended
  {
    std::lock_guard<std::mutex> guard(r.mutex);  // listeners may still be adding
    for (const Ptr<AlarmListener>& listener : r.listeners) {
      auto* l = static_cast<Registrations::Listener*>(listener.get());
      if (!l->ended) live.emplace_back(l, l->calls.load());
    }
  }
  const unsigned int start = getTimeMs();
  for (auto& [l, calls] : live) {
    while (!l->ended && l->calls == calls && getTimeMs() - start < 20000) sleepMs(2);
    EXPECT_TRUE(l->ended || l->calls > calls) << "a registration was lost";
  }
  EXPECT_EQ(r.lateCalls.load(), 0);
  r.owner.reset();  // lets go of every registration it still holds
  r.listeners.clear();
  EXPECT_EQ(r.destroyed.load(), r.created.load());
}

// Each thread asks for the same pairs, most of them for the first time, in its own order: some have a plug-in
// (CfgMsg_fr), most fall back to the default catalogue. Meanwhile each registers catalogues of its own and finds
// them, and all of them keep replacing one shared pair. Every answer must be the one every other thread got.
TEST(StressTest, RegistryLookupsAndRegistrationsFromFourThreadsAgree) {
  constexpr int kNames = 30;
  const char* const languages[] = {"fr_FR", "de_DE", "fr_CA"};
  static Translator own[kThreads];  // the registry keeps them to the end of the process
  Translator* seen[kThreads][kNames][3] = {};
  std::atomic<int> wrong{0};
  onThreads(kThreads, [&](int t) {
    const ArrayPtr<char> ownName = format("Own%d", t);
    for (int round = 0; round < 100; ++round) {
      for (int k = 0; k < kNames; ++k) {
        const int n = (k * (t + 1) + round) % kNames;  // a different order on each thread
        for (int l = 0; l < 3; ++l) {
          Translator* found = getTranslator(format("Stress%d", n), languages[l]);
          wrong += seen[t][n][l] && seen[t][n][l] != found;
          seen[t][n][l] = found;
        }
        const char* french = (k + t) % 2 == 0 ? "fr_FR" : "fr_CA";  // both end at CfgMsg_fr
        wrong += getTranslator("Cfg", french) != getTranslator("Cfg", "fr_FR");
        setTranslator(ownName, languages[k % 3], &own[t]);
        wrong += getTranslator(ownName, languages[k % 3]) != &own[t];
        setTranslator("Shared", "fr_FR", &own[(t + k) % kThreads]);
      }
    }
  });
  EXPECT_EQ(wrong.load(), 0);
  for (int t = 1; t < kThreads; ++t) EXPECT_EQ(std::memcmp(seen[t], seen[0], sizeof seen[0]), 0);
  EXPECT_EQ(seen[0][0][0], getTranslator("Absent", "xx"));  // the shared default catalogue
  // Read once the threads are done: against the static library the plug-in holds a copy of its own, whose counts
  // may not change on the same block while the program's do.
  EXPECT_TRUE(getTranslator("Cfg", "fr_CA")->getMsg("library") == "CfgMsg_fr");
  const Translator* shared = getTranslator("Shared", "fr_FR");
  EXPECT_TRUE(shared >= &own[0] && shared < &own[kThreads]);
}

// Four traces share two rotating files, two traces each, and four threads write through all four in turn. Every
// record must then be there exactly once, whole, in the numbered files of the right file, under the header of a
// trace of that file: with the file closed after every record, and with records gathered in the file's buffers,
// where a full buffer goes to the system while other threads go on writing.
TEST(StressTest, TracesOnSharedRotatingFilesLoseAndMixNothing) {
  for (const auto& [flushMode, maxFileSize] : {std::pair{2, 8 * 1024}, std::pair{0, 100 * 1024}}) {
    SCOPED_TRACE(flushMode);
    test_support::TempDir dir;
    constexpr int kRecords = 10000;
    const char* const traceNames[] = {"alpha0", "beta0", "alpha1", "beta1"};  // trace i writes to file i % 2
    Ptr<Trace> traces[4];
    Ptr<TraceFile> files[2];
    for (int i = 0; i < 4; ++i) {
      const std::string path = dir / (i % 2 ? "beta.log" : "alpha.log");
      files[i % 2] = getTraceMgr()->getTraceFile(path.c_str());
      // Every file kept, so that every record can be counted.
      files[i % 2]->setParameters({files[i % 2]->getFileName(), maxFileSize, 100000, flushMode, nullptr});
      traces[i] = new Trace(traceNames[i]);
      traces[i]->setFileName(path.c_str());
      traces[i]->setMaxLevel(kInfo);
    }
    onThreads(kThreads, [&](int t) {
      for (int i = 0; i < kRecords; ++i) {
        Trace& trace = *traces[(t + i) % 4];
        if (i % 3 != 0) {
          trace.info("t%d r%d end", t, i);
          continue;
        }
        TraceBlock block(trace);  // a block of three outputs must stay one record
        trace.info("t%d", t);
        trace.info(" r%d", i);
        trace.info(" end");
      }
    });
    for (const Ptr<TraceFile>& file : files) file->close();
    std::map<std::string, std::set<std::pair<int, int>>> seen;  // by file: (thread, record)
    std::map<std::string, int> fileCount;
    const std::regex record(R"(\[((alpha|beta)\d) \d\d:\d\d:\d\d\.\d\d t(\d) r(\d+) end\]\r?)");
    for (const auto& entry : std::filesystem::directory_iterator(dir / "")) {
      const std::string fileName = entry.path().filename().string();
      const std::string file = fileName.substr(0, fileName.find_first_of("_."));
      ++fileCount[file];
      std::istringstream stream(test_support::readFile(entry.path().string()));
      for (std::string line; std::getline(stream, line);) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, record)) << fileName << ": " << line;
        const int t = std::stoi(match[3]), i = std::stoi(match[4]);
        EXPECT_TRUE(match[1] == traceNames[(t + i) % 4] && match[2] == file && seen[file].emplace(t, i).second) << line;
      }
    }
    for (const char* file : {"alpha", "beta"}) {
      EXPECT_EQ(seen[file].size(), static_cast<std::size_t>(kThreads * kRecords / 2)) << file;
      EXPECT_GT(fileCount[file], 3) << file;  // it really rotated
    }
  }
}

}  // namespace
}  // namespace zem_util

// A small product component at work: it takes its messages from a plug-in catalogue in the user's language,
// traces at several levels into rotating trace files beside the executable, runs workers and two alarms, and
// uses the string, path and matching services on real inputs. It ends by itself within a few seconds.
//
//   demo                # language from the locale (LANG / LC_MESSAGES), English when there is none
//   demo --lang fr_FR   # force a language
#include <zem_util/zem_util.h>

#include <atomic>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using zem_util::ArrayPtr;
using zem_util::Ptr;

// Message parameters: a list of texts (it ends at the first empty one).
ArrayPtr<ArrayPtr<char>> params(std::vector<ArrayPtr<char>> values) {
  values.emplace_back("");
  ArrayPtr<ArrayPtr<char>> list;
  list = values.data();
  return list;
}

void say(zem_util::Translator* messages, const char* id, std::vector<ArrayPtr<char>> values = {}) {
  std::printf("%s\n", messages->getMsg(id, params(std::move(values))).toNullTerminatedPtr());
}

// Counts its calls and asks to be called at a steady pace until it has been called `limit` times.
class Ticker : public zem_util::AlarmListener {
 public:
  Ticker(const char* name, int limit, Ptr<zem_util::Trace> trace) : name_(name), limit_(limit), trace_(trace) {}
  unsigned int alarm() override {
    ZEM_UTIL_TRACE_INFO(trace_, "alarm %s, call %d", name_, calls_.load() + 1);
    return ++calls_ < limit_ ? zem_util::kKeepInterval : zem_util::kRemoveAlarm;
  }
  int calls() const { return calls_.load(); }

 private:
  const char* name_;
  int limit_;
  Ptr<zem_util::Trace> trace_;
  std::atomic<int> calls_{0};
};

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  ArrayPtr<char> language = zem_util::getCurrentLanguage();
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--lang") == 0) language = argv[i + 1];
  }
  zem_util::Translator* messages = zem_util::getTranslator("Demo", language);
  say(messages, "DEMO_START", {zem_util::format("%u", zem_util::getCurrentProcessId()), language});

  // Small trace files, so that this short run already rotates them.
  zem_util::TraceMgr* traces = zem_util::getTraceMgr();
  zem_util::TraceParameters parameters = traces->getDefaultParameters();
  parameters.maxFileSize = 4000;
  parameters.maxOldFiles = 2;
  parameters.translator = messages;
  traces->setDefaultParameters(parameters);
  Ptr<zem_util::Trace> net = traces->getTrace("net");
  Ptr<zem_util::Trace> db = traces->getTrace("db");
  net->setMaxLevel(zem_util::kInfo);
  db->setMaxLevel(zem_util::kDetail);
  db->setFileName("database");  // ZemTrace/database.log beside the default file

  // Two alarms on the library's alarm thread.
  Ptr<Ticker> fast(new Ticker("fast", 8, net));
  Ptr<Ticker> slow(new Ticker("slow", 3, net));
  zem_util::getAlarmMgr()->addAlarm(250, fast);
  zem_util::getAlarmMgr()->addAlarm(600, slow);

  // Work that traces at several levels; the debug records are filtered out. The ZEM_UTIL_TRACE_ macros test the
  // level inline: a filtered output costs a load and a comparison, and its arguments are not evaluated.
  const unsigned start = zem_util::getTimeMs();
  for (int request = 1; request <= 120; ++request) {
    ZEM_UTIL_TRACE_INFO(net, "request %d from 10.0.0.%d accepted", request, request % 7);
    ZEM_UTIL_TRACE_DETAIL(db, "query %d: SELECT name FROM users WHERE id = %d", request, request * 13);
    ZEM_UTIL_TRACE_DEBUG(db, "row cache miss %d (not written: debug is off)", request);
    if (request % 40 == 0) {
      zem_util::TraceBlock batch(*net);  // one record from several outputs, ended on every path
      net->info("batch of 40 done");
      net->printMsg(zem_util::kInfo, ", ");
      net->printMsg(zem_util::kInfo, "DEMO_END");
    }
    zem_util::sleepMs(15);
  }
  ZEM_UTIL_TRACE_ERROR(net, "simulated failure: %s", "connection reset by peer");
  say(messages, "DEMO_REQUESTS", {"120", zem_util::format("%u", zem_util::getTimeMs() - start)});

  // Wait for the alarms, never more than five seconds.
  while ((fast->calls() < 8 || slow->calls() < 3) && zem_util::getTimeMs() - start < 5000) zem_util::sleepMs(50);
  say(messages, "DEMO_ALARM", {zem_util::format("fast x%d, slow x%d", fast->calls(), slow->calls())});

  // Paths, constant strings and matching on what the run produced.
  traces->getTraceFile()->close();  // written out now, so that the sizes below are true
  traces->getTraceFile("database")->close();
  ArrayPtr<char> directory = zem_util::getDirectory(traces->getTraceFile()->getFileName());
  ArrayPtr<char> tidy("logs/./old/../today/");
  zem_util::compactPath(tidy);
  std::printf("compactPath(\"logs/./old/../today/\") = %s, catenatePath = %s\n", tidy.toNullTerminatedPtr(),
              zem_util::catenatePath(zem_util::getProcessDirectory(), "ZemTrace").toNullTerminatedPtr());
  say(messages, "DEMO_TRACES", {directory});
  // This run's files: the default file (named after the process, its start and its id) and the database
  // file, each perhaps with rotated siblings ("_1", "_2").
  zem_util::Regexp ours(zem_util::format("%s_*_%u*.log", zem_util::getProcessName().toNullTerminatedPtr(),
                                         zem_util::getCurrentProcessId()),
                        zem_util::LetterCase::kSensitive);
  zem_util::Regexp database("database*.log", zem_util::LetterCase::kSensitive);
  zem_util::CstStr summary;
  for (const auto& entry : std::filesystem::directory_iterator(directory.toNullTerminatedPtr())) {
    const std::string name = entry.path().filename().string();
    if (!ours.match(name.c_str()) && !database.match(name.c_str())) continue;
    std::printf("  %-44s %6ju bytes\n", name.c_str(), static_cast<std::uintmax_t>(entry.file_size()));
    if (summary.length() > 0) summary += ", ";
    summary += zem_util::CstStr(name.c_str()).substr(0, static_cast<int>(name.rfind('.')));
  }
  std::printf("(%s)\n", summary.toNullTerminatedPtr());
  say(messages, "DEMO_END");
  return 0;
}

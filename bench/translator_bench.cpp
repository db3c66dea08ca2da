// Catalogue lookups against std::unordered_map (on 1, 2 and 4 threads reading one catalogue, as a component's
// threads do), and parameter expansion against building the text with std::string.
#include <benchmark/benchmark.h>
#include <zem_util/translator.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "multi_threaded.h"

namespace {

constexpr int kMessages = 10000;

// Identifiers in the style of real catalogues: words of varying length, so the sampled hash spreads them.
std::string idOf(int i) {
  static const char* const words[] = {"FILE", "OPEN", "CLOSE", "READ", "WRITE", "NET",  "CFG",  "TRACE", "ERR",
                                      "WARN", "INFO", "USER",  "DISK", "PATH",  "LOCK", "TIME", "ALARM"};
  std::string id = "MSG";
  for (unsigned n = static_cast<unsigned>(i) * 2654435761u, k = 0; k < 4; ++k, n /= 17)
    id += std::string("_") + words[n % 17];
  return id + "_" + std::to_string(i);
}

struct Catalogues {
  zem_util::Translator translator;
  std::unordered_map<std::string, std::string> map;
  std::vector<zem_util::ArrayPtr<char>> ids;
  std::vector<std::string> stdIds;
  Catalogues() {
    for (int i = 0; i < kMessages; ++i) {
      const std::string id = idOf(i);
      const std::string text = "Message number " + std::to_string(i) + " of the component";
      translator.addMsg(id.c_str(), text.c_str());
      map.emplace(id, text);
      ids.emplace_back(id.c_str());
      stdIds.push_back(id);
    }
  }
};

Catalogues& catalogues() {
  static Catalogues c;
  return c;
}

void BM_TranslatorGetMsg(benchmark::State& state) {
  Catalogues& c = catalogues();
  std::size_t i = static_cast<std::size_t>(state.thread_index()) * 997;
  for (auto _ : state) {
    zem_util::ArrayPtr<char> text = c.translator.getMsg(c.ids[i]);
    benchmark::DoNotOptimize(text);
    i = (i + 1) % c.ids.size();
  }
}

void BM_UnorderedMapFind(benchmark::State& state) {
  Catalogues& c = catalogues();
  std::size_t i = static_cast<std::size_t>(state.thread_index()) * 997;
  for (auto _ : state) {
    auto found = c.map.find(c.stdIds[i]);
    benchmark::DoNotOptimize(found);
    i = (i + 1) % c.stdIds.size();
  }
}

// What a std::string catalogue pays to hand out its text by value, as getMsg does.
void BM_UnorderedMapFindCopy(benchmark::State& state) {
  Catalogues& c = catalogues();
  std::size_t i = static_cast<std::size_t>(state.thread_index()) * 997;
  for (auto _ : state) {
    std::string text = c.map.find(c.stdIds[i])->second;
    benchmark::DoNotOptimize(text);
    i = (i + 1) % c.stdIds.size();
  }
}

// What a catalogue of counted texts pays to hand one out, as getMsg does: the count of the text changes, so
// threads reading one catalogue write to it.
void BM_UnorderedMapFindShared(benchmark::State& state) {
  // Built apart from the other catalogues, so that their memory stays as compact as without this one.
  static const std::unordered_map<std::string, std::shared_ptr<const std::string>> sharedMap = [] {
    std::unordered_map<std::string, std::shared_ptr<const std::string>> built;
    for (const auto& [id, text] : catalogues().map) built.emplace(id, std::make_shared<const std::string>(text));
    return built;
  }();
  Catalogues& c = catalogues();
  std::size_t i = static_cast<std::size_t>(state.thread_index()) * 997;
  for (auto _ : state) {
    std::shared_ptr<const std::string> text = sharedMap.find(c.stdIds[i])->second;
    benchmark::DoNotOptimize(text);
    i = (i + 1) % c.stdIds.size();
  }
}

void BM_TranslatorGetMsgParams(benchmark::State& state) {
  const char* pairs[] = {"copy", "Copied {0} files from {1} to {2} in {3} ms", nullptr};
  zem_util::Translator translator(pairs);
  zem_util::ArrayPtr<char> values[] = {"1234", "/var/spool/input", "/srv/archive/2026", "87", ""};
  zem_util::ArrayPtr<zem_util::ArrayPtr<char>> params;
  params = values;
  zem_util::ArrayPtr<char> id("copy");
  for (auto _ : state) {
    zem_util::ArrayPtr<char> text = translator.getMsg(id, params);
    benchmark::DoNotOptimize(text);
  }
}

void BM_StdStringBuild(benchmark::State& state) {
  const std::string values[] = {"1234", "/var/spool/input", "/srv/archive/2026", "87"};
  for (auto _ : state) {
    std::string text =
        "Copied " + values[0] + " files from " + values[1] + " to " + values[2] + " in " + values[3] + " ms";
    benchmark::DoNotOptimize(text);
  }
}

}  // namespace

BENCHMARK(BM_TranslatorGetMsg)->Threads(1)->Threads(2)->Threads(4)->UseRealTime();
BENCHMARK(BM_UnorderedMapFind)->Threads(1)->Threads(2)->Threads(4)->UseRealTime();
BENCHMARK(BM_UnorderedMapFindCopy)->Threads(1)->Threads(2)->Threads(4)->UseRealTime();
BENCHMARK(BM_UnorderedMapFindShared)->Threads(1)->Threads(2)->Threads(4)->UseRealTime();
BENCHMARK(BM_TranslatorGetMsgParams);
BENCHMARK(BM_StdStringBuild);

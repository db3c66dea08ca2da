// Whole-text wildcard matching against the C library's fnmatch (flags 0; FNM_CASEFOLD for the case-blind runs)
// on typical patterns, in the same process. The pattern is compiled once, outside the timed loop, as callers
// that match many texts against one pattern do.
#include <benchmark/benchmark.h>
#include <fnmatch.h>
#include <zem_util/regexp.h>

#include <string>
#include <vector>

namespace {

struct Case {
  const char* pattern;
  std::string text;
  bool matches;
};

std::string longLine() {
  std::string text;
  while (text.size() < 4000) text += "2009-12-04 15:30:12 link 7 to 10.0.0.12 established, 512 kB sent; ";
  return text + "then a timeout";
}

// Indexed by the benchmarks' case argument.
const Case kCases[] = {
    {"*.log", "server_2009_12_04.log", true},
    {"trace_*_2009*.txt", "trace_network_20091204_1530.txt", true},
    {"*error*", "2009-12-04 15:30:12 disk controller on channel 2 reported an error, retrying", true},
    // 4 kB that hold the first segment only at their very end: both scan the whole text and then fail.
    {"*timeout*retry*", longLine(), false},
};

void BM_Regexp(benchmark::State& state, int index, bool caseSensitive) {
  const Case& c = kCases[index];
  zem_util::Regexp regexp(c.pattern, caseSensitive);
  const zem_util::ArrayPtr<char> text(c.text.c_str());
  zem_util::ArrayPtr<zem_util::ArrayPtr<char>> captures;
  if (regexp.match(text, captures) != c.matches) state.SkipWithError("wrong result");
  for (auto _ : state) {
    bool result = regexp.match(text, captures);
    benchmark::DoNotOptimize(result);
  }
}

// Callers usually match a stream of different texts: then each capture moves to a new block, which costs a
// count change on the old block and one on the new. 64 distinct texts of the same content, taken in turn.
void BM_RegexpManyTexts(benchmark::State& state, int index) {
  const Case& c = kCases[index];
  zem_util::Regexp regexp(c.pattern, true);
  std::vector<zem_util::ArrayPtr<char>> texts;
  for (int i = 0; i < 64; ++i) texts.emplace_back(c.text.c_str());
  zem_util::ArrayPtr<zem_util::ArrayPtr<char>> captures;
  std::size_t next = 0;
  for (auto _ : state) {
    bool result = regexp.match(texts[next], captures);
    benchmark::DoNotOptimize(result);
    next = (next + 1) & 63;
  }
}

void BM_Fnmatch(benchmark::State& state, int index, int flags) {
  const Case& c = kCases[index];
  if ((fnmatch(c.pattern, c.text.c_str(), flags) == 0) != c.matches) state.SkipWithError("wrong result");
  for (auto _ : state) {
    int result = fnmatch(c.pattern, c.text.c_str(), flags);
    benchmark::DoNotOptimize(result);
  }
}

}  // namespace

BENCHMARK_CAPTURE(BM_Regexp, log_suffix, 0, true);
BENCHMARK_CAPTURE(BM_Fnmatch, log_suffix, 0, 0);
BENCHMARK_CAPTURE(BM_Regexp, trace_name, 1, true);
BENCHMARK_CAPTURE(BM_Fnmatch, trace_name, 1, 0);
BENCHMARK_CAPTURE(BM_Regexp, error_inside, 2, true);
BENCHMARK_CAPTURE(BM_Fnmatch, error_inside, 2, 0);
BENCHMARK_CAPTURE(BM_Regexp, long_late_failure, 3, true);
BENCHMARK_CAPTURE(BM_Fnmatch, long_late_failure, 3, 0);

BENCHMARK_CAPTURE(BM_RegexpManyTexts, log_suffix, 0);
BENCHMARK_CAPTURE(BM_RegexpManyTexts, trace_name, 1);
BENCHMARK_CAPTURE(BM_RegexpManyTexts, error_inside, 2);
BENCHMARK_CAPTURE(BM_RegexpManyTexts, long_late_failure, 3);

BENCHMARK_CAPTURE(BM_Regexp, log_suffix_nocase, 0, false);
BENCHMARK_CAPTURE(BM_Fnmatch, log_suffix_casefold, 0, FNM_CASEFOLD);
BENCHMARK_CAPTURE(BM_Regexp, trace_name_nocase, 1, false);
BENCHMARK_CAPTURE(BM_Fnmatch, trace_name_casefold, 1, FNM_CASEFOLD);
BENCHMARK_CAPTURE(BM_Regexp, error_inside_nocase, 2, false);
BENCHMARK_CAPTURE(BM_Fnmatch, error_inside_casefold, 2, FNM_CASEFOLD);
BENCHMARK_CAPTURE(BM_Regexp, long_late_failure_nocase, 3, false);
BENCHMARK_CAPTURE(BM_Fnmatch, long_late_failure_casefold, 3, FNM_CASEFOLD);

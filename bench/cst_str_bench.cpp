// Constant strings against std::string and, when it is installed, absl::Cord: appending a million characters one
// at a time then reading the flat text, concatenating 1,000 pieces of 1 KiB (and then reading the whole text, on
// 1, 2 and 4 threads sharing the pieces), copying a 1 MiB value, and finding a substring in 1 MiB.
#include <benchmark/benchmark.h>
#include <zem_util/cst_str.h>

#include <random>
#include <string>
#include <vector>

#if defined(ZEM_UTIL_BENCH_HAVE_CORD)
#include <absl/strings/cord.h>
#endif

#include "multi_threaded.h"

namespace {

constexpr int kAppends = 1000000;
constexpr int kPieces = 1000;
constexpr int kPieceSize = 1024;
constexpr int kLongSize = 1 << 20;

char letterAt(int i) { return static_cast<char>('a' + i % 26); }

// Random lowercase text with the needle only at its very end, so that a search reads all of it.
const std::string& haystack() {
  static const std::string text = [] {
    std::mt19937 random(7);
    std::string t(kLongSize, ' ');
    for (char& c : t) c = static_cast<char>('a' + random() % 26);
    t.replace(t.size() - 16, 16, "needle-in-a-heap");
    return t;
  }();
  return text;
}
const char* const kNeedle = "needle-in-a-heap";

std::vector<std::string> stdPieces() {
  std::vector<std::string> pieces;
  for (int i = 0; i < kPieces; ++i) pieces.emplace_back(kPieceSize, letterAt(i));
  return pieces;
}

// ---- append 10^6 single characters, then read the flat text ----

void BM_AppendFlatten_CstStr(benchmark::State& state) {
  for (auto _ : state) {
    zem_util::CstStr s;
    for (int i = 0; i < kAppends; ++i) s += letterAt(i);
    benchmark::DoNotOptimize(s.toPtr());
  }
}

void BM_AppendFlatten_StdString(benchmark::State& state) {
  for (auto _ : state) {
    std::string s;
    for (int i = 0; i < kAppends; ++i) s += letterAt(i);
    benchmark::DoNotOptimize(s.data());
  }
}

// ---- concatenate 1,000 pieces of 1 KiB ----

void BM_Concatenate_CstStr(benchmark::State& state) {
  std::vector<zem_util::CstStr> pieces;
  for (const std::string& piece : stdPieces()) pieces.emplace_back(piece.c_str());
  for (auto _ : state) {
    zem_util::CstStr s;
    for (const zem_util::CstStr& piece : pieces) s += piece;
    benchmark::DoNotOptimize(s.length());
  }
}

void BM_Concatenate_StdString(benchmark::State& state) {
  const std::vector<std::string> pieces = stdPieces();
  for (auto _ : state) {
    std::string s;
    for (const std::string& piece : pieces) s += piece;
    benchmark::DoNotOptimize(s.data());
  }
}

// ---- concatenate 1,000 pieces of 1 KiB shared by every thread, then read the text side by side ----

const std::vector<zem_util::CstStr>& sharedPieces() {
  static const std::vector<zem_util::CstStr> pieces = [] {
    std::vector<zem_util::CstStr> p;
    for (const std::string& piece : stdPieces()) p.emplace_back(piece.c_str());
    return p;
  }();
  return pieces;
}

void BM_ConcatenateRead_CstStr(benchmark::State& state) {
  const std::vector<zem_util::CstStr>& pieces = sharedPieces();
  for (auto _ : state) {
    zem_util::CstStr s;
    for (const zem_util::CstStr& piece : pieces) s += piece;
    benchmark::DoNotOptimize(s.toPtr());
  }
}

void BM_ConcatenateRead_StdString(benchmark::State& state) {
  static const std::vector<std::string> pieces = stdPieces();
  for (auto _ : state) {
    std::string s;
    for (const std::string& piece : pieces) s += piece;
    benchmark::DoNotOptimize(s.data());
  }
}

// ---- copy a 1 MiB value ----

void BM_CopyLong_CstStr(benchmark::State& state) {
  const zem_util::CstStr value(haystack().c_str());
  for (auto _ : state) {
    zem_util::CstStr copy(value);
    benchmark::DoNotOptimize(copy);
  }
}

void BM_CopyLong_StdString(benchmark::State& state) {
  const std::string value = haystack();
  for (auto _ : state) {
    std::string copy(value);
    benchmark::DoNotOptimize(copy.data());
  }
}

// ---- find a substring in 1 MiB ----

void BM_IndexOf_CstStr(benchmark::State& state) {
  const zem_util::CstStr value(haystack().c_str());
  const zem_util::CstStr needle(kNeedle);
  for (auto _ : state) benchmark::DoNotOptimize(value.indexOf(needle));
}

void BM_IndexOf_StdString(benchmark::State& state) {
  const std::string& value = haystack();
  const std::string needle(kNeedle);
  for (auto _ : state) benchmark::DoNotOptimize(value.find(needle));
}

#if defined(ZEM_UTIL_BENCH_HAVE_CORD)
void BM_AppendFlatten_Cord(benchmark::State& state) {
  for (auto _ : state) {
    absl::Cord s;
    for (int i = 0; i < kAppends; ++i) {
      const char c = letterAt(i);
      s.Append(absl::string_view(&c, 1));
    }
    benchmark::DoNotOptimize(s.Flatten().data());
  }
}

void BM_Concatenate_Cord(benchmark::State& state) {
  std::vector<absl::Cord> pieces;
  for (const std::string& piece : stdPieces()) pieces.emplace_back(piece);
  for (auto _ : state) {
    absl::Cord s;
    for (const absl::Cord& piece : pieces) s.Append(piece);
    benchmark::DoNotOptimize(s.size());
  }
}

void BM_CopyLong_Cord(benchmark::State& state) {
  const absl::Cord value(haystack());
  for (auto _ : state) {
    absl::Cord copy(value);
    benchmark::DoNotOptimize(copy);
  }
}

BENCHMARK(BM_AppendFlatten_Cord)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Concatenate_Cord)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CopyLong_Cord);
#endif

}  // namespace

BENCHMARK(BM_AppendFlatten_CstStr)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AppendFlatten_StdString)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Concatenate_CstStr)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Concatenate_StdString)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ConcatenateRead_CstStr)->Unit(benchmark::kMicrosecond)->Threads(1)->Threads(2)->Threads(4)->UseRealTime();
BENCHMARK(BM_ConcatenateRead_StdString)
    ->Unit(benchmark::kMicrosecond)
    ->Threads(1)
    ->Threads(2)
    ->Threads(4)
    ->UseRealTime();
BENCHMARK(BM_CopyLong_CstStr);
BENCHMARK(BM_CopyLong_StdString);
BENCHMARK(BM_IndexOf_CstStr)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IndexOf_StdString)->Unit(benchmark::kMicrosecond);

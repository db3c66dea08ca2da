// Path compaction against std::filesystem::path::lexically_normal, and the base-36 codes against
// std::to_chars / strtoul / std::from_chars, on the same inputs in the same run.
#include <benchmark/benchmark.h>
#include <zem_util/env.h>

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "multi_threaded.h"

namespace {

// What a component typically hands over: install paths, relative trace and catalogue paths, a few redundant
// parts to remove.
const char* const kPaths[] = {
    "/opt/app/bin/../lib/plugins/./fr/ZemMsg_fr_FR.so",
    "/opt/app/bin/server",
    "logs/../trace/./server.log",
    "a/b/c/../../d/e/f.txt",
    "./config//settings.ini",
    "/usr/local/share/../lib/x86_64-linux-gnu/libzemutil.so.0",
};

void BM_CompactPath(benchmark::State& state) {
  for (auto _ : state) {
    for (const char* text : kPaths) {
      zem_util::ArrayPtr<char> path(text);
      zem_util::compactPath(path);
      benchmark::DoNotOptimize(path);
    }
  }
  state.SetItemsProcessed(state.iterations() * std::size(kPaths));
}

void BM_LexicallyNormal(benchmark::State& state) {
  for (auto _ : state) {
    for (const char* text : kPaths) {
      std::filesystem::path path = std::filesystem::path(text).lexically_normal();
      benchmark::DoNotOptimize(path);
    }
  }
  state.SetItemsProcessed(state.iterations() * std::size(kPaths));
}

// Values of six base-36 digits (36^5 and up), so that every contender writes and reads six characters.
std::vector<int> makeValues() {
  std::vector<int> values;
  unsigned seed = 12345;
  for (int i = 0; i < 1024; ++i) {
    seed = seed * 1103515245u + 12345u;
    values.push_back(static_cast<int>(60466176u + seed % (0x7FFFFFFFu - 60466176u)));
  }
  return values;
}
const std::vector<int> kValues = makeValues();

std::vector<std::string> makeDigits() {
  std::vector<std::string> digits;
  for (int value : kValues) {
    std::string text(6, '0');
    zem_util::intToBase36(value, text.data(), 6);
    digits.push_back(text);
  }
  return digits;
}
const std::vector<std::string> kDigits = makeDigits();

void BM_IntToBase36(benchmark::State& state) {
  char buffer[6];
  for (auto _ : state) {
    for (int value : kValues) {
      zem_util::intToBase36(value, buffer, 6);
      benchmark::DoNotOptimize(buffer);
    }
  }
  state.SetItemsProcessed(state.iterations() * kValues.size());
}

void BM_ToChars36(benchmark::State& state) {
  char buffer[6];
  for (auto _ : state) {
    for (int value : kValues) {
      std::to_chars_result result = std::to_chars(buffer, buffer + 6, value, 36);
      benchmark::DoNotOptimize(result);
      benchmark::DoNotOptimize(buffer);
    }
  }
  state.SetItemsProcessed(state.iterations() * kValues.size());
}

void BM_Base36ToInt(benchmark::State& state) {
  for (auto _ : state) {
    for (const std::string& digits : kDigits) benchmark::DoNotOptimize(zem_util::base36ToInt(digits.data(), 6));
  }
  state.SetItemsProcessed(state.iterations() * kDigits.size());
}

void BM_Strtoul36(benchmark::State& state) {
  for (auto _ : state) {
    for (const std::string& digits : kDigits) benchmark::DoNotOptimize(std::strtoul(digits.c_str(), nullptr, 36));
  }
  state.SetItemsProcessed(state.iterations() * kDigits.size());
}

void BM_FromChars36(benchmark::State& state) {
  for (auto _ : state) {
    for (const std::string& digits : kDigits) {
      unsigned value = 0;
      std::from_chars(digits.data(), digits.data() + 6, value, 36);
      benchmark::DoNotOptimize(value);
    }
  }
  state.SetItemsProcessed(state.iterations() * kDigits.size());
}

}  // namespace

BENCHMARK(BM_CompactPath);
BENCHMARK(BM_LexicallyNormal);
BENCHMARK(BM_IntToBase36);
BENCHMARK(BM_ToChars36);
BENCHMARK(BM_Base36ToInt);
BENCHMARK(BM_Strtoul36);
BENCHMARK(BM_FromChars36);

// Throughput of the approximate pattern search over 1 MB of generated
// name and address lines, for error bounds 0, 1 and 3.
//
//   BM_SearchLines/K       each line searched on its own, as a grep does
//   BM_SearchBuffer/K      the whole megabyte as one text, with a pattern that
//                          never matches, so every byte costs K + 1 words
//   BM_CompareStringsLines each line through CompareStrings, which parses
//                          the pattern again for every line

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "vexlor/strings/pattern_compare.h"

namespace {

constexpr size_t kTextBytes = 1 << 20;

struct Lines {
  std::string buffer;                   // lines, each ending in \n
  std::vector<std::string_view> lines;  // views into buffer, without \n
};

const Lines& GeneratedLines() {
  static const Lines* lines = [] {
    static constexpr const char* kFirst[] = {
        "Hans",   "Anna",   "Peter",  "Maria",   "J\xFCrgen",
        "Sabine", "Thomas", "Ursula", "Michael", "Monika",
        "Stefan", "Renate", "Klaus",  "Petra"};
    static constexpr const char* kLast[] = {"M\xFCller",
                                            "Meier",
                                            "Mayer",
                                            "Schmidt",
                                            "Schmitt",
                                            "Schneider",
                                            "Fischer",
                                            "Weber",
                                            "Wagner",
                                            "Becker",
                                            "Hoffmann",
                                            "Sch\xE4"
                                            "fer",
                                            "Koch",
                                            "Richter",
                                            "Klein",
                                            "Wolf",
                                            "Neumann",
                                            "Schwarz"};
    static constexpr const char* kStreet[] = {
        "Hauptstra\xDF"
        "e",
        "Bahnhofstr.",
        "Gartenweg",
        "Schulstrasse",
        "Lindenallee",
        "Kirchplatz",
        "Am Markt",
        "Bergstra\xDF"
        "e",
        "Waldweg",
        "Rosenstr."};
    static constexpr const char* kCity[] = {
        "Berlin",        "Hamburg",           "M\xFCnchen",
        "K\xF6ln",       "Frankfurt am Main", "Stuttgart",
        "D\xFCsseldorf", "Leipzig",           "Dortmund",
        "Essen"};
    auto* result = new Lines;
    std::mt19937 rng(20240611);
    auto pick = [&rng](const auto& list) {
      return list[rng() % (sizeof(list) / sizeof(list[0]))];
    };
    std::string& buffer = result->buffer;
    buffer.reserve(kTextBytes + 128);
    while (buffer.size() < kTextBytes) {
      buffer += pick(kFirst);
      buffer += ' ';
      buffer += pick(kLast);
      buffer += ", ";
      buffer += pick(kStreet);
      buffer += ' ' + std::to_string(1 + rng() % 120) + ", ";
      buffer += std::to_string(10000 + rng() % 89999) + ' ';
      buffer += pick(kCity);
      buffer += '\n';
    }
    buffer.resize(kTextBytes);
    buffer.back() = '\n';
    std::string_view rest = buffer;
    while (!rest.empty()) {
      const size_t end = rest.find('\n');
      result->lines.push_back(rest.substr(0, end));
      rest.remove_prefix(end + 1);
    }
    return result;
  }();
  return *lines;
}

// A realistic query: a name spelled several ways with an exact initial,
// then a street.
constexpr std::string_view kLinePattern = "{M}[ae][iy]er, Bahnhofstr";

void BM_SearchLines(benchmark::State& state) {
  const Lines& lines = GeneratedLines();
  const int max_errors = static_cast<int>(state.range(0));
  const vexlor::CompiledPattern pattern =
      vexlor::CompiledPattern::Compile(kLinePattern, /*ignore_case=*/true);
  int64_t hits = 0;
  for (auto _ : state) {
    for (std::string_view line : lines.lines) {
      hits += pattern.SearchUpTo(line, max_errors) <= max_errors;
    }
    benchmark::DoNotOptimize(hits);
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<int64_t>(lines.buffer.size()));
  state.counters["hit_lines"] =
      static_cast<double>(hits) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_SearchLines)->Arg(0)->Arg(1)->Arg(3);

void BM_SearchBuffer(benchmark::State& state) {
  const Lines& lines = GeneratedLines();
  const int max_errors = static_cast<int>(state.range(0));
  // 20 positions: a match within 3 errors would need 17 of these bytes in
  // order, which the generated text never has.
  const vexlor::CompiledPattern pattern =
      vexlor::CompiledPattern::Compile("Qzxjqvwkyzxq[0-9]vjqx", false);
  for (auto _ : state) {
    const int32_t result = pattern.SearchUpTo(lines.buffer, max_errors);
    if (result <= max_errors) state.SkipWithError("pattern unexpectedly found");
    benchmark::DoNotOptimize(result);
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<int64_t>(lines.buffer.size()));
}
BENCHMARK(BM_SearchBuffer)->Arg(0)->Arg(1)->Arg(3);

void BM_CompareStringsLines(benchmark::State& state) {
  const Lines& lines = GeneratedLines();
  int64_t sum = 0;
  for (auto _ : state) {
    for (std::string_view line : lines.lines) {
      sum += vexlor::CompareStrings(line, kLinePattern, true);
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<int64_t>(lines.buffer.size()));
}
BENCHMARK(BM_CompareStringsLines);

}  // namespace

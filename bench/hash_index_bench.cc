// Trigram index throughput: filing the two cluster texts of 100k generated
// records, and counting trigram hits for each record against all of them
// (the inner loop of the duplicate search): with the full counter clear and
// scan, with the hit list, and through TrigramHitCounters. Two data sets: names
// and streets, where common fragments (STR, ER_) make nearly every record hit
// most rows, and random codes, where a record hits few rows.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "benchmark/benchmark.h"
#include "tests/reference/trigram_counting.h"
#include "vexlor/tables/candidates/index_size.h"
#include "vexlor/tables/candidates/ll_hash.h"

namespace vexlor::reference {
namespace {

constexpr uint32_t kRecords = 100000;

struct Record {
  std::string name;    // or the first code
  std::string street;  // or the second code
};

enum Data { kNamesAndStreets = 0, kCodes = 1 };

// Upper-case names and streets with the spread of a real customer table:
// common first names, surnames and street words built from syllables, German
// and English street forms. A real 100k table of this kind visits about
// 160k filed occurrences per record; this one is in the same range.
const std::vector<Record>& NameRecords() {
  static const std::vector<Record>* records = [] {
    static const char* const kFirst[] = {
        "ANNA",     "BERND",   "CHRISTA",   "DIETER",  "ELKE",   "FRANZ",
        "GABRIELE", "HANS",    "INGRID",    "JUERGEN", "KARIN",  "LOTHAR",
        "MONIKA",   "NORBERT", "PETRA",     "RALF",    "SABINE", "THOMAS",
        "URSULA",   "VOLKER",  "JOHN",      "MARY",    "JAMES",  "SARAH",
        "DAVID",    "EMMA",    "MICHAEL",   "OLIVIA",  "PETER",  "SOPHIE",
        "GIULIA",   "MARCO",   "LUCA",      "CHIARA",  "PIERRE", "CLAIRE",
        "JAN",      "PIOTR",   "AGNIESZKA", "MEHMET",  "AYSE",   "IVAN"};
    static const char* const kSyllable[] = {
        "MUEL", "LER",   "SCHMI", "DT",   "BECK", "ER",   "WA",    "GNER",
        "HOFF", "MANN",  "KO",    "CH",   "RICH", "TER",  "KLEIN", "WOLF",
        "NEU",  "BRAUN", "HART",  "LANG", "WER",  "NER",  "KRA",   "USE",
        "SON",  "WIL",   "LI",    "AMS",  "TAY",  "LOR",  "BRO",   "WN",
        "DA",   "VIS",   "MAR",   "TIN",  "ROS",  "SI",   "NO",    "WSKI",
        "KOW",  "AL",    "DEM",   "IR",   "EL",   "BERG", "STEIN"};
    static const char* const kStreetEnd[] = {
        "STRASSE", "WEG",   "ALLEE",   "PLATZ", " STREET",
        " ROAD",   " LANE", " AVENUE", "GASSE", "RING"};
    auto* out = new std::vector<Record>();
    out->reserve(kRecords);
    std::mt19937 rng(12345);
    auto syllables = [&rng](int count) {
      std::string word;
      for (int i = 0; i < count; ++i)
        word += kSyllable[rng() % std::size(kSyllable)];
      return word;
    };
    for (uint32_t r = 0; r < kRecords; ++r) {
      std::string name = kFirst[rng() % std::size(kFirst)];
      name += ' ';
      name += syllables(2 + static_cast<int>(rng() % 2));
      // Some typing noise, as in real duplicates.
      if (rng() % 8 == 0)
        name[rng() % name.size()] = static_cast<char>('A' + rng() % 26);
      std::string street = syllables(1 + static_cast<int>(rng() % 2));
      street += kStreetEnd[rng() % std::size(kStreetEnd)];
      const std::string number = std::to_string(1 + rng() % 150);
      street = rng() % 2 ? street + " " + number : number + " " + street;
      out->push_back({std::move(name), std::move(street)});
    }
    return out;
  }();
  return *records;
}

const std::vector<Record>& CodeRecords() {
  static const std::vector<Record>* records = [] {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    auto* out = new std::vector<Record>();
    out->reserve(kRecords);
    std::mt19937 rng(54321);
    auto code = [&rng] {
      std::string text(10, ' ');
      for (char& ch : text) ch = kAlphabet[rng() % 36];
      return text;
    };
    for (uint32_t r = 0; r < kRecords; ++r) out->push_back({code(), code()});
    return out;
  }();
  return *records;
}

const std::vector<Record>& Records(int64_t data) {
  return data == kCodes ? CodeRecords() : NameRecords();
}

uint64_t TextTrigrams(const Record& rec) {
  return std::min<size_t>(rec.name.size(), kMaxTrigramText) +
         std::min<size_t>(rec.street.size(), kMaxTrigramText);
}

void FillIndex(const std::vector<Record>& records, LLHash& index) {
  const IndexSize size = StandardIndexSize(kRecords - 1);
  index.Init(size.buckets, size.node_block, size.node_block);
  for (uint32_t r = 0; r < kRecords; ++r) {
    AddTrigrams(records[r].name, r, index);
    AddTrigrams(records[r].street, r, index);
  }
}

const LLHash& FilledIndex(int64_t data) {
  static LLHash* indexes[2] = {nullptr, nullptr};
  if (indexes[data] == nullptr) {
    indexes[data] = new LLHash();
    FillIndex(Records(data), *indexes[data]);
  }
  return *indexes[data];
}

// Filed occurrences one record's query visits.
uint64_t Postings(const LLHash& index, const Record& rec) {
  uint64_t visited = 0;
  for (const std::string* text : {&rec.name, &rec.street}) {
    const std::string padded = "_" + text->substr(0, kMaxTrigramText) + "_";
    for (size_t i = 0; i + 2 < padded.size(); ++i) {
      visited += index.Find(std::string_view(padded).substr(i, 3)).size();
    }
  }
  return visited;
}

// Per-unit time: the counter holds units * 1e-9, so its inverted rate reads
// in nanoseconds per unit.
benchmark::Counter NanosPer(double units) {
  return benchmark::Counter(
      units * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_AddTrigrams(benchmark::State& state) {
  const std::vector<Record>& records = Records(state.range(0));
  uint64_t trigrams = 0;
  for (const Record& rec : records) trigrams += TextTrigrams(rec);
  LLHash index;
  for (auto _ : state) {
    FillIndex(records, index);
    benchmark::DoNotOptimize(index.GetNodesInUse());
  }
  state.counters["ns_per_trigram"] =
      NanosPer(static_cast<double>(trigrams * state.iterations()));
  state.counters["distinct_trigrams"] = index.GetNodesInUse();
}
BENCHMARK(BM_AddTrigrams)
    ->Arg(kNamesAndStreets)
    ->Arg(kCodes)
    ->Unit(benchmark::kMillisecond);

// Each iteration serves a slice of records, spread over the table. Candidates
// are rows reaching half the record's text length, as in the duplicate
// search with a cluster threshold of 0.5.
constexpr uint32_t kQueriesPerIteration = 200;

struct QueryStats {
  uint64_t trigrams = 0;
  uint64_t postings = 0;
  uint64_t candidates = 0;
  uint64_t queries = 0;

  void Report(benchmark::State& state) const {
    state.counters["ns_per_trigram"] = NanosPer(static_cast<double>(trigrams));
    state.counters["ns_per_posting"] = NanosPer(static_cast<double>(postings));
    state.counters["postings_per_record"] =
        static_cast<double>(postings) / static_cast<double>(queries);
    state.counters["candidates_per_record"] =
        static_cast<double>(candidates) / static_cast<double>(queries);
  }
};

uint32_t Need(const Record& rec) {
  return static_cast<uint32_t>((rec.name.size() + rec.street.size()) / 2);
}

// As the duplicate search states it: clear every counter, count, then test
// every row.
void BM_CountTrigramHits(benchmark::State& state) {
  const std::vector<Record>& records = Records(state.range(0));
  const LLHash& index = FilledIndex(state.range(0));
  std::vector<uint8_t> counters(kRecords, 0);
  QueryStats stats;
  uint32_t r = 0;
  for (auto _ : state) {
    for (uint32_t q = 0; q < kQueriesPerIteration; ++q) {
      const Record& rec = records[r];
      std::memset(counters.data(), 0, counters.size());
      CountTrigramHits(rec.name, r, index, counters.data());
      CountTrigramHits(rec.street, r, index, counters.data());
      const uint32_t need = Need(rec);
      for (uint32_t p = 0; p < kRecords; ++p)
        stats.candidates += counters[p] >= need;
      stats.trigrams += TextTrigrams(rec);
      ++stats.queries;
      r = (r + 7919) % kRecords;
    }
  }
  for (uint32_t i = 0, p = 0; i < stats.queries;
       ++i, p = (p + 7919) % kRecords) {
    stats.postings += Postings(index, records[p]);
  }
  stats.Report(state);
}
BENCHMARK(BM_CountTrigramHits)
    ->Arg(kNamesAndStreets)
    ->Arg(kCodes)
    ->Unit(benchmark::kMicrosecond);

// The same candidates from the hit list, through TakeTrigramCandidates.
void BM_CountTrigramHitsWithHitList(benchmark::State& state) {
  const std::vector<Record>& records = Records(state.range(0));
  const LLHash& index = FilledIndex(state.range(0));
  std::vector<uint8_t> counters(kRecords, 0);
  std::vector<uint32_t> touched;
  touched.reserve(kRecords);
  QueryStats stats;
  uint64_t rows_hit = 0;
  uint32_t r = 0;
  for (auto _ : state) {
    for (uint32_t q = 0; q < kQueriesPerIteration; ++q) {
      const Record& rec = records[r];
      touched.clear();
      CountTrigramHits(rec.name, r, index, counters.data(), &touched);
      CountTrigramHits(rec.street, r, index, counters.data(), &touched);
      rows_hit += touched.size();
      TakeTrigramCandidates(counters.data(), kRecords, Need(rec), &touched);
      stats.candidates += touched.size();
      stats.trigrams += TextTrigrams(rec);
      ++stats.queries;
      r = (r + 7919) % kRecords;
    }
  }
  for (uint32_t i = 0, p = 0; i < stats.queries;
       ++i, p = (p + 7919) % kRecords) {
    stats.postings += Postings(index, records[p]);
  }
  stats.Report(state);
  state.counters["rows_hit_per_record"] =
      static_cast<double>(rows_hit) / static_cast<double>(stats.queries);
}
BENCHMARK(BM_CountTrigramHitsWithHitList)
    ->Arg(kNamesAndStreets)
    ->Arg(kCodes)
    ->Unit(benchmark::kMicrosecond);

// TrigramHitCounters: lists hits only while they stay sparse.
void BM_TrigramHitCounters(benchmark::State& state) {
  const std::vector<Record>& records = Records(state.range(0));
  const LLHash& index = FilledIndex(state.range(0));
  TrigramHitCounters hits(kRecords);
  QueryStats stats;
  uint32_t r = 0;
  for (auto _ : state) {
    for (uint32_t q = 0; q < kQueriesPerIteration; ++q) {
      const Record& rec = records[r];
      hits.Count(rec.name, r, index);
      hits.Count(rec.street, r, index);
      stats.candidates += hits.Take(Need(rec)).size();
      stats.trigrams += TextTrigrams(rec);
      ++stats.queries;
      r = (r + 7919) % kRecords;
    }
  }
  for (uint32_t i = 0, p = 0; i < stats.queries;
       ++i, p = (p + 7919) % kRecords) {
    stats.postings += Postings(index, records[p]);
  }
  stats.Report(state);
}
BENCHMARK(BM_TrigramHitCounters)
    ->Arg(kNamesAndStreets)
    ->Arg(kCodes)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace vexlor::reference

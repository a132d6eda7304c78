// Edit distance, gestalt similarity and normalisation on the texts the batch
// methods compare: names (5-30 bytes), street and city (30-80 bytes), and
// long 10,000-byte texts. Names and addresses come from the sample customer
// table when it is there (pairs of neighbouring records, and pairs of
// records of one customer), else from a generator.

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "benchmark/benchmark.h"
#include "vexlor/strings/edit_distance.h"
#include "vexlor/strings/gestalt_similarity.h"
#include "vexlor/strings/normalize.h"

#ifndef VEXLOR_DATA_DIR
#define VEXLOR_DATA_DIR "."
#endif

namespace vexlor {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

struct Record {
  std::string name;     // first_name last_name, Windows-1252.
  std::string address;  // street city, Windows-1252.
};

struct BenchData {
  std::vector<Record> raw;
  Pairs names_neighbours;  // Normalised (upper case), as compared.
  Pairs names_same_customer;
  Pairs addresses_neighbours;
  Pairs addresses_same_customer;
  std::string long_text;
  std::string long_edited;  // long_text with scattered edits.
  std::string long_unrelated;
  std::string huge_text;  // 100,000 bytes.
  std::string huge_unrelated;
};

// UTF-8 to Windows-1252 for the characters the sample data uses.
std::string ToAnsi(std::string_view utf8) {
  static const std::map<uint32_t, char> kHigh = {
      {0x20AC, '\x80'}, {0x201A, '\x82'}, {0x0192, '\x83'}, {0x201E, '\x84'},
      {0x2026, '\x85'}, {0x2020, '\x86'}, {0x2021, '\x87'}, {0x02C6, '\x88'},
      {0x2030, '\x89'}, {0x0160, '\x8A'}, {0x2039, '\x8B'}, {0x0152, '\x8C'},
      {0x017D, '\x8E'}, {0x2018, '\x91'}, {0x2019, '\x92'}, {0x201C, '\x93'},
      {0x201D, '\x94'}, {0x2022, '\x95'}, {0x2013, '\x96'}, {0x2014, '\x97'},
      {0x02DC, '\x98'}, {0x2122, '\x99'}, {0x0161, '\x9A'}, {0x203A, '\x9B'},
      {0x0153, '\x9C'}, {0x017E, '\x9E'}, {0x0178, '\x9F'}};
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    uint32_t cp = c;
    size_t len = 1;
    if (c >= 0xF0) {
      len = 4;
      cp = c & 0x07;
    } else if (c >= 0xE0) {
      len = 3;
      cp = c & 0x0F;
    } else if (c >= 0xC0) {
      len = 2;
      cp = c & 0x1F;
    }
    for (size_t k = 1; k < len && i + k < utf8.size(); ++k) {
      cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    }
    i += len;
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      out += static_cast<char>(cp);
    } else {
      const auto it = kHigh.find(cp);
      out += it == kHigh.end() ? '?' : it->second;
    }
  }
  return out;
}

// One line of RFC 4180 text (no line breaks inside fields).
std::vector<std::string> SplitCsvLine(std::string_view line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        fields.back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        fields.back() += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      fields.emplace_back();
    } else if (c != '\r') {
      fields.back() += c;
    }
  }
  return fields;
}

std::vector<std::vector<std::string>> ReadCsv(const std::string& path) {
  std::vector<std::vector<std::string>> rows;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  bool header = true;
  while (std::getline(in, line)) {
    if (header) {
      header = false;
      continue;
    }
    if (!line.empty()) rows.push_back(SplitCsvLine(line));
  }
  return rows;
}

// Records from the sample table, plus the entity of each (for pairs of one
// customer's records); empty when the file is missing.
std::vector<Record> LoadRecords(std::vector<std::string>* entities) {
  std::vector<Record> records;
  const std::string dir = VEXLOR_DATA_DIR;
  const auto rows = ReadCsv(dir + "/customers-10k.csv");
  const auto truth = ReadCsv(dir + "/customers-10k.truth.csv");
  for (size_t i = 0; i < rows.size(); ++i) {
    const auto& r = rows[i];
    if (r.size() < 7) continue;
    records.push_back({ToAnsi(r[1] + " " + r[2]), ToAnsi(r[4] + " " + r[6])});
    entities->push_back(i < truth.size() && truth[i].size() > 1 ? truth[i][1]
                                                                : "");
  }
  return records;
}

// Made-up names and addresses, with every fifth record a near copy of the
// one before, for machines without the sample data.
std::vector<Record> GenerateRecords(std::vector<std::string>* entities) {
  const char* kFirst[] = {"Hans",   "Anna",  "J\xFCrgen",    "Marie", "Peter",
                          "Sabine", "Klaus", "Fran\xE7oise", "Ole",   "Ute"};
  const char* kLast[] = {"M\xFCller", "Schmidt",           "Meier-Schulze",
                         "Wei\xDF",   "von L\xF6wenstein", "Becker",
                         "Hoffmann",  "Kr\xE4mer"};
  const char* kStreet[] = {
      "Hauptstra\xDF"
      "e",
      "Bahnhofstr.", "Am Markt", "Lindenallee",
      "Paul-L\xF6"
      "be-Stra\xDF"
      "e"};
  const char* kCity[] = {"Berlin", "D\xFCsseldorf", "Halle (Saale)", "Bonn",
                         "Frankfurt am Main"};
  std::mt19937 rng(42);
  auto pick = [&rng](const auto& list) {
    return std::string(list[std::uniform_int_distribution<size_t>(
        0, std::size(list) - 1)(rng)]);
  };
  std::vector<Record> records;
  for (int i = 0; i < 10000; ++i) {
    if (i % 5 == 4) {
      Record copy = records.back();
      copy.name[copy.name.size() / 2] = 'x';
      records.push_back(copy);
      entities->push_back(entities->back());
      continue;
    }
    records.push_back(
        {pick(kFirst) + " " + pick(kLast),
         pick(kStreet) + " " + std::to_string(1 + i % 97) + " " + pick(kCity)});
    entities->push_back(std::to_string(i));
  }
  return records;
}

std::string LongText(const std::vector<Record>& records, size_t first,
                     size_t length) {
  std::string text;
  for (size_t i = first; text.size() < length; i = (i + 1) % records.size()) {
    text += records[i].address;
    text += ' ';
  }
  text.resize(length);
  return text;
}

const BenchData& Data() {
  static const BenchData* data = [] {
    auto* d = new BenchData;
    std::vector<std::string> entities;
    d->raw = LoadRecords(&entities);
    if (d->raw.size() < 100) {
      entities.clear();
      d->raw = GenerateRecords(&entities);
    }
    std::vector<Record> keys;
    for (const Record& r : d->raw) {
      keys.push_back(
          {NormalizeText(r.name, true), NormalizeText(r.address, true)});
    }
    for (size_t i = 0; i + 1 < keys.size(); ++i) {
      d->names_neighbours.emplace_back(keys[i].name, keys[i + 1].name);
      d->addresses_neighbours.emplace_back(keys[i].address,
                                           keys[i + 1].address);
    }
    std::map<std::string, size_t> first_of_entity;
    for (size_t i = 0; i < keys.size(); ++i) {
      const auto [it, inserted] = first_of_entity.emplace(entities[i], i);
      if (inserted || entities[i].empty()) continue;
      d->names_same_customer.emplace_back(keys[it->second].name, keys[i].name);
      d->addresses_same_customer.emplace_back(keys[it->second].address,
                                              keys[i].address);
    }
    d->long_text = LongText(keys, 0, 10000);
    d->long_edited = d->long_text;
    std::mt19937 rng(7);
    for (int e = 0; e < 20; ++e) {
      const size_t at = std::uniform_int_distribution<size_t>(
          0, d->long_edited.size() - 1)(rng);
      d->long_edited[at] = '#';
    }
    d->long_unrelated = LongText(keys, keys.size() / 2, 10000);
    d->huge_text = LongText(keys, 0, 100000);
    d->huge_unrelated = LongText(keys, keys.size() / 3, 100000);
    return d;
  }();
  return *data;
}

enum PairSet {
  kNamesNeighbours,
  kNamesSameCustomer,
  kAddressesNeighbours,
  kAddressesSameCustomer
};

const Pairs& Select(PairSet set) {
  const BenchData& d = Data();
  switch (set) {
    case kNamesNeighbours:
      return d.names_neighbours;
    case kNamesSameCustomer:
      return d.names_same_customer;
    case kAddressesNeighbours:
      return d.addresses_neighbours;
    default:
      return d.addresses_same_customer;
  }
}

void BM_EditDistance(benchmark::State& state, PairSet set) {
  const Pairs& pairs = Select(set);
  size_t i = 0;
  for (auto _ : state) {
    const auto& p = pairs[i];
    benchmark::DoNotOptimize(EditDistance(p.first, p.second));
    if (++i == pairs.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_GestaltSimilarity(benchmark::State& state, PairSet set) {
  const Pairs& pairs = Select(set);
  size_t i = 0;
  for (auto _ : state) {
    const auto& p = pairs[i];
    benchmark::DoNotOptimize(GestaltSimilarity(p.first, p.second));
    if (++i == pairs.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK_CAPTURE(BM_EditDistance, names_neighbours, kNamesNeighbours);
BENCHMARK_CAPTURE(BM_EditDistance, names_same_customer, kNamesSameCustomer);
BENCHMARK_CAPTURE(BM_EditDistance, addresses_neighbours, kAddressesNeighbours);
BENCHMARK_CAPTURE(BM_EditDistance, addresses_same_customer,
                  kAddressesSameCustomer);
BENCHMARK_CAPTURE(BM_GestaltSimilarity, names_neighbours, kNamesNeighbours);
BENCHMARK_CAPTURE(BM_GestaltSimilarity, names_same_customer,
                  kNamesSameCustomer);
BENCHMARK_CAPTURE(BM_GestaltSimilarity, addresses_neighbours,
                  kAddressesNeighbours);
BENCHMARK_CAPTURE(BM_GestaltSimilarity, addresses_same_customer,
                  kAddressesSameCustomer);

void BM_EditDistanceLong(benchmark::State& state, bool edited) {
  const BenchData& d = Data();
  const std::string& other = edited ? d.long_edited : d.long_unrelated;
  for (auto _ : state) {
    benchmark::DoNotOptimize(EditDistance(d.long_text, other));
  }
}

void BM_GestaltSimilarityLong(benchmark::State& state, bool edited) {
  const BenchData& d = Data();
  const std::string& other = edited ? d.long_edited : d.long_unrelated;
  for (auto _ : state) {
    benchmark::DoNotOptimize(GestaltSimilarity(d.long_text, other));
  }
}

BENCHMARK_CAPTURE(BM_EditDistanceLong, 10k_edited, true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_EditDistanceLong, 10k_unrelated, false)
    ->Unit(benchmark::kMillisecond);
void BM_EditDistanceHuge(benchmark::State& state) {
  const BenchData& d = Data();
  for (auto _ : state) {
    benchmark::DoNotOptimize(EditDistance(d.huge_text, d.huge_unrelated));
  }
}

void BM_GestaltSimilarityHuge(benchmark::State& state) {
  const BenchData& d = Data();
  for (auto _ : state) {
    benchmark::DoNotOptimize(GestaltSimilarity(d.huge_text, d.huge_unrelated));
  }
}

BENCHMARK(BM_EditDistanceHuge)
    ->Name("BM_EditDistanceLong/100k_unrelated")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GestaltSimilarityHuge)
    ->Name("BM_GestaltSimilarityLong/100k_unrelated")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_GestaltSimilarityLong, 10k_edited, true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_GestaltSimilarityLong, 10k_unrelated, false)
    ->Unit(benchmark::kMillisecond);

void BM_NormalizeTextInto(benchmark::State& state, bool addresses,
                          bool uppercase) {
  const auto& raw = Data().raw;
  std::string out;
  size_t i = 0;
  for (auto _ : state) {
    const Record& r = raw[i];
    NormalizeTextInto(addresses ? r.address : r.name, uppercase, &out);
    benchmark::DoNotOptimize(out.data());
    if (++i == raw.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_NormalizeText(benchmark::State& state, bool addresses) {
  const auto& raw = Data().raw;
  size_t i = 0;
  for (auto _ : state) {
    const Record& r = raw[i];
    benchmark::DoNotOptimize(
        NormalizeText(addresses ? r.address : r.name, true));
    if (++i == raw.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK_CAPTURE(BM_NormalizeTextInto, names_upper, false, true);
BENCHMARK_CAPTURE(BM_NormalizeTextInto, names_mixed, false, false);
BENCHMARK_CAPTURE(BM_NormalizeTextInto, addresses_upper, true, true);
BENCHMARK_CAPTURE(BM_NormalizeTextInto, addresses_mixed, true, false);
BENCHMARK_CAPTURE(BM_NormalizeText, names_upper, false);
BENCHMARK_CAPTURE(BM_NormalizeText, addresses_upper, true);

}  // namespace
}  // namespace vexlor

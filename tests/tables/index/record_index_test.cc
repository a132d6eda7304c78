#include "vexlor/tables/index/record_index.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tests/output/temp_dir.h"
#include "tests/tables/fuzzy_test_support.h"
#include "vexlor/tables/methods/dupe_search.h"
#include "vexlor/text.h"

namespace vexlor {
namespace {

using platform::Variant;
using platform::VariantArray;
using testing::FsPath;
using testing::ReadBytes;
using testing::TempDir;

// Groups of near-identical names and cities, far apart from each other, in
// random order: any sound grouping rule finds the same groups.
std::vector<std::vector<std::string>> ClusteredRows(uint32_t seed) {
  std::mt19937 random(seed);
  auto word = [&](int length) {
    std::string w;
    for (int i = 0; i < length; ++i) w += char('A' + random() % 26);
    return w;
  };
  std::vector<std::vector<std::string>> rows;
  for (int k = 0; k < 40; ++k) {
    const std::string name = word(12), city = word(8);
    const int copies = 1 + static_cast<int>(random() % 4);
    for (int c = 0; c < copies; ++c) {
      std::string variant = name;
      if (c > 0) variant[random() % variant.size()] = char('a' + c);
      rows.push_back({variant, city});
    }
  }
  std::shuffle(rows.begin(), rows.end(), random);
  return rows;
}

Variant TableOf(const std::vector<std::vector<std::string>>& rows, size_t from,
                size_t to) {
  Variant table = VariantArray::NewTable(2, static_cast<uint32_t>(to - from));
  for (size_t r = from; r < to; ++r) {
    for (uint32_t c = 0; c < 2; ++c) {
      table.AsArray()->cell(c, static_cast<uint32_t>(r - from)) =
          Variant::String(platform::Utf8ToUtf16(rows[r][c]));
    }
  }
  return table;
}

// The batch labels of `table` (DupeSearch, every column compared).
std::vector<std::string> BatchLabels(const Variant& table,
                                     const IndexSettings& settings) {
  testing::SeededContext ctx(3);
  const Variant result =
      DupeSearch(ctx, table, -1, settings.threshold, settings.cluster_threshold,
                 1, false, CandidateScan{}, settings.options);
  std::vector<std::string> labels;
  const VariantArray& r = *result.AsArray();
  for (uint32_t row = 0; row < r.rows(); ++row) {
    labels.push_back(platform::Utf16ToUtf8(r.cell(2, row).AsString()));
  }
  return labels;
}

// Whether two labellings put the same rows together.
bool SamePartition(const std::vector<std::string>& a,
                   const std::vector<std::string>& b) {
  std::map<std::string, std::string> a_to_b, b_to_a;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a_to_b.try_emplace(a[i], b[i]).first->second != b[i]) return false;
    if (b_to_a.try_emplace(b[i], a[i]).first->second != a[i]) return false;
  }
  return a.size() == b.size();
}

std::vector<std::string> Exported(RecordIndex& index) {
  std::vector<std::string> groups;
  std::string error;
  EXPECT_TRUE(index.Export(
      7,
      [&](const VariantArray&, std::span<const std::string* const> labels) {
        for (const std::string* label : labels) groups.push_back(*label);
      },
      &error))
      << error;
  return groups;
}

// An index made of the first part of a table and added the rest to in two
// calls groups the table as one batch run does, and the first part keeps
// its ids; matching first gives the add's answer.
TEST(RecordIndexTest, AddsAsABatchRunGroups) {
  struct Case {
    Grouping grouping;
    uint32_t seed;
  };
  const Case cases[] = {{Grouping::kChain, 1},  {Grouping::kCenter, 2},
                        {Grouping::kClique, 3}, {Grouping::kChain, 4},
                        {Grouping::kCenter, 5}, {Grouping::kClique, 6}};
  for (const Case& test : cases) {
    SCOPED_TRACE(test.seed);
    TempDir dir;
    const auto rows = ClusteredRows(test.seed);
    const size_t made = rows.size() * 7 / 10, middle = rows.size() * 85 / 100;
    IndexSettings settings;
    settings.names = {u"name", u"city"};
    settings.options.grouping = test.grouping;
    const Variant first = TableOf(rows, 0, made);
    const std::vector<std::string> first_labels = BatchLabels(first, settings);
    const std::string path = dir.File("people.index");
    std::string error;
    ASSERT_TRUE(RecordIndex::Create(path, settings, *first.AsArray(),
                                    first_labels, &error))
        << error;
    // The batch run's seed: new ids must still differ from its labels.
    auto index = RecordIndex::Open(path, 3, &error);
    ASSERT_NE(index, nullptr) << error;

    std::vector<std::string> labels = first_labels;
    for (auto [from, to] : {std::pair{made, middle}, {middle, rows.size()}}) {
      const Variant part = TableOf(rows, from, to);
      std::vector<RecordResult> matched, added;
      ASSERT_TRUE(index->Match(*part.AsArray(), &matched, &error)) << error;
      ASSERT_TRUE(index->Add(*part.AsArray(), &added, &error)) << error;
      ASSERT_EQ(matched.size(), added.size());
      for (size_t i = 0; i < added.size(); ++i) {
        EXPECT_EQ(matched[i].new_group, added[i].new_group);
        if (!added[i].new_group) {
          EXPECT_EQ(matched[i].group, added[i].group);
        }
        EXPECT_EQ(matched[i].matches.size(), added[i].matches.size());
        labels.push_back(added[i].group);
      }
    }
    const std::vector<std::string> batch =
        BatchLabels(TableOf(rows, 0, rows.size()), settings);
    EXPECT_LT(std::set<std::string>(batch.begin(), batch.end()).size(),
              rows.size() * 3 / 4);
    EXPECT_TRUE(SamePartition(labels, batch));
    EXPECT_EQ(Exported(*index), labels);
    index.reset();
    // What was added is there when the index is opened again.
    index = RecordIndex::Open(path, std::nullopt, &error);
    ASSERT_NE(index, nullptr) << error;
    EXPECT_EQ(Exported(*index), labels);
    EXPECT_EQ(index->Info().records, rows.size());
  }
}

// A file that is not a sound index of this version is refused with a
// message that says why, and left as it was.
TEST(RecordIndexTest, RefusesFilesItCannotRead) {
  TempDir dir;
  IndexSettings settings;
  settings.names = {u"name", u"city"};
  const auto rows = ClusteredRows(8);
  const Variant table = TableOf(rows, 0, rows.size());
  const std::vector<std::string> labels(rows.size(), "g");
  const std::string good = dir.File("good.index");
  std::string error;
  ASSERT_TRUE(
      RecordIndex::Create(good, settings, *table.AsArray(), labels, &error));
  const std::string bytes = ReadBytes(good);
  auto patched = [&](size_t at, char value) {
    std::string b = bytes;
    b[at] = value;
    return b;
  };
  struct Case {
    const char* name;
    std::string contents;
    const char* says;
  };
  const Case cases[] = {
      {"text", "name,city\nAnn,Bonn\n", "not an SQLite database"},
      {"foreign", patched(71, 0x01), "another program's database"},
      {"newer", patched(63, 0x02), "newer vexlor (index format 2"},
      {"cut", bytes.substr(0, bytes.size() / 2), "damaged"},
      {"empty", "", "not an SQLite database"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    const std::string path = dir.File(test.name);
    std::ofstream(FsPath(path), std::ios::binary) << test.contents;
    error.clear();
    EXPECT_EQ(RecordIndex::Open(path, std::nullopt, &error), nullptr);
    EXPECT_NE(error.find(test.says), std::string::npos) << error;
    EXPECT_EQ(ReadBytes(path), test.contents);
  }
  EXPECT_FALSE(
      RecordIndex::Create(good, settings, *table.AsArray(), labels, &error));
  EXPECT_NE(error.find("exists"), std::string::npos) << error;
}

}  // namespace
}  // namespace vexlor

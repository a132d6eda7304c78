#include "vexlor/tables/distributed/pair_ranges.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "tests/tables/distributed/replay.h"
#include "tests/tables/fuzzy_test_support.h"
#include "vexlor/tables/methods/dupe_search.h"
#include "vexlor/tables/methods/fuzzy_match.h"
#include "vexlor/variant.h"
#include "vexlor/variant_array.h"

namespace vexlor {
namespace {

using platform::Variant;
using testing::ReplayDupeSearch;
using testing::ReplayFuzzyMatch;
using testing::SeededContext;

struct Case {
  Variant table;
  ColumnOptions options;
  int32_t id_column = -1;
  double threshold = 80;
  double cluster_threshold = 0.5;
};

// Names and streets from a small pool with typos, so that groups form and
// chains cross; now and then a number or a cell without text.
Case RandomCase(std::mt19937& gen) {
  static const char* const kWords[] = {
      "Meier", "Meyer",         "Mayer",      "Schmidt",    "Schmitt",
      "Anna",  "Anne",          "Hans-Peter", "Hans Peter", "Berlin",
      "Belin", "Main Street 1", "Main St 1",  "Hauptstr. 5"};
  auto pick = [&](size_t n) { return static_cast<size_t>(gen() % n); };
  Case c;
  const uint32_t rows = 100 + pick(300), columns = 3;
  c.table = platform::VariantArray::NewTable(columns, rows);
  const bool holes = pick(3) == 0;
  for (uint32_t r = 0; r < rows; ++r) {
    c.table.AsArray()->cell(0, r) = Variant::I4(static_cast<int32_t>(r));
    for (uint32_t col = 1; col < columns; ++col) {
      std::string w = kWords[pick(std::size(kWords))];
      if (pick(3) == 0) w[pick(w.size())] = static_cast<char>('a' + pick(26));
      Variant cell = testing::S(w);
      if (holes && pick(50) == 0) cell = Variant::Null();
      c.table.AsArray()->cell(col, r) = cell;
    }
  }
  c.id_column = 0;
  const double thresholds[] = {60, 80, 90};
  const double clusters[] = {0.2, 0.5, 0.8, 0};
  c.threshold = thresholds[pick(3)];
  c.cluster_threshold = clusters[pick(4)];
  return c;
}

// The first `rows` records of the shared customers table, with the
// benchmark's column settings; no rows when the file is not there.
Case CustomersCase(uint32_t rows) {
  Case c;
  std::ifstream in("/work/shared/data/customers-1k.csv");
  std::string line;
  std::vector<std::vector<Variant>> cells;
  std::getline(in, line);  // the header
  while (cells.size() < rows && std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<Variant> row;
    std::string field;
    bool quoted = false;
    for (size_t i = 0; i <= line.size(); ++i) {
      const char ch = i < line.size() ? line[i] : ',';
      if (quoted && ch == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (ch == '"') {
        quoted = !quoted;
      } else if (ch == ',' && !quoted) {
        row.push_back(testing::S(field));
        field.clear();
      } else {
        field += ch;
      }
    }
    cells.push_back(row);
  }
  c.table = testing::MakeTable(cells, 9);
  for (int col = 0; col < 9; ++col) {
    const bool used = col >= 1 && col <= 6;
    c.options.Set(col, used, used, 1.0, false, u"");
  }
  c.id_column = 0;
  return c;
}

// Ranges of the records that the finders take: one, three uneven, or of
// seven records each.
std::vector<std::pair<uint32_t, uint32_t>> Split(uint32_t rows, int how) {
  std::vector<std::pair<uint32_t, uint32_t>> ranges;
  if (how == 0) return {{0, rows}};
  if (how == 1) return {{0, rows / 5}, {rows / 5, rows / 2}, {rows / 2, rows}};
  for (uint32_t at = 0; at < rows; at += 7) ranges.push_back({at, at + 7});
  return ranges;
}

// The labelling from found pairs gives DupeSearch's table, options, reports
// and last compared pair, for every grouping and every split of the ranges.
void ExpectReplayAgrees(const Case& c, const std::string& what, int* missed) {
  const char* const kGroupings[] = {
      "", "Grouping=Center", "Grouping=Clique;Scores=1", "Scoring=Estimated"};
  for (const char* text : kGroupings) {
    const MatchOptions options = ParseMatchOptions(platform::Utf8ToUtf16(text),
                                                   OptionsReader::kDupeSearch);
    SeededContext alone(11);
    alone.column_options = c.options;
    const Variant expected =
        DupeSearch(alone, c.table, c.id_column, c.threshold,
                   c.cluster_threshold, 1, false, CandidateScan{}, options);
    DupePairFinder finder(c.options, c.table, c.id_column, c.threshold,
                          c.cluster_threshold, options);
    for (int how = 0; how < 3; ++how) {
      SCOPED_TRACE(what + " " + text + " split " + std::to_string(how));
      std::vector<uint32_t> words;
      for (auto [begin, end] : Split(finder.rows(), how)) {
        finder.Find(begin, end, &words);
      }
      SeededContext replayed(11);
      replayed.column_options = c.options;
      FoundPairs found{words};
      const Variant result =
          ReplayDupeSearch(replayed, c.table, c.id_column, c.threshold,
                           c.cluster_threshold, 1, false, options, found);
      if (found.missed) {
        ++*missed;
        continue;
      }
      ASSERT_TRUE(testing::SameTable(result, expected));
      EXPECT_EQ(replayed.column_options.dupe_search,
                alone.column_options.dupe_search);
      ASSERT_EQ(replayed.field_list.count(), alone.field_list.count());
      for (int i = 0; i <= alone.field_list.count(); ++i) {
        const FieldEntry* x = replayed.field_list.entry(i);
        const FieldEntry* y = alone.field_list.entry(i);
        ASSERT_EQ(x == nullptr, y == nullptr);
        if (x == nullptr) continue;
        EXPECT_EQ(x->value, y->value);
        EXPECT_EQ(x->compare_value, y->compare_value);
      }
      ASSERT_EQ(replayed.sink.calls.size(), alone.sink.calls.size());
      for (size_t i = 0; i < alone.sink.calls.size(); ++i) {
        const ProgressFields& x = replayed.sink.calls[i].fields;
        const ProgressFields& y = alone.sink.calls[i].fields;
        ASSERT_EQ(x.cluster_current, y.cluster_current) << "call " << i;
        ASSERT_EQ(x.found, y.found);
        ASSERT_EQ(x.found2, y.found2);
      }
    }
  }
}

TEST(PairRangesTest, ReplayGivesDupeSearchResult) {
  std::mt19937 gen(42);
  int missed = 0;
  for (int iteration = 0; iteration < 12; ++iteration) {
    ExpectReplayAgrees(RandomCase(gen), "random " + std::to_string(iteration),
                       &missed);
  }
  // Only a change of the options within a record may send it back.
  EXPECT_LE(missed, 3);
  Case customers = CustomersCase(600);
  if (customers.table.AsArray()->rows() == 0) return;
  for (double cluster : {0.5, 0.3}) {
    customers.cluster_threshold = cluster;
    ExpectReplayAgrees(customers, "customers", &missed);
  }
}

// Rows begin to end - 1 of `table`.
Variant Slice(const Variant& table, uint32_t begin, uint32_t end) {
  const platform::VariantArray& a = *table.AsArray();
  end = std::min(end, a.rows());
  begin = std::min(begin, end);
  Variant part = platform::VariantArray::NewTable(a.columns(), end - begin);
  for (uint32_t r = begin; r < end; ++r) {
    for (uint32_t c = 0; c < a.columns(); ++c) {
      part.AsArray()->cell(c, r - begin) = a.cell(c, r);
    }
  }
  return part;
}

// The same for FuzzyMatch over ranges of the second table.
void ExpectMatchReplayAgrees(const Case& c, const Variant& master,
                             const Variant& second, const std::string& what,
                             int* missed) {
  for (const char* text :
       {"", "Match=Best;Scores=1", "Scoring=Estimated;Scores=1"}) {
    const MatchOptions options = ParseMatchOptions(platform::Utf8ToUtf16(text),
                                                   OptionsReader::kFuzzyMatch);
    SeededContext alone;
    alone.column_options = c.options;
    const Variant expected = FuzzyMatch(
        alone, master, second, c.id_column, c.threshold, c.cluster_threshold, 1,
        false, u"", u"", TextEncoding::kWindows1252, CandidateScan{}, options);
    MatchPairFinder finder(c.options, master, c.id_column, c.threshold,
                           c.cluster_threshold, options);
    for (int how = 0; how < 3; ++how) {
      SCOPED_TRACE(what + " " + text + " split " + std::to_string(how));
      std::vector<uint32_t> words;
      for (auto [begin, end] : Split(second.AsArray()->rows(), how)) {
        finder.Find(Slice(second, begin, end), &words);
      }
      SeededContext replayed;
      replayed.column_options = c.options;
      FoundPairs found{words};
      const Variant result =
          ReplayFuzzyMatch(replayed, master, second, c.id_column, c.threshold,
                           c.cluster_threshold, 1, false, u"", u"",
                           TextEncoding::kWindows1252, options, found);
      if (found.missed) {
        ++*missed;
        continue;
      }
      ASSERT_TRUE(testing::SameTable(result, expected));
      EXPECT_EQ(replayed.column_options.dupe_search,
                alone.column_options.dupe_search);
      ASSERT_EQ(replayed.sink.calls.size(), alone.sink.calls.size());
      for (size_t i = 0; i < alone.sink.calls.size(); ++i) {
        const ProgressFields& x = replayed.sink.calls[i].fields;
        const ProgressFields& y = alone.sink.calls[i].fields;
        ASSERT_EQ(x.cluster_current, y.cluster_current) << "call " << i;
        ASSERT_EQ(x.found2, y.found2);
      }
      const FieldEntry* x = replayed.field_list.entry(1);
      const FieldEntry* y = alone.field_list.entry(1);
      ASSERT_EQ(x == nullptr, y == nullptr);
      if (x != nullptr) {
        EXPECT_EQ(x->compare_value, y->compare_value);
      }
    }
  }
}

TEST(PairRangesTest, MatchReplayGivesFuzzyMatchResult) {
  std::mt19937 gen(8);
  int missed = 0;
  for (int iteration = 0; iteration < 30; ++iteration) {
    testing::RandomCase rc = testing::MakeRandomCase(gen);
    Case c;
    c.options = rc.options;
    c.id_column = rc.id_column;
    c.threshold = rc.threshold;
    c.cluster_threshold = rc.cluster_threshold;
    ExpectMatchReplayAgrees(c, rc.master, rc.second,
                            "random " + std::to_string(iteration), &missed);
  }
  EXPECT_EQ(missed, 0);
  Case customers = CustomersCase(900);
  if (customers.table.AsArray()->rows() == 0) return;
  const Variant master = Slice(customers.table, 0, 600);
  const Variant second = Slice(customers.table, 600, 900);
  ExpectMatchReplayAgrees(customers, master, second, "customers", &missed);
  EXPECT_EQ(missed, 0);
}

TEST(PairRangesTest, BadWordsAreSearchedAgain) {
  std::mt19937 gen(5);
  const Case c = RandomCase(gen);
  SeededContext alone(3), replayed(3);
  alone.column_options = replayed.column_options = c.options;
  const Variant expected = DupeSearch(alone, c.table, c.id_column, c.threshold,
                                      c.cluster_threshold, 1, false);
  // Cut short and out of form: the records they do not describe are found
  // where they are labelled.
  const std::vector<uint32_t> words = {0, 0, FoundHeader(9, true), 5};
  FoundPairs found{words};
  const Variant result =
      ReplayDupeSearch(replayed, c.table, c.id_column, c.threshold,
                       c.cluster_threshold, 1, false, MatchOptions(), found);
  EXPECT_FALSE(found.missed);
  EXPECT_TRUE(testing::SameTable(result, expected));
  EXPECT_THROW(
      DupePairFinder(c.options, Variant::I4(1), -1, 80, 0.5, MatchOptions()),
      std::invalid_argument);
}

}  // namespace
}  // namespace vexlor

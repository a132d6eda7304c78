#include "vexlor/tables/methods/fuzzy_merge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tests/output/temp_dir.h"
#include "tests/reference/fuzzy_match_reference.h"
#include "tests/tables/fuzzy_test_support.h"
#include "vexlor/platform/guid.h"
#include "vexlor/platform/testing/allocation_walk.h"
#include "vexlor/variant.h"
#include "vexlor/variant_array.h"

namespace vexlor {
namespace {

using platform::Variant;
using platform::VariantArray;
using testing::MakeTable;
using testing::ProgressCall;
using testing::S;
using testing::SeededContext;
using testing::TempDir;
using testing::Text;

constexpr int16_t kImport = 0;       // MRR_IMPORT
constexpr int16_t kAll = 1;          // MRR_ALL
constexpr int16_t kDupes = 2;        // MRR_DUPES
constexpr int16_t kCleanMerged = 3;  // MRR_CLEANMERGED
constexpr uint64_t kSeed = 7;

Variant Merge(SeededContext& ctx, const Variant& master, const Variant& import,
              int16_t mode, const std::string& imported = "",
              const std::string& rejected = "",
              double cluster_threshold = 0.5) {
  return FuzzyMerge(ctx, master, import, -1, 80, cluster_threshold, mode, false,
                    platform::Utf8ToUtf16(imported),
                    platform::Utf8ToUtf16(rejected));
}

// The n-th label (from 1) that a context with kSeed hands out.
std::map<std::string, int> LabelNumbers() {
  platform::SeededGuidSource source(kSeed);
  std::map<std::string, int> numbers;
  for (int n = 1; n <= 50; ++n) {
    platform::Guid guid;
    source.Create(&guid);
    numbers[platform::FormatGuid(guid)] = n;
  }
  return numbers;
}

// Each row as "name", or in modes 1 to 3 as "name source gN" with N the
// number of its label in the order the labels were made.
std::vector<std::string> Describe(const Variant& result) {
  static const std::map<std::string, int> numbers = LabelNumbers();
  std::vector<std::string> rows;
  const VariantArray* a = result.AsArray();
  if (a == nullptr) return rows;
  for (uint32_t r = 0; r < a->rows(); ++r) {
    std::string row = Text(a->cell(0, r));
    if (a->columns() >= 4) {
      const Variant& id = a->cell(a->columns() - 2, r);
      const Variant& source = a->cell(a->columns() - 1, r);
      EXPECT_EQ(source.vt(), platform::VT_I4);
      auto it = numbers.find(Text(id));
      row +=
          " " + std::to_string(source.AsInt32()) + " g" +
          (it == numbers.end() ? std::string("?") : std::to_string(it->second));
    }
    rows.push_back(row);
  }
  return rows;
}

Variant Row(const char* name, const char* street) {
  return MakeTable({{S(name), S(street)}});
}

TEST(FuzzyMergeTest, ModesAndIdentifiers) {
  const Variant meier = Row("Meier", "Main Street 1");
  const Variant two_schulz = MakeTable(
      {{S("Schulz"), S("Park Road 7")}, {S("Schulz"), S("Park Road 7")}});
  const Variant meier_schulz = MakeTable(
      {{S("Meier"), S("Main Street 1")}, {S("Schulz"), S("Park Road 7")}});
  const Variant meier_becker = MakeTable(
      {{S("Meier"), S("Main Street 1")}, {S("Becker"), S("Hill Lane 3")}});
  using Rows = std::vector<std::string>;
  struct Case {
    const char* name;
    Variant master, import;
    int16_t mode;
    Rows rows;
    bool empty = false;
  } cases[] = {
      // Two identical new records: the second resembles the first, merged
      // before it. Labels: g1 master; per record an id (g2, g4) and, when
      // it resembles nothing, one more for itself (g3).
      {"twins import", meier, two_schulz, kImport, {"Schulz"}},
      {"twins clean",
       meier,
       two_schulz,
       kCleanMerged,
       {"Meier 0 g1", "Schulz 1 g3"}},
      {"twins all",
       meier,
       two_schulz,
       kAll,
       {"Meier 0 g1", "Schulz 1 g4", "Schulz 1 g4"}},
      {"twins dupes",
       meier,
       two_schulz,
       kDupes,
       {"Schulz 1 g4", "Schulz 1 g4"}},
      // A record identical to a master record takes it into its group.
      {"known import", meier_schulz, meier_becker, kImport, {"Becker"}},
      {"known clean",
       meier_schulz,
       meier_becker,
       kCleanMerged,
       {"Meier 0 g1", "Schulz 0 g2", "Becker 1 g5"}},
      {"known all",
       meier_schulz,
       meier_becker,
       kAll,
       {"Meier 0 g3", "Schulz 0 g2", "Meier 1 g3", "Becker 1 g5"}},
      {"known dupes",
       meier_schulz,
       meier_becker,
       kDupes,
       {"Meier 0 g3", "Meier 1 g3"}},
      // Everything rejected: a table without rows; nothing shared: Empty.
      {"all rejected", meier_schulz, meier, kImport, {}},
      {"nothing shared", meier, Row("Schulz", "Park Road 7"), kDupes, {}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SeededContext ctx(kSeed);
    Variant result = Merge(ctx, c.master, c.import, c.mode);
    EXPECT_EQ(Describe(result), c.rows);
    EXPECT_EQ(result.IsEmpty(), c.empty);
    EXPECT_EQ(ctx.error, 0);
  }
}

TEST(FuzzyMergeTest, LogsInEveryMode) {
  TempDir dir;
  const std::string imported = dir.File("imported.log");
  const std::string rejected = dir.File("rejected.log");
  // The import table is wider than the master: logs carry all its columns.
  Variant master = MakeTable(
      {{S("Meier"), S("Main Street 1")}, {S("Schulz"), S("Park Road 7")}});
  Variant import =
      MakeTable({{S("Meier"), S("Main Street 1"), Variant::I4(7)},
                 {S("Becker"), S("Hill \"Top\" Lane"), Variant::Null()},
                 {S("Schultz"), S("Park Road 7"), Variant::R8(1.5)},
                 {S("Zimmer"), Variant::I4(12), Variant::Bool(false)}});
  for (int16_t mode : {kImport, kAll, kDupes, kCleanMerged, int16_t{7}}) {
    SCOPED_TRACE(mode);
    SeededContext ctx;
    ctx.column_options.Set(1, true, true, 1.0, false, u"Street");
    Variant result = Merge(ctx, master, import, mode, imported, rejected);
    EXPECT_EQ(result.IsEmpty(), mode == 7);
    EXPECT_EQ(ctx.error, 0);
    EXPECT_EQ(
        testing::ReadBytes(imported),
        testing::ReadBytes(testing::GoldenPath("fuzzy_merge_imported.log")));
    EXPECT_EQ(
        testing::ReadBytes(rejected),
        testing::ReadBytes(testing::GoldenPath("fuzzy_merge_rejected.log")));
    EXPECT_EQ(ctx.sink.Of(ProgressCall::kAgain).size(), 1u);
  }
}

TEST(FuzzyMergeTest, ShapesOptionsAndBounds) {
  // Master of three columns counted from 1, import of two counted from 0.
  Variant master = VariantArray::NewTable(3, 1, 1, 1);
  master.AsArray()->cell(0, 0) = S("Meier");
  master.AsArray()->cell(2, 0) = S("only in master");
  Variant import =
      MakeTable({{S("Meier"), Variant::I4(5)}, {S("Becker"), Variant::I4(6)}});
  SeededContext ctx;
  // Column 1 is Empty in the master row: it drops out of the comparison.
  Variant all = Merge(ctx, master, import, kAll);
  VariantArray& a = *all.AsArray();
  ASSERT_EQ(a.columns(), 5u);
  ASSERT_EQ(a.rows(), 3u);
  EXPECT_EQ(a.LowerBound(0), 1);
  EXPECT_EQ(a.LowerBound(1), 1);
  EXPECT_EQ(Text(a.cell(2, 0)), "only in master");
  EXPECT_EQ(a.cell(1, 1).AsInt32(), 5);
  EXPECT_TRUE(a.cell(2, 1).IsEmpty());
  EXPECT_TRUE(a.cell(2, 2).IsEmpty());
  for (uint32_t r = 0; r < 3; ++r) {
    const std::string id = Text(a.cell(3, r));
    EXPECT_EQ(id.size(), 38u);
    EXPECT_EQ(id.front(), '{');
    EXPECT_EQ(id.back(), '}');
  }
  EXPECT_EQ(Text(a.cell(3, 0)), Text(a.cell(3, 1)));
  EXPECT_FALSE(ctx.column_options.dupe_search[1]);
  for (int c : {3, 4}) {
    EXPECT_FALSE(ctx.column_options.cluster[c] ||
                 ctx.column_options.dupe_search[c]);
    EXPECT_EQ(ctx.column_options.weight[c], 0.0);
  }
  EXPECT_EQ(ctx.column_options.Name(3), u"FuzzyDupesID");
  EXPECT_EQ(ctx.column_options.Name(4), u"Source");

  // The import result: the common columns, the import table's bounds.
  Variant shifted = VariantArray::NewTable(2, 1, 4, 9);
  shifted.AsArray()->cell(0, 0) = S("Becker");
  Variant only = Merge(ctx, master, shifted, kImport);
  EXPECT_EQ(only.AsArray()->columns(), 2u);
  EXPECT_EQ(only.AsArray()->LowerBound(1), 9);
  EXPECT_EQ(Describe(only), std::vector<std::string>{"Becker"});
}

TEST(FuzzyMergeTest, ProgressAndCounters) {
  // Both master rows resemble the import record.
  Variant master = MakeTable({{S("Meier")}, {S("Meier")}});
  Variant import = MakeTable({{S("Meier")}, {S("Becker")}});
  struct Case {
    int16_t mode;
    int32_t found2, candidates_max;
  } cases[] = {
      // The scan stops at the first resembling record, uncounted.
      {kImport, 1, 0},
      {kCleanMerged, 1, 0},
      // Every resembling record takes the new identifier.
      {kAll, 2, 2},
      {kDupes, 2, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    SeededContext ctx;
    FuzzyMerge(ctx, master, import, -1, 80, 0.5, c.mode, true, u"", u"");
    EXPECT_EQ(ctx.sink.title_id, 204);
    EXPECT_EQ(ctx.sink.found_label_id, 206);
    EXPECT_EQ(ctx.sink.Of(ProgressCall::kBegin).at(1).status, 205);
    std::vector<ProgressCall> again = ctx.sink.Of(ProgressCall::kAgain);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0].fields.record_no, 2);
    EXPECT_EQ(again[0].fields.found, 1);
    EXPECT_EQ(again[0].fields.found2, c.found2);
    EXPECT_EQ(again[0].fields.cluster_max, c.candidates_max);
  }
}

TEST(FuzzyMergeTest, CancelInEitherStage) {
  testing::ExpectCancelInEitherStage(
      [](SeededContext& ctx, const Variant& table, const std::string& imported,
         const std::string& rejected) {
        return Merge(ctx, table, table, kAll, imported, rejected);
      },
      1);
}

// Whether rows i and j of a merged table share their identifier, for every
// pair, against the reference's groups.
void ExpectSameGroups(const VariantArray& got,
                      const std::vector<int64_t>& groups) {
  ASSERT_EQ(got.rows(), groups.size());
  const uint32_t id = got.columns() - 2;
  for (uint32_t i = 0; i < groups.size(); ++i) {
    for (uint32_t j = i + 1; j < groups.size(); ++j) {
      ASSERT_EQ(Text(got.cell(id, i)) == Text(got.cell(id, j)),
                groups[i] == groups[j])
          << i << " " << j;
    }
  }
}

TEST(FuzzyMergeTest, AgreesWithTheReference) {
  std::mt19937 gen(20240613);
  for (int iteration = 0; iteration < 300; ++iteration) {
    SCOPED_TRACE(iteration);
    testing::RandomCase rc = testing::MakeRandomCase(gen);
    const int16_t mode = static_cast<int16_t>(gen() % 4);
    SeededContext ctx;
    ctx.column_options = rc.options;
    Variant result =
        FuzzyMerge(ctx, rc.master, rc.second, rc.id_column, rc.threshold,
                   rc.cluster_threshold, mode, false, u"", u"");
    ColumnOptions options = rc.options;
    if (rc.id_column >= 0) {
      options.cluster[rc.id_column] = options.dupe_search[rc.id_column] = false;
    }
    const VariantArray& master = *rc.master.AsArray();
    const VariantArray& import = *rc.second.AsArray();
    reference::MergeOutcome want = reference::ReferenceMerge(
        master, import, options, rc.threshold, rc.cluster_threshold, mode);
    const ProgressFields last = ctx.sink.Of(ProgressCall::kAgain).at(0).fields;
    ASSERT_EQ(last.found,
              std::count(want.rejected.begin(), want.rejected.end(), true));
    ASSERT_EQ(last.found2, want.found2);
    want.options.dupe_search[master.columns()] = false;
    want.options.dupe_search[master.columns() + 1] = false;
    ASSERT_EQ(ctx.column_options.dupe_search, want.options.dupe_search);
    if (mode == kImport) {
      ASSERT_EQ(result.AsArray()->rows(), want.appended.size());
      for (uint32_t k = 0; k < want.appended.size(); ++k) {
        ASSERT_TRUE(SameValue(result.AsArray()->cell(0, k),
                              import.cell(0, want.appended[k])));
      }
      continue;
    }
    if (mode == kDupes) {
      // The rows of the shared identifiers, as a set of (source, first cell).
      std::map<int64_t, int> sizes;
      for (int64_t g : want.group) ++sizes[g];
      size_t shared = 0;
      for (int64_t g : want.group) shared += sizes[g] > 1;
      ASSERT_EQ(result.IsEmpty() ? 0u : result.AsArray()->rows(), shared);
      continue;
    }
    const VariantArray& got = *result.AsArray();
    ASSERT_EQ(got.rows(), master.rows() + want.appended.size());
    for (uint32_t k = 0; k < want.appended.size(); ++k) {
      const uint32_t row = master.rows() + k;
      ASSERT_EQ(got.cell(got.columns() - 1, row).AsInt32(), 1);
      ASSERT_TRUE(
          SameValue(got.cell(0, row), import.cell(0, want.appended[k])));
    }
    ExpectSameGroups(got, want.group);
  }
}

// Swap in every mode, and the pairs observed, against the reference.
TEST(FuzzyMergeTest, SwapAgreesWithTheReference) {
  struct Count : PairObserver {
    void OnPair(const MatchedPair& p) override {
      EXPECT_LT(p.other, p.other_imported ? import_rows : master_rows);
      ++pairs;
    }
    uint32_t master_rows = 0;
    uint32_t import_rows = 0;
    int64_t pairs = 0;
  };
  std::mt19937 gen(20250119);
  const int swaps[][2] = {{0, 1}, {2, 1}, {0, 3}};
  for (int iteration = 0; iteration < 300; ++iteration) {
    SCOPED_TRACE(iteration);
    testing::RandomCase rc = testing::MakeRandomCase(gen);
    const int16_t mode = static_cast<int16_t>(gen() % 4);
    const int* swap = swaps[gen() % 3];
    const VariantArray& master = *rc.master.AsArray();
    const VariantArray& import = *rc.second.AsArray();
    Count observed;
    observed.master_rows = master.rows();
    observed.import_rows = import.rows();
    MatchOptions mo;
    mo.swap_first = swap[0];
    mo.swap_second = swap[1];
    mo.pair_observer = &observed;
    SeededContext ctx;
    ctx.column_options = rc.options;
    const Variant result =
        FuzzyMerge(ctx, rc.master, rc.second, rc.id_column, rc.threshold,
                   rc.cluster_threshold, mode, false, u"", u"",
                   TextEncoding::kUtf8, CandidateScan{}, mo);
    ColumnOptions options = rc.options;
    if (rc.id_column >= 0) {
      options.cluster[rc.id_column] = options.dupe_search[rc.id_column] = false;
    }
    const reference::MergeOutcome want =
        reference::ReferenceMerge(master, import, options, rc.threshold,
                                  rc.cluster_threshold, mode, swap[0], swap[1]);
    const ProgressFields last = ctx.sink.Of(ProgressCall::kAgain).at(0).fields;
    ASSERT_EQ(last.found,
              std::count(want.rejected.begin(), want.rejected.end(), true));
    ASSERT_EQ(last.found2, want.found2);
    if (mode == kImport || mode == kCleanMerged) {
      ASSERT_EQ(observed.pairs, last.found);  // the scan stops at the first
    }
    if (mode == kAll) ExpectSameGroups(*result.AsArray(), want.group);
  }
}

// Rows of unrelated texts.
Variant RandomRows(int rows, uint32_t seed) {
  std::mt19937 gen(seed);
  std::vector<std::vector<Variant>> out;
  for (int i = 0; i < rows; ++i) {
    std::string a, b;
    for (int k = 0; k < 10; ++k) a.push_back('A' + gen() % 26);
    for (int k = 0; k < 12; ++k) b.push_back('A' + gen() % 26);
    out.push_back({Variant::I4(i), S(a), S(b)});
  }
  return MakeTable(out);
}

int64_t CountAllocations(const Variant& master, const Variant& import) {
  SeededContext ctx;
  ctx.sink.calls.reserve(1000);
  return platform::testing::AllocationCount([&] {
    FuzzyMerge(ctx, master, import, 0, 80, 0.0, kAll, false, u"", u"");
  });
}

TEST(FuzzyMergeTest, NoAllocationPerCandidatePair) {
  // ClusterThreshold 0 compares all pairs, appended records included.
  const int64_t small = CountAllocations(RandomRows(50, 1), RandomRows(50, 2));
  const int64_t large =
      CountAllocations(RandomRows(100, 1), RandomRows(100, 2));
  EXPECT_LT(large, small * 5 / 2) << small << " -> " << large;
}

TEST(FuzzyMergeTest, EveryAllocationFailureIsReported) {
  // Half the import records repeat master records, so groups form.
  Variant master = RandomRows(12, 3);
  Variant import = RandomRows(12, 3);
  for (uint32_t r = 6; r < 12; ++r) {
    import.AsArray()->cell(1, r) = S("Other" + std::to_string(r));
  }
  for (int16_t mode : {kDupes, kImport}) {
    SCOPED_TRACE(mode);
    SeededContext reference_ctx;
    const Variant reference = FuzzyMerge(reference_ctx, master, import, 0, 80,
                                         0.5, mode, false, u"", u"");
    std::set<std::string> outcomes;
    platform::testing::WalkAllocationFailures([&](int64_t n) {
      SeededContext ctx;
      ctx.sink.calls.reserve(1000);
      Variant result;
      const bool failed = platform::testing::FailsAt(n, [&] {
        result =
            FuzzyMerge(ctx, master, import, 0, 80, 0.5, mode, false, u"", u"");
      });
      EXPECT_EQ(master.AsArray()->locks() + import.AsArray()->locks(), 0);
      if (!ctx.sink.calls.empty()) {
        EXPECT_EQ(ctx.sink.calls.back().kind, ProgressCall::kClose);
      }
      if (!failed || ctx.error == 0) {
        // A failure the call absorbed must not change the result.
        EXPECT_TRUE(testing::SameTable(result, reference));
      } else if (result.IsEmpty()) {
        outcomes.insert("empty");
      } else if (result.AsArray() == nullptr) {
        outcomes.insert("no array");
      } else {
        // Groups of the identifiers entered before the failure.
        EXPECT_EQ(mode, kDupes);
        EXPECT_LE(result.AsArray()->rows(), reference.AsArray()->rows());
        outcomes.insert("some groups");
      }
      return failed;
    });
    EXPECT_TRUE(outcomes.count("empty") && outcomes.count("no array"));
  }
}

}  // namespace
}  // namespace vexlor

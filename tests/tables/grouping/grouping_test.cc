// The duplicate search's settings (grouping, member threshold, swap, scores,
// pair observer) against the reference, on random tables with planted
// duplicates, with host code changing column options during reports.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "tests/reference/candidate_strategies.h"
#include "tests/reference/dupe_search_reference.h"
#include "tests/tables/fuzzy_test_support.h"
#include "vexlor/match_options.h"
#include "vexlor/tables/methods/dupe_search.h"
#include "vexlor/tables/scoring/fs_model.h"
#include "vexlor/tables/stages/batch_workers.h"

namespace vexlor {
namespace {

using platform::Variant;
using platform::VariantArray;
using reference::Canonical;
using testing::ProgressCall;
using testing::S;

constexpr int16_t kAll = 1;    // DRR_ALL
constexpr int16_t kDupes = 0;  // DRR_DUPES

// Customers of a few first names, last names, streets and towns, each
// with up to three copies that carry typos, swapped names, missing or Null
// cells and capitals; shuffled, with the row number in column 0.
Variant PlantedTable(std::mt19937& gen) {
  static const char* const kPools[4][5] = {
      {"Anna", "Hans", "Peter", "Sabine", "Maria"},
      {"Meier", "Mueller", "Schmidt", "Weber", "Wagner"},
      {"Hauptstr. 5", "Main Street 1", "Park Road 7", "Bahnhofstr 12",
       "Hauptstrasse 5"},
      {"Berlin", "Hamburg", "Koeln", "Bremen", "Bonn"}};
  auto pick = [&](int n) { return static_cast<int>(gen() % n); };
  std::vector<std::vector<Variant>> rows;
  for (int base = 1 + pick(14); base > 0; --base) {
    std::string fields[4];
    for (int c = 0; c < 4; ++c) fields[c] = kPools[c][pick(5)];
    for (int copy = pick(4); copy >= 0; --copy) {
      std::vector<Variant> row{Variant()};
      std::string f[4] = {fields[0], fields[1], fields[2], fields[3]};
      for (int change = copy == 0 ? 0 : pick(3); change > 0; --change) {
        std::string& t = f[pick(4)];
        switch (pick(4)) {
          case 0:
            if (!t.empty())
              t[pick(static_cast<int>(t.size()))] = 'a' + pick(26);
            break;
          case 1:
            std::swap(f[0], f[1]);
            break;
          case 2:
            for (char& ch : t) ch = static_cast<char>(std::toupper(ch));
            break;
          default:
            t.clear();
        }
      }
      for (int c = 0; c < 4; ++c) {
        const int kind = pick(30);
        row.push_back(kind == 0   ? Variant()
                      : kind == 1 ? Variant::Null()
                                  : S(f[c]));
      }
      rows.push_back(row);
    }
  }
  std::shuffle(rows.begin(), rows.end(), gen);
  for (size_t r = 0; r < rows.size(); ++r) {
    rows[r][0] = Variant::I4(static_cast<int32_t>(r));
  }
  return testing::MakeTable(rows, 5);
}

class PairList : public PairObserver {
 public:
  void OnPair(const MatchedPair& p) override {
    EXPECT_FALSE(p.other_imported);
    pairs.emplace_back(p.record, p.other, p.similarity);
  }
  std::vector<std::tuple<uint32_t, uint32_t, double>> pairs;
};

TEST(GroupingTest, AgreesWithTheReference) {
  std::mt19937 gen(20250117);
  const Grouping kGroupings[] = {Grouping::kChain, Grouping::kCenter,
                                 Grouping::kClique};
  for (int iteration = 0; iteration < 300; ++iteration) {
    SCOPED_TRACE(iteration);
    const Variant table = PlantedTable(gen);
    ColumnOptions options;
    for (int c = 1; c < 5; ++c) {
      const double weights[] = {1.0, 1.0, 1.0, 0.5, 2.0};
      options.Set(c, gen() % 5 != 0, gen() % 5 != 0, weights[gen() % 5],
                  gen() % 4 == 0, u"");
    }
    const double threshold = 60.0 + 10.0 * (gen() % 4);
    const double cluster_threshold = 0.2 * (gen() % 4);
    MatchOptions mo;
    mo.grouping = kGroupings[gen() % 3];
    const double member[] = {-1, 50, 70, 90};
    if (const double m = member[gen() % 4]; m >= 0) mo.member_threshold = m;
    const int swaps[][2] = {{-1, -1}, {1, 2}, {2, 1}, {1, 9}};
    const int* swap = swaps[gen() % 4];
    mo.swap_first = swap[0];
    mo.swap_second = swap[1];
    mo.scores = gen() % 2 == 0;
    // A third of the runs score with a given model of random m and u.
    std::mt19937 model_gen(iteration);
    FsModel model;
    model.prior = 0.05 * (1 + model_gen() % 19);
    for (int c = 1; c < 5; ++c) {
      FsColumn col;
      col.column = c;
      col.exact = options.weight[c] > 1.0;
      for (int l = 0; l < kFsLevels; ++l) {
        col.m[l] = (1 + model_gen() % 100) / 100.0;
        col.u[l] = (1 + model_gen() % 100) / 100.0;
      }
      model.columns.push_back(col);
    }
    model.Index();
    if (model_gen() % 3 == 0) {
      mo.scoring = Scoring::kEstimated;
      mo.model = &model;
    }
    // The host turns a column's comparison over after record 10 and its
    // clustering after record 20.
    const int flipped[2] = {1 + static_cast<int>(gen() % 4),
                            1 + static_cast<int>(gen() % 4)};
    auto host = [&](int32_t record, ColumnOptions& o) {
      if (record == 10) o.dupe_search[flipped[0]] = !o.dupe_search[flipped[0]];
      if (record == 20) o.cluster[flipped[1]] = !o.cluster[flipped[1]];
    };
    ColumnOptions started = options;
    started.cluster[0] = started.dupe_search[0] = false;
    const reference::DupeOutcome want = reference::ReferenceDupeSearch(
        *table.AsArray(), started, threshold, cluster_threshold, mo, host);

    for (const CandidateScan& scan :
         {CandidateScan{}, reference::HitListScan()}) {
      testing::SeededContext ctx(iteration);
      ctx.column_options = options;
      ctx.sink.on_call = [&](const ProgressCall& c) {
        if (c.kind == ProgressCall::kReport) {
          host(c.fields.record_no, ctx.column_options);
        }
      };
      PairList observed;
      mo.pair_observer = &observed;
      const Variant all = DupeSearch(ctx, table, 0, threshold,
                                     cluster_threshold, kAll, false, scan, mo);
      const VariantArray& got = *all.AsArray();
      ASSERT_EQ(got.columns(), mo.scores ? 7u : 6u);
      std::vector<std::string> labels;
      for (uint32_t r = 0; r < got.rows(); ++r) {
        labels.push_back(testing::Text(got.cell(5, r)));
        if (!mo.scores) continue;
        const Variant& score = got.cell(6, r);
        if (std::isnan(want.score[r])) {
          ASSERT_TRUE(score.IsEmpty()) << r;
        } else {
          ASSERT_EQ(score.AsDouble(), want.score[r]) << r;
        }
      }
      ASSERT_EQ(Canonical(labels), Canonical(want.group));
      ASSERT_EQ(observed.pairs, want.pairs);
      ASSERT_EQ(ctx.column_options.dupe_search, want.options.dupe_search);
      std::vector<ProgressCall> reports;
      for (const ProgressCall& c : ctx.sink.calls) {
        if ((c.kind == ProgressCall::kReport && c.fields.record_no > 0) ||
            c.kind == ProgressCall::kAgain) {
          reports.push_back(c);
        }
      }
      ASSERT_EQ(reports.size(), want.reports.size());
      for (size_t i = 0; i < reports.size(); ++i) {
        const ProgressFields& a = reports[i].fields;
        const ProgressFields& b = want.reports[i];
        ASSERT_EQ(std::tie(a.cluster_current, a.cluster_max, a.cluster_average,
                           a.record_no, a.record_count, a.found, a.found2),
                  std::tie(b.cluster_current, b.cluster_max, b.cluster_average,
                           b.record_no, b.record_count, b.found, b.found2))
            << "report " << i;
      }

      // The groups alone: every row of a shared label, with its score.
      testing::SeededContext dupes_ctx(iteration);
      dupes_ctx.column_options = options;
      dupes_ctx.sink.on_call = [&](const ProgressCall& c) {
        if (c.kind == ProgressCall::kReport) {
          host(c.fields.record_no, dupes_ctx.column_options);
        }
      };
      mo.pair_observer = nullptr;
      const Variant dupes =
          DupeSearch(dupes_ctx, table, 0, threshold, cluster_threshold, kDupes,
                     false, scan, mo);
      std::map<int64_t, int> sizes;
      for (int64_t g : want.group) ++sizes[g];
      uint32_t shared = 0;
      for (int64_t g : want.group) shared += sizes[g] > 1;
      ASSERT_EQ(dupes.IsEmpty() ? 0u : dupes.AsArray()->rows(), shared);
      for (uint32_t k = 0; k < shared; ++k) {
        const VariantArray& d = *dupes.AsArray();
        const uint32_t row = static_cast<uint32_t>(d.cell(0, k).AsInt32());
        ASSERT_EQ(testing::Text(d.cell(5, k)), labels[row]);
        if (mo.scores) {
          ASSERT_TRUE(SameValue(d.cell(6, k), got.cell(6, row)));
        }
      }
    }
  }
}

// On a table of a few thousand rows the candidates of the next records are
// found on a worker thread (with two processors), and not at all for the
// records that Center will not search: the same groups and reports as the
// straightforward scan.
TEST(GroupingTest, CandidatesFoundAheadAgreeWithTheStraightforwardScan) {
  std::mt19937 gen(8);
  auto letters = [&](int n) { return testing::RandomLetters(gen, n); };
  const std::vector<std::string> streets = testing::RandomStreets(gen, 40);
  std::vector<std::vector<Variant>> rows;
  for (int i = 0; i < 1700; ++i) {
    const std::string name = letters(10);
    const std::string& street = streets[gen() % streets.size()];
    for (int copy = 0; copy < 3; ++copy) {
      std::string typo = name;
      typo[gen() % typo.size()] = 'A' + gen() % 26;
      rows.push_back({Variant::I4(3 * i + copy), S(typo), S(street)});
    }
  }
  const Variant table = testing::MakeTable(rows);
  // Clique also with the estimated model, whose verdicts the workers find
  // too.
  const struct {
    Grouping grouping;
    Scoring scoring;
  } kRuns[] = {{Grouping::kCenter, Scoring::kMean},
               {Grouping::kClique, Scoring::kMean},
               {Grouping::kClique, Scoring::kEstimated}};
  for (const auto& run : kRuns) {
    SCOPED_TRACE(static_cast<int>(run.scoring));
    MatchOptions mo;
    mo.grouping = run.grouping;
    mo.scoring = run.scoring;
    mo.scores = true;
    testing::SeededContext slow(3);
    const Variant b = DupeSearch(slow, table, 0, 80, 0.5, kAll, false,
                                 reference::HitListScan(), mo);
    for (unsigned threads : {1u, 2u, 8u}) {
      SetBatchThreadCount(threads);
      testing::SeededContext fast(3);
      const Variant a =
          DupeSearch(fast, table, 0, 80, 0.5, kAll, false, CandidateScan{}, mo);
      SetBatchThreadCount(0);
      ASSERT_TRUE(testing::SameTable(a, b)) << threads;
      ASSERT_EQ(fast.sink.calls.size(), slow.sink.calls.size());
      for (size_t i = 0; i < fast.sink.calls.size(); ++i) {
        const ProgressFields& x = fast.sink.calls[i].fields;
        const ProgressFields& y = slow.sink.calls[i].fields;
        ASSERT_EQ(std::tie(x.cluster_current, x.found, x.found2),
                  std::tie(y.cluster_current, y.found, y.found2))
            << threads << " threads, call " << i;
      }
    }
  }
}

}  // namespace
}  // namespace vexlor

#include "vexlor/tables/methods/fuzzy_match.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "tests/output/temp_dir.h"
#include "tests/reference/candidate_strategies.h"
#include "tests/reference/fuzzy_match_reference.h"
#include "tests/tables/fuzzy_test_support.h"
#include "vexlor/platform/testing/allocation_walk.h"
#include "vexlor/return_results.h"
#include "vexlor/tables/methods/fuzzy_merge.h"
#include "vexlor/tables/stages/batch_workers.h"
#include "vexlor/variant.h"
#include "vexlor/variant_array.h"

namespace vexlor {
namespace {

using platform::Variant;
using platform::VariantArray;
using testing::FakeBatchContext;
using testing::MakeTable;
using testing::ProgressCall;
using testing::S;
using testing::TempDir;

constexpr int16_t kAll = 0;       // MAR_ALL
constexpr int16_t kPositive = 1;  // MAR_POSITIVE
constexpr int16_t kNegative = 2;  // MAR_NEGATIVE

Variant Match(FakeBatchContext& ctx, const Variant& master,
              const Variant& match, int16_t mode = kAll, double threshold = 80,
              double cluster_threshold = 0.5, const std::string& positive = "",
              const std::string& negative = "") {
  return FuzzyMatch(ctx, master, match, -1, threshold, cluster_threshold, mode,
                    false, platform::Utf8ToUtf16(positive),
                    platform::Utf8ToUtf16(negative));
}

// The "Match" column of a result, or nothing for a result without rows.
std::vector<int32_t> MatchColumn(const Variant& result) {
  std::vector<int32_t> out;
  const VariantArray* a = result.AsArray();
  if (a == nullptr) return out;
  for (uint32_t r = 0; r < a->rows(); ++r) {
    const Variant& cell = a->cell(a->columns() - 1, r);
    EXPECT_EQ(cell.vt(), platform::VT_I4);
    out.push_back(cell.AsInt32());
  }
  return out;
}

// The last reporter call: the closing report of a complete run.
ProgressFields Closing(const FakeBatchContext& ctx) {
  std::vector<ProgressCall> again = ctx.sink.Of(ProgressCall::kAgain);
  EXPECT_EQ(again.size(), 1u);
  return again.empty() ? ProgressFields{} : again.back().fields;
}

Variant People() {
  return MakeTable({{S("Meier"), S("Main Street 1")},
                    {S("Schulz"), S("Park Road 7")},
                    {S("Becker"), S("Hill Lane 3")}});
}

TEST(FuzzyMatchTest, ArgumentsAndEmptyTables) {
  TempDir dir;
  const std::string negative = dir.File("negative.log");
  Variant none = MakeTable({}, 2);
  Variant two = MakeTable(
      {{S("Meier"), S("Main Street 1")}, {S("Nobody"), S("Nowhere 9")}});
  FakeBatchContext ctx;
  // A string instead of either table.
  EXPECT_TRUE(Match(ctx, S("table"), People()).IsEmpty());
  EXPECT_TRUE(Match(ctx, People(), S("table")).IsEmpty());
  EXPECT_EQ(ctx.error, 0);
  EXPECT_TRUE(ctx.sink.calls.empty());
  // A match table without rows: every master row, none matched.
  Variant all = Match(ctx, People(), none);
  EXPECT_EQ(MatchColumn(all), (std::vector<int32_t>{0, 0, 0}));
  EXPECT_EQ(all.AsArray()->columns(), 3u);
  // A master table without rows: Empty, and every record logged negative.
  EXPECT_TRUE(Match(ctx, none, two, kAll, 80, 0.5, "", negative).IsEmpty());
  EXPECT_EQ(testing::ReadBytes(negative),
            "\"Column1\";\"Column2\"\r\n\"Meier\";\"Main Street 1\"\r\n"
            "\"Nobody\";\"Nowhere 9\"\r\n");
  EXPECT_EQ(ctx.error, 0);
}

TEST(FuzzyMatchTest, CandidatesAndComparisons) {
  const Variant long_text = S(std::string(600, 'Q'));
  using Row = std::vector<Variant>;
  struct Case {
    const char* name;
    Row master, match;
    double weight, cluster_threshold, threshold;
    int32_t match_value;  // of the master row
    int32_t candidates;   // of the match record
  } cases[] = {
      // _AB and ABC are shared: 2 hits of 4 needed at most.
      {"ABCD 0.5", {S("ABCE")}, {S("ABCD")}, 2.0, 0.5, 0, 1, 1},
      {"ABCD 0.6", {S("ABCE")}, {S("ABCD")}, 2.0, 0.6, 0, 1, 1},
      {"ABCD 0.75", {S("ABCE")}, {S("ABCD")}, 2.0, 0.75, 0, 0, 0},
      // A candidate whose exact field differs scores 0.
      {"ABCD above 0", {S("ABCE")}, {S("ABCD")}, 2.0, 0.5, 0.001, 0, 1},
      // 300 hits needed, counters stop at 255.
      {"600 characters", {long_text}, {long_text}, 2.0, 0.5, 0, 0, 0},
      {"600 characters at 0.4", {long_text}, {long_text}, 2.0, 0.4, 0, 1, 1},
      // Every master row when the need is 0, shared trigrams or not.
      {"need 0", {S("XYZ")}, {S("ABC")}, 1.0, 0.0, 0, 1, 1},
      {"case and blanks", {S("meier  ")}, {S("MEIER")}, 1.0, 1.0, 100, 1, 1},
      // Numbers are not normalised on either side: -5 stays -5.
      {"negative integer",
       {S("Meier"), Variant::I4(-5)},
       {S("Meier"), Variant::I4(-5)},
       1.0,
       0.5,
       100,
       1,
       1},
      {"negative real",
       {S("Meier"), Variant::R8(-2.5)},
       {S("Meier"), Variant::R8(-2.5)},
       1.0,
       0.5,
       100,
       1,
       1},
      {"integer and its text",
       {S("Meier"), Variant::I4(25)},
       {S("Meier"), S("25")},
       1.0,
       0.5,
       100,
       1,
       1},
      {"other sign",
       {S("Meier"), Variant::I4(-5)},
       {S("Meier"), Variant::I4(5)},
       1.0,
       0.5,
       100,
       0,
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeBatchContext ctx;
    ctx.column_options.weight[0] = c.weight;
    Variant result = Match(ctx, MakeTable({c.master}), MakeTable({c.match}),
                           kAll, c.threshold, c.cluster_threshold);
    EXPECT_EQ(MatchColumn(result), std::vector<int32_t>{c.match_value});
    EXPECT_EQ(Closing(ctx).cluster_current, c.candidates);
  }
}

TEST(FuzzyMatchTest, ReturnModesAndTheFirstMatchingRecord) {
  // Records 1 and 2 both resemble master row 2; record 0 resembles none.
  Variant match = MakeTable({{S("Zimmer"), S("Lake View 12")},
                             {S("Becker"), S("Hill Lane 3")},
                             {S("Bäcker"), S("Hill Lane 3")}});
  struct Case {
    int16_t mode;
    std::vector<int32_t> match_column;
    std::vector<std::string> names;
  } cases[] = {
      {kAll, {0, 0, 2}, {"Meier", "Schulz", "Becker"}},
      {kPositive, {2}, {"Becker"}},
      {kNegative, {0, 0}, {"Meier", "Schulz"}},
      {5, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    FakeBatchContext ctx;
    Variant result = Match(ctx, People(), match, c.mode);
    EXPECT_EQ(MatchColumn(result), c.match_column);
    std::vector<std::string> names;
    for (uint32_t r = 0; result.AsArray() && r < result.AsArray()->rows();
         ++r) {
      names.push_back(testing::Text(result.AsArray()->cell(0, r)));
    }
    EXPECT_EQ(names, c.names);
    EXPECT_EQ(result.IsEmpty(), c.names.empty());
    // Found: matched records; found2: matched pairs.
    EXPECT_EQ(Closing(ctx).found, 2);
    EXPECT_EQ(Closing(ctx).found2, 2);
  }
  FakeBatchContext ctx;
  EXPECT_TRUE(
      Match(ctx, People(), MakeTable({{S("Zimmer")}}), kPositive).IsEmpty());
}

TEST(FuzzyMatchTest, Progress) {
  std::vector<std::vector<Variant>> rows;
  for (int r = 0; r < 150; ++r) rows.push_back({S("M" + std::to_string(r))});
  Variant master = MakeTable(rows);
  rows.resize(10);
  Variant match = MakeTable(rows);
  FakeBatchContext ctx;
  FuzzyMatch(ctx, master, match, -1, 80, 0.5, kAll, true, u"", u"");
  const testing::RecordingSink& sink = ctx.sink;
  EXPECT_TRUE(sink.show_progress);
  EXPECT_EQ(sink.title_id, 212);
  EXPECT_EQ(sink.found_label_id, 207);
  std::vector<ProgressCall> begins = sink.Of(ProgressCall::kBegin);
  ASSERT_EQ(begins.size(), 2u);
  EXPECT_EQ(begins[0].status, 201);
  EXPECT_EQ(begins[0].event, ProgressEvent::kProgress);
  EXPECT_EQ(begins[0].fields.cluster_current, 1);
  EXPECT_EQ(begins[1].status, 213);
  EXPECT_EQ(begins[1].event, ProgressEvent::kProgressDupeSearch);
  EXPECT_EQ(begins[1].fields.record_count, 10);
  std::vector<ProgressCall> reports = sink.Of(ProgressCall::kReport);
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_DOUBLE_EQ(reports[0].percent, 99 * 100.0 / 149);
  EXPECT_EQ(reports[0].fields.record_no, -1);
  // The tenth of ten records: (s + 1) x 100 / last row, above 100.
  EXPECT_NEAR(reports[1].percent, 111.1, 0.05);
  EXPECT_EQ(reports[1].fields.record_no, 10);
  EXPECT_EQ(reports[1].fields.record_count, 10);
  EXPECT_EQ(reports[1].fields.found, 10);
  std::vector<ProgressCall> again = sink.Of(ProgressCall::kAgain);
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(again[0].percent, 100);
  EXPECT_EQ(again[0].status, 203);
  EXPECT_EQ(again[0].fields.record_no, 10);
  EXPECT_EQ(sink.calls.back().kind, ProgressCall::kClose);
}

TEST(FuzzyMatchTest, OptionsTakenAndLeft) {
  FakeBatchContext ctx;
  ColumnOptions& o = ctx.column_options;
  // Column 2 is the identifier; column 1 compares an Empty cell, column 3
  // a Null one.
  Variant master = MakeTable({{S("Meier"), S("x"), S("id1"), Variant::Null()}});
  Variant match =
      MakeTable({{S("Meier"), Variant(), S("id2"), Variant::Null()}});
  Variant result =
      FuzzyMatch(ctx, master, match, 2, 100, 0.5, kAll, false, u"", u"");
  EXPECT_EQ(MatchColumn(result), std::vector<int32_t>{1});
  EXPECT_FALSE(o.cluster[2] || o.dupe_search[2]);
  EXPECT_FALSE(o.dupe_search[1]);
  EXPECT_TRUE(o.dupe_search[3]);
  // The Match column's options.
  EXPECT_FALSE(o.cluster[4] || o.dupe_search[4] || o.compare_null[4]);
  EXPECT_EQ(o.weight[4], 0.0);
  EXPECT_EQ(o.Name(4), u"Match");
}

TEST(FuzzyMatchTest, ShapesWidthsAndBounds) {
  // 450 master columns: 400 to 449 are neither compared nor copied.
  Variant wide = VariantArray::NewTable(450, 1);
  wide.AsArray()->cell(0, 0) = S("Meier");
  wide.AsArray()->cell(449, 0) = S("copied?");
  FakeBatchContext ctx;
  Variant result = Match(ctx, wide, MakeTable({{S("Meier"), S("Main")}}));
  ASSERT_EQ(result.AsArray()->columns(), 451u);
  EXPECT_TRUE(result.AsArray()->cell(449, 0).IsEmpty());
  EXPECT_EQ(MatchColumn(result), std::vector<int32_t>{1});

  // Different widths: only the columns both tables have are compared.
  Variant narrow_master = MakeTable({{S("Meier")}});
  Variant wide_match = MakeTable({{S("Meier"), S("only here")}});
  EXPECT_EQ(MatchColumn(Match(ctx, narrow_master, wide_match, kAll, 100)),
            std::vector<int32_t>{1});
  EXPECT_EQ(MatchColumn(Match(ctx, wide_match, narrow_master, kAll, 100)),
            std::vector<int32_t>{1});

  // Tables counted from 1 are read from their first cells; the result keeps
  // the master's bounds.
  Variant master = VariantArray::NewTable(2, 2, 1, 1);
  Variant match = VariantArray::NewTable(2, 1, -3, 5);
  for (auto [t, r, name] :
       {std::tuple{&master, 0u, "Schulz"}, std::tuple{&master, 1u, "Meier"},
        std::tuple{&match, 0u, "Meier"}}) {
    t->AsArray()->cell(0, r) = S(name);
    t->AsArray()->cell(1, r) = S("Main Street 1");
  }
  result = Match(ctx, master, match);
  EXPECT_EQ(result.AsArray()->LowerBound(0), 1);
  EXPECT_EQ(result.AsArray()->LowerBound(1), 1);
  EXPECT_EQ(MatchColumn(result), (std::vector<int32_t>{0, 1}));
}

TEST(FuzzyMatchTest, LogsAreByteExact) {
  TempDir dir;
  const std::string positive = dir.File("positive.log");
  const std::string negative = dir.File("negative.log");
  FakeBatchContext ctx;
  ctx.column_options.Set(0, true, true, 1.0, false, u"Name");
  ctx.column_options.Set(2, false, false, 1.0, false, u"Say \"hi\"");
  Variant master = MakeTable({{S("Meier"), Variant::I4(3), S("x")},
                              {S("Schulz"), Variant::I4(4), S("y")}});
  Variant match = MakeTable(
      {{S("Meyer"), Variant::I4(3), S("a \"quoted\"\r\nline"),
        Variant::R8(2.5)},
       {S("Zimmermann"), Variant::Null(), Variant(), Variant::Bool(true)},
       {S("Schulze"), Variant::I4(4), S(""), Variant::R8(-0.125)}});
  Variant result = Match(ctx, master, match, kAll, 70, 0.3, positive, negative);
  EXPECT_EQ(MatchColumn(result), (std::vector<int32_t>{1, 3}));
  EXPECT_EQ(
      testing::ReadBytes(positive),
      testing::ReadBytes(testing::GoldenPath("fuzzy_match_positive.log")));
  EXPECT_EQ(
      testing::ReadBytes(negative),
      testing::ReadBytes(testing::GoldenPath("fuzzy_match_negative.log")));

  // Without headers and quotes, with a delimiter of two characters.
  ctx.csv_settings = {u", ", false, false};
  Match(ctx, master, match, kAll, 70, 0.3, "", negative);
  EXPECT_EQ(testing::ReadBytes(negative), "Zimmermann, , , True\r\n");
}

TEST(FuzzyMatchTest, CancelInEitherStage) {
  testing::ExpectCancelInEitherStage(
      [](FakeBatchContext& ctx, const Variant& table,
         const std::string& positive, const std::string& negative) {
        return Match(ctx, table, table, kAll, 80, 0.5, positive, negative);
      },
      0);
}

TEST(FuzzyMatchTest, AgreesWithTheReference) {
  std::mt19937 gen(20240612);
  for (int iteration = 0; iteration < 300; ++iteration) {
    SCOPED_TRACE(iteration);
    testing::RandomCase rc = testing::MakeRandomCase(gen);
    FakeBatchContext ctx;
    ctx.column_options = rc.options;
    Variant result =
        FuzzyMatch(ctx, rc.master, rc.second, rc.id_column, rc.threshold,
                   rc.cluster_threshold, kAll, false, u"", u"");
    ColumnOptions options = rc.options;
    if (rc.id_column >= 0) {
      options.cluster[rc.id_column] = options.dupe_search[rc.id_column] = false;
    }
    reference::MatchOutcome want =
        reference::ReferenceMatch(*rc.master.AsArray(), *rc.second.AsArray(),
                                  options, rc.threshold, rc.cluster_threshold);
    ASSERT_EQ(MatchColumn(result), want.match);
    // The Match column's options are set as well.
    want.options.dupe_search[rc.master.AsArray()->columns()] = false;
    ASSERT_EQ(ctx.column_options.dupe_search, want.options.dupe_search);
    const ProgressFields last = Closing(ctx);
    ASSERT_EQ(last.found,
              std::count(want.matched.begin(), want.matched.end(), true));
    ASSERT_EQ(last.found2, want.pairs);
    ASSERT_EQ(last.cluster_max, want.max_candidates);
  }
}

// Match=Best, Swap and Scores: the kept record, its similarity and the
// pairs observed, against the reference.
TEST(FuzzyMatchTest, BestSwapAndScoresAgreeWithTheReference) {
  struct Count : PairObserver {
    void OnPair(const MatchedPair& p) override {
      EXPECT_GE(p.similarity, threshold);
      ++pairs;
    }
    double threshold = 0;
    int64_t pairs = 0;
  };
  std::mt19937 gen(20250118);
  const int swaps[][2] = {{-1, -1}, {0, 1}, {2, 1}, {0, 3}};
  for (int iteration = 0; iteration < 300; ++iteration) {
    SCOPED_TRACE(iteration);
    testing::RandomCase rc = testing::MakeRandomCase(gen);
    MatchOptions mo;
    mo.match = gen() % 3 == 0 ? MatchChoice::kFirst : MatchChoice::kBest;
    const int* swap = swaps[gen() % 4];
    mo.swap_first = swap[0];
    mo.swap_second = swap[1];
    mo.scores = true;
    Count observed;
    observed.threshold = rc.threshold;
    mo.pair_observer = &observed;
    FakeBatchContext ctx;
    ctx.column_options = rc.options;
    const Variant result =
        FuzzyMatch(ctx, rc.master, rc.second, rc.id_column, rc.threshold,
                   rc.cluster_threshold, kAll, false, u"", u"",
                   TextEncoding::kUtf8, CandidateScan{}, mo);
    ColumnOptions options = rc.options;
    if (rc.id_column >= 0) {
      options.cluster[rc.id_column] = options.dupe_search[rc.id_column] = false;
    }
    reference::MatchOutcome want = reference::ReferenceMatch(
        *rc.master.AsArray(), *rc.second.AsArray(), options, rc.threshold,
        rc.cluster_threshold, mo.match == MatchChoice::kBest, swap[0], swap[1]);
    const uint32_t columns = rc.master.AsArray()->columns();
    want.options.dupe_search[columns] = want.options.dupe_search[columns + 1] =
        false;
    ASSERT_EQ(ctx.column_options.dupe_search, want.options.dupe_search);
    ASSERT_EQ(ctx.column_options.Name(columns + 1), u"Similarity");
    ASSERT_EQ(observed.pairs, want.pairs);
    const VariantArray* got = result.AsArray();
    ASSERT_EQ(got == nullptr ? 0u : got->rows(), want.match.size());
    for (uint32_t r = 0; r < want.match.size(); ++r) {
      ASSERT_EQ(got->columns(), columns + 2);
      ASSERT_EQ(got->cell(columns, r).AsInt32(), want.match[r]) << r;
      const Variant& score = got->cell(columns + 1, r);
      if (want.match[r] == 0) {
        ASSERT_TRUE(score.IsEmpty());
      } else {
        ASSERT_EQ(score.AsDouble(), want.score[r]) << r;
      }
    }
  }
}

// A master table of a few thousand rows has the candidates of the next
// records, and their verdicts, found on worker threads: for every thread
// count the same result, reports, logs and field list as the
// straightforward scan, also when the host changes options or its second
// table during reports, or cancels.
// A merge searches the records it appended on the calling thread, beside
// what the workers found, so it is checked here too.
TEST(FuzzyMatchTest, MatchAndMergeFoundAheadAgreeWithTheStraightforwardScan) {
  // Every row has one of 40 streets, which alone makes it a candidate of
  // the others of its street while column 2 clusters.
  std::mt19937 gen(7);
  auto letters = [&](int n) { return testing::RandomLetters(gen, n); };
  const std::vector<std::string> streets = testing::RandomStreets(gen, 40);
  std::vector<std::vector<Variant>> masters, seconds;
  for (int i = 0; i < 5000; ++i) {
    std::string name = letters(10);
    const std::string& street = streets[gen() % streets.size()];
    masters.push_back({Variant::I4(i), S(name), S(street)});
    if (i % 8 == 0) {
      if (i % 16 == 0) name[3] = 'Z';
      seconds.push_back({Variant::I4(i), S(name), S(street)});
      // A record of the second table like one before it.
      if (i % 24 == 0) seconds.push_back({Variant::I4(-i), S(name), S(street)});
    }
  }
  const Variant master = MakeTable(masters);
  auto field_list = [](FieldColl& f) {
    std::string all;
    for (int i = 0; i <= f.count(); ++i) {
      if (const FieldEntry* e = f.entry(i)) {
        all += e->value + '|' + e->compare_value + '\n';
      }
    }
    return all;
  };
  TempDir dir;
  for (int task = 0; task < 10; ++task) {
    const bool merge = task >= 5;
    const int host = task % 5;
    struct Run {
      Variant result;
      std::vector<ProgressCall> calls;
      std::string fields, logs;
      ColumnOptions options;
    };
    auto run = [&](CandidateScan scan) {
      Variant second = MakeTable(seconds);
      VariantArray& table = *second.AsArray();
      testing::SeededContext ctx;
      ctx.sink.on_call = [&](const ProgressCall& c) {
        if (c.kind != ProgressCall::kReport) return;
        const int32_t record = c.fields.record_no;
        if (host == 1 && record == 100) ctx.column_options.cluster[2] = false;
        if (host == 1 && record == 300) ctx.column_options.cluster[2] = true;
        if (host == 2 && record == 250) ctx.canceled_flag = true;
        if (host == 3 && record == 150) ctx.column_options.weight[1] = 0.5;
        if (host == 3 && record == 200) {
          ctx.column_options.dupe_search[2] = false;
        }
        if (host == 4 && record >= 100 && record < 300) {
          table.cell(1, record + 5) = S("CHANGED" + std::to_string(record));
          table.cell(2, record + 7) = Variant();
        }
      };
      const std::string positive = dir.File("p.log"),
                        negative = dir.File("n.log");
      Run out;
      out.result = merge ? FuzzyMerge(ctx, master, second, 0, 80, 0.5, MRR_ALL,
                                      false, platform::Utf8ToUtf16(positive),
                                      platform::Utf8ToUtf16(negative),
                                      TextEncoding::kUtf8, scan)
                         : FuzzyMatch(ctx, master, second, 0, 80, 0.5, kAll,
                                      false, platform::Utf8ToUtf16(positive),
                                      platform::Utf8ToUtf16(negative),
                                      TextEncoding::kUtf8, scan);
      out.calls = ctx.sink.calls;
      out.fields = field_list(ctx.field_list);
      out.logs = testing::ReadBytes(positive) + testing::ReadBytes(negative);
      out.options = ctx.column_options;
      return out;
    };
    const Run slow = run(reference::HitListScan());
    for (unsigned threads : {1u, 2u, 3u, 8u}) {
      SCOPED_TRACE(std::string(merge ? "merge" : "match") + ", host " +
                   std::to_string(host) + ", threads " +
                   std::to_string(threads));
      SetBatchThreadCount(threads);
      const Run fast = run(CandidateScan{});
      SetBatchThreadCount(0);
      ASSERT_TRUE(testing::SameTable(fast.result, slow.result));
      EXPECT_EQ(fast.result.IsEmpty(), host == 2);
      EXPECT_EQ(fast.fields, slow.fields);
      EXPECT_EQ(fast.logs, slow.logs);
      EXPECT_EQ(fast.options.dupe_search, slow.options.dupe_search);
      ASSERT_EQ(fast.calls.size(), slow.calls.size());
      for (size_t i = 0; i < fast.calls.size(); ++i) {
        const ProgressFields& x = fast.calls[i].fields;
        const ProgressFields& y = slow.calls[i].fields;
        ASSERT_EQ(std::tie(x.cluster_current, x.cluster_max, x.record_no,
                           x.record_count, x.found, x.found2),
                  std::tie(y.cluster_current, y.cluster_max, y.record_no,
                           y.record_count, y.found, y.found2))
            << "call " << i;
        ASSERT_EQ(x.cluster_average, y.cluster_average) << "call " << i;
      }
    }
  }
}

// Pairs of equal rows with otherwise unrelated texts.
Variant PairsTable(int rows, uint32_t seed) {
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

int64_t CountAllocations(const Variant& table) {
  FakeBatchContext ctx;
  ctx.sink.calls.reserve(1000);
  return platform::testing::AllocationCount([&] {
    FuzzyMatch(ctx, table, table, 0, 80, 0.0, kAll, false, u"", u"");
  });
}

TEST(FuzzyMatchTest, NoAllocationPerCandidatePair) {
  // ClusterThreshold 0 compares all pairs: four times the pairs for twice
  // the rows, but allocations grow with the rows.
  const int64_t small = CountAllocations(PairsTable(50, 1));
  const int64_t large = CountAllocations(PairsTable(100, 1));
  EXPECT_LT(large, small * 5 / 2) << small << " -> " << large;
}

TEST(FuzzyMatchTest, EveryAllocationFailureIsReported) {
  Variant table = PairsTable(25, 4);
  FakeBatchContext reference_ctx;
  const Variant reference = FuzzyMatch(reference_ctx, table, table, 0, 80, 0.5,
                                       kAll, false, u"", u"");
  std::set<std::string> outcomes;
  platform::testing::WalkAllocationFailures([&](int64_t n) {
    FakeBatchContext ctx;
    ctx.sink.calls.reserve(1000);
    Variant result;
    const bool failed = platform::testing::FailsAt(n, [&] {
      result = FuzzyMatch(ctx, table, table, 0, 80, 0.5, kAll, false, u"", u"");
    });
    EXPECT_EQ(table.AsArray()->locks(), 0);
    if (!ctx.sink.calls.empty()) {
      EXPECT_EQ(ctx.sink.calls.back().kind, ProgressCall::kClose);
    }
    if (!failed || ctx.error == 0) {
      // A failure the call absorbed must not change the result.
      EXPECT_TRUE(testing::SameTable(result, reference));
    } else if (result.IsEmpty()) {
      outcomes.insert("empty");
    } else {
      EXPECT_EQ(result.AsArray(), nullptr);
      outcomes.insert("no array");
    }
    return failed;
  });
  EXPECT_EQ(outcomes, (std::set<std::string>{"empty", "no array"}));
}

}  // namespace
}  // namespace vexlor

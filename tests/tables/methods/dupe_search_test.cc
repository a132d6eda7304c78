#include "vexlor/tables/methods/dupe_search.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tests/reference/candidate_strategies.h"
#include "tests/tables/fuzzy_test_support.h"
#include "vexlor/candidate_rule.h"
#include "vexlor/platform/guid.h"
#include "vexlor/platform/testing/allocation_walk.h"
#include "vexlor/strings/normalize.h"
#include "vexlor/tables/batch_context.h"
#include "vexlor/tables/stages/batch_workers.h"
#include "vexlor/text.h"
#include "vexlor/variant.h"
#include "vexlor/variant_array.h"

namespace vexlor {
namespace {

using platform::Variant;
using platform::VariantArray;

constexpr int16_t kAll = 1;    // DRR_ALL
constexpr int16_t kDupes = 0;  // DRR_DUPES
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

using Call = testing::ProgressCall;

bool SameFields(const ProgressFields& a, const ProgressFields& b) {
  return a.cluster_current == b.cluster_current &&
         a.cluster_max == b.cluster_max &&
         a.cluster_average == b.cluster_average && a.record_no == b.record_no &&
         a.record_count == b.record_count && a.found == b.found &&
         a.found2 == b.found2;
}

// The fake context with labels from a seeded source.
class FakeContext : public testing::SeededContext {
 public:
  using SeededContext::SeededContext;

  ColumnOptions& opts = column_options;
};

Variant S(const char* text) { return Variant::AnsiString(text); }

Variant Table(const std::vector<std::vector<Variant>>& rows,
              size_t columns = 0) {
  return testing::MakeTable(rows, columns);
}

std::string Text(const Variant& cell) {
  return platform::Utf16ToAnsi(cell.AsString());
}

// The label column of a result.
std::vector<std::string> Labels(const Variant& result) {
  std::vector<std::string> labels;
  const VariantArray* a = result.AsArray();
  if (a == nullptr) return labels;
  for (uint32_t r = 0; r < a->rows(); ++r) {
    labels.push_back(Text(a->cell(a->columns() - 1, r)));
  }
  return labels;
}

using testing::SameTable;

Variant MeierTable() {
  return Table({{S("Meier"), S("Main Street 1")},
                {S("Meyer"), S("Main Street 1")},
                {S("Schulz"), S("Park Road 7")}});
}

TEST(DupeSearchTest, MeierMeyerSchulz) {
  Variant input = MeierTable();
  FakeContext all_ctx;
  Variant all = DupeSearch(all_ctx, input, -1, 80, 0.3, kAll, false);
  ASSERT_NE(all.AsArray(), nullptr);
  EXPECT_EQ(all.AsArray()->columns(), 3u);
  EXPECT_EQ(all.AsArray()->rows(), 3u);
  std::vector<std::string> labels = Labels(all);
  EXPECT_EQ(labels[0], labels[1]);
  EXPECT_NE(labels[0], labels[2]);
  for (const std::string& l : labels) EXPECT_EQ(l.size(), 38u);
  // The caller's texts come back, not the comparison keys.
  EXPECT_TRUE(SameValue(all.AsArray()->cell(0, 1), S("Meyer")));
  EXPECT_TRUE(SameValue(all.AsArray()->cell(1, 2), S("Park Road 7")));
  EXPECT_EQ(all_ctx.error, 0);

  FakeContext dupes_ctx;
  Variant dupes = DupeSearch(dupes_ctx, input, -1, 80, 0.3, kDupes, false);
  ASSERT_NE(dupes.AsArray(), nullptr);
  ASSERT_EQ(dupes.AsArray()->rows(), 2u);
  EXPECT_TRUE(SameValue(dupes.AsArray()->cell(0, 0), S("Meier")));
  EXPECT_TRUE(SameValue(dupes.AsArray()->cell(0, 1), S("Meyer")));
  EXPECT_EQ(Labels(dupes)[0], Labels(dupes)[1]);
  // Same seed, same labels.
  EXPECT_EQ(Labels(dupes)[0], labels[0]);

  // Any value but DRR_ALL returns the groups.
  FakeContext seven_ctx;
  EXPECT_TRUE(
      SameTable(DupeSearch(seven_ctx, input, -1, 80, 0.3, 7, false), dupes));
}

TEST(DupeSearchTest, LabelsAreHandedOnInScanOrderNotMerged) {
  // Three fields; a pair reaches 60 exactly when it shares two of them.
  // So 0-2, 1-3 and 2-3 are duplicates and no other pair is.
  Variant input = Table({{S("AAAAAA"), S("PPPPPP"), S("YYYYYY")},
                         {S("QQQQQQ"), S("BBBBBB"), S("ZZZZZZ")},
                         {S("AAAAAA"), S("BBBBBB"), S("YYYYYY")},
                         {S("AAAAAA"), S("BBBBBB"), S("ZZZZZZ")}});
  FakeContext ctx;
  Variant all = DupeSearch(ctx, input, -1, 60, 0.0, kAll, false);
  std::vector<std::string> l = Labels(all);
  ASSERT_EQ(l.size(), 4u);
  EXPECT_NE(l[0], l[1]);
  EXPECT_EQ(l[1], l[2]);
  EXPECT_EQ(l[2], l[3]);
  // Record 0 gave 2 its label (1), 1 gave 3 its label (1), 2 took 3's (1).
  const Call& last = ctx.sink.calls[ctx.sink.calls.size() - 2];
  EXPECT_EQ(last.kind, Call::kAgain);
  EXPECT_EQ(last.fields.found, 3);
  EXPECT_EQ(last.fields.found2, 3);
  EXPECT_EQ(last.fields.cluster_current, 4) << "every row is a candidate";

  FakeContext dupes_ctx;
  Variant dupes = DupeSearch(dupes_ctx, input, -1, 60, 0.0, kDupes, false);
  ASSERT_NE(dupes.AsArray(), nullptr);
  ASSERT_EQ(dupes.AsArray()->rows(), 3u);
  EXPECT_TRUE(SameValue(dupes.AsArray()->cell(0, 0), S("QQQQQQ")));
  EXPECT_TRUE(SameValue(dupes.AsArray()->cell(2, 1), S("YYYYYY")));
  EXPECT_TRUE(SameValue(dupes.AsArray()->cell(2, 2), S("ZZZZZZ")));
}

TEST(DupeSearchTest, ProgressOfOneRowTable) {
  Variant input = Table({{S("Alpha"), S("Beta")}});
  FakeContext ctx;
  Variant all = DupeSearch(ctx, input, -1, 80, 0.5, kAll, true);
  ASSERT_EQ(Labels(all).size(), 1u);
  EXPECT_EQ(Labels(all)[0].size(), 38u);
  const auto& calls = ctx.sink.calls;
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[0].kind, Call::kOpen);
  EXPECT_TRUE(ctx.sink.show_progress);
  EXPECT_EQ(ctx.sink.window_kind, ProgressWindowKind::kSearch);
  EXPECT_EQ(ctx.sink.title_id, 208);
  EXPECT_EQ(ctx.sink.found_label_id, 207);
  EXPECT_EQ(calls[1].kind, Call::kBegin);
  EXPECT_EQ(calls[1].status, 201);
  EXPECT_EQ(calls[1].event, ProgressEvent::kProgress);
  EXPECT_TRUE(SameFields(calls[1].fields, {1, 0, 0.0, -1, -1, -1, -1}));
  EXPECT_EQ(calls[2].kind, Call::kBegin);
  EXPECT_EQ(calls[2].status, 202);
  EXPECT_EQ(calls[2].event, ProgressEvent::kProgressDupeSearch);
  EXPECT_TRUE(SameFields(calls[2].fields, {0, 0, 0.0, 0, 1, 0, 0}));
  EXPECT_EQ(calls[3].kind, Call::kAgain);
  EXPECT_EQ(calls[3].status, 203);
  EXPECT_EQ(calls[3].percent, 100.0);
  // Need 4 hits, and no other row has any: depth 0.
  EXPECT_TRUE(SameFields(calls[3].fields, {0, 0, 0.0, 1, 1, 0, 0}));
  EXPECT_EQ(calls[4].kind, Call::kClose);

  FakeContext dupes_ctx;
  EXPECT_TRUE(
      DupeSearch(dupes_ctx, input, -1, 80, 0.5, kDupes, true).IsEmpty());
  EXPECT_EQ(dupes_ctx.error, 0);
}

TEST(DupeSearchTest, PeriodicReportsAndTheirValues) {
  // 250 rows of distinct texts: stage 1 reports at rows 99 and 199, stage
  // 2 after every 10th record.
  std::vector<std::vector<Variant>> rows;
  for (int i = 0; i < 250; ++i) {
    rows.push_back({S(("Name" + std::to_string(i * 7919)).c_str())});
  }
  FakeContext ctx;
  DupeSearch(ctx, Table(rows), -1, 101, 0.0, kAll, false);
  std::vector<Call> stage1, stage2;
  bool in_stage2 = false;
  for (const Call& c : ctx.sink.calls) {
    if (c.kind == Call::kBegin && c.status == 202) in_stage2 = true;
    if (c.kind == Call::kReport) (in_stage2 ? stage2 : stage1).push_back(c);
  }
  ASSERT_EQ(stage1.size(), 2u);
  EXPECT_EQ(stage1[0].percent, 99 * 100.0 / 249);
  EXPECT_EQ(stage1[1].percent, 199 * 100.0 / 249);
  EXPECT_TRUE(SameFields(stage1[0].fields, ProgressFields{}));
  ASSERT_EQ(stage2.size(), 25u);
  for (size_t i = 0; i < stage2.size(); ++i) {
    const int record = static_cast<int>(i + 1) * 10;
    EXPECT_EQ(stage2[i].percent, record * 100.0 / 249);
    // ClusterThreshold 0: every record is compared with all 250 rows.
    EXPECT_TRUE(
        SameFields(stage2[i].fields, {250, 250, 250.0, record, 250, 0, 0}))
        << i;
  }
  // Threshold above 100: nobody is a duplicate.
  std::set<std::string> distinct;
  FakeContext again;
  for (const std::string& l :
       Labels(DupeSearch(again, Table(rows), -1, 101, 0.0, kAll, false))) {
    distinct.insert(l);
  }
  EXPECT_EQ(distinct.size(), 250u);
}

TEST(DupeSearchTest, ThresholdZeroMakesEveryCandidateADuplicate) {
  Variant input = Table({{S("Anna")}, {S("Otto")}, {S("Ute")}});
  FakeContext ctx;
  std::vector<std::string> l =
      Labels(DupeSearch(ctx, input, -1, 0, 0.0, kAll, false));
  EXPECT_EQ(std::set<std::string>(l.begin(), l.end()).size(), 1u);
}

TEST(DupeSearchTest, RecordWithoutClusterTextIsComparedWithNobody) {
  // Row 0 has only a number in its cluster column (L = 0): during its own
  // turn nothing is compared. Row 1's key "25" is 2 bytes long; at
  // ClusterThreshold 0.3 its need is 0, so it visits every row and finds
  // row 0: VT_I4 25 and the string 25 are the same text.
  Variant input = Table({{Variant::I4(25)}, {S("25")}});
  FakeContext ctx;
  Variant all = DupeSearch(ctx, input, -1, 80, 0.3, kAll, false);
  std::vector<std::string> l = Labels(all);
  ASSERT_EQ(l.size(), 2u);
  EXPECT_EQ(l[0], l[1]);
  EXPECT_EQ(all.AsArray()->cell(0, 0).vt(), platform::VT_I4);
  const Call& last = ctx.sink.calls[ctx.sink.calls.size() - 2];
  EXPECT_EQ(last.fields.cluster_current, 2);
  EXPECT_EQ(last.fields.cluster_max, 2);
  EXPECT_EQ(last.fields.cluster_average, 1.0);

  // At 0.5 the need of row 1 is 1 and row 0 has no trigrams: no pair.
  FakeContext strict;
  l = Labels(DupeSearch(strict, input, -1, 80, 0.5, kAll, false));
  EXPECT_NE(l[0], l[1]);
}

TEST(DupeSearchTest, IdColumnIsCopiedButTakesNoPart) {
  Variant input = Table({{Variant::I4(1), S("Hans Meier")},
                         {Variant::I4(2), S("Hans Meier")},
                         {S("X-9"), S("Erika Musterfrau")}});
  FakeContext ctx;
  Variant all = DupeSearch(ctx, input, 0, 80, 0.5, kAll, false);
  std::vector<std::string> l = Labels(all);
  EXPECT_EQ(l[0], l[1]);
  EXPECT_NE(l[0], l[2]);
  EXPECT_TRUE(SameValue(all.AsArray()->cell(0, 2), S("X-9")));
  EXPECT_FALSE(ctx.opts.cluster[0]);
  EXPECT_FALSE(ctx.opts.dupe_search[0]);
  EXPECT_TRUE(ctx.opts.cluster[1]);

  // Out of range: nothing is switched off.
  FakeContext wide;
  DupeSearch(wide, input, 400, 80, 0.5, kAll, false);
  DupeSearch(wide, input, -3, 80, 0.5, kAll, false);
  EXPECT_TRUE(wide.opts.cluster[0]);
  EXPECT_TRUE(wide.opts.dupe_search[0]);
}

TEST(DupeSearchTest, CellWithoutTextSwitchesTheColumnOffForLaterCalls) {
  // Column 1 differs completely between the rows; an Empty cell in it
  // switches it off, and then column 0 alone decides.
  ColumnOptions opts;
  Variant with_empty =
      Table({{S("Hans Meier"), S("AAAA")}, {S("Hans Meier"), Variant()}});
  FakeContext first;
  DupeSearch(first, with_empty, -1, 80, 0.5, kAll, false);
  EXPECT_FALSE(first.opts.dupe_search[1]);
  EXPECT_TRUE(first.opts.cluster[1]);

  Variant full =
      Table({{S("Hans Meier"), S("AAAA")}, {S("Hans Meier"), S("ZZZZ")}});
  FakeContext fresh;
  std::vector<std::string> l =
      Labels(DupeSearch(fresh, full, -1, 80, 0.5, kAll, false));
  EXPECT_NE(l[0], l[1]) << "both columns compared: 50%";

  FakeContext later;
  later.opts = first.opts;
  l = Labels(DupeSearch(later, full, -1, 80, 0.5, kAll, false));
  EXPECT_EQ(l[0], l[1]) << "column 1 stays off";

  // Null has the empty text and switches nothing off.
  FakeContext null_ctx;
  DupeSearch(
      null_ctx,
      Table({{S("Hans Meier"), S("AAAA")}, {S("Hans Meier"), Variant::Null()}}),
      -1, 80, 0.5, kAll, false);
  EXPECT_TRUE(null_ctx.opts.dupe_search[1]);
}

TEST(DupeSearchTest, FiveHundredColumns) {
  std::vector<std::vector<Variant>> rows(2, std::vector<Variant>(500));
  for (int c = 0; c < 500; ++c) {
    rows[0][c] = S(("v" + std::to_string(c)).c_str());
    rows[1][c] = S(("v" + std::to_string(c)).c_str());
  }
  // The key is some 1100 bytes long; hit counters stop at 255, so a need
  // of 10% of it is reachable, half of it is not.
  FakeContext ctx;
  Variant all = DupeSearch(ctx, Table(rows), -1, 80, 0.1, kAll, false);
  VariantArray* a = all.AsArray();
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->columns(), 501u);
  EXPECT_TRUE(SameValue(a->cell(399, 1), S("v399")));
  for (uint32_t c = 400; c < 500; ++c) {
    EXPECT_TRUE(a->cell(c, 0).IsEmpty()) << c;
  }
  EXPECT_EQ(Labels(all)[0], Labels(all)[1]);
  FakeContext half;
  std::vector<std::string> l =
      Labels(DupeSearch(half, Table(rows), -1, 80, 0.5, kAll, false));
  EXPECT_NE(l[0], l[1]);
}

TEST(DupeSearchTest, CellsOfEveryTypeKeepTheirTypes) {
  std::vector<Variant> row = {
      S("Hans Meier"),
      Variant::Null(),
      Variant::I2(-7),
      Variant::I4(123456),
      Variant::R4(0.1f),
      Variant::R8(2.5),
      Variant::Currency(12345),
      Variant::Date(45000.5),
      Variant::Error(5),
      Variant::Bool(true),
      Variant::I1(-3),
      Variant::UI1(200),
      Variant::UI2(60000),
      Variant::UI4(4000000000u),
      Variant::I8(-1),
      Variant::UI8(1),
      Variant::Int(9),
      Variant::UInt(9),
      Variant::Opaque(platform::VT_DISPATCH),
      Variant::Opaque(platform::VT_UNKNOWN),
      Variant::Opaque(platform::VT_DECIMAL),
      Variant(),
  };
  Variant input = Table({row, row, {S("Erika Musterfrau")}});
  FakeContext ctx;
  Variant all = DupeSearch(ctx, input, -1, 80, 0.5, kAll, false);
  VariantArray* a = all.AsArray();
  ASSERT_NE(a, nullptr);
  for (uint32_t r = 0; r < 3; ++r) {
    for (uint32_t c = 0; c < row.size(); ++c) {
      EXPECT_TRUE(SameValue(a->cell(c, r), input.AsArray()->cell(c, r)))
          << c << "," << r;
    }
  }
  std::vector<std::string> l = Labels(all);
  EXPECT_EQ(l[0], l[1]);
  EXPECT_NE(l[0], l[2]);
  // Types without a text switched their columns off; the others stay on.
  for (uint32_t c : {0u, 1u, 2u, 3u, 4u, 5u, 9u, 11u}) {
    EXPECT_TRUE(ctx.opts.dupe_search[c]) << c;
  }
  for (uint32_t c :
       {6u, 7u, 8u, 10u, 12u, 13u, 14u, 15u, 16u, 17u, 18u, 19u, 20u, 21u}) {
    EXPECT_FALSE(ctx.opts.dupe_search[c]) << c;
  }
}

TEST(DupeSearchTest, LongCells) {
  std::string long_text;
  std::mt19937 gen(3);
  for (int i = 0; i < 10000; ++i) long_text.push_back('A' + gen() % 26);
  std::string other = long_text;
  other[5000] = other[5000] == 'A' ? 'B' : 'A';
  Variant input =
      Table({{S(long_text.c_str())}, {S(other.c_str())}, {S("Short")}});
  // The whole 10,000 bytes count towards the need, only the first 255
  // give trigrams, and counters stop at 255: at 0.5 the need is out of
  // reach, at 0.02 (need 200) the pair is found.
  FakeContext half;
  std::vector<std::string> l =
      Labels(DupeSearch(half, input, -1, 80, 0.5, kAll, false));
  ASSERT_EQ(l.size(), 3u);
  EXPECT_NE(l[0], l[1]);
  FakeContext low;
  l = Labels(DupeSearch(low, input, -1, 80, 0.02, kAll, false));
  EXPECT_EQ(l[0], l[1]);
  EXPECT_NE(l[0], l[2]);
}

TEST(DupeSearchTest, RefusedArgumentsAndEmptyShapes) {
  Variant one_d = Variant::Array(VariantArray::Create({{0, 3}}));
  Variant table = MeierTable();
  const Variant refused[] = {Variant(), Variant::I4(3), S("x"), one_d,
                             Variant::Array(nullptr)};
  for (const Variant& v : refused) {
    FakeContext ctx;
    ctx.error = -1;
    ctx.canceled_flag = true;
    EXPECT_TRUE(DupeSearch(ctx, v, 0, 80, 0.5, kAll, true).IsEmpty());
    EXPECT_EQ(ctx.error, 0);
    EXPECT_FALSE(ctx.canceled_flag);
    EXPECT_TRUE(ctx.sink.calls.empty()) << "no window for a refused table";
    EXPECT_TRUE(ctx.opts.cluster[0]);
  }
  // By reference it is the same table.
  FakeContext by_value, by_ref;
  EXPECT_TRUE(SameTable(
      DupeSearch(by_value, table, -1, 80, 0.3, kAll, false),
      DupeSearch(by_ref, Variant::ByRef(&table), -1, 80, 0.3, kAll, false)));

  Variant no_rows = VariantArray::NewTable(4, 0);
  FakeContext ctx;
  Variant all = DupeSearch(ctx, no_rows, -1, 80, 0.5, kAll, false);
  ASSERT_NE(all.AsArray(), nullptr);
  EXPECT_EQ(all.AsArray()->columns(), 5u);
  EXPECT_EQ(all.AsArray()->rows(), 0u);
  FakeContext dupes_ctx;
  EXPECT_TRUE(
      DupeSearch(dupes_ctx, no_rows, -1, 80, 0.5, kDupes, false).IsEmpty());
  EXPECT_EQ(dupes_ctx.error, 0);

  Variant no_columns = VariantArray::NewTable(0, 3);
  FakeContext none;
  Variant labels_only = DupeSearch(none, no_columns, -1, 80, 0.5, kAll, false);
  ASSERT_NE(labels_only.AsArray(), nullptr);
  EXPECT_EQ(labels_only.AsArray()->columns(), 1u);
  std::vector<std::string> l = Labels(labels_only);
  EXPECT_EQ(std::set<std::string>(l.begin(), l.end()).size(), 3u);
}

TEST(DupeSearchTest, OffsetBoundsAreReadByOffsetAndKept) {
  Variant input = VariantArray::NewTable(2, 3, 5, -2);
  Variant plain = MeierTable();
  for (uint32_t r = 0; r < 3; ++r) {
    for (uint32_t c = 0; c < 2; ++c) {
      input.AsArray()->cell(c, r) = plain.AsArray()->cell(c, r);
    }
  }
  FakeContext a, b;
  Variant offset_result = DupeSearch(a, input, -1, 80, 0.3, kDupes, false);
  Variant plain_result = DupeSearch(b, plain, -1, 80, 0.3, kDupes, false);
  ASSERT_NE(offset_result.AsArray(), nullptr);
  EXPECT_EQ(offset_result.AsArray()->LowerBound(0), 5);
  EXPECT_EQ(offset_result.AsArray()->LowerBound(1), -2);
  EXPECT_EQ(Labels(offset_result), Labels(plain_result));
}

TEST(DupeSearchTest, CancelFromAReportStopsAfterThatRecord) {
  std::vector<std::vector<Variant>> rows;
  for (int i = 0; i < 40; ++i) {
    rows.push_back({S(("Person " + std::to_string(i * 131)).c_str())});
  }
  Variant input = Table(rows);
  FakeContext ctx;
  ctx.sink.on_call = [&](const Call& c) {
    if (c.kind == Call::kReport) ctx.canceled_flag = true;
  };
  EXPECT_TRUE(DupeSearch(ctx, input, -1, 80, 0.0, kAll, false).IsEmpty());
  EXPECT_TRUE(ctx.canceled_flag);
  EXPECT_EQ(ctx.error, 0);
  const auto& calls = ctx.sink.calls;
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[calls.size() - 2].kind, Call::kReport);
  EXPECT_EQ(calls[calls.size() - 2].fields.record_no, 10);
  EXPECT_EQ(calls.back().kind, Call::kClose);
  // The field list holds record 9, the last one loaded.
  ASSERT_NE(ctx.field_list.entry(0), nullptr);
  EXPECT_EQ(ctx.field_list.entry(0)->value,
            NormalizeText("Person " + std::to_string(9 * 131), true));

  // Stage 1: with 250 rows the first report comes after row 99.
  for (int i = 40; i < 250; ++i) {
    rows.push_back({S(("Person " + std::to_string(i * 131)).c_str())});
  }
  FakeContext early;
  early.sink.on_call = [&](const Call& c) {
    if (c.kind == Call::kReport) early.canceled_flag = true;
  };
  EXPECT_TRUE(
      DupeSearch(early, Table(rows), -1, 80, 0.5, kAll, false).IsEmpty());
  for (const Call& c : early.sink.calls) {
    EXPECT_FALSE(c.kind == Call::kBegin && c.status == 202);
  }
  EXPECT_EQ(early.sink.calls.back().kind, Call::kClose);

  // A flag set before the call is cleared when it starts.
  FakeContext before;
  before.canceled_flag = true;
  EXPECT_FALSE(DupeSearch(before, input, -1, 80, 0.5, kAll, false).IsEmpty());
  EXPECT_FALSE(before.canceled_flag);
}

TEST(DupeSearchTest, OptionsChangedByTheHostDuringAReportTakeEffect) {
  // Pairs of rows with equal names in column 0 and unrelated texts in
  // column 1, which starts as a Cluster-only column. After record 10 the
  // host makes it a DupeSearch column too; column 2 had no option at all
  // in stage 1, so its working cells are Empty and it switches off again.
  std::vector<std::vector<Variant>> rows;
  std::mt19937 gen(11);
  for (int pair = 0; pair < 10; ++pair) {
    std::string name;
    for (int k = 0; k < 9; ++k) name.push_back('A' + gen() % 26);
    for (int twin = 0; twin < 2; ++twin) {
      std::string other;
      for (int k = 0; k < 9; ++k) other.push_back('A' + gen() % 26);
      rows.push_back({S(name.c_str()), S(other.c_str()), S("same")});
    }
  }
  FakeContext ctx;
  ctx.opts.Set(1, true, false, 1.0, false, u"");
  ctx.opts.Set(2, false, false, 1.0, false, u"");
  ctx.sink.on_call = [&](const Call& c) {
    if (c.kind == Call::kReport && c.fields.record_no == 10) {
      ctx.opts.dupe_search[1] = true;
      ctx.opts.dupe_search[2] = true;
    }
  };
  std::vector<std::string> l =
      Labels(DupeSearch(ctx, Table(rows), -1, 80, 0.3, kAll, false));
  ASSERT_EQ(l.size(), 20u);
  for (int pair = 0; pair < 5; ++pair) {
    EXPECT_EQ(l[2 * pair], l[2 * pair + 1]) << "names alone: " << pair;
  }
  for (int pair = 5; pair < 10; ++pair) {
    EXPECT_NE(l[2 * pair], l[2 * pair + 1]) << "names and texts: " << pair;
  }
  EXPECT_TRUE(ctx.opts.dupe_search[1]);
  EXPECT_FALSE(ctx.opts.dupe_search[2]) << "its working cells are Empty";
}

TEST(DupeSearchTest, CancelAtTheClosingReportStillReturns) {
  FakeContext ctx;
  ctx.sink.on_call = [&](const Call& c) {
    if (c.kind == Call::kAgain) ctx.canceled_flag = true;
  };
  EXPECT_FALSE(
      DupeSearch(ctx, MeierTable(), -1, 80, 0.3, kAll, false).IsEmpty());
  EXPECT_TRUE(ctx.canceled_flag);
}

// Random tables: names from a small pool with typos, a few numbers, Nulls
// and Empties; random options and thresholds.
struct RandomCase {
  Variant table;
  ColumnOptions opts;
  int32_t id_column;
  double threshold;
  double cluster_threshold;
  int16_t return_results;
};

RandomCase MakeRandomCase(std::mt19937& gen) {
  static const char* const kWords[] = {"Meier",
                                       "Meyer",
                                       "Mayer",
                                       "Schmidt",
                                       "Schmitt",
                                       "Main Street 1",
                                       "Main St 1",
                                       "Hauptstr. 5",
                                       "Hauptstrasse 5",
                                       "Berlin",
                                       "Belin",
                                       "Anna",
                                       "Anne",
                                       "Hans-Peter",
                                       "Hans Peter",
                                       "AB",
                                       "Z"};
  auto pick = [&](int n) { return static_cast<int>(gen() % n); };
  RandomCase rc;
  const int rows = pick(61);
  const int columns = 1 + pick(5);
  std::vector<std::vector<Variant>> cells(rows);
  for (auto& row : cells) {
    for (int c = 0; c < columns; ++c) {
      int kind = pick(40);
      if (kind == 0) {
        row.push_back(Variant());
      } else if (kind < 3) {
        row.push_back(Variant::Null());
      } else if (kind < 6) {
        row.push_back(Variant::I4(pick(4)));
      } else {
        std::string w = kWords[pick(std::size(kWords))];
        if (pick(3) == 0 && !w.empty()) w[pick(w.size())] = 'a' + pick(26);
        if (pick(4) == 0)
          w += " " + std::string(kWords[pick(std::size(kWords))]);
        row.push_back(S(w.c_str()));
      }
    }
  }
  rc.table = Table(cells, columns);
  for (int c = 0; c < columns; ++c) {
    const double weights[] = {1.0, 1.0, 0.5, 2.0, 0.0};
    rc.opts.Set(c, pick(4) != 0, pick(4) != 0, weights[pick(5)], pick(3) == 0,
                u"");
  }
  rc.id_column = pick(columns + 2) - 1;
  const double thresholds[] = {50, 70, 80, 90, 100, 101, 0};
  rc.threshold = thresholds[pick(std::size(thresholds))];
  const double cluster[] = {0, 0.1, 0.3, 0.5, 0.8, 1.0, 3.0, -1, kNaN, 1e12};
  rc.cluster_threshold = cluster[pick(std::size(cluster))];
  rc.return_results = static_cast<int16_t>(pick(2));
  return rc;
}

// Every way of finding and comparing candidates gives the same table, the
// same options, the same reports and the same last pair in the field list.
TEST(DupeSearchTest, CandidateScansAgree) {
  std::mt19937 gen(20240611);
  for (int iteration = 0; iteration < 400; ++iteration) {
    RandomCase rc = MakeRandomCase(gen);
    FakeContext slow(iteration);
    slow.opts = rc.opts;
    Variant b = DupeSearch(slow, rc.table, rc.id_column, rc.threshold,
                           rc.cluster_threshold, rc.return_results, false,
                           reference::FullCountersScan());
    for (const CandidateScan& scan :
         {reference::HitListScan(), CandidateScan{}}) {
      FakeContext fast(iteration);
      fast.opts = rc.opts;
      Variant a =
          DupeSearch(fast, rc.table, rc.id_column, rc.threshold,
                     rc.cluster_threshold, rc.return_results, false, scan);
      ASSERT_TRUE(SameTable(a, b)) << "iteration " << iteration;
      ASSERT_EQ(fast.opts.dupe_search, slow.opts.dupe_search) << iteration;
      ASSERT_EQ(fast.field_list.count(), slow.field_list.count());
      for (int i = 0; i <= slow.field_list.count(); ++i) {
        const FieldEntry* x = fast.field_list.entry(i);
        const FieldEntry* y = slow.field_list.entry(i);
        ASSERT_EQ(x == nullptr, y == nullptr);
        if (x == nullptr) continue;
        ASSERT_EQ(x->value, y->value) << iteration;
        ASSERT_EQ(x->compare_value, y->compare_value) << iteration;
      }
      ASSERT_EQ(fast.sink.calls.size(), slow.sink.calls.size()) << iteration;
      for (size_t i = 0; i < fast.sink.calls.size(); ++i) {
        const Call& x = fast.sink.calls[i];
        const Call& y = slow.sink.calls[i];
        ASSERT_EQ(x.kind, y.kind);
        ASSERT_EQ(x.percent, y.percent);
        ASSERT_TRUE(SameFields(x.fields, y.fields))
            << iteration << " call " << i;
      }
    }
  }
}

TEST(DupeSearchTest, SeededLabelsGiveIdenticalResults) {
  std::mt19937 gen(99);
  for (int iteration = 0; iteration < 50; ++iteration) {
    RandomCase rc = MakeRandomCase(gen);
    FakeContext one(5), two(5);
    one.opts = two.opts = rc.opts;
    Variant a = DupeSearch(one, rc.table, rc.id_column, rc.threshold,
                           rc.cluster_threshold, kDupes, false);
    Variant b = DupeSearch(two, rc.table, rc.id_column, rc.threshold,
                           rc.cluster_threshold, kDupes, false);
    ASSERT_TRUE(SameTable(a, b)) << iteration;
  }
}

// Pairs of equal rows with otherwise unrelated texts.
Variant PairsTable(int pairs, uint32_t seed) {
  std::mt19937 gen(seed);
  std::vector<std::vector<Variant>> rows;
  for (int i = 0; i < pairs; ++i) {
    std::string a, b;
    for (int k = 0; k < 10; ++k) a.push_back('A' + gen() % 26);
    for (int k = 0; k < 12; ++k) b.push_back('A' + gen() % 26);
    rows.push_back({Variant::I4(2 * i), S(a.c_str()), S(b.c_str())});
    rows.push_back({Variant::I4(2 * i + 1), S(a.c_str()), S(b.c_str())});
  }
  return Table(rows);
}

// Tables of a few thousand rows have the candidates of the next records,
// and their verdicts, found on worker threads: for every thread count the
// same table, reports and field list as the straightforward scan, also
// when the host changes Cluster and DupeSearch options during reports, when
// a cell without text switches a column off, and when it cancels.
TEST(DupeSearchTest, CandidatesFoundAheadAgreeWithTheStraightforwardScan) {
  // Twins share a name; every row has one of 40 streets, which alone makes
  // a row a candidate of the others of its street while column 2 clusters.
  std::mt19937 gen(5);
  auto letters = [&](int n) { return testing::RandomLetters(gen, n); };
  const std::vector<std::string> streets = testing::RandomStreets(gen, 40);
  std::vector<std::vector<Variant>> rows;
  for (int i = 0; i < 2500; ++i) {
    const std::string name = letters(10);
    const std::string& street = streets[gen() % streets.size()];
    for (int twin = 0; twin < 2; ++twin) {
      rows.push_back(
          {Variant::I4(2 * i + twin), S(name.c_str()), S(street.c_str())});
    }
  }
  const Variant table = Table(rows);
  Variant gap_table = Table(rows);
  gap_table.AsArray()->cell(2, 3999) = Variant();
  auto field_list = [](FieldColl& f) {
    std::string all;
    for (int i = 0; i <= f.count(); ++i) {
      if (const FieldEntry* e = f.entry(i)) {
        all += e->value + '|' + e->compare_value + '|' +
               std::to_string(e->weight) + '\n';
      }
    }
    return all;
  };
  for (int host = 0; host < 5; ++host) {
    auto on_report = [host](FakeContext* ctx) {
      return [ctx, host](const Call& c) {
        if (c.kind != Call::kReport) return;
        const int32_t record = c.fields.record_no;
        if (host == 1 && record == 1000) ctx->opts.cluster[2] = false;
        if (host == 1 && record == 3000) ctx->opts.cluster[2] = true;
        if (host == 2 && record == 2500) ctx->canceled_flag = true;
        if (host == 3 && record == 1500) ctx->opts.weight[1] = 0.5;
        if (host == 3 && record == 2000) ctx->opts.dupe_search[2] = false;
      };
    };
    const Variant& in = host == 4 ? gap_table : table;
    FakeContext slow(3);
    slow.sink.on_call = on_report(&slow);
    const Variant b =
        DupeSearch(slow, in, 0, 80, 0.5, kAll, false, reference::HitListScan());
    for (unsigned threads : {1u, 2u, 3u, 8u}) {
      SCOPED_TRACE("host " + std::to_string(host) + ", threads " +
                   std::to_string(threads));
      SetBatchThreadCount(threads);
      FakeContext fast(3);
      fast.sink.on_call = on_report(&fast);
      const Variant a =
          DupeSearch(fast, in, 0, 80, 0.5, kAll, false, CandidateScan{});
      SetBatchThreadCount(0);
      ASSERT_TRUE(SameTable(a, b));
      EXPECT_EQ(a.IsEmpty(), host == 2);
      EXPECT_EQ(field_list(fast.field_list), field_list(slow.field_list));
      EXPECT_EQ(fast.opts.dupe_search, slow.opts.dupe_search);
      ASSERT_EQ(fast.sink.calls.size(), slow.sink.calls.size());
      for (size_t i = 0; i < fast.sink.calls.size(); ++i) {
        ASSERT_TRUE(
            SameFields(fast.sink.calls[i].fields, slow.sink.calls[i].fields))
            << "call " << i;
      }
    }
  }
}

// The bounded rule gives the same on every thread count too, with the host
// changing options or cancelling during reports; and it cuts each record's
// candidates to the rule's top, where the exact rule compares a street.
TEST(DupeSearchTest, BoundedCandidatesDoNotDependOnThreads) {
  std::mt19937 gen(6);
  const std::vector<std::string> streets = testing::RandomStreets(gen, 40);
  std::vector<std::vector<Variant>> rows;
  for (int i = 0; i < 2500; ++i) {
    const std::string name = testing::RandomLetters(gen, 10);
    const std::string& street = streets[gen() % streets.size()];
    for (int twin = 0; twin < 2; ++twin) {
      rows.push_back(
          {Variant::I4(2 * i + twin), S(name.c_str()), S(street.c_str())});
    }
  }
  const Variant table = Table(rows);
  MatchOptions bounded;
  bounded.candidates = CandidateRule::kBounded;
  for (int host = 0; host < 3; ++host) {
    auto on_report = [host](FakeContext* ctx) {
      return [ctx, host](const Call& c) {
        if (c.kind != Call::kReport) return;
        if (host == 1 && c.fields.record_no == 1000)
          ctx->opts.cluster[2] = false;
        if (host == 2 && c.fields.record_no == 2500) ctx->canceled_flag = true;
      };
    };
    std::vector<Call> first_calls;
    Variant first;
    for (unsigned threads : {1u, 2u, 8u}) {
      SCOPED_TRACE("host " + std::to_string(host) + ", threads " +
                   std::to_string(threads));
      SetBatchThreadCount(threads);
      FakeContext ctx(3);
      ctx.sink.on_call = on_report(&ctx);
      const Variant got = DupeSearch(ctx, table, 0, 80, 0.3, kAll, false,
                                     CandidateScan{}, bounded);
      SetBatchThreadCount(0);
      if (threads == 1) {
        first = got;
        first_calls = ctx.sink.calls;
        int32_t most = 0;
        for (const Call& c : first_calls) {
          most = std::max(most, c.fields.cluster_max);
        }
        EXPECT_LE(most, static_cast<int32_t>(kBoundedLimits.top));
        continue;
      }
      ASSERT_TRUE(SameTable(got, first));
      ASSERT_EQ(ctx.sink.calls.size(), first_calls.size());
      for (size_t i = 0; i < first_calls.size(); ++i) {
        ASSERT_TRUE(SameFields(ctx.sink.calls[i].fields, first_calls[i].fields))
            << "call " << i;
      }
    }
  }
}

int64_t CountAllocations(const Variant& table, double cluster_threshold) {
  FakeContext ctx;
  ctx.sink.calls.reserve(1000);
  return platform::testing::AllocationCount(
      [&] { DupeSearch(ctx, table, 0, 80, cluster_threshold, kAll, false); });
}

TEST(DupeSearchTest, NoAllocationPerCandidatePair) {
  // ClusterThreshold 0 compares all pairs: four times the pairs for twice
  // the rows, but allocations grow with the rows.
  const int64_t small = CountAllocations(PairsTable(50, 1), 0.0);
  const int64_t large = CountAllocations(PairsTable(100, 1), 0.0);
  EXPECT_LT(large, small * 5 / 2) << small << " -> " << large;
}

// What a failed call gave back: nothing, an array-typed result without an
// array, the labelled table (instead of the duplicates), or the groups
// copied so far (a prefix of the full result).
std::string Outcome(const Variant& result, const Variant& reference,
                    const Variant& reference_all) {
  if (result.IsEmpty()) return "empty";
  const VariantArray* got = result.AsArray();
  if (got == nullptr) {
    EXPECT_EQ(result.vt(), platform::VT_ARRAY | platform::VT_VARIANT);
    return "no array";
  }
  if (SameTable(result, reference_all) && !SameTable(result, reference)) {
    return "labelled table";
  }
  const VariantArray* want = reference.AsArray();
  if (want == nullptr || got->rows() == 0 || got->rows() > want->rows() ||
      got->columns() != want->columns()) {
    return "not a prefix";
  }
  for (uint32_t r = 0; r < got->rows(); ++r) {
    for (uint32_t c = 0; c < got->columns(); ++c) {
      if (!SameValue(got->cell(c, r), want->cell(c, r))) return "not a prefix";
    }
  }
  return "partial groups";
}

// Walks every allocation of a call: failing the n-th one must give one of
// the outcomes the failure table allows, with everything released.
void WalkAllocations(const Variant& table, int16_t return_results,
                     double cluster_threshold, int64_t first_failure,
                     std::set<std::string>* outcomes) {
  FakeContext reference_ctx;
  const Variant reference_all =
      DupeSearch(reference_ctx, table, 0, 80, cluster_threshold, kAll, false);
  FakeContext dupes_ctx;
  const Variant reference = DupeSearch(
      dupes_ctx, table, 0, 80, cluster_threshold, return_results, false);
  platform::testing::WalkAllocationFailures(
      [&](int64_t n) {
        FakeContext ctx;
        ctx.sink.calls.reserve(1000);
        Variant result;
        const bool failed = platform::testing::FailsAt(n, [&] {
          result = DupeSearch(ctx, table, 0, 80, cluster_threshold,
                              return_results, false);
        });
        EXPECT_EQ(table.AsArray()->locks(), 0);
        if (!ctx.sink.calls.empty() && ctx.sink.calls[0].kind == Call::kOpen) {
          EXPECT_EQ(ctx.sink.calls.back().kind, Call::kClose);
        }
        // A failure the call absorbs (giving back the memory of a trimmed
        // result) must still give the complete result.
        if (!failed || ctx.error == 0) {
          EXPECT_EQ(ctx.error, 0);
          EXPECT_TRUE(SameTable(result, reference));
          return failed;
        }
        EXPECT_EQ(ctx.error, -1);
        outcomes->insert(Outcome(result, reference, reference_all));
        return true;
      },
      100000, first_failure);
}

TEST(DupeSearchTest, EveryAllocationFailureIsReported) {
  Variant table = PairsTable(15, 4);
  std::set<std::string> outcomes;
  WalkAllocations(table, kDupes, 0.5, 1, &outcomes);
  EXPECT_EQ(outcomes,
            (std::set<std::string>{"empty", "no array", "labelled table"}));
  outcomes.clear();
  WalkAllocations(table, kAll, 0.0, 1, &outcomes);
  EXPECT_EQ(outcomes, (std::set<std::string>{"empty", "no array"}));
}

TEST(DupeSearchTest, FailureWhileGroupsAreCopied) {
  // 600 duplicate rows outgrow the first guess of 560 rows of the
  // duplicates table; only the last allocations of the call are walked.
  Variant table = PairsTable(300, 8);
  FakeContext ctx;
  ctx.sink.calls.reserve(1000);
  const int64_t total = platform::testing::AllocationCount(
      [&] { DupeSearch(ctx, table, 0, 80, 0.5, kDupes, false); });
  std::set<std::string> outcomes;
  WalkAllocations(table, kDupes, 0.5, total - 3, &outcomes);
  EXPECT_TRUE(outcomes.count("partial groups")) << outcomes.size();
  EXPECT_FALSE(outcomes.count("not a prefix"));
}

}  // namespace
}  // namespace vexlor

#include "vexlor/tables/methods/exact_match.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tests/reference/exact_delete_reference.h"
#include "tests/tables/fake_batch_context.h"
#include "vexlor/platform/testing/allocation_walk.h"
#include "vexlor/platform/testing/failing_allocator.h"
#include "vexlor/text.h"
#include "vexlor/variant.h"
#include "vexlor/variant_array.h"

namespace vexlor {
namespace {

using platform::Variant;
using platform::VariantArray;
using testing::FakeBatchContext;
using testing::MakeTable;
using testing::ProgressCall;

constexpr int16_t kAll = 0;       // MAR_ALL
constexpr int16_t kPositive = 1;  // MAR_POSITIVE
constexpr int16_t kNegative = 2;  // MAR_NEGATIVE

Variant S(const std::string& text) { return Variant::AnsiString(text); }

// Master rows carry their name in column 0 and the key in column 1.
Variant Master(const std::vector<Variant>& keys) {
  std::vector<std::vector<Variant>> rows;
  for (size_t r = 0; r < keys.size(); ++r) {
    rows.push_back({S("m" + std::to_string(r)), keys[r]});
  }
  return MakeTable(rows, 2);
}

// Match rows carry the key in column 1 as well.
Variant Match(const std::vector<Variant>& keys) {
  std::vector<std::vector<Variant>> rows;
  for (const Variant& key : keys) rows.push_back({Variant(), key});
  return MakeTable(rows, 2);
}

std::vector<std::string> RowNames(const Variant& result) {
  std::vector<std::string> names;
  const VariantArray* a = result.AsArray();
  if (a == nullptr) return names;
  for (uint32_t r = 0; r < a->rows(); ++r) {
    names.push_back(platform::Utf16ToAnsi(a->cell(0, r).AsString()));
  }
  return names;
}

std::vector<std::string> Names(const std::vector<uint32_t>& rows) {
  std::vector<std::string> names;
  for (uint32_t r : rows) names.push_back("m" + std::to_string(r));
  return names;
}

TEST(ExactMatchTest, ReturnModes) {
  // Master keys x, y, x against match keys x, z: only master row 0 is
  // marked, the second x stays unmarked.
  const Variant master = Master({S("x"), S("y"), S("x")});
  const Variant match = Match({S("x"), S("z")});
  struct Case {
    int16_t return_results;
    std::vector<std::string> rows;
  } cases[] = {
      {kAll, {"m0", "m1", "m2"}},
      {kPositive, {"m0"}},
      {kNegative, {"m1", "m2"}},
      {3, {}},
      {-1, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.return_results);
    FakeBatchContext ctx;
    Variant result =
        ExactMatchByColumn(ctx, master, match, 1, c.return_results, false);
    EXPECT_EQ(RowNames(result), c.rows);
    // No selection is Empty, not a table without rows.
    EXPECT_EQ(result.IsEmpty(), c.rows.empty());
    EXPECT_EQ(ctx.error, 0);
    EXPECT_EQ(master.AsArray()->locks(), 0);
    EXPECT_EQ(match.AsArray()->locks(), 0);
    // One match row found its key.
    const ProgressCall& closing = ctx.sink.calls[ctx.sink.calls.size() - 2];
    EXPECT_EQ(closing.kind, ProgressCall::kAgain);
    EXPECT_EQ(closing.fields.found2, 1);
  }
}

TEST(ExactMatchTest, WhichKeysMatch) {
  const Variant date = Variant::Date(45000.5);
  const Variant currency = Variant::Currency(125000);
  struct Case {
    const char* name;
    Variant master_key;
    Variant match_key;
    bool matches;
  } cases[] = {
      {"same text", S("Meier"), S("Meier"), true},
      {"letter case", S("Meier"), S("MEIER"), false},
      {"no trimming", S("Meier"), S("Meier "), false},
      {"number and text", Variant::I4(12), S("12"), true},
      {"text and number", S("12"), Variant::I2(12), true},
      {"real and text", Variant::R8(2.5), S("2.5"), true},
      {"whole real and integer", Variant::R8(3.0), Variant::I4(3), true},
      {"boolean and its letter", Variant::Bool(true), S("T"), true},
      {"empty cells", Variant(), Variant(), false},
      {"null cells", Variant::Null(), Variant::Null(), false},
      {"empty strings", S(""), S(""), false},
      {"null and empty string", Variant::Null(), S(""), false},
      {"dates", date, date, false},
      {"currency", currency, currency, false},
      {"error cells", Variant::Error(7), Variant::Error(7), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeBatchContext ctx;
    Variant result = ExactMatchByColumn(
        ctx, Master({c.master_key}), Match({c.match_key}), 1, kPositive, false);
    EXPECT_EQ(!result.IsEmpty(), c.matches);
  }
}

TEST(ExactMatchTest, ColumnOutsideATableMatchesNothing) {
  const Variant master = Master({S("x"), S("y")});
  const Variant match = Match({S("x"), S("y")});
  const Variant narrow = MakeTable({{S("x")}, {S("y")}});  // one column
  struct Case {
    const char* name;
    Variant master;
    Variant match;
    int32_t column;
  } cases[] = {
      {"beyond both", master, match, 2},
      {"far beyond both", master, match, 2000000000},
      {"negative", master, match, -1},
      {"beyond the match table", master, narrow, 1},
      {"beyond the master table", narrow, match, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeBatchContext ctx;
    EXPECT_TRUE(
        ExactMatchByColumn(ctx, c.master, c.match, c.column, kPositive, false)
            .IsEmpty());
    EXPECT_EQ(RowNames(ExactMatchByColumn(ctx, c.master, c.match, c.column,
                                          kNegative, false))
                  .size(),
              2u);
    EXPECT_EQ(ctx.error, 0);
  }
  // Column 0 is inside both.
  FakeBatchContext ctx;
  EXPECT_EQ(
      RowNames(ExactMatchByColumn(ctx, narrow, MakeTable({{S("x"), S("q")}}), 0,
                                  kPositive, false)),
      (std::vector<std::string>{"x"}));
}

TEST(ExactMatchTest, WideMasterCopiesColumnsUpTo400) {
  std::vector<Variant> row;
  for (int c = 0; c < 500; ++c) row.push_back(Variant::I4(c));
  const Variant master = MakeTable({row, row});
  const Variant match = MakeTable({{Variant(), Variant(), Variant::I4(2)}});
  FakeBatchContext ctx;
  Variant result = ExactMatchByColumn(ctx, master, match, 2, kAll, false);
  const VariantArray* a = result.AsArray();
  ASSERT_NE(a, nullptr);
  ASSERT_EQ(a->columns(), 500u);
  ASSERT_EQ(a->rows(), 2u);
  for (uint32_t r = 0; r < 2; ++r) {
    for (uint32_t c = 0; c < 500; ++c) {
      if (c <= 400) {
        ASSERT_TRUE(SameValue(a->cell(c, r), row[c])) << c;
      } else {
        ASSERT_TRUE(a->cell(c, r).IsEmpty()) << c;
      }
    }
  }
}

TEST(ExactMatchTest, ArgumentsAndBounds) {
  const Variant master = Master({S("x")});
  for (const Variant& bad :
       {Variant(), S("x"), Variant::I4(1), Variant::Array(nullptr)}) {
    FakeBatchContext ctx;
    ctx.error = -1;
    ctx.canceled_flag = true;
    EXPECT_TRUE(ExactMatchByColumn(ctx, bad, master, 1, kAll, false).IsEmpty());
    EXPECT_TRUE(ExactMatchByColumn(ctx, master, bad, 1, kAll, false).IsEmpty());
    EXPECT_EQ(ctx.error, 0);
    EXPECT_FALSE(ctx.canceled_flag);
    EXPECT_TRUE(ctx.sink.calls.empty());
  }
  // References to tables are tables; results keep the master's bounds.
  Variant shifted = VariantArray::NewTable(2, 2, 3, 5);
  shifted.AsArray()->cell(0, 1) = S("m1");
  shifted.AsArray()->cell(1, 1) = S("x");
  Variant match = Match({S("x")});
  FakeBatchContext ctx;
  Variant result =
      ExactMatchByColumn(ctx, Variant::ByRef(&shifted), Variant::ByRef(&match),
                         1, kPositive, false);
  ASSERT_NE(result.AsArray(), nullptr);
  EXPECT_EQ(result.AsArray()->LowerBound(0), 3);
  EXPECT_EQ(result.AsArray()->LowerBound(1), 5);
  EXPECT_EQ(RowNames(result), (std::vector<std::string>{"m1"}));
  // Tables without rows.
  EXPECT_TRUE(ExactMatchByColumn(ctx, VariantArray::NewTable(2, 0), match, 1,
                                 kAll, false)
                  .IsEmpty());
  EXPECT_EQ(
      RowNames(ExactMatchByColumn(ctx, master, VariantArray::NewTable(2, 0), 1,
                                  kNegative, false)),
      (std::vector<std::string>{"m0"}));
  EXPECT_EQ(ctx.error, 0);
}

TEST(ExactMatchTest, ProgressOfBothStages) {
  // 250 master rows; 25 match rows with keys 0, 20, ..., 480: the first
  // 13 are hits.
  std::vector<Variant> master_keys, match_keys;
  for (int r = 0; r < 250; ++r) master_keys.push_back(S(std::to_string(r)));
  for (int r = 0; r < 25; ++r) match_keys.push_back(S(std::to_string(r * 20)));
  FakeBatchContext ctx;
  ExactMatchByColumn(ctx, Master(master_keys), Match(match_keys), 1, kAll,
                     true);
  const auto& calls = ctx.sink.calls;
  EXPECT_TRUE(ctx.sink.show_progress);
  EXPECT_EQ(ctx.sink.window_kind, ProgressWindowKind::kSearch);
  EXPECT_EQ(ctx.sink.title_id, 212);
  EXPECT_EQ(ctx.sink.found_label_id, 207);
  ASSERT_EQ(calls.size(), 9u);
  EXPECT_EQ(calls[0].kind, ProgressCall::kOpen);
  EXPECT_EQ(calls[1].kind, ProgressCall::kBegin);
  EXPECT_EQ(calls[1].status, 201);
  EXPECT_EQ(calls[1].event, ProgressEvent::kProgress);
  EXPECT_EQ(calls[1].fields.cluster_current, 1);
  EXPECT_EQ(calls[1].fields.cluster_max, 0);
  EXPECT_EQ(calls[1].fields.cluster_average, 0.0);
  EXPECT_EQ(calls[1].fields.record_no, -1);
  EXPECT_EQ(calls[2].kind, ProgressCall::kReport);
  EXPECT_DOUBLE_EQ(calls[2].percent, 99 * 100.0 / 249);
  EXPECT_EQ(calls[2].fields.cluster_current, -1);
  EXPECT_DOUBLE_EQ(calls[3].percent, 199 * 100.0 / 249);
  EXPECT_EQ(calls[4].kind, ProgressCall::kBegin);
  EXPECT_EQ(calls[4].status, 213);
  EXPECT_EQ(calls[4].event, ProgressEvent::kProgressDupeSearch);
  EXPECT_EQ(calls[4].fields.record_count, 25);
  EXPECT_EQ(calls[4].fields.record_no, 0);
  EXPECT_EQ(calls[4].fields.found2, 0);
  EXPECT_EQ(calls[5].kind, ProgressCall::kReport);
  EXPECT_DOUBLE_EQ(calls[5].percent, 10 * 100.0 / 24);
  EXPECT_EQ(calls[5].fields.record_no, 10);
  EXPECT_EQ(calls[5].fields.found, 0);
  EXPECT_EQ(calls[5].fields.found2, 10);
  EXPECT_DOUBLE_EQ(calls[6].percent, 20 * 100.0 / 24);
  EXPECT_EQ(calls[6].fields.found2, 13);
  EXPECT_EQ(calls[7].kind, ProgressCall::kAgain);
  EXPECT_EQ(calls[7].percent, 100.0);
  EXPECT_EQ(calls[7].status, 203);
  EXPECT_EQ(calls[7].fields.record_no, 25);
  EXPECT_EQ(calls[7].fields.record_count, 25);
  EXPECT_EQ(calls[7].fields.found2, 13);
  EXPECT_EQ(calls[8].kind, ProgressCall::kClose);

  // Small tables make no periodic report; the closing one still carries
  // percent 100.
  FakeBatchContext small;
  ExactMatchByColumn(small, Master({S("x")}), Match({S("x")}), 1, kAll, false);
  EXPECT_TRUE(small.sink.Of(ProgressCall::kReport).empty());
  ASSERT_EQ(small.sink.Of(ProgressCall::kAgain).size(), 1u);
  EXPECT_EQ(small.sink.Of(ProgressCall::kAgain)[0].percent, 100.0);
}

TEST(ExactMatchTest, CancellingEitherStageGivesEmpty) {
  std::vector<Variant> keys;
  for (int r = 0; r < 300; ++r) keys.push_back(S(std::to_string(r)));
  for (int stage_begin : {1, 2}) {
    SCOPED_TRACE(stage_begin);
    FakeBatchContext ctx;
    int begins = 0;
    ctx.sink.on_call = [&](const ProgressCall& call) {
      if (call.kind == ProgressCall::kBegin && ++begins == stage_begin) {
        ctx.canceled_flag = true;
      }
    };
    Variant result =
        ExactMatchByColumn(ctx, Master(keys), Match(keys), 1, kAll, false);
    EXPECT_TRUE(result.IsEmpty());
    EXPECT_TRUE(ctx.canceled_flag);
    EXPECT_EQ(ctx.error, 0);
    // Stopped after the stage's first row: no report after its beginning,
    // no next stage, no closing report.
    EXPECT_EQ(begins, stage_begin);
    const auto& calls = ctx.sink.calls;
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[calls.size() - 2].kind, ProgressCall::kBegin);
    EXPECT_EQ(calls.back().kind, ProgressCall::kClose);
  }
}

// Random tables against the oracle: few distinct keys so that master keys
// repeat, with numbers, Null, Empty and dates mixed in.
TEST(ExactMatchTest, AgreesWithTheReferenceOnRandomTables) {
  std::mt19937 rng(777);
  auto random_column = [&](int rows, int alphabet, std::vector<Variant>* cells,
                           reference::RowKeys* keys) {
    for (int r = 0; r < rows; ++r) {
      int pick = std::uniform_int_distribution<int>(0, alphabet + 3)(rng);
      if (pick < alphabet) {
        // Half of the keys as numbers, half as texts: 7 and "7" match.
        bool number = std::uniform_int_distribution<int>(0, 1)(rng) != 0;
        cells->push_back(number ? Variant::I4(pick) : S(std::to_string(pick)));
        keys->push_back(std::to_string(pick));
      } else if (pick == alphabet) {
        cells->push_back(S("a" + std::to_string(pick)));
        keys->push_back("a" + std::to_string(pick));
      } else if (pick == alphabet + 1) {
        cells->push_back(Variant::Null());
        keys->push_back(std::nullopt);
      } else if (pick == alphabet + 2) {
        cells->push_back(Variant::Date(pick));
        keys->push_back(std::nullopt);
      } else {
        cells->push_back(Variant());
        keys->push_back(std::nullopt);
      }
    }
  };
  for (int round = 0; round < 200; ++round) {
    const int alphabet = std::uniform_int_distribution<int>(1, 15)(rng);
    std::vector<Variant> master_cells, match_cells;
    reference::RowKeys master_keys, match_keys;
    random_column(std::uniform_int_distribution<int>(0, 50)(rng), alphabet,
                  &master_cells, &master_keys);
    random_column(std::uniform_int_distribution<int>(0, 50)(rng), alphabet,
                  &match_cells, &match_keys);
    const int16_t mode = std::uniform_int_distribution<int16_t>(0, 3)(rng);
    SCOPED_TRACE(::testing::Message() << "round " << round << " mode " << mode);
    FakeBatchContext ctx;
    Variant result = ExactMatchByColumn(ctx, Master(master_cells),
                                        Match(match_cells), 1, mode, false);
    EXPECT_EQ(RowNames(result),
              Names(reference::ExactMatchRows(master_keys, match_keys, mode)));
  }
}

TEST(ExactMatchTest, NoAllocationPerRow) {
  auto count = [](int rows) {
    std::vector<Variant> keys;
    for (int r = 0; r < rows; ++r)
      keys.push_back(S("key-" + std::to_string(r)));
    Variant master = Master(keys), match = Match(keys);
    FakeBatchContext ctx;
    ctx.sink.calls.reserve(1000);
    return platform::testing::AllocationCount(
        [&] { ExactMatchByColumn(ctx, master, match, 1, kNegative, false); });
  };
  const int64_t small = count(2000);
  const int64_t large = count(4000);
  EXPECT_LT(large - small, 50) << small << " -> " << large;
}

TEST(ExactMatchTest, EveryAllocationFailureGivesEmpty) {
  std::vector<Variant> master_keys, match_keys;
  for (int r = 0; r < 300; ++r) {
    master_keys.push_back(S("k" + std::to_string(r % 120)));
    match_keys.push_back(S("k" + std::to_string(r * 7 % 200)));
  }
  // Keys that outgrow the key buffer late in each stage.
  master_keys[290] = S(std::string(300, 'x'));
  match_keys[290] = S(std::string(600, 'x'));
  const Variant master = Master(master_keys), match = Match(match_keys);
  FakeBatchContext reference_ctx;
  const Variant reference =
      ExactMatchByColumn(reference_ctx, master, match, 1, kPositive, true);
  ASSERT_NE(reference.AsArray(), nullptr);
  const int64_t failures =
      platform::testing::WalkAllocationFailures([&](int64_t n) {
        FakeBatchContext ctx;
        ctx.sink.calls.reserve(1000);
        Variant result;
        const bool failed = platform::testing::FailsAt(n, [&] {
          result = ExactMatchByColumn(ctx, master, match, 1, kPositive, true);
        });
        EXPECT_EQ(master.AsArray()->locks(), 0);
        EXPECT_EQ(match.AsArray()->locks(), 0);
        if (!ctx.sink.calls.empty()) {
          EXPECT_EQ(ctx.sink.calls.back().kind, ProgressCall::kClose);
        }
        if (!failed) {
          EXPECT_EQ(ctx.error, 0);
          EXPECT_TRUE(testing::SameTable(result, reference));
          return false;
        }
        EXPECT_EQ(ctx.error, -1);
        EXPECT_TRUE(result.IsEmpty());
        return true;
      });
  EXPECT_GT(failures, 3);
}

}  // namespace
}  // namespace vexlor

#include "vexlor/tables/methods/delete_dupes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tests/output/temp_dir.h"
#include "tests/reference/exact_delete_reference.h"
#include "tests/tables/fake_batch_context.h"
#include "vexlor/output/csv_format.h"
#include "vexlor/platform/testing/allocation_walk.h"
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
using testing::ReadBytes;
using testing::TempDir;

constexpr int16_t kFirst = 0;    // DO_KEEP_FIRST
constexpr int16_t kLast = 1;     // DO_KEEP_LAST
constexpr int16_t kClean = 0;    // DER_CLEAN
constexpr int16_t kDeleted = 1;  // DER_DELETED

Variant S(const std::string& text) { return Variant::AnsiString(text); }

// A label in the form the duplicate search writes.
std::string Label(int n) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-0000-0000-0000-000000000000}", n);
  return text;
}

// Column 0 of every result row: the rows are named "r<index>".
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
  for (uint32_t r : rows) names.push_back("r" + std::to_string(r));
  return names;
}

// Rows named r0, r1, ... with the given FID cell in column 1.
Variant FidTable(const std::vector<Variant>& fids) {
  std::vector<std::vector<Variant>> rows;
  for (size_t r = 0; r < fids.size(); ++r) {
    rows.push_back({S("r" + std::to_string(r)), fids[r]});
  }
  return MakeTable(rows, 2);
}

// The logged rows: the first field of every line after the header, quotes
// removed.
std::vector<std::string> LoggedNames(const std::string& log) {
  std::vector<std::string> names;
  size_t start = log.find("\r\n");
  while (start != std::string::npos && start + 2 < log.size()) {
    size_t end = log.find("\r\n", start + 2);
    std::string line = log.substr(start + 2, end - start - 2);
    std::string first = line.substr(0, line.find(';'));
    if (first.size() >= 2 && first.front() == '"') {
      first = first.substr(1, first.size() - 2);
    }
    names.push_back(first);
    start = end;
  }
  return names;
}

TEST(DeleteDupesTest, KeepOrderAndReturnModes) {
  // FIDs a, b, a, a in rows 0 to 3.
  const Variant table = FidTable({S("a"), S("b"), S("a"), S("a")});
  struct Case {
    int16_t order;
    int16_t return_results;
    std::vector<std::string> returned;
    std::vector<std::string> logged;
  } cases[] = {
      {kFirst, kClean, {"r0", "r1"}, {"r2", "r3"}},
      {kFirst, kDeleted, {"r2", "r3"}, {"r2", "r3"}},
      {kLast, kClean, {"r1", "r3"}, {"r0", "r2"}},
      {kLast, kDeleted, {"r0", "r2"}, {"r0", "r2"}},
      // Any other order keeps every row and deletes none.
      {5, kClean, {"r0", "r1", "r2", "r3"}, {}},
      {5, kDeleted, {}, {}},
      {-1, kClean, {"r0", "r1", "r2", "r3"}, {}},
      // Any other return value copies nothing but still logs.
      {kFirst, 2, {}, {"r2", "r3"}},
      {kLast, -1, {}, {"r0", "r2"}},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "order " << c.order << " return " << c.return_results);
    FakeBatchContext ctx;
    const std::string log = dir.File("deleted.csv");
    Variant result = DeleteDupes(ctx, table, 1, -1, c.order, c.return_results,
                                 false, platform::Utf8ToUtf16(log));
    EXPECT_EQ(RowNames(result), c.returned);
    EXPECT_EQ(result.IsEmpty(), c.returned.empty());
    EXPECT_EQ(LoggedNames(ReadBytes(log)), c.logged);
    EXPECT_EQ(ctx.error, 0);
    EXPECT_FALSE(ctx.canceled_flag);
    EXPECT_EQ(table.AsArray()->locks(), 0);
  }
}

TEST(DeleteDupesTest, WhichRowsHaveAKey) {
  struct Case {
    const char* name;
    std::vector<Variant> fids;
    int16_t return_results;
    std::vector<std::string> returned;
  } cases[] = {
      {"all distinct, clean",
       {S("a"), S("b"), S("c")},
       kClean,
       {"r0", "r1", "r2"}},
      {"all distinct, deleted", {S("a"), S("b"), S("c")}, kDeleted, {}},
      // Only non-empty strings have a key: the others are in no output.
      {"no key, clean",
       {S("x"), Variant(), Variant::Null(), S(""), Variant::I4(5),
        Variant::I4(5), Variant::Bool(true), S("x")},
       kClean,
       {"r0"}},
      {"no key, deleted",
       {S("x"), Variant(), Variant::Null(), S(""), Variant::I4(5),
        Variant::I4(5), Variant::Bool(true), S("x")},
       kDeleted,
       {"r7"}},
      {"case matters", {S("a"), S("A"), S("a ")}, kClean, {"r0", "r1", "r2"}},
      {"trailing blank matters", {S("a"), S("a "), S("a")}, kDeleted, {"r2"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeBatchContext ctx;
    Variant result = DeleteDupes(ctx, FidTable(c.fids), 1, -1, kFirst,
                                 c.return_results, false, u"");
    EXPECT_EQ(RowNames(result), c.returned);
    EXPECT_EQ(result.IsEmpty(), c.returned.empty());
    EXPECT_EQ(ctx.error, 0);
  }
}

TEST(DeleteDupesTest, AutomaticFidColumnIsTheRightmostLabel) {
  // Labels in columns 2 and 4 of row 0; column 2 says rows 0 and 1 are one
  // group, column 4 says rows 0 and 2 are.
  const Variant table = MakeTable({
      {S("r0"), S("x"), S(Label(1)), S("y"), S(Label(7))},
      {S("r1"), S("x"), S(Label(1)), S("y"), S(Label(8))},
      {S("r2"), S("x"), S(Label(2)), S("y"), S(Label(7))},
  });
  EXPECT_EQ(FindFidColumn(*table.AsArray()), 4);
  FakeBatchContext ctx;
  Variant result =
      DeleteDupes(ctx, table, -1, -1, kFirst, kDeleted, false, u"");
  EXPECT_EQ(RowNames(result), (std::vector<std::string>{"r2"}));

  // What counts as a label: 38 characters in braces, in row 0 only.
  struct Case {
    const char* name;
    Variant cell;
    int64_t column;
  } cases[] = {
      {"label", S(Label(3)), 1},
      {"37 characters", S(Label(3).substr(1)), -1},
      {"39 characters", S(Label(3) + "}"), -1},
      {"no opening brace", S("(" + Label(3).substr(1)), -1},
      {"no closing brace", S(Label(3).substr(0, 37) + ")"), -1},
      {"38 characters in braces, any inside",
       S("{" + std::string(36, ' ') + "}"), 1},
      {"not a string", Variant::I4(1), -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Variant t = MakeTable({{S("r0"), c.cell}, {S("r1"), S(Label(3))}});
    EXPECT_EQ(FindFidColumn(*t.AsArray()), c.column);
  }
  EXPECT_EQ(FindFidColumn(*VariantArray::NewTable(3, 0).AsArray()), -1);
}

TEST(DeleteDupesTest, NoFidColumnFoundGivesEmptyAndAHeaderOnlyLog) {
  TempDir dir;
  const std::string log = dir.File("deleted.csv");
  FakeBatchContext ctx;
  ctx.sink.calls.clear();
  Variant result =
      DeleteDupes(ctx, MakeTable({{S("r0"), S("a")}, {S("r1"), S("a")}}), -1,
                  -1, kFirst, kDeleted, false, platform::Utf8ToUtf16(log));
  EXPECT_TRUE(result.IsEmpty());
  EXPECT_EQ(ctx.error, 0);
  EXPECT_EQ(ReadBytes(log), "\"Column1\";\"Column2\"\r\n");
  // Nothing was reported: the reporter is opened only once there is work.
  EXPECT_TRUE(ctx.sink.calls.empty());

  // A table without rows has no row 0 to look at.
  FakeBatchContext empty_ctx;
  EXPECT_TRUE(DeleteDupes(empty_ctx, VariantArray::NewTable(3, 0), -1, -1,
                          kFirst, kClean, false, u"")
                  .IsEmpty());
  EXPECT_EQ(empty_ctx.error, 0);
}

TEST(DeleteDupesTest, MaxColumnIndexSetsTheColumnsCopiedAndLogged) {
  std::vector<std::vector<Variant>> rows;
  for (int r = 0; r < 3; ++r) {
    rows.push_back({S("r" + std::to_string(r)), Variant::I4(r), S("c2"),
                    Variant::R8(2.5), S(r == 2 ? "g" : "f")});
  }
  const Variant table = MakeTable(rows);
  struct Case {
    int32_t max_column;
    uint32_t columns;
    std::string log;
  } cases[] = {
      {1, 2, "\"Column1\";\"Column2\"\r\n\"r1\";1\r\n"},
      {-1, 5,
       "\"Column1\";\"Column2\";\"Column3\";\"Column4\";\"Column5\"\r\n"
       "\"r1\";1;\"c2\";2.5;\"f\"\r\n"},
      {0, 1, "\"Column1\"\r\n\"r1\"\r\n"},
      // Beyond the table: the result keeps the columns, Empty; the log
      // writes empty fields.
      {6, 7,
       "\"Column1\";\"Column2\";\"Column3\";\"Column4\";\"Column5\";"
       "\"Column6\";\"Column7\"\r\n"
       "\"r1\";1;\"c2\";2.5;\"f\";;\r\n"},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.max_column);
    FakeBatchContext ctx;
    const std::string log = dir.File("deleted.csv");
    Variant result = DeleteDupes(ctx, table, 4, c.max_column, kFirst, kClean,
                                 false, platform::Utf8ToUtf16(log));
    const VariantArray* a = result.AsArray();
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(a->columns(), c.columns);
    ASSERT_EQ(a->rows(), 2u);
    for (uint32_t col = 0; col < c.columns; ++col) {
      if (col < 5) {
        EXPECT_TRUE(SameValue(a->cell(col, 1), rows[2][col])) << col;
      } else {
        EXPECT_TRUE(a->cell(col, 1).IsEmpty()) << col;
      }
    }
    EXPECT_EQ(ReadBytes(log), c.log);
  }
}

TEST(DeleteDupesTest, ColumnsOutsideTheTable) {
  // An FID column beyond the table gives no row a key.
  FakeBatchContext ctx;
  const Variant table = FidTable({S("a"), S("a")});
  EXPECT_TRUE(
      DeleteDupes(ctx, table, 2, -1, kFirst, kClean, false, u"").IsEmpty());
  EXPECT_TRUE(DeleteDupes(ctx, table, 1000000, 3, kFirst, kClean, false, u"")
                  .IsEmpty());
  EXPECT_EQ(ctx.error, 0);
  // A table without columns: nothing to find or copy.
  EXPECT_TRUE(DeleteDupes(ctx, VariantArray::NewTable(0, 3), 0, -1, kFirst,
                          kClean, false, u"")
                  .IsEmpty());
  EXPECT_EQ(ctx.error, 0);
}

TEST(DeleteDupesTest, LogFollowsTheCsvSettingsAndColumnNames) {
  TempDir dir;
  const std::string log = dir.File("deleted.csv");
  testing::WriteBytes(log, "old content that must go\r\n");
  FakeBatchContext ctx;
  ctx.csv_settings.delimiter = u", ";
  ctx.csv_settings.text_in_quotes = false;
  ctx.column_options.Set(0, true, true, 1.0, false, u"Name");
  ctx.column_options.Set(1, true, true, 1.0, false, u"FuzzyDupesID");
  Variant table = MakeTable({{S("Meier"), S("g")},
                             {S("Say \"hi\""), S("g")},
                             {Variant::Utf8String("M\xC3\xBCller"), S("g")}});
  DeleteDupes(ctx, table, 1, -1, kFirst, kClean, false,
              platform::Utf8ToUtf16(log));
  EXPECT_EQ(ReadBytes(log),
            "Name, FuzzyDupesID\r\nSay \"hi\", g\r\nM\xFCller, g\r\n");

  // Without headers; the text as UTF-8 when asked for.
  ctx.csv_settings.column_headers = false;
  ctx.csv_settings.text_in_quotes = true;
  DeleteDupes(ctx, table, 1, -1, kLast, kDeleted, false,
              platform::Utf8ToUtf16(log), TextEncoding::kUtf8);
  EXPECT_EQ(ReadBytes(log),
            "\"Meier\", \"g\"\r\n\"Say \"\"hi\"\"\", \"g\"\r\n");
  DeleteDupes(ctx, table, 1, -1, kFirst, kDeleted, false,
              platform::Utf8ToUtf16(log), TextEncoding::kUtf8);
  EXPECT_EQ(ReadBytes(log),
            "\"Say \"\"hi\"\"\", \"g\"\r\n\"M\xC3\xBCller\", \"g\"\r\n");
}

TEST(DeleteDupesTest, LogThatCannotBeCreatedIsSkipped) {
  TempDir dir;
  FakeBatchContext ctx;
  const Variant table = FidTable({S("a"), S("a")});
  Variant result =
      DeleteDupes(ctx, table, 1, -1, kFirst, kDeleted, false,
                  platform::Utf8ToUtf16(dir.File("no/such/folder/log.csv")));
  EXPECT_EQ(RowNames(result), (std::vector<std::string>{"r1"}));
  EXPECT_EQ(ctx.error, 0);
}

TEST(DeleteDupesTest, NotATable) {
  TempDir dir;
  const std::string log = dir.File("deleted.csv");
  Variant inner = FidTable({S("a"), S("a")});
  for (const Variant& arg :
       {Variant(), S("text"), Variant::I4(3), Variant::Array(nullptr)}) {
    FakeBatchContext ctx;
    ctx.error = -1;
    ctx.canceled_flag = true;
    EXPECT_TRUE(DeleteDupes(ctx, arg, 1, -1, kFirst, kClean, false,
                            platform::Utf8ToUtf16(log))
                    .IsEmpty());
    EXPECT_EQ(ctx.error, 0);
    EXPECT_FALSE(ctx.canceled_flag);
    EXPECT_FALSE(testing::Exists(log));
  }
  // A reference to a table is a table.
  FakeBatchContext ctx;
  EXPECT_EQ(RowNames(DeleteDupes(ctx, Variant::ByRef(&inner), 1, -1, kFirst,
                                 kClean, false, u"")),
            (std::vector<std::string>{"r0"}));
}

TEST(DeleteDupesTest, ResultKeepsTheLowerBounds) {
  Variant table = VariantArray::NewTable(2, 3, 1, 1);
  for (uint32_t r = 0; r < 3; ++r) {
    table.AsArray()->cell(0, r) = S("r" + std::to_string(r));
    table.AsArray()->cell(1, r) = S("g");
  }
  FakeBatchContext ctx;
  Variant result = DeleteDupes(ctx, table, 1, -1, kLast, kDeleted, false, u"");
  ASSERT_NE(result.AsArray(), nullptr);
  EXPECT_EQ(result.AsArray()->LowerBound(0), 1);
  EXPECT_EQ(result.AsArray()->LowerBound(1), 1);
  EXPECT_EQ(RowNames(result), (std::vector<std::string>{"r0", "r1"}));
}

std::vector<Variant> PairedFids(int rows) {
  std::vector<Variant> fids;
  for (int r = 0; r < rows; ++r) fids.push_back(S(Label(r / 2)));
  return fids;
}

TEST(DeleteDupesTest, ProgressWaitWindowOneStageEveryHundredRows) {
  // 250 rows, half of them without key: they count for the cadence too.
  std::vector<Variant> fids = PairedFids(250);
  for (int r = 1; r < 250; r += 2) fids[r] = Variant();
  FakeBatchContext ctx;
  DeleteDupes(ctx, FidTable(fids), 1, -1, kFirst, kClean, true, u"");
  const auto& calls = ctx.sink.calls;
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[0].kind, ProgressCall::kOpen);
  EXPECT_TRUE(ctx.sink.show_progress);
  EXPECT_EQ(ctx.sink.window_kind, ProgressWindowKind::kWait);
  EXPECT_EQ(ctx.sink.title_id, 210);
  EXPECT_EQ(calls[1].kind, ProgressCall::kBegin);
  EXPECT_EQ(calls[1].status, 209);
  EXPECT_EQ(calls[1].event, ProgressEvent::kProgress);
  EXPECT_EQ(calls[1].fields.record_no, -1);
  EXPECT_EQ(calls[2].kind, ProgressCall::kReport);
  EXPECT_DOUBLE_EQ(calls[2].percent, 99 * 100.0 / 249);
  EXPECT_DOUBLE_EQ(calls[3].percent, 199 * 100.0 / 249);
  EXPECT_EQ(calls[3].fields.cluster_current, -1);
  // No closing report.
  EXPECT_EQ(calls[4].kind, ProgressCall::kClose);
}

TEST(DeleteDupesTest, CancellingReturnsTheRowsDecidedSoFar) {
  // Cancelled at the third report: rows 0 to 299 of 1,000 are decided.
  TempDir dir;
  const std::string log = dir.File("deleted.csv");
  for (int16_t return_results : {kClean, kDeleted}) {
    SCOPED_TRACE(return_results);
    FakeBatchContext ctx;
    int reports = 0;
    ctx.sink.on_call = [&](const ProgressCall& call) {
      if (call.kind == ProgressCall::kReport && ++reports == 3) {
        ctx.canceled_flag = true;
      }
    };
    Variant result =
        DeleteDupes(ctx, FidTable(PairedFids(1000)), 1, -1, kLast,
                    return_results, false, platform::Utf8ToUtf16(log));
    EXPECT_TRUE(ctx.canceled_flag);
    EXPECT_EQ(ctx.error, 0);
    EXPECT_EQ(reports, 3);
    std::vector<uint32_t> expected;
    for (uint32_t r = 0; r < 300; ++r) {
      if ((r % 2 == 1) == (return_results == kClean)) expected.push_back(r);
    }
    EXPECT_EQ(RowNames(result), Names(expected));
    std::vector<uint32_t> deleted;
    for (uint32_t r = 0; r < 300; r += 2) deleted.push_back(r);
    EXPECT_EQ(LoggedNames(ReadBytes(log)), Names(deleted));
    EXPECT_EQ(ctx.sink.calls.back().kind, ProgressCall::kClose);
  }
  // Cancelled at the first row with nothing copied yet: Empty.
  FakeBatchContext ctx;
  ctx.sink.on_call = [&](const ProgressCall& call) {
    if (call.kind == ProgressCall::kBegin) ctx.canceled_flag = true;
  };
  EXPECT_TRUE(DeleteDupes(ctx, FidTable({S("a"), S("a")}), 1, -1, kFirst,
                          kDeleted, false, u"")
                  .IsEmpty());
  EXPECT_TRUE(ctx.canceled_flag);
}

// Random tables against the oracle: keys from a small alphabet so that
// groups form, with cells that have no key mixed in.
TEST(DeleteDupesTest, AgreesWithTheReferenceOnRandomTables) {
  std::mt19937 rng(20240611);
  TempDir dir;
  const std::string log = dir.File("deleted.csv");
  for (int round = 0; round < 200; ++round) {
    const int rows = std::uniform_int_distribution<int>(0, 60)(rng);
    const int alphabet = std::uniform_int_distribution<int>(1, 12)(rng);
    std::vector<Variant> fids;
    reference::RowKeys keys;
    for (int r = 0; r < rows; ++r) {
      int pick = std::uniform_int_distribution<int>(0, alphabet + 2)(rng);
      if (pick < alphabet) {
        std::string key = pick % 2 ? "k" + std::to_string(pick)
                                   : "K" + std::to_string(pick / 2);
        fids.push_back(S(key));
        keys.push_back(key);
      } else if (pick == alphabet) {
        fids.push_back(Variant::I4(pick));
        keys.push_back(std::nullopt);
      } else if (pick == alphabet + 1) {
        fids.push_back(S(""));
        keys.push_back(std::nullopt);
      } else {
        fids.push_back(Variant::Null());
        keys.push_back(std::nullopt);
      }
    }
    const int16_t order = std::uniform_int_distribution<int16_t>(-1, 2)(rng);
    const int16_t return_results =
        std::uniform_int_distribution<int16_t>(0, 2)(rng);
    SCOPED_TRACE(::testing::Message() << "round " << round << " order " << order
                                      << " return " << return_results);
    // Closing a log flushes it to the disk: only some rounds write one.
    const bool logged = round % 4 == 0;
    FakeBatchContext ctx;
    Variant result =
        DeleteDupes(ctx, FidTable(fids), 1, -1, order, return_results, false,
                    logged ? platform::Utf8ToUtf16(log) : std::u16string());
    reference::DeleteOutcome want =
        reference::DeleteDupesRows(keys, order, return_results);
    EXPECT_EQ(RowNames(result), Names(want.returned));
    if (logged) {
      EXPECT_EQ(LoggedNames(ReadBytes(log)), Names(want.logged));
    }
  }
}

TEST(DeleteDupesTest, NoAllocationPerRow) {
  auto count = [](int rows) {
    Variant table = FidTable(PairedFids(rows));
    TempDir dir;
    const std::u16string log = platform::Utf8ToUtf16(dir.File("log.csv"));
    FakeBatchContext ctx;
    ctx.sink.calls.reserve(100);
    return platform::testing::AllocationCount(
        [&] { DeleteDupes(ctx, table, 1, -1, kFirst, kDeleted, false, log); });
  };
  const int64_t small = count(2000);
  const int64_t large = count(4000);
  EXPECT_LT(large - small, 50) << small << " -> " << large;
}

// Fails the 1st, 2nd, ... allocation of a call: every failure must give one
// of the outcomes the failure rules allow, with everything released.
TEST(DeleteDupesTest, EveryAllocationFailureIsHandled) {
  std::vector<Variant> fids = PairedFids(400);
  // A long key that outgrows the key buffer late in the pass.
  fids[398] = fids[399] = S(std::string(500, 'x'));
  const Variant table = FidTable(fids);
  TempDir dir;
  const std::u16string log = platform::Utf8ToUtf16(dir.File("log.csv"));
  FakeBatchContext reference_ctx;
  const Variant reference =
      DeleteDupes(reference_ctx, table, 1, -1, kFirst, kDeleted, true, log);
  ASSERT_EQ(reference.AsArray()->rows(), 200u);
  std::set<std::string> outcomes;
  platform::testing::WalkAllocationFailures([&](int64_t n) {
    FakeBatchContext ctx;
    ctx.sink.calls.reserve(100);
    Variant result;
    const bool failed = platform::testing::FailsAt(n, [&] {
      result = DeleteDupes(ctx, table, 1, -1, kFirst, kDeleted, true, log);
    });
    EXPECT_EQ(table.AsArray()->locks(), 0);
    if (!ctx.sink.calls.empty()) {
      EXPECT_EQ(ctx.sink.calls.back().kind, ProgressCall::kClose);
    }
    if (!failed) {
      EXPECT_EQ(ctx.error, 0);
      EXPECT_TRUE(testing::SameTable(result, reference));
      return false;
    }
    EXPECT_EQ(ctx.error, -1);
    if (result.IsEmpty()) {
      outcomes.insert("empty");
      return true;
    }
    // The rows decided before the failure: a prefix of the full result.
    const VariantArray* got = result.AsArray();
    if (got == nullptr || got->rows() >= 200u) {
      ADD_FAILURE() << "not a part of the result";
      return true;
    }
    for (uint32_t r = 0; r < got->rows(); ++r) {
      EXPECT_TRUE(SameValue(got->cell(0, r), reference.AsArray()->cell(0, r)))
          << "row " << r;
    }
    outcomes.insert("rows so far");
    return true;
  });
  EXPECT_TRUE(outcomes.count("empty"));
  EXPECT_TRUE(outcomes.count("rows so far"));
}

}  // namespace
}  // namespace vexlor

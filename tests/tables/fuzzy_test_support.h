// What the tests of the fuzzy match and merge share: a context with
// reproducible labels, random tables for the comparisons with the
// reference, and the golden files' folder.
#ifndef VEXLOR_TESTS_TABLES_FUZZY_TEST_SUPPORT_H_
#define VEXLOR_TESTS_TABLES_FUZZY_TEST_SUPPORT_H_

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/output/temp_dir.h"
#include "tests/tables/fake_batch_context.h"
#include "vexlor/platform/guid.h"
#include "vexlor/text.h"
#include "vexlor/variant.h"
#include "vexlor/variant_array.h"

namespace vexlor::testing {

class SeededContext : public FakeBatchContext {
 public:
  explicit SeededContext(uint64_t seed = 7) : guids_(seed) {}
  std::string NewGuidString() override {
    platform::Guid guid;
    guids_.Create(&guid);
    return platform::FormatGuid(guid);
  }

 private:
  platform::SeededGuidSource guids_;
};

inline platform::Variant S(const std::string& text) {
  return platform::Variant::AnsiString(text);
}

inline std::string Text(const platform::Variant& cell) {
  return platform::Utf16ToAnsi(cell.AsString());
}

// `n` capital letters drawn from `gen`.
inline std::string RandomLetters(std::mt19937& gen, int n) {
  std::string s;
  for (int k = 0; k < n; ++k) s.push_back('A' + gen() % 26);
  return s;
}

// `count` street names of twelve letters: rows that share one are
// candidates of each other while the street column clusters.
inline std::vector<std::string> RandomStreets(std::mt19937& gen, int count) {
  std::vector<std::string> streets;
  for (int i = 0; i < count; ++i) streets.push_back(RandomLetters(gen, 12));
  return streets;
}

// Two small tables of short texts over a few letters (so that many pairs
// share trigrams and many resemble each other), with numbers, Null and now
// and then an Empty cell; random options and thresholds.
struct RandomCase {
  platform::Variant master;
  platform::Variant second;
  ColumnOptions options;
  int32_t id_column = -1;
  double threshold = 80;
  double cluster_threshold = 0.5;
};

inline platform::Variant RandomTable(std::mt19937& gen) {
  const uint32_t columns = 1 + gen() % 4;
  const uint32_t rows = gen() % 25;
  platform::Variant t = platform::VariantArray::NewTable(columns, rows);
  for (uint32_t r = 0; r < rows; ++r) {
    for (uint32_t c = 0; c < columns; ++c) {
      platform::Variant& cell = t.AsArray()->cell(c, r);
      const unsigned kind = gen() % 20;
      if (kind < 14) {
        std::string text;
        // Two letters beyond ASCII, which normalisation folds.
        for (unsigned n = gen() % 7; n > 0; --n)
          text.push_back("abAB -\xE4\xC4"[gen() % 8]);
        cell = S(text);
      } else if (kind < 16) {
        cell = platform::Variant::I4(static_cast<int32_t>(gen() % 7) - 3);
      } else if (kind < 17) {
        cell = platform::Variant::R8((static_cast<int>(gen() % 9) - 4) / 2.0);
      } else if (kind < 19) {
        cell = platform::Variant::Null();
      }  // else Empty
    }
  }
  return t;
}

inline RandomCase MakeRandomCase(std::mt19937& gen) {
  RandomCase rc;
  rc.master = RandomTable(gen);
  rc.second = RandomTable(gen);
  for (int c = 0; c < 4; ++c) {
    rc.options.cluster[c] = gen() % 10 < 7;
    rc.options.dupe_search[c] = gen() % 10 < 7;
    rc.options.weight[c] = gen() % 5 == 0 ? 2.0 : 1.0;
    rc.options.compare_null[c] = gen() % 3 == 0;
  }
  rc.id_column = gen() % 4 == 0 ? 0 : -1;
  const double thresholds[] = {0, 40, 70, 90, 100};
  const double cluster_thresholds[] = {0, 0.2, 0.5, 0.8, 1.0};
  rc.threshold = thresholds[gen() % 5];
  rc.cluster_threshold = cluster_thresholds[gen() % 5];
  return rc;
}

// Runs `call(ctx, table, first_log, second_log)`, a match or merge of a
// table of 120 names with itself, cancelled at the first report of stage 1
// or of stage 2: it must return Empty without an error, close the
// reporter without a closing report, leave the table unlocked, and have
// written to the log numbered `log` (0 or 1) the header and, in stage 2,
// the ten records before the report.
template <class Call>
void ExpectCancelInEitherStage(Call call, int log) {
  std::vector<std::vector<platform::Variant>> rows;
  for (int r = 0; r < 120; ++r)
    rows.push_back({S("Name " + std::to_string(r))});
  const platform::Variant table = MakeTable(rows);
  for (int stage : {1, 2}) {
    SCOPED_TRACE(stage);
    TempDir dir;
    SeededContext ctx;
    ctx.sink.on_call = [&](const ProgressCall& c) {
      const bool second = ctx.sink.Of(ProgressCall::kBegin).size() == 2;
      if (c.kind == ProgressCall::kReport && second == (stage == 2)) {
        ctx.canceled_flag = true;
      }
    };
    const std::string logs[] = {dir.File("first.log"), dir.File("second.log")};
    EXPECT_TRUE(call(ctx, table, logs[0], logs[1]).IsEmpty());
    EXPECT_TRUE(ctx.canceled_flag);
    EXPECT_EQ(ctx.error, 0);
    EXPECT_EQ(ctx.sink.calls.back().kind, ProgressCall::kClose);
    EXPECT_TRUE(ctx.sink.Of(ProgressCall::kAgain).empty());
    const std::string text = ReadBytes(logs[log]);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), stage == 1 ? 1 : 11);
    EXPECT_EQ(table.AsArray()->locks(), 0);
  }
}

}  // namespace vexlor::testing

#endif  // VEXLOR_TESTS_TABLES_FUZZY_TEST_SUPPORT_H_

// Scores estimated from the data: the levels, the estimation against pair
// sets of known m and u, the model file, and the duplicate search with
// Scoring=Estimated (determinism, a saved model, degenerate tables). Scoring
// with a given model is checked against the reference in grouping_test.cc.
#include "vexlor/tables/scoring/fs_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "tests/tables/fuzzy_test_support.h"
#include "vexlor/match_options.h"
#include "vexlor/tables/methods/dupe_search.h"

namespace vexlor {
namespace {

using platform::Variant;
using testing::S;

constexpr int16_t kAll = 1;  // DRR_ALL

TEST(FsLevelTest, LevelsOfTextPairs) {
  struct Case {
    const char* a;
    const char* b;
    bool exact;
    FsLevel want;
  } const kCases[] = {
      {"ANNA", "ANNA", false, kFsEqual},
      {"", "ANNA", false, kFsMissing},
      {"ANNA", "", true, kFsMissing},
      {"ABCDEFGHIJKLM", "ABCDEFGHIJKLX", false, kFsAbove92},  // 92.3
      {"MEIER", "MEYER", false, kFsAbove80},                  // 80
      {"ABCDE", "ABCXY", false, kFsAbove60},                  // 60
      {"ABC", "XYZ", false, kFsLower},
      {"MEIER", "MEYER", true, kFsLower},
      {"K.", "KATRIN", false, kFsInitial},
      {"HANS-PETER", "H.-P.", false, kFsInitial},
      {"K", "DR. KATRIN", false, kFsInitial},
      {"K.", "MARIA", false, kFsLower},
      {"K.", "K L", false, kFsLower},  // no word to abbreviate
      {"KA", "KATRIN", false, kFsLower},
      {"K.", "KATRIN", true, kFsLower},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(FsLevelOf(c.a, c.b, c.exact), c.want) << c.a << " " << c.b;
  }
}

// Codes, numbers and dates: their kind read from a column's values, and
// their three levels (near and one edit in the slot of >=92).
TEST(FsLevelTest, KindsReadFromValuesAndTheirLevels) {
  struct Column {
    const char* values[3];
    FsKind want;
  } const kColumns[] = {
      {{"2150", "0800", "4217"}, FsKind::kCode},  // one width
      {{"12", "7", "154"}, FsKind::kNumber},      // many widths
      {{"19790512", "12 5 1979", "2001 12 31"}, FsKind::kDate},
      {{"SW4 9PL", "10115", "E1 6AN"}, FsKind::kCode},
      {{"MAIN STREET 4", "SMITH", "7"}, FsKind::kText},
  };
  for (const Column& c : kColumns) {
    FsKindVote vote;
    for (int i = 0; i < 30; ++i) vote.Add(c.values[i % 3]);
    EXPECT_EQ(vote.Kind(), c.want) << c.values[0];
  }
  FsKindVote few;
  few.Add("2150");
  EXPECT_EQ(few.Kind(), FsKind::kText);

  struct Pair {
    FsKind kind;
    const char* a;
    const char* b;
    FsLevel want;
  } const kPairs[] = {
      {FsKind::kCode, "2150", "2150", kFsEqual},
      {FsKind::kCode, "2150", "2160", kFsAbove92},  // one changed
      {FsKind::kCode, "2150", "1250", kFsAbove92},  // neighbours swapped
      {FsKind::kCode, "2150", "215", kFsAbove92},   // one dropped
      {FsKind::kCode, "2150", "3160", kFsLower},
      {FsKind::kCode, "", "3160", kFsMissing},
      {FsKind::kNumber, "100", "108", kFsAbove92},  // within a tenth
      {FsKind::kNumber, "100", "135", kFsLower},
      {FsKind::kDate, "19790512", "19791205", kFsAbove92},  // day, month
      {FsKind::kDate, "19790512", "19790513", kFsAbove92},
      {FsKind::kDate, "19790512", "19800611", kFsLower},
  };
  for (const Pair& p : kPairs) {
    FsColumn col;
    col.kind = p.kind;
    EXPECT_EQ(col.LevelOf(p.a, p.b), p.want) << p.a << " " << p.b;
    EXPECT_EQ(col.LevelOf(p.b, p.a), p.want) << p.b << " " << p.a;
  }
}

// Agreeing on a value v carries log2(A / f(v)) bits more than agreeing on
// an average value, A the chance that two values agree: computed by hand
// for a column of 10 values, and the values beyond the kept ones counted at
// the mean count of those not kept.
TEST(FsTermFrequencyTest, AdjustsEqualByHowCommonTheValueIs) {
  const std::vector<std::string> column = {
      "SMITH", "SMITH", "SMITH",         "SMITH", "JONES", "JONES",
      "",      "ABBOT", "WOJCIECHOWSKI", "BAKER", "COX"};
  const FsTermFrequencies f =
      CountTermFrequencies(static_cast<uint32_t>(column.size()),
                           [&](uint32_t row, std::string_view* value) {
                             *value = column[row];
                             return true;
                           });
  // 10 values: SMITH 4, JONES 2, four seen once.
  const double agree = (16.0 + 4.0 + 4.0) / 100.0;
  ASSERT_EQ(f.records(), 10u);
  EXPECT_DOUBLE_EQ(f.agree(), agree);
  ASSERT_EQ(f.values().size(), 2u);  // those seen twice or more
  EXPECT_EQ(f.values()[0].first, "SMITH");
  EXPECT_EQ(f.rest(), 1.0);
  EXPECT_NEAR(f.Adjustment("SMITH"), std::log2(agree / 0.4), 1e-12);
  EXPECT_NEAR(f.Adjustment("JONES"), std::log2(agree / 0.2), 1e-12);
  EXPECT_NEAR(f.Adjustment("WOJCIECHOWSKI"), std::log2(agree / 0.1), 1e-12);
  EXPECT_NEAR(f.MaxAdjustment(), std::log2(agree / 0.1), 1e-12);

  FsColumn col;
  col.m[kFsEqual] = 0.9;
  col.u[kFsEqual] = 0.3;
  col.m[kFsLower] = 0.1;
  col.u[kFsLower] = 0.7;
  col.frequencies = f;
  EXPECT_NEAR(col.WeightOf(kFsEqual, "WOJCIECHOWSKI"),
              std::log2(0.9 / 0.3) + std::log2(agree / 0.1), 1e-12);
  EXPECT_LT(col.WeightOf(kFsEqual, "SMITH"), col.Weight(kFsEqual));
  EXPECT_EQ(col.WeightOf(kFsLower, "SMITH"), col.Weight(kFsLower));

  // More distinct repeated values than are kept: the rest count as the
  // mean of those not kept.
  std::vector<std::string> many;
  for (size_t v = 0; v < kFsListedValues + 10; ++v) {
    for (size_t k = 0; k < (v < kFsListedValues ? 3u : 2u); ++k) {
      many.push_back("V" + std::to_string(v));
    }
  }
  const FsTermFrequencies g =
      CountTermFrequencies(static_cast<uint32_t>(many.size()),
                           [&](uint32_t row, std::string_view* value) {
                             *value = many[row];
                             return true;
                           });
  EXPECT_EQ(g.values().size(), kFsListedValues);
  EXPECT_EQ(g.rest(), 2.0);
  EXPECT_NEAR(g.Adjustment("V1"),
              std::log2(g.agree() * static_cast<double>(many.size()) / 3),
              1e-12);
}

// A model of random m and u over three columns (the last exact).
FsModel RandomModel(std::mt19937& gen) {
  FsModel model;
  model.prior = 0.3;
  model.related = 0.2;
  for (int c = 0; c < 3; ++c) {
    FsColumn col;
    col.column = c;
    col.exact = c == 2;
    for (int l = 0; l < kFsLevels; ++l) {
      col.m[l] = (1 + gen() % 1000) / 1000.0;
      col.u[l] = (1 + gen() % 1000) / 1000.0;
      col.r[l] = (1 + gen() % 1000) / 1000.0;
    }
    model.columns.push_back(col);
  }
  model.Index();
  return model;
}

// Scores do not depend on which record is the first one; they are the
// match's share of the three classes.
TEST(FsModelTest, ScoresAreSymmetric) {
  std::mt19937 gen(5);
  const FsModel model = RandomModel(gen);
  auto text = [&] {
    std::string s;
    for (unsigned n = gen() % 9; n > 0; --n) s.push_back("ABCDE "[gen() % 6]);
    return s;
  };
  bool flags[kMaxColumns] = {true, true, true};
  for (int i = 0; i < 2000; ++i) {
    std::string a[3], b[3];
    for (int c = 0; c < 3; ++c) a[c] = text(), b[c] = text();
    FieldColl one, other;
    one.ListCompareInit();
    other.ListCompareInit();
    for (int c = 0; c < 3; ++c) {
      one.SetFieldAt(c, a[c], 1.0, false);
      one.SetCompareAt(c, b[c]);
      other.SetFieldAt(c, b[c], 1.0, false);
      other.SetCompareAt(c, a[c]);
    }
    const double s = model.Score(one, 2, flags);
    ASSERT_EQ(s, model.Score(other, 2, flags)) << i;
    ASSERT_TRUE(s >= 0 && s <= 100);
    // The three classes' products, straight from m, r and u.
    double match = model.prior, related = model.related,
           unrelated = 1 - model.prior - model.related;
    for (int c = 0; c < 3; ++c) {
      const FsColumn& col = model.columns[c];
      const int l = FsLevelOf(a[c], b[c], col.exact);
      if (l == kFsMissing) continue;
      match *= col.m[l];
      related *= col.r[l];
      unrelated *= col.u[l];
    }
    ASSERT_NEAR(s, 100 * match / (match + related + unrelated), 1e-9) << i;
    // Reaches, which may stop early, gives the verdict of the score.
    for (double t : {0.0, 1.0, 50.0, 80.0, 99.0, 100.0}) {
      ASSERT_EQ(model.Reaches(one, 2, flags, t), s >= t) << i << " " << t;
    }
  }
}

// Pairs drawn from a model of known m, u and prior (independent columns):
// the fit finds m within 0.02 and u and the prior within 0.01.
TEST(FsModelTest, EstimationRecoversKnownProbabilities) {
  std::mt19937 gen(11);
  FsModel truth;
  truth.prior = 0.2;
  const double m[3][6] = {{0.7, 0.15, 0.08, 0.03, 0.02, 0.02},
                          {0.5, 0.3, 0.1, 0.04, 0.02, 0.04},
                          {0.9, 0, 0, 0, 0, 0.1}};
  const double u[3][6] = {{0.01, 0.03, 0.1, 0.2, 0.06, 0.6},
                          {0.02, 0.05, 0.08, 0.1, 0.05, 0.7},
                          {0.2, 0, 0, 0, 0, 0.8}};
  for (int c = 0; c < 3; ++c) {
    FsColumn col;
    col.column = c;
    col.exact = c == 2;
    for (int l = 0; l < 6; ++l) col.m[l] = m[c][l], col.u[l] = u[c][l];
    truth.columns.push_back(col);
  }
  auto draw = [&](const double* p, double missing) {
    std::uniform_real_distribution<double> unit(0, 1);
    if (unit(gen) < missing) return static_cast<uint8_t>(kFsMissing);
    double x = unit(gen);
    for (uint8_t l = 0; l < 5; ++l) {
      if (x < p[l]) return l;
      x -= p[l];
    }
    return static_cast<uint8_t>(kFsLower);
  };
  FsPatternCounts drawn(3), candidates(3);
  uint8_t levels[3];
  for (int i = 0; i < 200000; ++i) {
    for (int c = 0; c < 3; ++c) levels[c] = draw(u[c], 0.05);
    drawn.Add(levels);
    const bool match = std::uniform_real_distribution<double>(0, 1)(gen) < 0.2;
    for (int c = 0; c < 3; ++c) levels[c] = draw(match ? m[c] : u[c], 0.05);
    candidates.Add(levels);
  }
  FsModel fit;
  fit.columns = truth.columns;
  FitFsModel(drawn, candidates, &fit);
  EXPECT_NEAR(fit.prior, truth.prior, 0.01);
  EXPECT_EQ(fit.related, 0.0);
  for (int c = 0; c < 3; ++c) {
    for (int l = 0; l < 6; ++l) {
      if (c == 2 && l != kFsEqual && l != kFsLower) continue;
      EXPECT_NEAR(fit.columns[c].m[l], m[c][l], 0.02) << c << " " << l;
      EXPECT_NEAR(fit.columns[c].u[l], u[c][l], 0.01) << c << " " << l;
    }
  }
}

// Nothing to learn from: the documented start, finite weights.
TEST(FsModelTest, FitWithoutPairsKeepsTheStart) {
  FsModel fit;
  fit.columns.resize(2);
  fit.columns[1].column = 1;
  fit.columns[1].exact = true;
  FsPatternCounts none(2);
  FitFsModel(none, none, &fit);
  EXPECT_EQ(fit.prior, 0.1);
  EXPECT_EQ(fit.columns[0].m[kFsEqual], 0.55);
  EXPECT_DOUBLE_EQ(fit.columns[0].u[kFsEqual], 1.0 / 6);  // uniform
  EXPECT_EQ(fit.columns[1].u[kFsEqual], 0.5);
  const uint8_t missing[2] = {kFsMissing, kFsMissing};
  EXPECT_DOUBLE_EQ(fit.ScoreOfLevels(missing), 10.0);
}

TEST(FsModelTest, ModelFileReadsBackTheSameModel) {
  std::mt19937 gen(3);
  FsModel model = RandomModel(gen);
  model.columns[1].name =
      "Stra\xc3\x9f"
      "e \"1\"";
  model.prior = 1.0 / 3;
  FsModel back;
  std::string error;
  ASSERT_TRUE(ParseFsModelJson(model.ToJson(), &back, &error)) << error;
  EXPECT_EQ(back.ToJson(), model.ToJson());
  EXPECT_EQ(back.prior, model.prior);
  EXPECT_EQ(back.columns[1].name, model.columns[1].name);
  EXPECT_EQ(back.columns[0].m[kFsAbove80], model.columns[0].m[kFsAbove80]);
  EXPECT_EQ(back.related, model.related);

  // Version 2: kinds and frequencies read back.
  model.columns[0].kind = FsKind::kDate;
  model.columns[0].m[kFsAbove92] = 0.25;
  model.columns[0].frequencies.Assign(100, 0.05, 1.5, {{"SMITH", 7}});
  model.Index();
  ASSERT_TRUE(ParseFsModelJson(model.ToJson(), &back, &error)) << error;
  EXPECT_EQ(back.ToJson(), model.ToJson());
  EXPECT_EQ(back.columns[0].kind, FsKind::kDate);
  EXPECT_EQ(back.columns[0].WeightOf(kFsEqual, "SMITH"),
            model.columns[0].WeightOf(kFsEqual, "SMITH"));

  // A file of a version to come is refused, saying so.
  std::string later = model.ToJson();
  later.replace(later.find("\"version\": 2"), 12, "\"version\": 3");
  EXPECT_FALSE(ParseFsModelJson(later, &back, &error));
  EXPECT_NE(error.find("version 3"), std::string::npos) << error;

  // Version 1 (no "version"), without the initial level: initials score
  // as lower.
  const std::string old =
      "{\"prior\": 0.5, \"columns\": [{\"column\": 1, \"comparison\": "
      "\"gestalt\", \"levels\": [{\"level\": \"equal\", \"m\": 0.5, "
      "\"u\": 0.1}, {\"level\": \">=92\", \"m\": 0.2, \"u\": 0.1}, "
      "{\"level\": \">=80\", \"m\": 0.1, \"u\": 0.1}, {\"level\": "
      "\">=60\", \"m\": 0.1, \"u\": 0.2}, {\"level\": \"lower\", \"m\": "
      "0.1, \"u\": 0.5}]}]}";
  ASSERT_TRUE(ParseFsModelJson(old, &back, &error)) << error;
  EXPECT_EQ(back.columns[0].Weight(kFsInitial),
            back.columns[0].Weight(kFsLower));

  const char* const kBad[] = {
      "",
      "[]",
      "{\"prior\": 0, \"columns\": []}",
      "{\"prior\": 0.5}",
      "{\"prior\": 0.5, \"columns\": [{\"column\": 400, \"comparison\": "
      "\"exact\", \"levels\": []}]}",
      "{\"prior\": 0.5, \"columns\": [{\"column\": 1, \"comparison\": "
      "\"exact\", \"levels\": [{\"level\": \"equal\", \"m\": 0.5, \"u\": "
      "0.5}]}]}",
      "{\"prior\": 0.5, \"columns\": [] } x",
      "{\"prior\": 0.5, \"related\": 0.5, \"columns\": []}",
  };
  for (const char* text : kBad) {
    error.clear();
    EXPECT_FALSE(ParseFsModelJson(text, &back, &error)) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
}

// People with a few typo copies each, sharing first names, streets, towns.
Variant People(int people, uint32_t seed) {
  std::mt19937 gen(seed);
  const char* const kFirst[] = {"Anna",  "Hans",  "Peter", "Sabine",
                                "Maria", "Jonas", "Lena",  "Karl"};
  const char* const kTown[] = {"Berlin", "Hamburg", "Koeln", "Bremen"};
  auto letters = [&](int n) {
    std::string s(1, static_cast<char>('A' + gen() % 26));
    for (int k = 1; k < n; ++k)
      s.push_back(static_cast<char>('a' + gen() % 26));
    return s;
  };
  std::vector<std::vector<Variant>> rows;
  for (int p = 0; p < people; ++p) {
    std::string f[4] = {kFirst[gen() % 8], letters(7),
                        letters(9) + " " + std::to_string(gen() % 50),
                        kTown[gen() % 4]};
    for (int copy = gen() % 3; copy >= 0; --copy) {
      std::string g[4] = {f[0], f[1], f[2], f[3]};
      if (copy > 0) {
        std::string& t = g[gen() % 4];
        if (gen() % 4 == 0) {
          t.clear();
        } else {
          t[gen() % t.size()] = static_cast<char>('a' + gen() % 26);
        }
      }
      rows.push_back({S(g[0]), S(g[1]), S(g[2]), S(g[3])});
    }
  }
  return testing::MakeTable(rows);
}

Variant Search(const Variant& table, const MatchOptions& mo,
               bool cluster = true) {
  testing::SeededContext ctx(1);
  if (!cluster) ctx.column_options.cluster.fill(false);
  return DupeSearch(ctx, table, -1, 80, 0.5, kAll, false, CandidateScan{}, mo);
}

TEST(FsModelTest, EstimatedSearchIsReproducibleAndSavedModelsAgree) {
  const Variant table = People(400, 9);
  MatchOptions mo;
  mo.scoring = Scoring::kEstimated;
  mo.scores = true;
  FsModel estimated;
  mo.model_out = &estimated;
  const Variant first = Search(table, mo);
  ASSERT_EQ(estimated.columns.size(), 4u);
  EXPECT_GT(estimated.columns[1].Weight(kFsEqual), 3);  // surnames tell
  EXPECT_TRUE(testing::SameTable(first, Search(table, mo)));

  FsModel read;
  std::string error;
  ASSERT_TRUE(ParseFsModelJson(estimated.ToJson(), &read, &error)) << error;
  mo.model = &read;
  mo.model_out = nullptr;
  EXPECT_TRUE(testing::SameTable(first, Search(table, mo)));
}

// One column, every row equal, no candidate pairs, every value missing:
// labels for every row, finite scores, finite model numbers.
TEST(FsModelTest, DegenerateTables) {
  std::vector<std::vector<Variant>> one_column, equal, missing;
  for (int r = 0; r < 50; ++r) {
    one_column.push_back({S("Name " + std::to_string(r % 7))});
    equal.push_back({S("Anna"), S("Meier")});
    missing.push_back({S(""), S("")});
  }
  const struct {
    const char* name;
    Variant table;
    bool cluster;
    double prior;  // NaN: not pinned
  } kCases[] = {
      {"one column", testing::MakeTable(one_column), true, std::nan("")},
      {"all equal", testing::MakeTable(equal), true, std::nan("")},
      {"no candidates", testing::MakeTable(equal), false, 0.1},
      {"all missing", testing::MakeTable(missing), true, 0.1},
      {"one row", testing::MakeTable({{S("Anna")}}), true, 0.1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    MatchOptions mo;
    mo.scoring = Scoring::kEstimated;
    mo.scores = true;
    FsModel model;
    mo.model_out = &model;
    const Variant got = Search(c.table, mo, c.cluster);
    ASSERT_NE(got.AsArray(), nullptr);
    const platform::VariantArray& t = *got.AsArray();
    for (uint32_t r = 0; r < t.rows(); ++r) {
      ASSERT_FALSE(t.cell(t.columns() - 2, r).IsEmpty());
      const Variant& score = t.cell(t.columns() - 1, r);
      if (!score.IsEmpty()) {
        ASSERT_FALSE(std::isnan(score.AsDouble()));
      }
    }
    if (!std::isnan(c.prior)) {
      EXPECT_EQ(model.prior, c.prior);
    }
    for (const FsColumn& col : model.columns) {
      for (int l = 0; l < kFsLevels; ++l) {
        ASSERT_TRUE(std::isfinite(col.Weight(l)));
      }
    }
  }
}

}  // namespace
}  // namespace vexlor

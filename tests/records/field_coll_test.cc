#include "vexlor/records/field_coll.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "vexlor/platform/testing/allocation_walk.h"
#include "vexlor/platform/testing/failing_allocator.h"

namespace vexlor {
namespace {

using platform::testing::FailingAllocatorScope;
using platform::testing::FailsAt;
using platform::testing::WalkAllocationFailures;

// Pairs with known gestalt similarities.
constexpr const char* kSame = "ABCD";              // 100 against itself.
constexpr const char* kHalf[] = {"ABCD", "ABXY"};  // 50.
constexpr const char* kEighty[] = {"ABCDE", "ABCDX"};

std::array<bool, kMaxColumns> AllColumns() {
  std::array<bool, kMaxColumns> flags;
  flags.fill(true);
  return flags;
}

TEST(FieldCollTest, WorkedExampleByName) {
  FieldColl list;
  list.ListAddField("a", kSame, 1.0, false);
  list.ListAddField("b", kHalf[0], 1.0, false);
  list.ListAddField("c", kEighty[0], 0.5, false);
  list.ListSetCompare("a", kSame);
  list.ListSetCompare("b", kHalf[1]);
  list.ListSetCompare("c", kEighty[1]);
  EXPECT_DOUBLE_EQ(list.ListCalcDiff(), 76.0);  // 190 / 2.5

  list.ListAddField("key", "K1", 2.0, false);
  list.ListSetCompare("key", "K1");
  EXPECT_DOUBLE_EQ(list.ListCalcDiff(), 80.0);  // 240 / 3
  list.ListSetCompare("key", "K2");
  EXPECT_EQ(list.ListCalcDiff(), 0.0);
}

TEST(FieldCollTest, WorkedExampleByColumn) {
  const auto flags = AllColumns();
  FieldColl list;
  list.ListCompareInit();
  list.SetFieldAt(0, kSame, 1.0, false);
  list.SetFieldAt(1, kHalf[0], 1.0, false);
  list.SetFieldAt(2, kEighty[0], 0.5, false);
  list.SetFieldAt(3, "K1", 1.5, false);
  EXPECT_EQ(list.count(), 3);  // The highest index set.
  list.SetCompareAt(0, kSame);
  list.SetCompareAt(1, kHalf[1]);
  list.SetCompareAt(2, kEighty[1]);
  list.SetCompareAt(3, "K1");
  EXPECT_DOUBLE_EQ(list.RecordDifference(3, flags.data()), 80.0);
  EXPECT_DOUBLE_EQ(list.RecordDifference(2, flags.data()), 76.0);
  list.SetCompareAt(3, "k1");  // Key fields compare bytes.
  EXPECT_EQ(list.RecordDifference(3, flags.data()), 0.0);

  // Switching the key column off leaves the fuzzy fields.
  auto without_key = flags;
  without_key[3] = false;
  EXPECT_DOUBLE_EQ(list.RecordDifference(3, without_key.data()), 76.0);
}

TEST(FieldCollTest, EdgeCases) {
  FieldColl list;
  EXPECT_EQ(list.ListCalcDiff(), 0.0);
  list.ListSetCompare("a", "x");  // Before any field: nothing happens.
  EXPECT_EQ(list.count(), 0);

  // Fuzzy fields with an empty side and no CompareNull count for nothing.
  list.ListAddField("a", "abc", 1.0, false);
  list.ListAddField("b", "", 1.0, false);
  list.ListSetCompare("b", "abc");
  EXPECT_EQ(list.ListCalcDiff(), 0.0);

  // With CompareNull, two empty texts score 100 and one empty scores 0.
  list.ListCompareInit();
  EXPECT_EQ(list.ListCalcDiff(), 0.0);
  list.ListAddField("a", "", 1.0, true);
  EXPECT_EQ(list.ListCalcDiff(), 100.0);
  list.ListAddField("b", "abc", 1.0, true);
  EXPECT_EQ(list.ListCalcDiff(), 50.0);

  // A lone matching key field: 50 / 0.5; empty keys are equal keys.
  list.ListCompareInit();
  list.ListAddField("k", "", 3.0, false);
  EXPECT_EQ(list.ListCalcDiff(), 100.0);

  // Weights that add up to zero give NaN.
  list.ListCompareInit();
  list.ListAddField("z", "", 0.0, true);
  EXPECT_TRUE(std::isnan(list.ListCalcDiff()));

  // A key mismatch decides whatever comes before or after it.
  list.ListCompareInit();
  list.ListAddField("a", "same", 1.0, false);
  list.ListSetCompare("a", "same");
  list.ListAddField("k", "x", 1.01, false);
  list.ListSetCompare("k", "y");
  list.ListAddField("z", "", 0.0, true);
  EXPECT_EQ(list.ListCalcDiff(), 0.0);
}

TEST(FieldCollTest, FuzzyFieldsAreNormalisedKeyFieldsAreNot) {
  FieldColl list;
  list.ListAddField("f", "abc", 1.0, false);  // Weight 1.0 is fuzzy.
  list.ListSetCompare("f", "ABC");
  EXPECT_EQ(list.ListCalcDiff(), 100.0);
  EXPECT_EQ(list.entry(0)->value, "ABC");

  list.ListCompareInit();
  list.ListAddField("f", "abc", 1.0000001, false);  // Anything above is a key.
  list.ListSetCompare("f", "ABC");
  EXPECT_EQ(list.ListCalcDiff(), 0.0);
  EXPECT_EQ(list.entry(0)->value, "abc");

  list.ListCompareInit();
  list.ListAddField("street",
                    "Hauptstra\xDF"
                    "e 5",
                    0.8, false);
  list.ListSetCompare("street", "HAUPTSTRASSE 5");
  EXPECT_EQ(list.ListCalcDiff(), 100.0);
}

TEST(FieldCollTest, DuplicateNamesFillOnlyTheFirst) {
  FieldColl list;
  list.ListAddField("f", "abc", 1.0, false);
  list.ListAddField("f", "xyz", 1.0, false);
  list.ListSetCompare("f", "abc");
  EXPECT_EQ(list.entry(0)->compare_value, "ABC");
  EXPECT_EQ(list.entry(1)->compare_value, "");
  EXPECT_EQ(list.ListCalcDiff(), 100.0);  // The second is left out.
  list.ListSetCompare("g", "abc");        // Unknown names are ignored.
  EXPECT_EQ(list.ListCalcDiff(), 100.0);
}

TEST(FieldCollTest, ColumnIndexRules) {
  auto flags = AllColumns();
  FieldColl list;
  list.SetFieldAt(2, "X", 1.0, false);
  EXPECT_EQ(list.count(), 2);
  list.SetCompareAt(3, "X");  // Above count: ignored.
  list.SetCompareAt(-1, "X");
  list.SetFieldAt(-1, "X", 1.0, false);
  EXPECT_EQ(list.entry(3)->compare_value, "");
  list.SetCompareAt(2, "X");
  // Columns 0 and 1 were never set: empty, no CompareNull, left out.
  EXPECT_EQ(list.RecordDifference(399, flags.data()), 100.0);
  EXPECT_EQ(list.RecordDifference(1, flags.data()), 0.0);
  EXPECT_EQ(list.RecordDifference(2, nullptr), 0.0);
  flags[2] = false;
  EXPECT_EQ(list.RecordDifference(2, flags.data()), 0.0);

  // Values are stored as given: the caller has normalised them.
  list.SetFieldAt(1, "abc", 1.0, false);
  list.SetCompareAt(1, "ABC");
  flags[2] = true;
  EXPECT_DOUBLE_EQ(list.RecordDifference(2, flags.data()), 50.0);

  // Columns beyond the last with options are never read, however far the
  // list reaches (ASan would see a read past the flags).
  list.SetFieldAt(450, "X", 1.0, false);
  list.SetCompareAt(450, "X");
  EXPECT_DOUBLE_EQ(list.RecordDifference(1000, flags.data()), 50.0);
}

TEST(FieldCollTest, GrowsInStepsOfFifty) {
  FieldColl list;
  EXPECT_EQ(list.entry(0), nullptr);
  for (int i = 0; i < 120; ++i) list.ListAddField("f", "A", 1.0, false);
  EXPECT_EQ(list.count(), 120);
  EXPECT_NE(list.entry(149), nullptr);
  EXPECT_EQ(list.entry(150), nullptr);
}

// The batch methods compare pair after pair through one list; once its
// strings have grown, nothing is allocated.
TEST(FieldCollTest, SteadyStateAllocatesNothing) {
  const auto flags = AllColumns();
  FieldColl list;
  auto compare_pair = [&](const std::string& lead, const std::string& other) {
    list.ListCompareInit();
    list.SetFieldAt(0, lead, 1.0, false);
    list.SetFieldAt(1, lead, 0.5, true);
    list.SetFieldAt(2, "KEY", 2.0, false);
    list.SetCompareAt(0, other);
    list.SetCompareAt(1, other);
    list.SetCompareAt(2, "KEY");
    return list.RecordDifference(2, flags.data());
  };
  compare_pair(std::string(40, 'M'), std::string(40, 'N'));
  const std::string lead = "MUELLER HANS HAUPTSTR. 5";
  const std::string other = "MULLER HANS HAUPTSTR. 7";
  double by_column = 0.0;
  double by_name = 0.0;
  int64_t allocations = 0;
  {
    FailingAllocatorScope counting(0);
    for (int i = 0; i < 10; ++i) by_column = compare_pair(lead, other);
    list.ListCompareInit();
    list.ListAddField("name", "M\xFCller", 1.0, false);
    list.ListSetCompare("name", "Mueller");
    by_name = list.ListCalcDiff();
    allocations = counting.count();
  }
  EXPECT_EQ(allocations, 0);
  EXPECT_GT(by_column, 0.0);
  EXPECT_EQ(by_name, 100.0);
}

// The verdict of the view path against the exact similarity, on random
// records with every kind of weight and thresholds at, just below and just
// above the exact value.
TEST(FieldCollTest, RecordReachesMatchesRecordDifference) {
  std::mt19937 rng(17);
  const double kNan = std::numeric_limits<double>::quiet_NaN();
  const double kInf = std::numeric_limits<double>::infinity();
  const std::vector<double> weights = {1.0,  1.0,  0.5,  0.0,  -0.5, 2.0,
                                       1e-9, kNan, kInf, -1.0, 1e305};
  auto text = [&](int max_length) {
    std::string t(rng() % (max_length + 1), 'A');
    for (char& c : t) c = static_cast<char>('A' + rng() % 4);
    return t;
  };
  auto flags = AllColumns();
  FieldColl fast;
  FieldColl slow;
  std::vector<std::string> others;
  int decided_true = 0;
  for (int round = 0; round < 3000; ++round) {
    const int fields = 1 + static_cast<int>(rng() % 5);
    // Mostly ordinary weights; now and then one of the odd ones.
    const bool odd = rng() % 4 == 0;
    const int max_length = rng() % 3 == 0 ? 90 : 12;
    fast.ListCompareInit();
    slow.ListCompareInit();
    others.assign(static_cast<size_t>(fields), "");
    for (int f = 0; f < fields; ++f) {
      const double w =
          odd ? weights[rng() % weights.size()] : weights[rng() % 3];
      const bool compare_null = rng() % 4 == 0;
      std::string lead = text(max_length);
      others[f] = rng() % 3 == 0 ? lead : text(max_length);
      if (rng() % 5 == 0) others[f] = lead.substr(0, lead.size() / 2);
      fast.SetFieldAt(f, lead, w, compare_null);
      slow.SetFieldAt(f, lead, w, compare_null);
      flags[f] = rng() % 8 != 0;
    }
    for (int f = 0; f < fields; ++f) {
      fast.SetCompareViewAt(f, others[f]);
      slow.SetCompareAt(f, others[f]);
    }
    const double exact = slow.RecordDifference(fields - 1, flags.data());
    ASSERT_EQ(std::isnan(fast.RecordDifference(fields - 1, flags.data())),
              std::isnan(exact));
    for (double t : {exact, std::nextafter(exact, -kInf),
                     std::nextafter(exact, kInf), 80.0, 0.0, kNan}) {
      const bool expected = exact >= t;
      decided_true += expected;
      ASSERT_EQ(fast.RecordReaches(fields - 1, flags.data(), t), expected)
          << "round " << round << " threshold " << t << " exact " << exact;
    }
    // Committed views are what SetCompareAt would have stored.
    fast.CommitCompareViews();
    for (int f = 0; f < fields; ++f) {
      ASSERT_EQ(fast.entry(f)->compare_value, slow.entry(f)->compare_value);
    }
  }
  EXPECT_GT(decided_true, 3000);
}

// A view stays in force until it is replaced or committed, and a stored
// compare value replaces a pending view.
TEST(FieldCollTest, ViewsAndStoredValues) {
  const auto flags = AllColumns();
  FieldColl list;
  list.SetFieldAt(0, "ABCD", 1.0, false);
  std::string other = "ABXY";
  list.SetCompareViewAt(0, other);
  EXPECT_EQ(list.entry(0)->compare_value, "");
  EXPECT_DOUBLE_EQ(list.RecordDifference(0, flags.data()), 50.0);
  list.SetCompareAt(0, "ABCD");
  other = "ZZZZ";  // No longer viewed.
  list.CommitCompareViews();
  EXPECT_EQ(list.entry(0)->compare_value, "ABCD");
  list.SetCompareViewAt(0, other);
  list.SetCompareViewAt(1, other);  // Above count: ignored.
  list.CommitCompareViews();
  EXPECT_EQ(list.entry(0)->compare_value, "ZZZZ");
  EXPECT_TRUE(list.RecordReaches(0, flags.data(), 0.0));
  EXPECT_FALSE(list.RecordReaches(0, flags.data(), 1e-300));
  list.SetFieldAt(0, "Z", 1.0, false);  // A new value is prepared anew.
  list.SetCompareViewAt(0, other);
  EXPECT_TRUE(list.RecordReaches(0, flags.data(), 40.0));
  EXPECT_FALSE(list.RecordReaches(0, flags.data(), 40.1));
}

// A view that fails for want of memory must leave the list usable: every
// allocation of the first view is failed in turn, then views are set and
// compared as if nothing had happened.
TEST(FieldCollTest, FailedViewLeavesTheListUsable) {
  const auto flags = AllColumns();
  const std::string other = "ABXY";
  WalkAllocationFailures([&](int64_t n) {
    FieldColl list;
    list.SetFieldAt(0, "ABCD", 1.0, false);
    list.SetFieldAt(1, "ABCD", 1.0, false);
    const bool failed = FailsAt(n, [&] {
      try {
        list.SetCompareViewAt(1, other);
      } catch (const std::bad_alloc&) {
      }
    });
    list.SetCompareViewAt(0, other);
    list.SetCompareViewAt(1, other);
    EXPECT_DOUBLE_EQ(list.RecordDifference(1, flags.data()), 50.0);
    list.CommitCompareViews();
    EXPECT_EQ(list.entry(1)->compare_value, "ABXY");
    return failed;
  });
}

}  // namespace
}  // namespace vexlor

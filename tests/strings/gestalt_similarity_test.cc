#include "vexlor/strings/gestalt_similarity.h"

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>

#include "gtest/gtest.h"
#include "tests/reference/naive_gestalt.h"
#include "vexlor/platform/testing/failing_allocator.h"

namespace vexlor {
namespace {

using platform::testing::FailingAllocatorScope;
using reference::NaiveGestaltMatchCount;
using reference::NaiveGestaltSimilarity;

std::string RandomString(std::mt19937& rng, size_t length, int alphabet) {
  std::uniform_int_distribution<int> pick(0, alphabet - 1);
  std::string s(length, '\0');
  // Letter 0 is a high byte, so signed-char indexing mistakes show up.
  for (char& c : s) {
    const int letter = pick(rng);
    c = static_cast<char>(letter == 0 ? 0xFC : 'A' + letter);
  }
  return s;
}

TEST(GestaltSimilarityTest, KnownValues) {
  struct Case {
    std::string_view t1, t2;
    double similarity;
  };
  const Case kCases[] = {
      {"", "", 100.0},
      {"", "x", 0.0},
      {"x", "", 0.0},
      {"ABC", "ABC", 100.0},
      {"ABC", "XYZ", 0.0},
      {"ABCD", "ABXD", 75.0},
      {"abc", "ABC", 0.0},  // Case counts.
      {"MULLER", "MUELLER", 2.0 * 6 / 13 * 100},
      // Where two blocks tie, the earliest in the first text is taken, then
      // the earliest in the second; another choice would leave less (or
      // more) to match on either side.
      {"BB", "BABAA", 2.0 / 7 * 2 * 100},
      {"BAB", "ABAABBB", 3.0 / 10 * 2 * 100},
  };
  for (const Case& c : kCases) {
    EXPECT_DOUBLE_EQ(GestaltSimilarity(c.t1, c.t2), c.similarity)
        << c.t1 << " / " << c.t2;
  }
}

// The division comes first: the result must be bit-identical to that order
// of operations, not merely close.
TEST(GestaltSimilarityTest, ExactFloatingPointOrder) {
  const std::string_view t1 = "ABCDEFG";
  const std::string_view t2 = "ABXDEFYZZ";
  const int64_t matched = GestaltMatchCount(t1, t2);
  EXPECT_EQ(matched, 5);
  EXPECT_EQ(GestaltSimilarity(t1, t2),
            static_cast<double>(matched) / 16 * 2 * 100);
}

// Ranges of every shape: both sides short (bit side text 2), text 1 short
// and text 2 long (bit side text 1), both long (the automaton), and row
// counts beyond the inline buffer.
TEST(GestaltSimilarityTest, MatchesNaiveScanOnRandomStrings) {
  std::mt19937 rng(4711);
  const size_t kLengths[] = {1, 2, 3, 7, 20, 63, 64, 65, 90, 130, 257, 300};
  for (int alphabet : {2, 3, 5, 27}) {
    for (size_t n : kLengths) {
      for (size_t m : kLengths) {
        for (int round = 0; round < 3; ++round) {
          const std::string t1 = RandomString(rng, n, alphabet);
          const std::string t2 = RandomString(rng, m, alphabet);
          ASSERT_EQ(GestaltMatchCount(t1, t2), NaiveGestaltMatchCount(t1, t2))
              << "alphabet=" << alphabet << "\n"
              << t1 << "\n"
              << t2;
        }
      }
    }
  }
}

// Many short pairs with tiny alphabets, where ties are the rule.
TEST(GestaltSimilarityTest, MatchesNaiveScanOnShortTieHeavyPairs) {
  std::mt19937 rng(99);
  std::uniform_int_distribution<size_t> length(1, 24);
  for (int round = 0; round < 20000; ++round) {
    const int alphabet = 2 + round % 3;
    const std::string t1 = RandomString(rng, length(rng), alphabet);
    const std::string t2 = RandomString(rng, length(rng), alphabet);
    ASSERT_EQ(GestaltSimilarity(t1, t2), NaiveGestaltSimilarity(t1, t2))
        << t1 << "\n"
        << t2;
  }
}

// Long texts that share long stretches: blocks span many words and the
// automaton has to report their earliest occurrence.
TEST(GestaltSimilarityTest, MatchesNaiveScanOnEditedCopies) {
  std::mt19937 rng(5);
  for (int round = 0; round < 200; ++round) {
    const size_t n = std::uniform_int_distribution<size_t>(1, 220)(rng);
    const std::string t1 = RandomString(rng, n, 3);
    std::string t2 = t1;
    const int edits = std::uniform_int_distribution<int>(1, 8)(rng);
    for (int e = 0; e < edits; ++e) {
      const size_t pos =
          std::uniform_int_distribution<size_t>(0, t2.size())(rng);
      if (pos % 2 == 0) {
        t2.insert(pos, t1.substr(0, pos % 17));  // Repeats make ties.
      } else if (pos < t2.size()) {
        t2.erase(pos, 1 + pos % 5);
      }
    }
    ASSERT_EQ(GestaltMatchCount(t1, t2), NaiveGestaltMatchCount(t1, t2))
        << t1 << "\n"
        << t2;
  }
}

// The tie rule favours text 1, so swapping the texts can change the total.
TEST(GestaltSimilarityTest, ArgumentOrderMattersThroughTies) {
  EXPECT_EQ(GestaltMatchCount("BAB", "ABAABBB"), 3);
  EXPECT_EQ(GestaltMatchCount("ABAABBB", "BAB"), 2);
}

TEST(GestaltSimilarityTest, LongTexts) {
  std::mt19937 rng(123);
  const std::string t1 = RandomString(rng, 100000, 27);
  std::string t2 = t1;
  for (size_t i = 5000; i < t2.size(); i += 10000) t2[i] = '#';
  // Every changed byte splits the text; everything else matches.
  EXPECT_EQ(GestaltMatchCount(t1, t2), 100000 - 10);
  EXPECT_EQ(GestaltSimilarity(t1, t1), 100.0);
  EXPECT_EQ(GestaltSimilarity(t1, std::string(100000, '#')), 0.0);
}

// Names and addresses are compared without touching the heap, whichever
// text is the short one.
TEST(GestaltSimilarityTest, ShortTextsAllocateNothing) {
  const std::string street(200, 'S');
  double results[3] = {};
  int64_t allocations = 0;
  {
    FailingAllocatorScope counting(0);
    results[0] = GestaltSimilarity("MULLER HANS", "MUELLER HANS PETER");
    results[1] = GestaltSimilarity(street, "SS");
    results[2] = GestaltSimilarity("SS", street);
    allocations = counting.count();
  }
  EXPECT_EQ(allocations, 0);
  EXPECT_EQ(results[0],
            NaiveGestaltSimilarity("MULLER HANS", "MUELLER HANS PETER"));
  EXPECT_EQ(results[1], NaiveGestaltSimilarity(street, "SS"));
  EXPECT_EQ(results[2], results[1]);
}

}  // namespace
}  // namespace vexlor

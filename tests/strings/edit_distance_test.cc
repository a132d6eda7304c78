#include "vexlor/strings/edit_distance.h"

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>

#include "gtest/gtest.h"
#include "tests/reference/matrix_edit_distance.h"
#include "vexlor/platform/testing/failing_allocator.h"

namespace vexlor {
namespace {

using platform::testing::FailingAllocatorScope;
using reference::MatrixEditDistance;

std::string RandomString(std::mt19937& rng, size_t length, int alphabet) {
  std::uniform_int_distribution<int> pick(0, alphabet - 1);
  std::string s(length, '\0');
  // Letter 0 is a high byte, so signed-char indexing mistakes show up.
  for (char& c : s) {
    const int letter = pick(rng);
    c = static_cast<char>(letter == 0 ? 0xE9 : 'a' + letter);
  }
  return s;
}

TEST(EditDistanceTest, KnownValues) {
  struct Case {
    std::string_view s1, s2;
    int32_t distance;
  };
  const Case kCases[] = {
      {"", "", 0},
      {"", "abc", 3},
      {"abc", "", 3},
      {"flaw", "lawn", 2},
      {"ab", "ba", 2},  // No transposition step.
      {"Abc", "abc", 1},
      {"kitten", "sitting", 3},
      {"M\xFCller", "Muller", 1},  // Bytes, not letters.
      {"Meier", "Meyer", 1},
      {"abc", "abc", 0},
      {"a", "b", 1},
      {std::string_view("a\0b", 3), "ab", 1},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(EditDistance(c.s1, c.s2), c.distance) << c.s1 << " / " << c.s2;
    EXPECT_EQ(EditDistance(c.s2, c.s1), c.distance) << c.s2 << " / " << c.s1;
  }
}

// Lengths around the word and block boundaries of the bit-vector versions,
// small alphabets so that the strings share a lot.
TEST(EditDistanceTest, MatchesMatrixOnRandomStrings) {
  std::mt19937 rng(20240611);
  const size_t kLengths[] = {0,  1,   2,   5,   31,  63,  64,  65,
                             66, 100, 127, 128, 129, 191, 200, 300};
  for (int alphabet : {2, 4, 26}) {
    for (size_t n : kLengths) {
      for (size_t m : kLengths) {
        const std::string s1 = RandomString(rng, n, alphabet);
        const std::string s2 = RandomString(rng, m, alphabet);
        ASSERT_EQ(EditDistance(s1, s2), MatrixEditDistance(s1, s2))
            << "n=" << n << " m=" << m << " alphabet=" << alphabet << "\n"
            << s1 << "\n"
            << s2;
      }
    }
  }
}

// Every pair of lengths up to a little past one word, so each way of
// loading a short pattern (1-3, 4-7, 8, 9-15 and 16 bytes, one to four
// pieces) is met. The pool holds NUL, which equals the padding past the end
// of a loaded pattern, and bytes >= 0x80.
TEST(EditDistanceTest, MatchesMatrixOnAllShortLengths) {
  std::mt19937 rng(5);
  const char kPool[] = {'\0', 'a', 'b', '\x80', '\xFF'};
  std::uniform_int_distribution<size_t> pick(0, sizeof kPool - 1);
  auto random_bytes = [&](size_t length) {
    std::string s(length, '\0');
    for (char& c : s) c = kPool[pick(rng)];
    return s;
  };
  for (size_t n = 0; n <= 70; ++n) {
    for (size_t m = 0; m <= 70; ++m) {
      const std::string s1 = random_bytes(n);
      const std::string s2 = random_bytes(m);
      ASSERT_EQ(EditDistance(s1, s2), MatrixEditDistance(s1, s2))
          << "n=" << n << " m=" << m;
    }
    const std::string same = random_bytes(n);
    ASSERT_EQ(EditDistance(same, same), 0) << "n=" << n;
  }
}

// Edited copies share long prefixes and suffixes, which are stripped before
// the bit-vector stage; the edits land anywhere, including the block edges.
TEST(EditDistanceTest, MatchesMatrixOnEditedCopies) {
  std::mt19937 rng(77);
  for (int round = 0; round < 600; ++round) {
    const size_t n = std::uniform_int_distribution<size_t>(0, 260)(rng);
    const std::string s1 = RandomString(rng, n, 3);
    std::string s2 = s1;
    const int edits = std::uniform_int_distribution<int>(0, 6)(rng);
    for (int e = 0; e < edits; ++e) {
      const size_t pos =
          std::uniform_int_distribution<size_t>(0, s2.size())(rng);
      switch (std::uniform_int_distribution<int>(0, 2)(rng)) {
        case 0:
          s2.insert(pos, 1, 'z');
          break;
        case 1:
          if (pos < s2.size()) s2.erase(pos, 1);
          break;
        default:
          if (pos < s2.size()) s2[pos] = 'y';
      }
    }
    ASSERT_EQ(EditDistance(s1, s2), MatrixEditDistance(s1, s2)) << s1 << "\n"
                                                                << s2;
  }
}

// Long inputs must not need the quadratic matrix (100,000 squared cells
// would not fit); the answers here are known without it.
TEST(EditDistanceTest, LongStrings) {
  const size_t kLong = 100000;
  const std::string a(kLong, 'a');
  EXPECT_EQ(EditDistance(a, a), 0);
  EXPECT_EQ(EditDistance(a, std::string(kLong - 1234, 'a')), 1234);
  EXPECT_EQ(EditDistance(a, std::string(3000, 'b')),
            static_cast<int32_t>(kLong));

  std::string ab;
  std::string ba;
  for (size_t i = 0; i < kLong / 2; ++i) ab += "ab";
  for (size_t i = 0; i < 2500; ++i) ba += "ba";
  // ba... is a substring of ab...: deletions only, with no common prefix or
  // suffix to strip, so every block of the pattern is run.
  EXPECT_EQ(EditDistance(ab, ba), static_cast<int32_t>(kLong - 5000));

  // A shape with many equal-cost alignments, across many blocks.
  std::string x = ab.substr(0, 3000);
  std::string y = x;
  for (size_t i = 0; i < y.size(); i += 2) y[i] = 'c';
  EXPECT_EQ(EditDistance(x, y), MatrixEditDistance(x, y));
}

// Short strings need no heap; long ones report a failed allocation as -1.
TEST(EditDistanceTest, Allocation) {
  const std::string long1 = std::string(100, 'x') + std::string(100, 'y');
  const std::string long2 = std::string(100, 'y') + std::string(100, 'x');
  int32_t short_result = 0;
  int32_t long_result = 0;
  int64_t short_allocations = 0;
  {
    FailingAllocatorScope counting(0);
    short_result = EditDistance("Hans-Peter M\xFCller", "Hanspeter Mueller");
    short_allocations = counting.count();
  }
  {
    FailingAllocatorScope fail_first(1);
    long_result = EditDistance(long1, long2);
  }
  EXPECT_EQ(short_allocations, 0);
  EXPECT_EQ(short_result,
            MatrixEditDistance("Hans-Peter M\xFCller", "Hanspeter Mueller"));
  EXPECT_EQ(long_result, -1);
  EXPECT_EQ(EditDistance(long1, long2), 200);
}

}  // namespace
}  // namespace vexlor

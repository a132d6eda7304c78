#include "vexlor/tables/candidates/hash_func.h"

#include <cstdint>
#include <random>
#include <string>

#include "gtest/gtest.h"
#include "tests/reference/lookup2_reference.h"

namespace vexlor {
namespace {

TEST(HashFuncTest, CheckValues) {
  struct Case {
    std::string_view key;
    uint32_t seed;
    uint32_t want;
  };
  const Case kCases[] = {
      {"abc", 23, 0xA2B92A15u},
      {"", 23, 0x5E8369AAu},
      {"HELLO WORLD, THIS IS A TEST", 23, 0xB573513Bu},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(CHashFunc::Hash(c.key, c.seed), c.want) << '"' << c.key << '"';
    EXPECT_EQ(reference::Lookup2(c.key, c.seed), c.want) << '"' << c.key << '"';
  }
  EXPECT_EQ(CHashFunc::kDefaultSeed, 23u);
}

TEST(HashFuncTest, UsesOnlyTheViewedBytes) {
  // A key that is a slice of a longer buffer must not see the bytes after it.
  const std::string buffer = "abcdefghijklmnopqrstuvwxyz";
  for (size_t len = 0; len + 3 <= buffer.size(); ++len) {
    const std::string copy = buffer.substr(3, len);
    EXPECT_EQ(CHashFunc::Hash(std::string_view(buffer).substr(3, len), 23),
              CHashFunc::Hash(copy, 23))
        << len;
  }
}

TEST(HashFuncTest, MatchesReferenceOnRandomKeys) {
  // Every length 0..30 covers each tail size with zero, one and two full
  // 12-byte rounds; high bytes catch signed-char mistakes.
  std::mt19937 rng(20240611);
  std::uniform_int_distribution<int> byte(0, 255);
  for (size_t len = 0; len <= 30; ++len) {
    for (int trial = 0; trial < 200; ++trial) {
      std::string key(len, '\0');
      for (char& ch : key) ch = static_cast<char>(byte(rng));
      uint32_t seed = trial == 0 ? 23u : static_cast<uint32_t>(rng());
      ASSERT_EQ(CHashFunc::Hash(key, seed), reference::Lookup2(key, seed))
          << "len " << len << " seed " << seed;
    }
  }
}

TEST(HashFuncTest, AllHighBytesAndLongKeys) {
  for (size_t len : {1u, 11u, 12u, 13u, 24u, 100u, 1000u}) {
    std::string key(len, '\xFF');
    EXPECT_EQ(CHashFunc::Hash(key, 23), reference::Lookup2(key, 23)) << len;
  }
}

}  // namespace
}  // namespace vexlor

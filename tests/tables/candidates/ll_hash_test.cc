#include "vexlor/tables/candidates/ll_hash.h"

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "gtest/gtest.h"
#include "tests/reference/chained_index_reference.h"
#include "vexlor/platform/testing/allocation_walk.h"
#include "vexlor/tables/candidates/hash_func.h"

namespace vexlor {
namespace {

using Vals = std::vector<uint32_t>;
using Walk = std::vector<std::pair<std::string, std::vector<uint32_t>>>;

std::vector<uint32_t> Values(const LLHash& index, std::string_view key) {
  std::span<const uint32_t> found = index.Find(key);
  return {found.begin(), found.end()};
}

Walk WalkOf(const LLHash& index) {
  Walk walk;
  index.ForEach([&](std::string_view key, std::span<const uint32_t> values) {
    walk.emplace_back(std::string(key),
                      std::vector<uint32_t>(values.begin(), values.end()));
  });
  return walk;
}

uint32_t BucketOf(std::string_view key, uint32_t buckets) {
  return CHashFunc::Hash(key, 23) % buckets;
}

TEST(LLHashTest, NewTableShape) {
  LLHash index;
  EXPECT_EQ(index.GetBucketCount(), 1024);
  EXPECT_EQ(index.GetInitialNodes(), 2048);
  EXPECT_EQ(index.GetGrowthStep(), 1024);
  EXPECT_EQ(index.GetPoolSize(), 2048u);
  EXPECT_EQ(index.GetNodesInUse(), 0u);
  EXPECT_TRUE(WalkOf(index).empty());
}

TEST(LLHashTest, ValuesKeepFilingOrderAndDuplicates) {
  LLHash index;
  EXPECT_EQ(index.Add("key", 5), 0);
  EXPECT_EQ(index.Add("key", 3), 0);
  EXPECT_EQ(index.Add("key", 5), 0);
  EXPECT_EQ(Values(index, "key"), (Vals{5, 3, 5}));
  EXPECT_EQ(index.GetNodesInUse(), 1u);
}

TEST(LLHashTest, KeysAreExactBytes) {
  LLHash index;
  index.Add("abc", 1);
  index.Add("ABC", 2);
  index.Add("Abc", 3);
  index.Add(std::string_view("a\0c", 3), 4);
  index.Add("\xE9\xFF", 5);
  EXPECT_EQ(Values(index, "abc"), (Vals{1}));
  EXPECT_EQ(Values(index, "ABC"), (Vals{2}));
  EXPECT_EQ(Values(index, "Abc"), (Vals{3}));
  EXPECT_EQ(Values(index, std::string_view("a\0c", 3)), (Vals{4}));
  EXPECT_EQ(Values(index, "\xE9\xFF"), (Vals{5}));
  EXPECT_TRUE(Values(index, "ab").empty());
  EXPECT_TRUE(Values(index, "abcd").empty());
  EXPECT_TRUE(Values(index, "a").empty());
  EXPECT_EQ(index.GetNodesInUse(), 5u);
}

TEST(LLHashTest, EmptyKeyIsRefused) {
  LLHash index;
  EXPECT_EQ(index.Add("", 7), -1);
  EXPECT_TRUE(Values(index, "").empty());
  EXPECT_EQ(index.GetNodesInUse(), 0u);
  EXPECT_TRUE(WalkOf(index).empty());
}

TEST(LLHashTest, SameBucketWalksInFirstInsertionOrder) {
  // Find, by brute force, two keys of the same bucket and one of a lower
  // bucket; file them so that insertion order and key order disagree.
  constexpr uint32_t kBuckets = 1024;
  std::string first, second, lower;
  for (int i = 0; second.empty(); ++i) {
    std::string key = "K" + std::to_string(i);
    if (first.empty()) {
      if (BucketOf(key, kBuckets) > 0) first = key;
    } else if (BucketOf(key, kBuckets) == BucketOf(first, kBuckets)) {
      second = key;
    }
  }
  for (int i = 0; lower.empty(); ++i) {
    std::string key = "L" + std::to_string(i);
    if (BucketOf(key, kBuckets) < BucketOf(first, kBuckets)) lower = key;
  }
  LLHash index;
  index.Add(second, 1);
  index.Add(first, 2);
  index.Add(lower, 3);
  index.Add(second, 4);
  EXPECT_EQ(WalkOf(index),
            (Walk{{lower, {3}}, {second, {1, 4}}, {first, {2}}}));
  EXPECT_EQ(Values(index, first), (Vals{2}));
}

TEST(LLHashTest, InitEmptiesAndKeepsShapeForNonPositiveArguments) {
  LLHash index;
  index.Init(8, 4, 3);
  index.Add("x", 1);
  index.Add("a long key beyond the inline size", 2);
  EXPECT_EQ(index.GetNodesInUse(), 2u);

  struct Case {
    int32_t buckets, initial, growth;
    int32_t want_buckets, want_initial, want_growth;
  };
  const Case kCases[] = {
      {16, 0, 0, 16, 4, 3},
      {16, -5, -1, 16, 4, 3},
      {7, 9, 0, 7, 9, 3},
      {7, 0, 2, 7, 9, 2},
      {1, 1, 1, 1, 1, 1},
      // No buckets at all would leave keys nowhere to go.
      {0, 0, 0, 1, 1, 1},
      {-3, 5, 5, 1, 5, 5},
  };
  for (const Case& c : kCases) {
    index.Init(c.buckets, c.initial, c.growth);
    EXPECT_EQ(index.GetBucketCount(), c.want_buckets);
    EXPECT_EQ(index.GetInitialNodes(), c.want_initial);
    EXPECT_EQ(index.GetGrowthStep(), c.want_growth);
    EXPECT_EQ(index.GetPoolSize(), static_cast<uint32_t>(c.want_initial));
    EXPECT_EQ(index.GetNodesInUse(), 0u);
    EXPECT_TRUE(Values(index, "x").empty());
    EXPECT_TRUE(WalkOf(index).empty());
    index.Add("x", 1);
    index.Add("a long key beyond the inline size", 2);
    EXPECT_EQ(Values(index, "x"), (Vals{1}));
    EXPECT_EQ(Values(index, "a long key beyond the inline size"), (Vals{2}));
  }
}

TEST(LLHashTest, PoolGrowsByBlocks) {
  // A block of n entries brings n - 1 nodes; the first block's other entry
  // is the unused node 0.
  LLHash index;
  index.Init(8, 4, 3);
  const uint32_t kWantPool[] = {4, 4, 4, 6, 6, 8, 8, 10};
  for (uint32_t i = 0; i < std::size(kWantPool); ++i) {
    index.Add("k" + std::to_string(i), i);
    EXPECT_EQ(index.GetPoolSize(), kWantPool[i]) << "after key " << i;
    EXPECT_EQ(index.GetNodesInUse(), i + 1);
  }
  // More values for existing keys take no nodes.
  index.Add("k0", 100);
  EXPECT_EQ(index.GetPoolSize(), 10u);

  // A step of 1 still adds a node each time instead of handing out node 0.
  index.Init(8, 1, 1);
  EXPECT_EQ(index.GetPoolSize(), 1u);
  for (uint32_t i = 0; i < 5; ++i) {
    index.Add("s" + std::to_string(i), i);
    EXPECT_EQ(index.GetPoolSize(), i + 2);
  }
  for (uint32_t i = 0; i < 5; ++i) {
    EXPECT_EQ(Values(index, "s" + std::to_string(i)), (Vals{i}));
  }
}

TEST(LLHashTest, ManyKeysBeyondTheFirstBlock) {
  LLHash index;
  index.Init(1000, 16, 7);  // odd sizes: modulo buckets, many small blocks
  constexpr uint32_t kKeys = 50000;
  for (uint32_t i = 0; i < kKeys; ++i) {
    // Every key twice, the second pass after the pool has grown and moved.
    index.Add("key-" + std::to_string(i), i);
  }
  for (uint32_t i = 0; i < kKeys; ++i) {
    index.Add("key-" + std::to_string(i), i + kKeys);
  }
  EXPECT_EQ(index.GetNodesInUse(), kKeys);
  // 15 nodes in the first block, 6 per later block.
  EXPECT_EQ(index.GetPoolSize(), 16u + (kKeys - 15 + 5) / 6 * 6);
  for (uint32_t i = 0; i < kKeys; ++i) {
    ASSERT_EQ(Values(index, "key-" + std::to_string(i)), (Vals{i, i + kKeys}));
  }
  size_t walked = 0;
  index.ForEach([&](std::string_view, std::span<const uint32_t> values) {
    walked += values.size();
  });
  EXPECT_EQ(walked, 2 * kKeys);
}

TEST(LLHashTest, MatchesReferenceOnRandomFilings) {
  std::mt19937 rng(4242);
  for (uint32_t buckets : {1u, 7u, 64u, 1000u}) {
    LLHash index;
    index.Init(static_cast<int32_t>(buckets), 3, 5);
    reference::ChainedIndexReference ref;
    // Short and long keys (inline and arena), some of them very popular, so
    // that value arrays grow through several sizes; plus a key larger than a
    // whole arena block.
    std::vector<std::string> keys;
    for (int i = 0; i < 300; ++i) {
      std::string key(1 + rng() % (i % 3 == 0 ? 40 : 9), ' ');
      for (char& ch : key) ch = static_cast<char>(rng() % 256);
      keys.push_back(key);
    }
    keys.push_back(std::string(100000, 'Z'));
    keys.push_back("");
    std::geometric_distribution<int> popular(0.05);
    for (uint32_t v = 0; v < 20000; ++v) {
      const size_t pick_index =
          rng() % 4 == 0 ? rng() % keys.size()
                         : std::min<size_t>(popular(rng), keys.size() - 1);
      const std::string& pick = keys[pick_index];
      EXPECT_EQ(index.Add(pick, v), pick.empty() ? -1 : 0);
      ref.Add(pick, v);
    }
    EXPECT_EQ(index.GetNodesInUse(), ref.size());
    for (const std::string& key : keys) {
      const std::vector<uint32_t>* want = ref.Find(key);
      EXPECT_EQ(Values(index, key), want ? *want : std::vector<uint32_t>());
    }
    EXPECT_EQ(WalkOf(index), ref.Walk(buckets)) << buckets << " buckets";
  }
}

TEST(LLHashTest, RunningOutOfMemoryLeavesTheTableAsBefore) {
  // New short and long keys, repeated keys whose value arrays grow, and
  // enough keys to grow the pool several times.
  std::vector<std::string> script;
  for (int i = 0; i < 40; ++i) {
    script.push_back(i % 3 == 0 ? "a key too long to live in a node #" +
                                      std::to_string(i)
                                : "k" + std::to_string(i % 7));
  }
  const int64_t failures =
      platform::testing::WalkAllocationFailures([&](int64_t fail_at) {
        LLHash index;
        index.Init(4, 2, 2);
        size_t done = 0;
        const bool failed = platform::testing::FailsAt(fail_at, [&] {
          try {
            for (; done < script.size(); ++done) {
              index.Add(script[done], static_cast<uint32_t>(done));
            }
          } catch (const std::bad_alloc&) {
          }
        });
        reference::ChainedIndexReference ref;
        for (size_t i = 0; i < done; ++i)
          ref.Add(script[i], static_cast<uint32_t>(i));
        EXPECT_EQ(WalkOf(index), ref.Walk(4));
        EXPECT_EQ(index.GetNodesInUse(), ref.size());
        // The table goes on working after the failure.
        for (size_t i = done; i < script.size(); ++i) {
          index.Add(script[i], static_cast<uint32_t>(i));
          ref.Add(script[i], static_cast<uint32_t>(i));
        }
        EXPECT_EQ(WalkOf(index), ref.Walk(4));
        return failed;
      });
  // Keys, value arrays and pool blocks all allocate along the way.
  EXPECT_GE(failures, 5);

  // A failing Init keeps the old shape and contents.
  LLHash index;
  index.Init(4, 2, 2);
  for (size_t i = 0; i < script.size(); ++i) {
    index.Add(script[i], static_cast<uint32_t>(i));
  }
  const Walk before = WalkOf(index);
  for (int64_t fail_at = 1; fail_at <= 2; ++fail_at) {
    bool failed = false;
    platform::testing::FailsAt(fail_at, [&] {
      try {
        index.Init(64, 100, 10);
      } catch (const std::bad_alloc&) {
        failed = true;
      }
    });
    EXPECT_TRUE(failed);
    EXPECT_EQ(index.GetBucketCount(), 4);
    EXPECT_EQ(index.GetGrowthStep(), 2);
    EXPECT_EQ(WalkOf(index), before);
  }
}

}  // namespace
}  // namespace vexlor

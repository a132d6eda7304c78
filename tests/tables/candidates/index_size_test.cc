#include "vexlor/tables/candidates/index_size.h"

#include <cstdint>

#include "gtest/gtest.h"

namespace vexlor {
namespace {

// The rule as a loop: double until n is reached or the cap is hit.
uint32_t HashSizeReference(uint32_t n) {
  uint32_t size = 1;
  while (size < n && size < 0x80000) size *= 2;
  return size;
}

TEST(IndexSizeTest, HashSizeFor) {
  struct Case {
    uint32_t n;
    uint32_t want;
  };
  const Case kCases[] = {
      {0, 1},
      {1, 1},
      {2, 2},
      {3, 4},
      {4, 4},
      {5, 8},
      {1000, 1024},
      {1024, 1024},
      {1025, 2048},
      {0x40000, 0x40000},
      {0x40001, 0x80000},
      {0x80000, 0x80000},
      {0x80001, 0x80000},
      {0xFFFFFFFFu, 0x80000},
  };
  for (const Case& c : kCases) EXPECT_EQ(HashSizeFor(c.n), c.want) << c.n;
  for (uint32_t n = 0; n <= 0x100000; ++n) {
    ASSERT_EQ(HashSizeFor(n), HashSizeReference(n)) << n;
  }
}

TEST(IndexSizeTest, StandardIndexSize) {
  struct Case {
    uint32_t n;
    int32_t buckets;
    int32_t node_block;
  };
  const Case kCases[] = {
      {0, 1024, 1024},          {999, 1024, 1024},
      {2048, 1024, 1024},       {2049, 2048, 1024},
      {8193, 8192, 2048},       {99999, 65536, 16384},
      {0x40001, 262144, 65536}, {0xFFFFFFFFu, 262144, 65536},
  };
  for (const Case& c : kCases) {
    const IndexSize size = StandardIndexSize(c.n);
    EXPECT_EQ(size.buckets, c.buckets) << c.n;
    EXPECT_EQ(size.node_block, c.node_block) << c.n;
  }
}

}  // namespace
}  // namespace vexlor

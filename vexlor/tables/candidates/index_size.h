// The sizing rule every batch method applies to a new LLHash: about one
// bucket for every one or two records, never fewer than 1024 buckets, and a
// node block of a quarter of the buckets, never fewer than 1024 nodes.

#ifndef VEXLOR_TABLES_CANDIDATES_INDEX_SIZE_H_
#define VEXLOR_TABLES_CANDIDATES_INDEX_SIZE_H_

#include <cstdint>

namespace vexlor {

// Returns 1 for n <= 1, else the smallest power of two >= n, capped at
// 0x80000 (every n above 0x40000 gives 0x80000). O(1).
uint32_t HashSizeFor(uint32_t n);

struct IndexSize {
  int32_t buckets;     // 1024 to 262144
  int32_t node_block;  // 1024 to 65536
};

// Returns buckets = max(HashSizeFor(n) / 2, 1024) and node_block =
// max(buckets / 4, 1024), to be passed to LLHash::Init as bucket count,
// initial node count and growth step. O(1).
IndexSize StandardIndexSize(uint32_t n);

}  // namespace vexlor

#endif  // VEXLOR_TABLES_CANDIDATES_INDEX_SIZE_H_

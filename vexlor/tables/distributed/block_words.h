// What each block of a split table finds for a record (block_pair_finder.h),
// and how the labelling process merges the blocks' words into found words.
//
// A record is settled in two rounds, so that the rows counted and compared
// are those of the whole table's shortlist, as on one machine, however
// many blocks there are. All words are 32 bits, record after record.
//  1. Shortlist words, from each block: a head (histogram << 2) | kind,
//     kind being kBlockLeave (the labelling process finds the record
//     itself), kBlockNone (no row can be a candidate) or kBlockListed; then
//     `histogram` words (bands << 16) | rows: how many rows of the block's
//     shortlist met the record in that many bands.
//  2. Cuts, to each block (BlockCuts): how many of its shortlisted rows,
//     taken in order (most bands, then the lower row), are in the whole
//     table's shortlist.
//  3. Entry words, from each block: a head (entries << 8) | kind; then per
//     entry, a row of the cut whose counter reaches the need, ascending:
//     its row in the whole table, and (counter << 16) | reaches.
#ifndef VEXLOR_TABLES_DISTRIBUTED_BLOCK_WORDS_H_
#define VEXLOR_TABLES_DISTRIBUTED_BLOCK_WORDS_H_

#include <cstdint>
#include <span>
#include <vector>

namespace vexlor {

inline constexpr uint32_t kBlockLeave = 0;
inline constexpr uint32_t kBlockNone = 1;
inline constexpr uint32_t kBlockListed = 2;

inline constexpr uint32_t BlockHead(uint32_t kind, uint32_t histogram,
                                    uint32_t entries) {
  return entries << 8 | histogram << 2 | kind;
}
inline constexpr uint32_t BlockHistogram(uint32_t bands, uint32_t rows) {
  return bands << 16 | rows;
}
inline constexpr uint32_t BlockEntry(uint32_t count, bool reaches) {
  return count << 16 | (reaches ? 1u : 0u);
}

// The cuts of every block (cuts[k] for block k, one word per record) from
// the shortlist words of `records` records from every block, the blocks in
// row order. Throws std::invalid_argument when some block's words are cut
// short or malformed. Cost: linear in the words.
void BlockCuts(std::span<const std::span<const uint32_t>> shortlists,
               uint32_t records, std::vector<std::vector<uint32_t>>* cuts);

// The found words (found_pairs.h) of `records` records, from the entry
// words of the same records from every block, the blocks in row order.
// Throws std::invalid_argument when some block's words are cut short or
// malformed. Cost: linear in the words.
void MergeBlockWords(std::span<const std::span<const uint32_t>> blocks,
                     uint32_t records, std::vector<uint32_t>* found);

// The keys among `keys` that more than BoundedLimits::bucket rows of the
// whole table share, from every block's rows per key (KeyRows). Throws
// std::invalid_argument when a block counted another number of keys.
std::vector<uint64_t> KeysOverBucket(
    std::span<const uint64_t> keys,
    std::span<const std::vector<uint32_t>> block_rows);

}  // namespace vexlor

#endif  // VEXLOR_TABLES_DISTRIBUTED_BLOCK_WORDS_H_

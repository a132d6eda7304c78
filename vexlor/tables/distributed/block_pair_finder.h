// The duplicate search under the bounded candidate rule (candidate_rule.h)
// with the table itself split: each process holds one block of consecutive
// rows, its band keys, kept texts and comparison texts, and meets every
// record of the table (streamed in ranges) against that block alone. The
// labelling process merges what the blocks found (MergeBlockWords) into
// the found words of pair_ranges.h, the same words a DupePairFinder over
// the whole table gives, and labels from them.
//
// Why a block can decide its part alone: how many bands a row meets a
// record in does not depend on the other rows, and the blocks are
// consecutive, so the whole table's shortlist (most bands, then the lower
// row) follows from each block's own shortlist: a row's place in it is its
// place in its block plus, from every other block, the rows met in more
// bands and, from the blocks before it, those met in as many. A row's
// trigram counter and its verdict need only the row and the record. The
// one thing no block sees alone is which band keys more than `bucket` rows
// of the whole table share; such a key has more than bucket / blocks rows
// in some block, so the blocks name those keys (CommonKeys), the
// labelling process sums their rows over every block (KeyRows) and hands
// every block the keys over the bucket (SkipKeys) before any record.
// The words are those of block_words.h.
#ifndef VEXLOR_TABLES_DISTRIBUTED_BLOCK_PAIR_FINDER_H_
#define VEXLOR_TABLES_DISTRIBUTED_BLOCK_PAIR_FINDER_H_

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "vexlor/match_options.h"
#include "vexlor/tables/column_options.h"
#include "vexlor/variant.h"

namespace vexlor {

class BlockPairFinder {
 public:
  // `block` holds rows first_row to first_row + its rows - 1 of the table;
  // the other arguments are DupeSearch's, `columns` the control's column
  // options. Throws std::invalid_argument for a `block` that is not a
  // table, std::bad_alloc. Cost: DupeSearch's first stage over the block.
  BlockPairFinder(const ColumnOptions& columns, const platform::Variant& block,
                  uint32_t first_row, int32_t IDColumnIndex, double Threshold,
                  double ClusterThreshold, const MatchOptions& options);
  ~BlockPairFinder();
  BlockPairFinder(const BlockPairFinder&) = delete;
  BlockPairFinder& operator=(const BlockPairFinder&) = delete;

  uint32_t first_row() const;
  uint32_t rows() const;

  // The band keys (CandidateGenerator::BandKeyOf) of more than
  // bucket / blocks rows of this block, ascending.
  void CommonKeys(uint32_t blocks, std::vector<uint64_t>* keys);
  // Per key, the rows of this block that have it.
  void KeyRows(std::span<const uint64_t> keys, std::vector<uint32_t>* rows);
  // The keys that more than bucket rows of the whole table have.
  void SkipKeys(std::vector<uint64_t> keys);

  // The first round of records first to first + n - 1 of the table, in
  // `records` (n rows): appends their shortlist words (block_words.h) to
  // *words and keeps their shortlists until Find takes them. Throws
  // std::invalid_argument when `records` is no table, std::bad_alloc.
  // Cost: a band lookup per record and band.
  void Shortlist(const platform::Variant& records, uint32_t first,
                 std::vector<uint32_t>* words);

  // The second round of the same records: appends their entry words to
  // *words, the block's rows of the whole table's shortlist being the first
  // `cuts[i]` of record i's kept shortlist. Throws std::invalid_argument
  // when those records' shortlists are not kept or the cuts do not fit
  // them, std::bad_alloc. Cost: a count of the rows of the cut from their
  // texts, and a comparison with each that reaches the need.
  void Find(const platform::Variant& records, uint32_t first,
            std::span<const uint32_t> cuts, std::vector<uint32_t>* words);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace vexlor

#endif  // VEXLOR_TABLES_DISTRIBUTED_BLOCK_PAIR_FINDER_H_

// The duplicate search split across processes: each finds the candidates and
// verdicts of a range of records against the whole table (DupePairFinder),
// and one labels the records in order from what they found (DupeSearch with
// MatchOptions::found_pairs), with the same result as DupeSearch alone.
//
// Exact because, when no host code runs during the call, DupeSearch's labels
// follow from the pairs that reach Threshold in record order and the label
// source: the verdicts are those its own worker threads find ahead, taken on
// the same terms (found_pairs.h). FuzzyMatch splits the same way over the
// records of its second table. Nothing here knows how ranges travel.
#ifndef VEXLOR_TABLES_DISTRIBUTED_PAIR_RANGES_H_
#define VEXLOR_TABLES_DISTRIBUTED_PAIR_RANGES_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "vexlor/match_options.h"
#include "vexlor/tables/column_options.h"
#include "vexlor/variant.h"

namespace vexlor {

// The table prepared as DupeSearch prepares it (comparison texts, trigram
// index), kept for any number of ranges. Holds its own copy of the column
// options, and no reference to the arguments.
class DupePairFinder {
 public:
  // The arguments are DupeSearch's; `columns` are the control's column
  // options. Throws std::invalid_argument for a `table` that is not one,
  // std::bad_alloc. Cost: DupeSearch's first stage.
  DupePairFinder(const ColumnOptions& columns, const platform::Variant& table,
                 int32_t IDColumnIndex, double Threshold,
                 double ClusterThreshold, const MatchOptions& options);
  ~DupePairFinder();
  DupePairFinder(const DupePairFinder&) = delete;
  DupePairFinder& operator=(const DupePairFinder&) = delete;

  uint32_t rows() const;

  // Appends the words (found_pairs.h) of records begin to end - 1 (cut to
  // the table) to *words. With Scoring=Estimated every record is left to
  // the labelling process, which alone holds the model. Throws
  // std::bad_alloc. Cost: the candidate search and the comparisons of the
  // records, as DupeSearch's workers spend them.
  void Find(uint32_t begin, uint32_t end, std::vector<uint32_t>* words);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The master table prepared as FuzzyMatch prepares it, for ranges of the
// second table's records.
class MatchPairFinder {
 public:
  // The arguments are FuzzyMatch's, less the second table. Throws
  // std::invalid_argument for a `master` that is not a table,
  // std::bad_alloc.
  MatchPairFinder(const ColumnOptions& columns, const platform::Variant& master,
                  int32_t IDColumnIndex, double Threshold,
                  double ClusterThreshold, const MatchOptions& options);
  ~MatchPairFinder();
  MatchPairFinder(const MatchPairFinder&) = delete;
  MatchPairFinder& operator=(const MatchPairFinder&) = delete;

  // Appends the words of every record of `records` (rows of FuzzyMatch's
  // second table, any range of it in order) to *words. Throws
  // std::invalid_argument when `records` is not a table, std::bad_alloc.
  void Find(const platform::Variant& records, std::vector<uint32_t>* words);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace vexlor

#endif  // VEXLOR_TABLES_DISTRIBUTED_PAIR_RANGES_H_

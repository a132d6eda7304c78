// The estimation pass of Scoring=Estimated: counts the comparison levels
// of drawn pairs and of candidate pairs through a running MatchStages, and
// fits the model (fs_model.h) from them.
//
// The caller drives it between MatchStages::BeginMatching and its first
// record: it compares the drawn pairs (FsRandomPair) and runs the candidate
// loops of a sample of records (FsSampleStride), calling AfterPair after
// each comparison or loop. Meanwhile every pair scores 0 and the swap is
// off; the column options are put back after each one, so a cell without
// text switches a column off only for its own pair, and the options are as
// before when the estimation ends.
#ifndef VEXLOR_TABLES_SCORING_FS_ESTIMATION_H_
#define VEXLOR_TABLES_SCORING_FS_ESTIMATION_H_

#include <array>
#include <cstdint>

#include "vexlor/match_options.h"
#include "vexlor/tables/column_options.h"
#include "vexlor/tables/scoring/fs_model.h"
#include "vexlor/tables/stages/match_stages.h"

namespace vexlor {

// Every how many records the candidate loop runs for the estimation of a
// table of `rows` records: so that about 2000 records are sampled.
uint32_t FsSampleStride(uint32_t rows);

class FsEstimation {
 public:
  // Takes the DupeSearch columns among 0 to columns - 1 (exact when their
  // Weight is above 1) as the model's columns and starts counting drawn
  // pairs. Throws std::bad_alloc.
  FsEstimation(ColumnOptions& options, uint32_t columns, MatchStages& stages);
  // Leaves the stages without a scorer (the caller sets its own).
  ~FsEstimation();
  FsEstimation(const FsEstimation&) = delete;
  FsEstimation& operator=(const FsEstimation&) = delete;

  // Reads each column's kind and value frequencies from the comparison
  // texts of `rows` records, then compares the pairs FsRandomPair draws
  // among them, which give u its starting values; the stages must be begun
  // over those rows.
  void CompareDrawnPairs(uint32_t rows, double threshold);

  // From now on the pairs compared are candidate pairs, counted with the
  // texts of columns swap_first and swap_second exchanged where that
  // compares better (FsLevelCollector); -1 for no swap.
  void BeginCandidates(int swap_first, int swap_second) {
    collector_.set_counts(&candidates_);
    collector_.set_swap(swap_first, swap_second);
    swap_ = model_.SlotOf(swap_first) >= 0 && model_.SlotOf(swap_second) >= 0 &&
            swap_first != swap_second;
  }

  // Puts the column options back.
  void AfterPair() { options_.dupe_search = saved_; }

  // Fits the model; the swap of the stages is set to (swap_first,
  // swap_second) again.
  void Finish(int swap_first, int swap_second, FsModel* model);

 private:
  void DescribeColumns(uint32_t rows);

  ColumnOptions& options_;
  MatchStages& stages_;
  std::array<bool, kMaxColumns> saved_;
  FsModel model_;
  FsPatternCounts drawn_;
  FsPatternCounts candidates_;
  FsLevelCollector collector_;
  bool swap_ = false;  // candidates counted with a swap
};

// The estimation of the fuzzy match and merge, with the stages begun over
// `master_rows` master rows: drawn pairs among the master rows, candidate
// pairs of every FsSampleStride-th record of `second` (its rows 0 to
// second_rows - 1) against the master rows. Throws std::bad_alloc.
void EstimateAgainstMaster(ColumnOptions& options, uint32_t columns,
                           MatchStages& stages, uint32_t master_rows,
                           const platform::VariantArray& second,
                           uint32_t second_rows, double cluster_threshold,
                           double threshold, int swap_first, int swap_second,
                           FsModel* model);

// With Scoring=Estimated: sets *model to the options' model, or to one that
// `estimate(model)` fits, passes it to the options' model_out, and makes
// `scorer` (which scores with *model) the stages' scorer. Otherwise does
// nothing.
template <class Estimate>
void BeginScoring(const MatchOptions& options, MatchStages& stages,
                  FsModel* model, PairScorer* scorer, Estimate&& estimate) {
  if (options.scoring != Scoring::kEstimated) return;
  if (options.model != nullptr) {
    *model = *options.model;
    model->Index();
  } else {
    estimate(model);
  }
  if (options.model_out != nullptr) *options.model_out = *model;
  stages.SetScorer(scorer);
}

}  // namespace vexlor

#endif  // VEXLOR_TABLES_SCORING_FS_ESTIMATION_H_

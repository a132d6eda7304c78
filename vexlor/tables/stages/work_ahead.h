// The work that worker threads do ahead of the calling thread in the fuzzy
// batch methods (MatchStages::FindCandidatesAhead and FindRecordsAhead): for
// the next records their candidates and, where the state a verdict depends
// on is copied into the batch, their verdicts. The calling thread takes
// that work in record order only while what it was found from still holds.
#ifndef VEXLOR_TABLES_STAGES_WORK_AHEAD_H_
#define VEXLOR_TABLES_STAGES_WORK_AHEAD_H_

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

#include "vexlor/records/field_coll.h"
#include "vexlor/tables/candidates/candidate_generator.h"
#include "vexlor/tables/candidates/candidate_need.h"
#include "vexlor/tables/column_options.h"
#include "vexlor/tables/scoring/pair_scorer.h"
#include "vexlor/tables/stages/record_snapshot.h"
#include "vexlor/tables/stages/swap_columns.h"
#include "vexlor/variant_array.h"

namespace vexlor {

// What one worker thread owns: its query state and its field list.
struct ThreadQuery {
  CandidateGenerator::Query query;
  FieldColl fields;  // for the verdicts
};

// The work found ahead for one record: its need and candidates, and the
// verdicts on them when found.
struct Ahead {
  CandidateNeed need;
  std::vector<uint32_t> rows;
  // Per candidate whether it reaches the batch's threshold, when found.
  std::vector<uint8_t> verdicts;
  bool verdicts_found = false;
  // Found by another process: `rows` holds only the candidates that reach
  // the threshold and a last one that misses, of `depth` in all.
  bool partial = false;
  uint32_t depth = 0;
};

// The candidates of working rows first to end - 1, or of the records of
// `table`, found with the Cluster options `cluster`.
struct AheadRows {
  const platform::VariantArray* table = nullptr;
  uint32_t first = 0;
  uint32_t end = 0;
  std::vector<char> cluster;
  double cluster_threshold = 0.0;
  std::vector<Ahead> rows;
  std::vector<char> searches;  // per row: whether to find its candidates
  // The verdicts' threshold (not a number: no verdicts) and what else a
  // verdict depends on, as it was when the batch was set going.
  double threshold = std::numeric_limits<double>::quiet_NaN();
  std::vector<int> dupe_columns;
  std::array<bool, kMaxColumns> dupe_search{};
  std::array<bool, kMaxColumns> compare_null{};
  std::array<double, kMaxColumns> weight{};
  SwapColumns swap;
  // Records of another table: their compared cells, as read when the
  // batch was set going.
  RecordSnapshot snapshot;
  // The scorer whose verdicts the workers find (one safe on any thread),
  // or null for the weighted mean.
  PairScorer* scorer = nullptr;
};

}  // namespace vexlor

#endif  // VEXLOR_TABLES_STAGES_WORK_AHEAD_H_

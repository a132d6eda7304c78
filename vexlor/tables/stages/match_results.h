// What the two match methods (fuzzy and exact) share: the ReturnResults
// values that choose which master rows come back, and the texts of their
// progress window.
#ifndef VEXLOR_TABLES_STAGES_MATCH_RESULTS_H_
#define VEXLOR_TABLES_STAGES_MATCH_RESULTS_H_

#include <cstdint>

#include "vexlor/return_results.h"
#include "vexlor/tables/string_ids.h"

namespace vexlor {

inline constexpr int kMatchTitle = kStrFuzzyMatch;
inline constexpr int kMatchFoundLabel = kStrFound;
inline constexpr int kMatchStatusClusters = kStrComputingClusters;
inline constexpr int kMatchStatusMatching = kStrMatchData;
inline constexpr int kMatchStatusCleaningUp = kStrCleaningUp;

// Whether a master row that was `matched` (or not) belongs in the result
// asked for; no row does for an unknown value. O(1).
inline bool MatchSelected(int16_t return_results, bool matched) {
  switch (return_results) {
    case MAR_ALL:
      return true;
    case MAR_POSITIVE:
      return matched;
    case MAR_NEGATIVE:
      return !matched;
    default:
      return false;
  }
}

}  // namespace vexlor

#endif  // VEXLOR_TABLES_STAGES_MATCH_RESULTS_H_

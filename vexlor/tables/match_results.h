// What the two match methods (fuzzy and exact) share: the ReturnResults
// values that choose which master rows come back, and the texts of their
// progress window.
#ifndef VEXLOR_TABLES_MATCH_RESULTS_H_
#define VEXLOR_TABLES_MATCH_RESULTS_H_

#include <cstdint>

namespace vexlor {

inline constexpr int16_t kMatchReturnAll = 0;       // MAR_ALL
inline constexpr int16_t kMatchReturnPositive = 1;  // MAR_POSITIVE
inline constexpr int16_t kMatchReturnNegative = 2;  // MAR_NEGATIVE

inline constexpr int kMatchTitle = 212;       // "Fuzzy Match"
inline constexpr int kMatchFoundLabel = 207;  // "Found"
inline constexpr int kMatchStatusClusters = 201;
inline constexpr int kMatchStatusMatching = 213;
inline constexpr int kMatchStatusCleaningUp = 203;

// Whether a master row that was `matched` (or not) belongs in the result
// asked for; no row does for an unknown value. O(1).
inline bool MatchSelected(int16_t return_results, bool matched) {
  switch (return_results) {
    case kMatchReturnAll:
      return true;
    case kMatchReturnPositive:
      return matched;
    case kMatchReturnNegative:
      return !matched;
    default:
      return false;
  }
}

}  // namespace vexlor

#endif  // VEXLOR_TABLES_MATCH_RESULTS_H_

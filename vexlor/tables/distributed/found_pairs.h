// The candidates and verdicts of a duplicate search's records, found by
// other processes (pair_ranges.h) and handed to the search that labels them.
//
// Words of 32 bits, record after record in row order. Each record starts
// with a header: (listed << 2) | (last_misses << 1) | found. A record that
// was not found (0) is searched again where it is labelled. A found one is
// followed by its number of candidates, then `listed` rows: the candidates
// that reach Threshold, in the order they are met, and, when the last
// candidate misses (last_misses), that one at the end. The candidates that
// miss are not sent: the labelling never looks at them, and they are most of
// a record's candidates.
#ifndef VEXLOR_TABLES_DISTRIBUTED_FOUND_PAIRS_H_
#define VEXLOR_TABLES_DISTRIBUTED_FOUND_PAIRS_H_

#include <cstdint>
#include <span>

namespace vexlor {

struct FoundPairs {
  std::span<const uint32_t> words;
  // Set by the search when the words could not stand in for a record's own
  // candidates (a comparison changed the options in the middle of a record
  // whose misses were not sent): its result must be found without them.
  bool missed = false;
};

inline constexpr uint32_t kFoundRecord = 1;
inline constexpr uint32_t kFoundLastMisses = 2;

inline constexpr uint32_t FoundHeader(uint32_t listed, bool last_misses) {
  return (listed << 2) | (last_misses ? kFoundLastMisses : 0) | kFoundRecord;
}

}  // namespace vexlor

#endif  // VEXLOR_TABLES_DISTRIBUTED_FOUND_PAIRS_H_

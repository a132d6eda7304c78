// How many trigrams a record must share with an indexed row to be compared
// with it, from the length of its cluster text and the ClusterThreshold.
#ifndef VEXLOR_TABLES_CANDIDATES_CANDIDATE_NEED_H_
#define VEXLOR_TABLES_CANDIDATES_CANDIDATE_NEED_H_

#include <cstdint>

namespace vexlor {

// Which indexed rows a record is compared with, from the length of its
// cluster text and the ClusterThreshold.
struct CandidateNeed {
  enum Kind {
    kNone,     // no row: no cluster text, or a need above 255 hits
    kAll,      // every row: a need of 0 or less (or not a number)
    kAtLeast,  // the rows with at least `hits` shared trigrams
  } kind;
  uint32_t hits;
};

// Returns the need for a cluster text of `key_length` bytes:
// trunc(key_length x cluster_threshold) hits. O(1).
CandidateNeed NeedFor(int64_t key_length, double cluster_threshold);

}  // namespace vexlor

#endif  // VEXLOR_TABLES_CANDIDATES_CANDIDATE_NEED_H_

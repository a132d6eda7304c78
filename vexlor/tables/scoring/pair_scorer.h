// The seam through which a record pair's score can come from somewhere else
// than the weighted mean of its field similarities: the candidate loop asks
// a scorer, when it has one, for the score it compares with Threshold.
#ifndef VEXLOR_TABLES_SCORING_PAIR_SCORER_H_
#define VEXLOR_TABLES_SCORING_PAIR_SCORER_H_

#include "vexlor/records/field_coll.h"

namespace vexlor {

class PairScorer {
 public:
  virtual ~PairScorer() = default;

  // Returns the score in percent (0 to 100, never NaN) of the pair that the
  // field list holds, over the columns 0 to max_column whose flag in
  // `dupe_search` (kMaxColumns of them) is set. Called once per compared
  // pair (twice with a swap), so it must not allocate.
  virtual double Score(const FieldColl& fields, int max_column,
                       const bool* dupe_search) = 0;

  // Score(...) >= threshold; a scorer may decide it sooner.
  virtual bool Reaches(const FieldColl& fields, int max_column,
                       const bool* dupe_search, double threshold) {
    return Score(fields, max_column, dupe_search) >= threshold;
  }

  // Whether Score and Reaches may be called from several threads at once, so
  // that the search's workers can find verdicts ahead with it.
  virtual bool SafeOnAnyThread() const { return false; }
};

}  // namespace vexlor

#endif  // VEXLOR_TABLES_SCORING_PAIR_SCORER_H_

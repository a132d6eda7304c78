// How the batch methods find and compare the candidates of a record. The
// methods' headers take the choice without the stages behind it
// (match_stages.h).
#ifndef VEXLOR_TABLES_CANDIDATES_CANDIDATE_SCAN_H_
#define VEXLOR_TABLES_CANDIDATES_CANDIDATE_SCAN_H_

#include <cstdint>
#include <functional>
#include <memory>

#include "vexlor/tables/candidates/candidate_counter.h"

namespace vexlor {

// The default, CandidateScan{}, is prefix filtering (candidate_generator.h):
// only the postings of the record's rarer trigrams are walked, the frequent
// lists are searched for the rows found, and a candidate is compared only
// as far as its verdict needs (FieldColl::RecordReaches), the other
// record's texts viewed in place rather than copied. Every other way must
// give the same candidates in the same order and the same verdicts, so the
// same results; they exist to be checked against.
struct CandidateScan {
  // Makes the counter for an index sized for `size_for` trigrams and rows
  // 0 to counter_rows - 1. Empty: the prefix filter.
  std::function<std::unique_ptr<CandidateCounter>(uint32_t size_for,
                                                  uint32_t counter_rows)>
      make_counter;
  // Every candidate's similarity computed in full from copied texts.
  bool compare_in_full = false;
};

}  // namespace vexlor

#endif  // VEXLOR_TABLES_CANDIDATES_CANDIDATE_SCAN_H_

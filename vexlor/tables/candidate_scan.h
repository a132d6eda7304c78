// How the batch methods find and compare the candidates of a record. The
// methods' headers take the choice without the stages behind it
// (match_stages.h).
#ifndef VEXLOR_TABLES_CANDIDATE_SCAN_H_
#define VEXLOR_TABLES_CANDIDATE_SCAN_H_

namespace vexlor {

// How the candidates of a record are found and compared. All give the same
// candidates in the same order, the same verdicts, so the same results.
enum class CandidateScan {
  // Prefix filtering (candidate_generator.h): only the postings of the
  // record's rarer trigrams are walked, the frequent lists are searched for
  // the rows found. A candidate is compared only as far as its verdict
  // needs (FieldColl::RecordReaches), the other record's texts viewed in
  // place rather than copied.
  kPrefixFilter,
  // The straightforward way, kept as the reference for tests and
  // benchmarks: every posting of every trigram of the record is walked,
  // the rows hit are listed while counting, and every candidate's similarity
  // is computed in full from copied texts.
  kHitList,
  // As kHitList, but every row's counter is cleared and tested for every
  // record.
  kFullCounters,
};

}  // namespace vexlor

#endif  // VEXLOR_TABLES_CANDIDATE_SCAN_H_

// The straightforward ways of finding a record's candidates, for the batch
// methods' CandidateScan: every posting of every trigram of the record is
// walked into per-row hit counters (trigram_counting.h), and every
// candidate is compared in full from copied texts. They give what the
// prefix filter gives, and the tests and benchmarks hold it to that.
#ifndef VEXLOR_TESTS_REFERENCE_CANDIDATE_STRATEGIES_H_
#define VEXLOR_TESTS_REFERENCE_CANDIDATE_STRATEGIES_H_

#include "vexlor/tables/candidates/candidate_scan.h"

namespace vexlor::reference {

// The rows hit are listed while counting (TrigramHitCounters), so only they
// are visited when the candidates are taken.
CandidateScan HitListScan();

// Every row's counter is cleared and tested for every record.
CandidateScan FullCountersScan();

}  // namespace vexlor::reference

#endif  // VEXLOR_TESTS_REFERENCE_CANDIDATE_STRATEGIES_H_

// Reads the candidates and verdicts that other processes found
// (found_pairs.h), record after record, for the matching stage to take
// instead of finding them.
#ifndef VEXLOR_TABLES_STAGES_FOUND_READER_H_
#define VEXLOR_TABLES_STAGES_FOUND_READER_H_

#include <cstddef>
#include <cstdint>

#include "vexlor/tables/distributed/found_pairs.h"
#include "vexlor/tables/stages/work_ahead.h"

namespace vexlor {

class FoundReader {
 public:
  // Reads `found` from its first word on; null: nothing is read. Not owned.
  void Set(FoundPairs* found) {
    found_ = found;
    at_ = 0;
    row_ = 0;
    state_taken_ = false;
  }
  bool active() const { return found_ != nullptr; }

  // The record that the next Read reads.
  uint32_t row() const { return row_; }

  // Reads the next record into `ahead`; false when the words end.
  bool Read(Ahead& ahead);

  // The work of another table's current record, read by MatchRecord.
  Ahead& record() { return record_; }

  // True once: the verdict state the other processes used is taken when
  // the first record is matched.
  bool TakeStateFirst() {
    const bool first = !state_taken_;
    state_taken_ = true;
    return first;
  }

  // What the other processes found no longer stands in for a record.
  void SetMissed() { found_->missed = true; }

 private:
  FoundPairs* found_ = nullptr;
  size_t at_ = 0;     // the next word to read
  uint32_t row_ = 0;  // the row it belongs to
  bool state_taken_ = false;
  Ahead record_;
};

}  // namespace vexlor

#endif  // VEXLOR_TABLES_STAGES_FOUND_READER_H_

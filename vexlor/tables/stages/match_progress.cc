#include "vexlor/tables/stages/match_progress.h"

#include <algorithm>
#include <limits>

namespace vexlor {

int32_t ClampToInt32(int64_t v) {
  return static_cast<int32_t>(
      std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                          std::numeric_limits<int32_t>::max()));
}

MatchProgress::MatchProgress(uint32_t records)
    : records_(records), fields_{0, 0, 0.0, 0, ClampToInt32(records), 0, 0} {}

bool MatchProgress::AfterRecord(ProgressSink& sink, uint32_t s,
                                int64_t candidates, int64_t found,
                                int64_t found2) {
  max_candidates_ = std::max(max_candidates_, candidates);
  total_candidates_ += candidates;
  fields_.cluster_current = ClampToInt32(candidates);
  fields_.cluster_max = ClampToInt32(max_candidates_);
  fields_.cluster_average = static_cast<double>(total_candidates_) / (s + 1.0);
  fields_.record_no = ClampToInt32(int64_t{s} + 1);
  fields_.found = ClampToInt32(found);
  fields_.found2 = ClampToInt32(found2);
  if ((s + 1) % kMatchCadence != 0) return false;
  const double last_record = static_cast<double>(records_) - 1;
  sink.Report((s + 1.0) * 100.0 / last_record, fields_);
  return true;
}

void MatchProgress::Finish() { fields_.record_no = ClampToInt32(records_); }

}  // namespace vexlor

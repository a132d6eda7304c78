#include "vexlor/tables/candidates/candidate_need.h"

#include <cmath>

namespace vexlor {

namespace {

// Counters stop at 255, so a larger need is reached by no row.
constexpr double kMaxNeed = 255;

}  // namespace

CandidateNeed NeedFor(int64_t key_length, double cluster_threshold) {
  if (key_length < 1) return {CandidateNeed::kNone, 0};
  double need = std::trunc(static_cast<double>(key_length) * cluster_threshold);
  // Not-a-number compares false, like a need of 0 or less: every row.
  if (!(need >= 1)) return {CandidateNeed::kAll, 0};
  if (need > kMaxNeed) return {CandidateNeed::kNone, 0};
  return {CandidateNeed::kAtLeast, static_cast<uint32_t>(need)};
}

}  // namespace vexlor

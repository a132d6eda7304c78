#include "vexlor/tables/stages/ahead_workers.h"

#include <system_error>

namespace vexlor {

bool AheadWorkers::Start(unsigned threads) {
  if (unavailable_) return false;
  queries_.resize(threads);
  try {
    pool_ = std::make_unique<BatchWorkers>(threads);
  } catch (const std::system_error&) {
    unavailable_ = true;
    return false;
  }
  return true;
}

void AheadWorkers::Free() {
  pool_.reset();
  std::vector<ThreadQuery>().swap(queries_);
}

}  // namespace vexlor

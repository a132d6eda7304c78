#include "vexlor/platform/guid.h"

namespace vexlor::platform {

RandomGuidSource::RandomGuidSource() {
  std::random_device device;
  std::seed_seq seq{device(), device(), device(), device(), device(), device()};
  engine_.seed(seq);
}

bool RandomGuidSource::Create(Guid* guid) {
  uint64_t high = engine_();
  uint64_t low = engine_();
  GuidFromBits(high, low, guid);
  return true;
}

}  // namespace vexlor::platform

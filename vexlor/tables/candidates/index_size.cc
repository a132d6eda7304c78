#include "vexlor/tables/candidates/index_size.h"

#include <algorithm>
#include <bit>

namespace vexlor {

uint32_t HashSizeFor(uint32_t n) {
  constexpr uint32_t kMaxSize = 0x80000;
  if (n <= 1) return 1;
  if (n > kMaxSize / 2) return kMaxSize;
  return std::bit_ceil(n);
}

IndexSize StandardIndexSize(uint32_t n) {
  const int32_t buckets =
      std::max<int32_t>(static_cast<int32_t>(HashSizeFor(n) / 2), 1024);
  return {buckets, std::max<int32_t>(buckets / 4, 1024)};
}

}  // namespace vexlor

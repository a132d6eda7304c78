// The key hash of the in-memory indexes: Bob Jenkins' lookup2 ("hash()" of
// 1996), 32 bits, over the raw bytes of a key. The bucket a key lands in, and
// hence the walk order of an index, depend on these exact values, so the
// function must never be swapped for a "better" one.

#ifndef VEXLOR_TABLES_CANDIDATES_HASH_FUNC_H_
#define VEXLOR_TABLES_CANDIDATES_HASH_FUNC_H_

#include <cstdint>
#include <string_view>

namespace vexlor {

class CHashFunc {
 public:
  // The seed every index uses.
  static constexpr uint32_t kDefaultSeed = 23;

  // Returns the lookup2 hash of the bytes of `key` (no terminating zero)
  // started from `seed`. The empty key is valid (seed 23 gives 0x5E8369AA).
  // Bytes are taken as unsigned; the result does not depend on the host's
  // byte order. Cost: O(key.size()), one mixing round per 12 bytes plus one.
  static uint32_t Hash(std::string_view key, uint32_t seed);
};

}  // namespace vexlor

#endif  // VEXLOR_TABLES_CANDIDATES_HASH_FUNC_H_

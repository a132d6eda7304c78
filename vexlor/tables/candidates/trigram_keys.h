// The trigrams of a text as numbers, for the generator's index and the
// counts its bounded rule takes from the filed texts themselves.
#ifndef VEXLOR_TABLES_CANDIDATES_TRIGRAM_KEYS_H_
#define VEXLOR_TABLES_CANDIDATES_TRIGRAM_KEYS_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "vexlor/tables/candidates/trigram.h"

namespace vexlor {

// Calls f(key) for every trigram of `text` (the rule of trigram.h), in
// order; the key is the three bytes as one number, plus one, so that 0 is
// free for an empty slot.
template <class F>
void ForEachTrigram(std::string_view text, F&& f) {
  const size_t length = std::min(text.size(), kMaxTrigramText);
  if (length == 0) return;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  auto at = [&](size_t padded) -> uint32_t {
    return padded == 0 || padded == length + 1 ? uint32_t{'_'}
                                               : bytes[padded - 1];
  };
  uint32_t window = (at(0) << 8) | at(1);
  for (size_t i = 0; i < length; ++i) {
    window = ((window << 8) | at(i + 2)) & 0xFFFFFF;
    f(window + 1);
  }
}

// Spreads keys over a power-of-two table.
inline uint32_t HashTrigramKey(uint32_t key) { return key * 0x9E3779B1u; }

}  // namespace vexlor

#endif  // VEXLOR_TABLES_CANDIDATES_TRIGRAM_KEYS_H_

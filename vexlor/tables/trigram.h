// Trigram filing and counting: the filter that lets the fuzzy batch methods
// compare a record only with records that share enough three-byte fragments
// with it, instead of with every record.
//
// The trigrams of a text: cut it to its first 255 bytes (L of them), pad it
// with '_' on both sides, and take the L windows of three bytes starting at
// positions 0 to L - 1. "ABC" gives _AB, ABC, BC_; "A" gives _A_; the empty
// text gives none. A trigram that occurs twice counts twice, on both sides.

#ifndef VEXLOR_TABLES_TRIGRAM_H_
#define VEXLOR_TABLES_TRIGRAM_H_

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "vexlor/tables/ll_hash.h"

namespace vexlor {

// The longest prefix of a text that yields trigrams.
inline constexpr size_t kMaxTrigramText = 255;

// Files `record` under every trigram of `text`, in text order (so a record
// is filed twice under a trigram that occurs twice). Cost: min(size, 255)
// LLHash::Add calls. Throws std::bad_alloc from the index.
void AddTrigrams(std::string_view text, uint32_t record, LLHash& index);

// For every trigram of `text`, adds one to counters[v] for every value v filed
// under it in `index`, except v == `record`; a counter stays at 255 once
// there. `counters` must have an entry for every value in the index. Cost:
// min(size, 255) lookups plus one step per filed occurrence found.
void CountTrigramHits(std::string_view text, uint32_t record,
                      const LLHash& index, uint8_t* counters);

// As above, and appends to `*touched` every v whose counter goes from 0 to 1,
// in the order of first hit. If every counter was 0 when the caller started
// counting for a record, `*touched` then lists exactly the rows with a
// nonzero counter, each once, however many calls (columns) contribute; sort
// it to visit them in ascending order, and clear just those counters
// afterwards. Rows with counter 0 are not listed, so a caller whose
// threshold is 0 or less must still visit every row. Reserve `*touched` for
// the row count to keep allocations out of the loop.
void CountTrigramHits(std::string_view text, uint32_t record,
                      const LLHash& index, uint8_t* counters,
                      std::vector<uint32_t>* touched);

}  // namespace vexlor

#endif  // VEXLOR_TABLES_TRIGRAM_H_

// The trigram rule of the filter that lets the fuzzy batch methods compare
// a record only with records that share enough three-byte fragments with
// it, instead of with every record.
//
// The trigrams of a text: cut it to its first 255 bytes (L of them), pad it
// with '_' on both sides, and take the L windows of three bytes starting at
// positions 0 to L - 1. "ABC" gives _AB, ABC, BC_; "A" gives _A_; the empty
// text gives none. A trigram that occurs twice counts twice, on both sides.

#ifndef VEXLOR_TABLES_CANDIDATES_TRIGRAM_H_
#define VEXLOR_TABLES_CANDIDATES_TRIGRAM_H_

#include <cstddef>
#include <cstdint>

namespace vexlor {

// The longest prefix of a text that yields trigrams.
inline constexpr size_t kMaxTrigramText = 255;

// The record number that excludes no row from counting: a query that is not
// itself in the index (what -1 becomes as an unsigned number).
inline constexpr uint32_t kNoRecord = 0xFFFFFFFFu;

}  // namespace vexlor

#endif  // VEXLOR_TABLES_CANDIDATES_TRIGRAM_H_

// Levenshtein distance between two byte strings.
//
// The distance is the least number of single-byte insertions, deletions and
// substitutions that turn one string into the other (unit costs, no
// transpositions). Bytes are compared exactly: case and accents count.

#ifndef VEXLOR_STRINGS_EDIT_DISTANCE_H_
#define VEXLOR_STRINGS_EDIT_DISTANCE_H_

#include <cstdint>
#include <string_view>

namespace vexlor {

// Returns the Levenshtein distance of `s1` and `s2`: 0 for equal strings, the
// other's length when one is empty. Symmetric in its arguments.
//
// Returns -1 only when working memory cannot be allocated; that can happen
// only when both strings, after their common prefix and suffix are removed,
// are longer than 64 bytes.
//
// Cost: O(n * ceil(m / 64)) time after stripping the common prefix and suffix,
// where m is the shorter remaining length. No heap allocation when the
// shorter remainder has at most 64 bytes; otherwise O(m + n) memory, never
// the full matrix.
int32_t EditDistance(std::string_view s1, std::string_view s2);

}  // namespace vexlor

#endif  // VEXLOR_STRINGS_EDIT_DISTANCE_H_

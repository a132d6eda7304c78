// Gestalt (Ratcliff/Obershelp) similarity of two byte strings, in percent.
//
// The strings are matched by taking their longest common block of bytes,
// then recursing on what lies left of it and on what lies right of it; the
// similarity is the share of bytes that end up matched. It is the measure
// the record comparison is built on. Bytes are compared exactly (no case
// folding, no trimming); callers normalise first where they want that.

#ifndef VEXLOR_STRINGS_GESTALT_SIMILARITY_H_
#define VEXLOR_STRINGS_GESTALT_SIMILARITY_H_

#include <cstdint>
#include <string_view>

namespace vexlor {

// Returns the number of bytes matched by the Ratcliff/Obershelp recursion.
//
// Within each pair of ranges the longest common block is taken; of several
// blocks of that length, the one starting earliest in `text1`, and of those
// the one starting earliest in `text2`. The choice decides what is left to
// match, so the total depends on it. 0 when either text is empty.
//
// Cost: no heap allocation when either text has at most 64 bytes and the
// other at most 256; then about (rows x block length) word operations per
// range. Ranges long on both sides get a suffix automaton each, built and
// run in time linear in the range; working memory is O(n + m). Texts that
// split into many long ranges can still cost time quadratic in their length
// (never cubic). std::bad_alloc, the only exception, can come only from
// texts beyond those short sizes.
int64_t GestaltMatchCount(std::string_view text1, std::string_view text2);

// Returns the similarity in percent: 100.0 for equal texts (also when both
// are empty), 0.0 when exactly one is empty or nothing matches, else
// matched / (n + m) * 2 * 100, evaluated in that order in double precision.
// Cost and allocation as GestaltMatchCount.
double GestaltSimilarity(std::string_view text1, std::string_view text2);

}  // namespace vexlor

#endif  // VEXLOR_STRINGS_GESTALT_SIMILARITY_H_

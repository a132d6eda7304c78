// Normalisation of names, companies and addresses into comparison keys.
//
// Accents are dropped, the spellings ae/oe/ue after A, O, U and ß are
// folded, punctuation becomes blanks, common German and English street
// words are abbreviated, titles, legal forms and web prefixes are removed,
// blank runs collapse and the ends are trimmed, so that spelling variants of
// one name compare equal or close. Text is single-byte Windows-1252.

#ifndef VEXLOR_STRINGS_NORMALIZE_H_
#define VEXLOR_STRINGS_NORMALIZE_H_

#include <array>
#include <span>
#include <string>
#include <string_view>

namespace vexlor {

// Returns the byte-to-byte table of the character pass: accented letters to
// their base letter, listed punctuation to a blank, every other byte to
// itself. (ß is not handled by the table: it becomes two bytes.)
const std::array<unsigned char, 256>& NormalizationCharMap();

// One replacement of the normalisation's rule lists.
struct NormalizationRule {
  std::string_view pattern;
  std::string_view replacement;
  bool any_case;  // Pattern and text compared after ASCII upper-casing.
};

// Returns the replacement list that NormalizeText applies, in its order
// (a rule can meet text that an earlier one produced): the upper-case list
// with `uppercase`, the mixed-case one otherwise. O(1).
std::span<const NormalizationRule> NormalizationRules(bool uppercase);

// Returns the comparison key of `text`. With `uppercase` the key is in
// upper case (ASCII letters only; bytes 0x80 and above keep their case) and
// the upper-case replacement list applies; otherwise the text keeps its case
// and the mixed-case list applies, partly case-insensitively.
//
// Total: any input, including the empty string, gives a string, possibly
// empty. Cost: O(n) for an input of n bytes (one pass, then one scan per
// replacement rule whose bytes all occur in the text); one allocation.
std::string NormalizeText(std::string_view text, bool uppercase);

// As NormalizeText, writing the key into `*out` and reusing its capacity:
// no allocation once `*out` has had a capacity of twice the input's length.
// `text` may be a view into `*out` (that costs a copy).
void NormalizeTextInto(std::string_view text, bool uppercase, std::string* out);

}  // namespace vexlor

#endif  // VEXLOR_STRINGS_NORMALIZE_H_

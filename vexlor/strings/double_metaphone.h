// Double Metaphone keys of names, for the single-string method `dmetaphone`.
//
// Double Metaphone codes a name by its English pronunciation, with rules for
// spellings of Slavic, Germanic, Celtic, Greek, French, Italian, Spanish and
// Chinese origin ("Smith" -> "SM0", "Schmidt" -> "XMT", "Xavier" -> "SF").
// The key uses the letters A F H J K L M N P R S T X and the digit 0 for the
// "th" sound. Only the primary key is produced. Accented vowels are not
// vowels; Ç codes as S and Ñ as N; every other byte that no rule names
// (digits, blanks, hyphens, other accented letters) adds nothing, though
// rules that look for a blank still see one (so "Mac Caffrey" -> "MKFR").

#ifndef VEXLOR_STRINGS_DOUBLE_METAPHONE_H_
#define VEXLOR_STRINGS_DOUBLE_METAPHONE_H_

#include <string>
#include <string_view>

namespace vexlor {

// Returns the first `length` characters of the primary Double Metaphone key
// of `s` (Windows-1252 bytes, upper- or lower-case alike). The key is never
// padded, so it may be shorter than `length` ("Hugh" -> "H").
//
// Edge cases: an empty `s` and any `length` <= 0 give "". There is no limit
// on the length of `s` or on `length`; over the range of a 16-bit length,
// -32768..0 give "" and 1..32767 give at most that many characters. A key
// has at most two characters per input byte.
//
// Cost: O(|s|) time to prepare the name plus O(1) per coded position; coding
// stops as soon as `length` characters exist. No heap allocation for names
// of up to 91 bytes and keys within the small-string capacity.
std::string DoubleMetaphone(std::string_view s, int length);

}  // namespace vexlor

#endif  // VEXLOR_STRINGS_DOUBLE_METAPHONE_H_

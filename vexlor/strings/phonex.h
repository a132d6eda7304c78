// Phonex codes of names, for the single-string method `metaphone`.
//
// Phonex is a Soundex-like code with a preparation made for names: trailing S
// is dropped, leading KN, PH, WR and H are simplified, and the first letter
// is folded (vowels and Y to A, P to B, V to F, K and Q to C, J to G, Z to
// S) before the remaining letters are coded as digits 1 to 6 with a look at
// the letter that follows. Only the first word is coded: coding stops at the
// first blank or comma, so "John Smith" codes as "John".

#ifndef VEXLOR_STRINGS_PHONEX_H_
#define VEXLOR_STRINGS_PHONEX_H_

#include <string>
#include <string_view>

namespace vexlor {

// The longest prefix of a name that is coded; later bytes are ignored.
inline constexpr int kPhonexMaxInput = 254;

// Returns the Phonex code of `s` (Windows-1252 bytes): the prepared first
// letter followed by digits, padded with '0' to exactly `length` characters
// ("Peters" -> "B360", "Knight" -> "N230", "Harry" -> "A600" for length 4).
//
// Case does not matter for a-z. Bytes other than ASCII letters, blanks and
// commas (digits, punctuation, NUL, 0x80-0xFF, accented vowels) have no
// code; a blank or a comma ends the code. L and R are coded only before a
// vowel or at the end of the whole name, and the blank or comma that ends
// the first word is neither ("Carl" -> "C400", "Carl Smith" -> "C000").
//
// Edge cases: `length` <= 0 gives ""; an empty name gives "" (also "H",
// which loses its leading H); "S" gives "S000" because a lone S is never
// dropped. A name that starts with a blank or comma keeps that byte as its
// first character (" x" -> " 000"). There is no upper limit on `length`:
// over the range of a 16-bit length, -32768..0 give "" and 1..32767 give
// codes of exactly that many characters (or "" for an empty name). Only the
// first kPhonexMaxInput bytes of `s` are coded.
//
// Cost: O(min(|s|, 254) + length) time, no heap allocation unless `length`
// exceeds the small-string capacity of std::string.
std::string Phonex(std::string_view s, int length);

}  // namespace vexlor

#endif  // VEXLOR_STRINGS_PHONEX_H_

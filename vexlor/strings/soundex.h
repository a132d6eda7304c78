// Soundex codes of names, for the single-string method `soundex`.
//
// The code groups consonants that sound alike (b f p v, c g j k q s x z,
// d t, l, m n, r) into the digits 1 to 6 and pads with '0'. It differs from
// American Soundex on purpose, and callers rely on the differences:
//  - the kept first letter is lower case ("Robert" -> "r163");
//  - the kept first letter does not suppress a following letter of its own
//    group ("Pfister" -> "p123", not "P236");
//  - vowels, h, w and y do not separate two consonants of one group
//    ("Tymczak" -> "t520", not "T522");
//  - the first character can be coded as well, giving digits only;
//  - any length.

#ifndef VEXLOR_STRINGS_SOUNDEX_H_
#define VEXLOR_STRINGS_SOUNDEX_H_

#include <string>
#include <string_view>

namespace vexlor {

// The longest prefix of a name that is coded; later bytes are ignored.
inline constexpr int kSoundexMaxInput = 254;

// Returns the Soundex code of `s` (Windows-1252 bytes) with exactly `length`
// characters, padded with '0'.
//
// With `firstchar` false the first byte of `s`, with A-Z lower-cased and any
// other byte unchanged, is kept as the first character of the code, and
// coding starts at the second byte. With `firstchar` true coding starts at
// the first byte and the code holds digits only. Only A-Z and a-z have a
// code; every other byte (vowels, h, w, y, digits, blanks, punctuation, NUL,
// 0x80-0xFF) is skipped and leaves the previous code in force.
//
// The kept byte itself serves as the previous code, so a kept digit 1-6
// hides a directly following letter of that group ("1b" -> "1000").
//
// Edge cases: `length` <= 0 gives ""; an empty `s` gives "" when `firstchar`
// is false and `length` zeros when it is true. There is no upper limit on
// `length`: over the range of a 16-bit length, -32768..0 give "" and
// 1..32767 give codes of exactly that many characters. Only the first
// kSoundexMaxInput bytes of `s` are coded.
//
// Cost: O(min(|s|, 254) + length) time, one allocation only when `length`
// exceeds the small-string capacity of std::string.
std::string Soundex(std::string_view s, int length, bool firstchar);

}  // namespace vexlor

#endif  // VEXLOR_STRINGS_SOUNDEX_H_

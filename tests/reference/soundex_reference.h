// A plain, letter-by-letter Soundex used as the oracle for the table-driven
// one in vexlor/strings/soundex.cc.

#ifndef VEXLOR_TESTS_REFERENCE_SOUNDEX_REFERENCE_H_
#define VEXLOR_TESTS_REFERENCE_SOUNDEX_REFERENCE_H_

#include <string>
#include <string_view>

namespace vexlor::reference {

inline char SoundexDigit(char c) {
  switch (c) {
    case 'b': case 'f': case 'p': case 'v':
    case 'B': case 'F': case 'P': case 'V':
      return '1';
    case 'c': case 'g': case 'j': case 'k': case 'q': case 's': case 'x':
    case 'z':
    case 'C': case 'G': case 'J': case 'K': case 'Q': case 'S': case 'X':
    case 'Z':
      return '2';
    case 'd': case 't': case 'D': case 'T':
      return '3';
    case 'l': case 'L':
      return '4';
    case 'm': case 'n': case 'M': case 'N':
      return '5';
    case 'r': case 'R':
      return '6';
    default:
      return 0;
  }
}

// Writes up to length+1 characters as the algorithm is usually stated, then
// pads and cuts.
inline std::string Soundex(std::string_view s, int length, bool firstchar) {
  if (length <= 0) return "";
  std::string work(s.substr(0, 254));
  std::string out;
  size_t i = 0;
  char previous = 0;
  if (!firstchar) {
    if (work.empty()) return "";
    char first = work[0];
    if (first >= 'A' && first <= 'Z') first = static_cast<char>(first + 32);
    out += first;
    previous = first;
    i = 1;
  }
  for (; i < work.size() && out.size() < static_cast<size_t>(length) + 1;
       ++i) {
    const char digit = SoundexDigit(work[i]);
    if (digit != 0 && digit != previous) {
      out += digit;
      previous = digit;
    }
  }
  out.resize(static_cast<size_t>(length), '0');
  return out;
}

}  // namespace vexlor::reference

#endif  // VEXLOR_TESTS_REFERENCE_SOUNDEX_REFERENCE_H_

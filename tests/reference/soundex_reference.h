// A plain, letter-by-letter Soundex used as the oracle for the table-driven
// one in vexlor/strings/soundex.cc.

#ifndef VEXLOR_TESTS_REFERENCE_SOUNDEX_REFERENCE_H_
#define VEXLOR_TESTS_REFERENCE_SOUNDEX_REFERENCE_H_

#include <string>
#include <string_view>

namespace vexlor::reference {

inline char SoundexDigit(char c) {
  if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  constexpr std::string_view kGroups[] = {"bfpv", "cgjkqsxz", "dt",
                                          "l",    "mn",       "r"};
  for (int group = 0; group < 6; ++group) {
    if (c != '\0' && kGroups[group].find(c) != std::string_view::npos) {
      return static_cast<char>('1' + group);
    }
  }
  return 0;
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
  for (; i < work.size() && out.size() < static_cast<size_t>(length) + 1; ++i) {
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

// Phonex computed the classic way, in place: the code overwrites the front
// of a private copy of the name while the rest of the copy is still being
// read. Oracle for vexlor/strings/phonex.cc.

#ifndef VEXLOR_TESTS_REFERENCE_PHONEX_REFERENCE_H_
#define VEXLOR_TESTS_REFERENCE_PHONEX_REFERENCE_H_

#include <string>
#include <string_view>

namespace vexlor::reference {

inline bool OneOf(char c, std::string_view set) {
  return c != '\0' && set.find(c) != std::string_view::npos;
}

inline std::string Phonex(std::string_view s, int length) {
  if (length <= 0) return "";
  std::string w(s.substr(0, 254));
  for (char& c : w) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  while (w.size() > 1 && w.back() == 'S') w.pop_back();
  if (w.rfind("KN", 0) == 0) {
    w[0] = 'N';
  } else if (w.rfind("PH", 0) == 0) {
    w[0] = 'F';
  } else if (w.rfind("WR", 0) == 0) {
    w[0] = 'R';
  }
  if (!w.empty() && w[0] == 'H') {
    if (w.size() == 1) {
      w.clear();
    } else {
      w[0] = w[1];
    }
  }
  if (w.empty()) return "";
  constexpr std::string_view kFrom = "EIOUYPVKQJZ";
  constexpr std::string_view kTo = "AAAAABFCCGS";
  if (OneOf(w[0], kFrom)) w[0] = kTo[kFrom.find(w[0])];

  size_t y = 1;  // characters of code at the front of w
  int code = 0;
  int previous = -1;
  for (size_t p = 0; p < w.size(); ++p) {
    const char c = w[p];
    if (c == ' ' || c == ',') break;
    if (y >= static_cast<size_t>(length)) break;
    const bool at_end = p + 1 == w.size();
    const char next = at_end ? '\0' : w[p + 1];
    const bool vowel_or_end = at_end || OneOf(next, "AEIOUY");
    if (OneOf(c, "BFPV")) {
      code = 1;
    } else if (OneOf(c, "CGJKQSXZ")) {
      code = 2;
    } else if (c == 'D' || c == 'T') {
      if (next != 'C') code = 3;
    } else if (c == 'L') {
      if (vowel_or_end) code = 4;
    } else if (c == 'M' || c == 'N') {
      if (next == 'D' || next == 'G') w[p + 1] = c;
      code = 5;
    } else if (c == 'R') {
      if (vowel_or_end) code = 6;
    } else {
      code = 0;
    }
    if (code != 0 && code != previous && p != 0) {
      w[y++] = static_cast<char>('0' + code);
    }
    previous = y > 1 ? w[y - 1] - '0' : code;
  }
  std::string out = w.substr(0, y);
  out.resize(static_cast<size_t>(length), '0');
  return out;
}

}  // namespace vexlor::reference

#endif  // VEXLOR_TESTS_REFERENCE_PHONEX_REFERENCE_H_

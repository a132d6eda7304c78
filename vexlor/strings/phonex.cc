#include "vexlor/strings/phonex.h"

#include <array>
#include <cstddef>

namespace vexlor {
namespace {

constexpr unsigned char ToUpperAscii(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

constexpr bool IsVowel(unsigned char c) {
  return c == 'A' || c == 'E' || c == 'I' || c == 'O' || c == 'U' || c == 'Y';
}

// Look-ahead value for "the name has ended"; no byte compares equal to it.
constexpr int kEnd = -1;

}  // namespace

std::string Phonex(std::string_view s, int length) {
  if (length <= 0) return std::string();

  // Private, upper-cased copy: the M/N rule below rewrites the letter after
  // it, and the caller's text must not change.
  size_t n = s.size() < static_cast<size_t>(kPhonexMaxInput)
                 ? s.size()
                 : static_cast<size_t>(kPhonexMaxInput);
  std::array<unsigned char, kPhonexMaxInput> name;
  for (size_t i = 0; i < n; ++i) {
    name[i] = ToUpperAscii(static_cast<unsigned char>(s[i]));
  }

  // Plural and possessive endings do not change a name's sound; a lone S
  // is the name itself and stays.
  while (n > 1 && name[n - 1] == 'S') --n;

  if (n >= 2) {
    if (name[0] == 'K' && name[1] == 'N') {
      name[0] = 'N';
    } else if (name[0] == 'P' && name[1] == 'H') {
      name[0] = 'F';
    } else if (name[0] == 'W' && name[1] == 'R') {
      name[0] = 'R';
    }
  }
  // A silent leading H takes the sound of the letter after it; a name that
  // is only "H" has nothing left.
  if (n >= 1 && name[0] == 'H') {
    if (n == 1) {
      n = 0;
    } else {
      name[0] = name[1];
    }
  }
  if (n == 0) return std::string();

  switch (name[0]) {
    case 'E':
    case 'I':
    case 'O':
    case 'U':
    case 'Y':
      name[0] = 'A';
      break;
    case 'P':
      name[0] = 'B';
      break;
    case 'V':
      name[0] = 'F';
      break;
    case 'K':
    case 'Q':
      name[0] = 'C';
      break;
    case 'J':
      name[0] = 'G';
      break;
    case 'Z':
      name[0] = 'S';
      break;
    default:
      break;
  }

  const size_t want = static_cast<size_t>(length);
  std::string code(want, '0');
  code[0] = static_cast<char>(name[0]);
  size_t written = 1;
  // `current` deliberately survives letters that give no new code (D/T
  // before C, L and R before a consonant): such a stale value never gets
  // written, but while only the first letter stands it still becomes
  // `previous`, which keeps "BLB" at "B000".
  char current = 0;
  char previous = 0;
  for (size_t p = 0; p < n; ++p) {
    const unsigned char c = name[p];
    if (c == ' ' || c == ',') break;
    if (written >= want) break;
    const int next = p + 1 < n ? name[p + 1] : kEnd;
    switch (c) {
      case 'B':
      case 'F':
      case 'P':
      case 'V':
        current = '1';
        break;
      case 'C':
      case 'G':
      case 'J':
      case 'K':
      case 'Q':
      case 'S':
      case 'X':
      case 'Z':
        current = '2';
        break;
      case 'D':
      case 'T':
        if (next != 'C') current = '3';
        break;
      case 'L':
        if (next == kEnd || IsVowel(static_cast<unsigned char>(next))) {
          current = '4';
        }
        break;
      case 'M':
      case 'N':
        // ND, NG, MD and MG sound as one nasal: the D or G becomes a copy
        // of the nasal and is then dropped as a repeat.
        if (next == 'D' || next == 'G') name[p + 1] = c;
        current = '5';
        break;
      case 'R':
        if (next == kEnd || IsVowel(static_cast<unsigned char>(next))) {
          current = '6';
        }
        break;
      default:
        current = 0;
        break;
    }
    if (current != 0 && current != previous && p != 0) {
      code[written++] = current;
    }
    // Right after the first letter a vowel clears the previous code ("Bob"
    // is B100); once a digit is written, only another digit replaces it.
    previous = written > 1 ? code[written - 1] : current;
  }
  return code;
}

}  // namespace vexlor

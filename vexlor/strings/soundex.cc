#include "vexlor/strings/soundex.h"

#include <array>
#include <cstddef>

namespace vexlor {
namespace {

// Digit of each byte, or 0 for bytes without a code. Only ASCII letters are
// coded, so accented letters and every byte above 0x7F stay silent.
constexpr std::array<char, 256> MakeSoundexTable() {
  std::array<char, 256> table{};
  constexpr std::string_view kGroups[] = {"bfpv", "cgjkqsxz", "dt",
                                          "l",    "mn",       "r"};
  for (int group = 0; group < 6; ++group) {
    for (char c : kGroups[group]) {
      const char digit = static_cast<char>('1' + group);
      table[static_cast<unsigned char>(c)] = digit;
      table[static_cast<unsigned char>(c - 'a' + 'A')] = digit;
    }
  }
  return table;
}

constexpr std::array<char, 256> kSoundexCode = MakeSoundexTable();

}  // namespace

std::string Soundex(std::string_view s, int length, bool firstchar) {
  if (length <= 0) return std::string();
  if (s.empty() && !firstchar) return std::string();
  if (s.size() > static_cast<size_t>(kSoundexMaxInput)) {
    s = s.substr(0, kSoundexMaxInput);
  }

  const size_t want = static_cast<size_t>(length);
  std::string code(want, '0');
  size_t written = 0;
  size_t pos = 0;
  // The previous code starts as "none" (0) in the all-digit form. When the
  // first letter is kept, that letter itself is the previous code: as a
  // letter it never equals a digit, which is why it cannot suppress a
  // following letter of its own group.
  char previous = 0;
  if (!firstchar) {
    unsigned char first = static_cast<unsigned char>(s[0]);
    if (first >= 'A' && first <= 'Z') first = first - 'A' + 'a';
    code[written++] = static_cast<char>(first);
    previous = static_cast<char>(first);
    pos = 1;
  }
  for (; pos < s.size() && written < want; ++pos) {
    const char digit = kSoundexCode[static_cast<unsigned char>(s[pos])];
    // Silent bytes keep the previous code, so a vowel between two letters
    // of one group does not split them.
    if (digit != 0 && digit != previous) {
      code[written++] = digit;
      previous = digit;
    }
  }
  return code;
}

}  // namespace vexlor

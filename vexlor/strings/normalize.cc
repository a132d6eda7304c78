#include "vexlor/strings/normalize.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

namespace vexlor {
namespace {

using CharMap = std::array<unsigned char, 256>;

constexpr unsigned char kSharpS = 0xDF;

constexpr unsigned char AsciiUpper(unsigned char c) {
  return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

constexpr CharMap MakeCharMap() {
  CharMap map{};
  for (int c = 0; c < 256; ++c) map[c] = static_cast<unsigned char>(c);
  auto set = [&map](int first, int last, char to) {
    for (int c = first; c <= last; ++c) map[c] = static_cast<unsigned char>(to);
  };
  set(0xC0, 0xC6, 'A');
  set(0xE0, 0xE6, 'a');
  set(0xC7, 0xC7, 'C');
  set(0xE7, 0xE7, 'c');
  set(0xC8, 0xCB, 'E');
  set(0xE8, 0xEB, 'e');
  set(0xCC, 0xCF, 'I');
  set(0xEC, 0xEF, 'i');
  set(0xD1, 0xD1, 'N');
  set(0xF1, 0xF1, 'n');
  set(0xD2, 0xD6, 'O');
  set(0xD8, 0xD8, 'O');
  set(0xF2, 0xF6, 'o');
  set(0xF8, 0xF8, 'o');
  set(0xD9, 0xDC, 'U');
  set(0xF9, 0xFC, 'u');
  set(0xDD, 0xDE, 'Y');
  set(0xFD, 0xFF, 'y');
  for (unsigned char c : std::string_view("!\"#$%'()*,-/:;<=>?[\\]^_`{|}~")) {
    map[c] = ' ';
  }
  map[0xB4] = ' ';  // Acute accent.
  map[0xB7] = ' ';  // Middle dot.
  return map;
}

constexpr CharMap kCharMap = MakeCharMap();

// The map followed by the upper-casing of the upper-case mode, so that the
// character pass does both at once.
constexpr CharMap MakeUpperCharMap() {
  CharMap map{};
  for (int c = 0; c < 256; ++c) map[c] = AsciiUpper(kCharMap[c]);
  return map;
}

constexpr CharMap kUpperCharMap = MakeUpperCharMap();

using Rule = NormalizationRule;

// Applied in this order; a rule can meet text that an earlier one produced.
constexpr Rule kUpperCaseRules[] = {
    {"STRASSE", "STR.", false}, {"STREET", "ST.", false},
    {"GASSE", "G.", false},     {" & ", " U. ", false},
    {" + ", " U. ", false},     {"HTTP", "", false},
    {"WWW.", "", false},        {"GMBH", "", false},
    {"GBR", "", false},         {" AG", "", false},
    {" KG", "", false},         {" LTD.", "", false},
    {" CO.", "", false},        {".COM", "", false},
    {".DE", "", false},         {".NET", "", false},
    {"PROF.", "", false},       {"DR.", "", false},
    {"MED.", "", false},        {"DIPL.", "", false},
    {"ING.", "", false},        {"PLATZ", "PL.", false},
    {"VON ", "V. ", false},
};

// Street words, connectives, web parts and legal forms are found in any
// case; titles and the last two only as written in lower case.
constexpr Rule kMixedCaseRules[] = {
    {"strasse", "str.", true}, {"street", "st.", true}, {" & ", " u. ", true},
    {" + ", " u. ", true},     {"http", "", true},      {"www.", "", true},
    {"gmbh", "", true},        {"gbr", "", true},       {" ag", "", true},
    {" kg", "", true},         {" ltd.", "", true},     {" co.", "", true},
    {".com", "", true},        {".de", "", true},       {".net", "", true},
    {"prof.", "", false},      {"dr.", "", false},      {"med.", "", false},
    {"dipl.", "", false},      {"ing.", "", false},     {"platz", "pl.", false},
    {"von ", "v. ", false},
};

// A 64-bit fingerprint of which bytes occur (byte value modulo 64), as
// written or ASCII-upper-cased. A rule whose pattern bytes are not all in
// the fingerprint cannot match and is skipped without a scan; for a typical
// name almost every rule is. Collisions only cost a scan.
constexpr uint64_t Fingerprint(std::string_view text, bool fold) {
  uint64_t bits = 0;
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (fold) c = AsciiUpper(c);
    bits |= uint64_t{1} << (c & 63);
  }
  return bits;
}

template <size_t kCount>
constexpr std::array<uint64_t, kCount> RuleFingerprints(
    const Rule (&rules)[kCount]) {
  std::array<uint64_t, kCount> bits{};
  for (size_t i = 0; i < kCount; ++i) {
    bits[i] = Fingerprint(rules[i].pattern, rules[i].any_case);
  }
  return bits;
}

constexpr auto kUpperCaseRuleBits = RuleFingerprints(kUpperCaseRules);
constexpr auto kMixedCaseRuleBits = RuleFingerprints(kMixedCaseRules);

bool MatchesAt(const char* text, const Rule& rule) {
  const std::string_view pattern = rule.pattern;
  if (!rule.any_case) {
    return std::memcmp(text, pattern.data(), pattern.size()) == 0;
  }
  for (size_t k = 0; k < pattern.size(); ++k) {
    if (AsciiUpper(static_cast<unsigned char>(text[k])) !=
        AsciiUpper(static_cast<unsigned char>(pattern[k]))) {
      return false;
    }
  }
  return true;
}

// Position of the first match at or after `from`, or `size` if none.
size_t FindRule(const char* text, size_t size, size_t from, const Rule& rule) {
  const size_t length = rule.pattern.size();
  if (size < length) return size;
  if (!rule.any_case) {
    const size_t at = std::string_view(text, size).find(rule.pattern, from);
    return at == std::string_view::npos ? size : at;
  }
  const unsigned char head =
      AsciiUpper(static_cast<unsigned char>(rule.pattern[0]));
  for (size_t i = from; i + length <= size; ++i) {
    if (AsciiUpper(static_cast<unsigned char>(text[i])) == head &&
        MatchesAt(text + i, rule)) {
      return i;
    }
  }
  return size;
}

// Replaces every match of the rule, left to right and non-overlapping,
// resuming after each match so that an inserted replacement is never
// searched again. Works in place: shrinking replacements are compacted
// forwards; a growing one first moves the text to the end of the enlarged
// buffer and then writes forwards, which never overtakes the reading.
// Returns whether anything was replaced.
bool ApplyRule(const Rule& rule, std::string* s) {
  const size_t plen = rule.pattern.size();
  const size_t rlen = rule.replacement.size();
  size_t size = s->size();
  size_t first = FindRule(s->data(), size, 0, rule);
  if (first == size) return false;

  size_t read = first;
  size_t write = first;
  if (rlen > plen) {
    size_t matches = 0;
    for (size_t i = first; i < size;
         i = FindRule(s->data(), size, i + plen, rule)) {
      ++matches;
    }
    const size_t growth = matches * (rlen - plen);
    s->resize(size + growth);
    char* d = s->data();
    std::memmove(d + first + growth, d + first, size - first);
    read = first + growth;
    size += growth;
  }
  char* d = s->data();
  while (read < size) {
    // Copy up to the next match, then write the replacement over it.
    const size_t at = FindRule(d, size, read, rule);
    std::memmove(d + write, d + read, at - read);
    write += at - read;
    if (at == size) break;
    std::memcpy(d + write, rule.replacement.data(), rlen);
    write += rlen;
    read = at + plen;
  }
  s->resize(write);
  return true;
}

constexpr bool IsTrimmedSpace(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

constexpr bool IsFoldingVowel(unsigned char c) {
  return c == 'A' || c == 'O' || c == 'U' || c == 'a' || c == 'o' || c == 'u';
}

// Bytes the character pass cannot simply look up in the map.
constexpr std::array<bool, 256> MakeSpecialBytes() {
  std::array<bool, 256> special{};
  for (int c = 0; c < 256; ++c) {
    special[c] = IsFoldingVowel(static_cast<unsigned char>(c)) || c == kSharpS;
  }
  return special;
}

constexpr std::array<bool, 256> kSpecialBytes = MakeSpecialBytes();

}  // namespace

std::span<const NormalizationRule> NormalizationRules(bool uppercase) {
  return uppercase ? std::span<const Rule>(kUpperCaseRules)
                   : std::span<const Rule>(kMixedCaseRules);
}

const std::array<unsigned char, 256>& NormalizationCharMap() {
  return kCharMap;
}

std::string NormalizeText(std::string_view text, bool uppercase) {
  std::string out;
  NormalizeTextInto(text, uppercase, &out);
  return out;
}

void NormalizeTextInto(std::string_view text, bool uppercase,
                       std::string* out) {
  // A view into the output would be overwritten while it is read.
  const auto buffer = reinterpret_cast<uintptr_t>(out->data());
  const auto start = reinterpret_cast<uintptr_t>(text.data());
  if (!text.empty() && start >= buffer && start < buffer + out->capacity()) {
    const std::string copy(text);
    NormalizeTextInto(copy, uppercase, out);
    return;
  }

  // Character pass, with the upper-casing folded in. ß doubles, so the key
  // never outgrows twice the input.
  const size_t n = text.size();
  out->resize(2 * n);
  char* d = out->data();
  const CharMap& map = uppercase ? kUpperCharMap : kCharMap;
  size_t w = 0;
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (!kSpecialBytes[c]) {
      d[w++] = static_cast<char>(map[c]);
    } else if (c == kSharpS) {
      d[w++] = uppercase ? 'S' : 's';
      d[w++] = uppercase ? 'S' : 's';
    } else {
      d[w++] = static_cast<char>(map[c]);  // The vowel keeps its case.
      if (i + 1 < n && (text[i + 1] == 'e' || text[i + 1] == 'E')) ++i;
    }
  }
  out->resize(w);

  const std::span<const Rule> rules =
      uppercase ? std::span<const Rule>(kUpperCaseRules)
                : std::span<const Rule>(kMixedCaseRules);
  const uint64_t* rule_bits =
      uppercase ? kUpperCaseRuleBits.data() : kMixedCaseRuleBits.data();
  uint64_t exact = Fingerprint(*out, false);
  uint64_t folded = uppercase ? exact : Fingerprint(*out, true);
  for (size_t i = 0; i < rules.size(); ++i) {
    const uint64_t present = rules[i].any_case ? folded : exact;
    if ((present & rule_bits[i]) != rule_bits[i]) continue;
    if (ApplyRule(rules[i], out)) {
      exact = Fingerprint(*out, false);
      folded = uppercase ? exact : Fingerprint(*out, true);
    }
  }

  // Leading white space goes, each blank run becomes one blank (repeated
  // halving of double blanks ends there), trailing white space goes.
  d = out->data();
  const size_t size = out->size();
  size_t r = 0;
  while (r < size && IsTrimmedSpace(static_cast<unsigned char>(d[r]))) ++r;
  w = 0;
  for (; r < size; ++r) {
    if (d[r] == ' ' && w > 0 && d[w - 1] == ' ') continue;
    d[w++] = d[r];
  }
  while (w > 0 && IsTrimmedSpace(static_cast<unsigned char>(d[w - 1]))) --w;
  out->resize(w);
}

}  // namespace vexlor

#include "vexlor/strings/normalize.h"

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "gtest/gtest.h"
#include "vexlor/platform/testing/failing_allocator.h"

namespace vexlor {
namespace {

struct Case {
  std::string_view input;
  std::string_view expected;
};

// Inputs are Windows-1252 bytes.
TEST(NormalizeTest, UpperCase) {
  const Case kCases[] = {
      {"", ""},
      {" -/!?, ", ""},
      {"Stra\xDF"
       "e",
       "STR."},
      {"Hauptstra\xDF"
       "e 5",
       "HAUPTSTR. 5"},
      {"M\xFCller", "MULLER"},
      {"Mueller", "MULLER"},
      // & becomes U., then GMBH, KG and CO. go and the blanks collapse.
      {"M\xFCller GmbH & Co. KG", "MULLER U."},
      {"Prof. Dr. med. Hans von Goethe", "HANS V. GOTHE"},
      // The fold is not limited to umlaut spellings.
      {"Michael", "MICHAL"},
      {"Samuel", "SAMUL"},
      {"AEE", "AE"},
      {"Queen", "QUEN"},
      // No word boundaries.
      {"Maria Agnes", "MARIANES"},
      {"Doktor Andr.", "DOKTOR AN"},
      // The fold tests the raw next byte: an accented e does not fold.
      {"a\xE9", "AE"},
      {"Fu\xDF", "FUSS"},
      // Only ASCII letters change case.
      {"\xE9t\xE9", "ETE"},
      {"\x9A\xF0\xFE", "\x9A\xF0Y"},
      {"O\xB4Neil", "O NEIL"},
      {"Gasse 1", "G. 1"},
      {"http://www.example.de", "EXAMPLE"},
      {"www.shop.com", "SHOP"},
      // Non-overlapping, resuming after each replacement.
      {" & & ", "U. &"},
      {"A & B + C", "A U. B U. C"},
      // A rule's output is not searched again by the same rule...
      {"GmGmbHbH", "GMBH"},
      // ...but later rules see it.
      {"X GmbHAG", "X"},
      {"Marktplatz 3", "MARKTPL. 3"},
      // Tabs inside survive; white space at the ends goes.
      {"\t\r\n A\tB   C \v\f", "A\tB C"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(NormalizeText(c.input, true), c.expected) << c.input;
  }
}

TEST(NormalizeTest, MixedCase) {
  const Case kCases[] = {
      {"", ""},
      {" -/!?, ", ""},
      {"a\xE9", "ae"},
      {"Fu\xDF", "Fuss"},
      {"Stra\xDF"
       "e",
       "str."},
      // The hyphen becomes a blank; Prof. stays, that rule wants lower case.
      {"Prof. M\xFCller-L\xFC"
       "denscheid",
       "Prof. Muller Ludenscheid"},
      {"prof. M\xFCller", "Muller"},
      {"Hauptstrasse", "Hauptstr."},
      {"MAIN STREET", "MAIN st."},
      {"HAUPTSTRASSE", "HAUPTstr."},
      {"Gasse 1", "Gasse 1"},  // No rule for it in this mode.
      {"Maria Agnes", "Marianes"},
      {"M\xFCller GmbH & Co. KG", "Muller u."},
      {"WWW.Example.COM", "Example"},
      {"Dr. Meier", "Dr. Meier"},
      {"dr. Meier", "Meier"},
      {"Von Weizs\xE4"
       "cker",
       "Von Weizsacker"},
      {"von Weizs\xE4"
       "cker",
       "v. Weizsacker"},
      {"Marktplatz", "Marktpl."},
      {"MARKTPLATZ", "MARKTPLATZ"},
      {"\xE9t\xE9", "ete"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(NormalizeText(c.input, false), c.expected) << c.input;
  }
}

TEST(NormalizeTest, CharMap) {
  const auto& map = NormalizationCharMap();
  const struct {
    unsigned char in, out;
  } kEntries[] = {
      {0xC0, 'A'},  {0xC6, 'A'},  {0xC7, 'C'},  {0xCB, 'E'},  {0xCF, 'I'},
      {0xD0, 0xD0}, {0xD1, 'N'},  {0xD6, 'O'},  {0xD7, 0xD7}, {0xD8, 'O'},
      {0xDC, 'U'},  {0xDD, 'Y'},  {0xDE, 'Y'},  {0xDF, 0xDF}, {0xE6, 'a'},
      {0xF0, 0xF0}, {0xF7, 0xF7}, {0xF8, 'o'},  {0xFF, 'y'},  {0xB4, ' '},
      {0xB5, 0xB5}, {0xB7, ' '},  {0x80, 0x80}, {'-', ' '},   {'\\', ' '},
      {'\'', ' '},  {'~', ' '},   {'.', '.'},   {'&', '&'},   {'+', '+'},
      {'@', '@'},   {'\t', '\t'}, {'a', 'a'},   {'Z', 'Z'},   {'0', '0'},
  };
  for (const auto& e : kEntries) {
    EXPECT_EQ(map[e.in], e.out) << static_cast<int>(e.in);
  }
}

TEST(NormalizeTest, IntoReusesCapacityAndAcceptsItsOwnBuffer) {
  std::string out;
  out.reserve(128);
  bool first_ok = false;
  bool second_ok = false;
  int64_t allocations = 0;
  {
    platform::testing::FailingAllocatorScope counting(0);
    NormalizeTextInto("M\xFCller GmbH & Co. KG", true, &out);
    first_ok = out == "MULLER U.";
    NormalizeTextInto(
        "Hauptstra\xDF"
        "e 5",
        true, &out);
    second_ok = out == "HAUPTSTR. 5";
    allocations = counting.count();
  }
  EXPECT_EQ(allocations, 0);
  EXPECT_TRUE(first_ok);
  EXPECT_TRUE(second_ok);

  out =
      "Stra\xDF"
      "e & Platz";
  NormalizeTextInto(out, true, &out);
  EXPECT_EQ(out, "STR. U. PL.");
  out = "xx M\xFCller";
  NormalizeTextInto(std::string_view(out).substr(3), false, &out);
  EXPECT_EQ(out, "Muller");
}

// The steps done one after the other on whole strings, with nothing done in
// place: the in-place replacement must give the same keys. The rule lists
// are the library's own (the pinned cases above check their content).
std::string StepByStep(std::string_view text, bool uppercase) {
  auto upper = [](std::string s) {
    for (char& c : s) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return s;
  };

  std::string s;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool vowel =
        std::string_view("AOUaou").find(c) != std::string_view::npos;
    if (vowel && i + 1 < text.size() &&
        (text[i + 1] == 'e' || text[i + 1] == 'E')) {
      s += c;
      ++i;
    } else if (static_cast<unsigned char>(c) == 0xDF) {
      s += "ss";
    } else {
      s += static_cast<char>(
          NormalizationCharMap()[static_cast<unsigned char>(c)]);
    }
  }
  if (uppercase) s = upper(s);
  for (const NormalizationRule& rule : NormalizationRules(uppercase)) {
    const std::string pattern(rule.pattern);
    size_t from = 0;
    while (true) {
      const size_t at = rule.any_case ? upper(s).find(upper(pattern), from)
                                      : s.find(pattern, from);
      if (at == std::string::npos) break;
      s.replace(at, rule.pattern.size(), rule.replacement);
      from = at + rule.replacement.size();
    }
  }
  for (size_t at; (at = s.find("  ")) != std::string::npos;)
    s.replace(at, 2, " ");
  const char* kSpace = " \t\n\v\f\r";
  s.erase(0, s.find_first_not_of(kSpace) == std::string::npos
                 ? s.size()
                 : s.find_first_not_of(kSpace));
  s.erase(s.find_last_not_of(kSpace) + 1);
  return s;
}

TEST(NormalizeTest, MatchesStepByStepOnRandomTokenStrings) {
  const std::string_view kTokens[] = {
      "STRASSE", "strasse", "Stra\xDF", "e",    "E",     "street", "STREET",
      "gasse",   "GASSE",   " & ",      " + ",  "&",     "+",      "http",
      "HTTP",    "www.",    "WWW.",     ".",    " ",     "  ",     "\t",
      "-",       "ae",      "AE",       "oE",   "U",     "\xFC",   "\xC4",
      "gmbh",    "GmbH",    "gbr",      " ag",  " AG",   " kg",    "Kg",
      " ltd.",   " co.",    "CO.",      ".com", ".de",   ".NET",   "prof.",
      "PROF.",   "dr.",     "Dr.",      "med.", "dipl.", "ing.",   "platz",
      "PLATZ",   "von ",    "VON ",     "x",    "A",     "g",      "st",
      "r",       "\xB7"};
  std::mt19937 rng(31337);
  std::uniform_int_distribution<size_t> pick(0, std::size(kTokens) - 1);
  std::uniform_int_distribution<int> count(0, 14);
  std::string out;
  for (int round = 0; round < 20000; ++round) {
    std::string input;
    for (int k = count(rng); k > 0; --k) input += kTokens[pick(rng)];
    for (bool uppercase : {true, false}) {
      NormalizeTextInto(input, uppercase, &out);
      ASSERT_EQ(out, StepByStep(input, uppercase))
          << "uppercase=" << uppercase << " input=[" << input << "]";
    }
  }
}

}  // namespace
}  // namespace vexlor

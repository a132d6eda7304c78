#include "vexlor/strings/pattern_compare.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "tests/reference/pattern_compare_reference.h"
#include "tests/reference/pattern_generator.h"

namespace vexlor {
namespace {

using reference::PatternAlternative;
using reference::PatternPosition;

struct SearchCase {
  std::string_view text;
  std::string_view pattern;
  bool ignore_case;
  int32_t want;
};

TEST(CompareStringsTest, Examples) {
  const SearchCase kCases[] = {
      // Plain words: substitution and a missing pattern character cost 1.
      {"Hello World", "World", false, 0},
      {"Hello World", "world", false, 1},
      {"Hello World", "world", true, 0},
      {"Hello World", "Wrld", false, 1},
      {"Hello World", "Wxrld", false, 1},
      {"Hello World", "xyz", false, 3},
      {"abc", "abcdefghijklmnop", false, 8},
      // An extra text byte costs 2, a missing one 1.
      {"abxcd", "abcd", false, 2},
      {"abcd", "abxcd", false, 1},
      // Classes and ?.
      {"Meier", "M[ae][iy]er", false, 0},
      {"Mayer", "M[ae][iy]er", false, 0},
      {"Maier", "M?ier", false, 0},
      {"Muller", "M[^ae]ller", false, 0},
      {"Maller", "M[^ae]ller", false, 1},
      {"Hallo", "H[f-a]llo", false, 0},
      {"Hxllo", "H[!a-f]llo", false, 0},
      {"Hallo", "H[!a-f]llo", false, 1},
      {"H-llo", "H[a\\-]llo", false, 0},
      {"a-b", "a-b", false, 0},
      {"x^y!z", "x^y!z", false, 0},
      {"x]y", "x[\\]]y", false, 0},
      {"x.y", "x[a--]y", false, 0},  // the range runs from - to a
      {"x,y", "x[a--]y", false, 1},
      {"|", "[*?{}|]", false, 0},
      {"?", "[*?{}|]", false, 0},
      {"c", "[a-c-e]", false, 0},
      {"e", "[a-c-e]", false, 0},
      {"a*b", "a\\*b", false, 0},
      {"axb", "a\\*b", false, 1},
      // Byte 0 is never taken by ? or a class, only by a literal 0.
      {std::string_view("\0", 1), "?", false, 1},
      {std::string_view("\0", 1), "[^a]", false, 1},
      {std::string_view("\0", 1), std::string_view("\0", 1), false, 0},
      // Sequence wildcard.
      {"abxxc", "a*bc", false, 0},
      {"axxbc", "a*bc", false, 1},
      {"axxb", "a*b", false, 1},
      {"abxxc", "a**bc", false, 0},
      {"axxbc", "a**bc", false, 1},
      {"xabc", "*abc", false, 0},
      {"abxxc", "*abc", false, 1},
      {"abxxc", "a*{b}c", false, 0},
      {"ab", "ab*", false, 0},
      // Alternatives and braces.
      {"Smith", "Smith|Schmidt", false, 0},
      {"Schmidt", "Smith|Schmidt", false, 0},
      {"Schmid", "Smith|Schmidt", false, 1},
      {"Smyth", "{Sm}ith", false, 1},
      {"Snith", "{Sm}ith", false, 8},
      {"xy", "{}|xy", false, 0},
      {"xy", "*|xy", false, 0},
      {"xy", "xy|{}", false, 0},
      // Positions without a pattern, and the lone ?.
      {"abc", "{}", false, 8},
      {"abc", "*", false, 8},
      {"abc", "?", false, 0},
      // Case folding is ASCII only.
      {"\xE4", "\xC4", true, 1},
      {"b", "[A-C]", true, 0},
  };
  for (const SearchCase& c : kCases) {
    EXPECT_EQ(CompareStrings(c.text, c.pattern, c.ignore_case), c.want)
        << "text \"" << c.text << "\" pattern \"" << c.pattern << "\""
        << (c.ignore_case ? " ignoring case" : "");
  }
}

TEST(CompareStringsTest, EmptyTextAndPattern) {
  const SearchCase kCases[] = {
      {"", "abc", false, 3},
      {"", "[a-", false, 3},  // the empty text is checked before validity
      {"", "", false, 0},
      {"", "{}", false, 2},
      {"abc", "", false, 3},
      {"Hello World", "", true, 11},
  };
  for (const SearchCase& c : kCases) {
    EXPECT_EQ(CompareStrings(c.text, c.pattern, c.ignore_case), c.want)
        << "text \"" << c.text << "\" pattern \"" << c.pattern << "\"";
    CompiledPattern compiled = CompiledPattern::Compile(c.pattern, false);
    EXPECT_EQ(compiled.Search(c.text), c.want);
    EXPECT_EQ(compiled.SearchUpTo(c.text, 1), std::min<int32_t>(c.want, 2));
  }
}

TEST(CompareStringsTest, InvalidPatterns) {
  struct InvalidCase {
    std::string pattern;
    std::string_view error;
    size_t offset;
  };
  const InvalidCase kCases[] = {
      {"[a-", "unterminated character class", 3},
      {"a]", "']' without '['", 1},
      {"{a", "'{' without '}'", 2},
      {"|a", "'|' at the start of the pattern", 0},
      {"a|", "'|' at the end of the pattern", 2},
      {"[]", "empty character class", 1},
      {"[^]", "empty character class", 2},
      {"a\\", "'\\' at the end of the pattern", 1},
      {"[a\\", "'\\' at the end of the pattern", 2},
      {"[a-]", "unfinished range in a character class", 3},
      {"[-a]", "'-' at the start of a character class", 1},
      {"[!-a]", "'-' at the start of a character class", 2},
      {"[a[b]", "'[' inside a character class", 2},
      {"}", "'}' without '{'", 0},
      {"a}", "'}' without '{'", 1},
      {"{a{b}}", "nested '{'", 2},
      {"{a|b}", "'|' inside braces", 2},
      {std::string(32, 'a'), "more than 31 positions", 31},
      {std::string(31, '?') + "[x]", "more than 31 positions", 33},
  };
  for (const InvalidCase& c : kCases) {
    CompiledPattern compiled = CompiledPattern::Compile(c.pattern, false);
    EXPECT_FALSE(compiled.valid()) << c.pattern;
    EXPECT_EQ(compiled.error(), c.error) << c.pattern;
    EXPECT_EQ(compiled.error_offset(), c.offset) << c.pattern;
    EXPECT_EQ(compiled.positions(), 0) << c.pattern;
    EXPECT_EQ(compiled.Search("abc"), -1) << c.pattern;
    EXPECT_EQ(compiled.SearchUpTo("abc", 0), -1) << c.pattern;
    EXPECT_EQ(CompareStrings("abc", c.pattern, true), -1) << c.pattern;
  }
}

TEST(CompareStringsTest, PositionCount) {
  struct CountCase {
    std::string pattern;
    int positions;
  };
  const CountCase kCases[] = {
      {"", 0},
      {"{}", 0},
      {"*", 0},
      {"a*b", 2},
      {"[a-z]?\\*", 3},
      {"{ab}|c", 3},
      {"^!-", 3},
      {std::string(31, 'a'), 31},
      {std::string(30, 'a') + "[xy]**{}", 31},
  };
  for (const CountCase& c : kCases) {
    CompiledPattern compiled = CompiledPattern::Compile(c.pattern, false);
    EXPECT_TRUE(compiled.valid()) << c.pattern << ": " << compiled.error();
    EXPECT_EQ(compiled.error(), "");
    EXPECT_EQ(compiled.positions(), c.positions) << c.pattern;
  }
  const std::string p31(31, 'a');
  EXPECT_EQ(CompareStrings(p31, p31, false), 0);
  EXPECT_EQ(CompareStrings("b" + p31.substr(1), p31, false), 1);
}

// Alternatives are searched independently: the first position of a later
// alternative may be wrong or missing like that of the first, and a * does
// not reach across |.
TEST(CompareStringsTest, AlternativesAreIndependent) {
  const SearchCase kCases[] = {
      {"Xchmidt", "Smith|Schmidt", false, 1},
      {"Xchmidt", "Schmidt|Smith", false, 1},
      {"Xmith", "Smith|Schmidt", false, 1},
      {"Xmith", "Schmidt|Smith", false, 1},
      {"cxxde", "ab*|cde", false, 1},
      {"cxxde", "ab|cde", false, 1},
      {"bxxcd", "a|*bcd", false, 1},
      {"bxxcd", "a|bcd", false, 1},
  };
  for (const SearchCase& c : kCases) {
    EXPECT_EQ(CompareStrings(c.text, c.pattern, c.ignore_case), c.want)
        << "text \"" << c.text << "\" pattern \"" << c.pattern << "\"";
  }
}

// Ignoring case, a negated class excludes both cases of the letters it names.
TEST(CompareStringsTest, NegatedClassIgnoringCase) {
  const SearchCase kCases[] = {
      {"Muller", "M[^ae]ller", true, 0},  {"MULLER", "M[^ae]ller", true, 0},
      {"Maller", "M[^ae]ller", true, 1},  {"MALLER", "M[^ae]ller", true, 1},
      {"MALLER", "M[^A-E]ller", true, 1}, {"Mxller", "M[^A-E]ller", true, 0},
  };
  for (const SearchCase& c : kCases) {
    EXPECT_EQ(CompareStrings(c.text, c.pattern, c.ignore_case), c.want)
        << "text \"" << c.text << "\" pattern \"" << c.pattern << "\"";
  }
}

// --- Seeded random patterns, rendered as text and checked against the plain
// cost table on their positions.

// A seeded source of choices for the pattern generator.
struct SeededChoice {
  std::mt19937 rng;
  int operator()(int lo, int hi) {
    return std::uniform_int_distribution<int>(lo, hi)(rng);
  }
};
using PatternGenerator = reference::PatternGenerator<SeededChoice>;

TEST(CompareStringsTest, MatchesReferenceOnRandomPatterns) {
  for (bool ignore_case : {false, true}) {
    PatternGenerator generator(
        SeededChoice{std::mt19937(ignore_case ? 7321 : 1234)}, ignore_case);
    std::string pattern;
    std::vector<PatternAlternative> alternatives;
    for (int round = 0; round < 3000; ++round) {
      generator.Next(&pattern, &alternatives);
      const CompiledPattern compiled =
          CompiledPattern::Compile(pattern, ignore_case);
      ASSERT_TRUE(compiled.valid()) << pattern << ": " << compiled.error();
      for (int t = 0; t < 8; ++t) {
        const std::string text = generator.Text();
        const int32_t want = reference::PatternSearch(text, alternatives);
        ASSERT_EQ(compiled.Search(text), want)
            << "pattern \"" << pattern << "\" text \"" << text << "\""
            << (ignore_case ? " ignoring case" : "");
      }
    }
  }
}

// SearchUpTo keeps fewer state words and stops early; it must agree with the
// full search on every bound, also on texts long enough to need many errors.
TEST(CompareStringsTest, SearchUpToAgreesWithSearch) {
  PatternGenerator generator(SeededChoice{std::mt19937(99)}, false);
  std::mt19937 rng(4242);
  std::string pattern;
  std::vector<PatternAlternative> alternatives;
  for (int round = 0; round < 3000; ++round) {
    generator.Next(&pattern, &alternatives);
    const bool ignore_case = rng() % 2 == 0;
    const CompiledPattern compiled =
        CompiledPattern::Compile(pattern, ignore_case);
    std::string text = generator.Text();
    if (rng() % 4 == 0) text += generator.Text() + generator.Text();
    const int32_t full = compiled.Search(text);
    EXPECT_EQ(CompareStrings(text, pattern, ignore_case), full) << pattern;
    for (int k = 0; k <= kMaxPatternErrors; ++k) {
      ASSERT_EQ(compiled.SearchUpTo(text, k), std::min(full, k + 1))
          << "pattern \"" << pattern << "\" text \"" << text << "\" k " << k;
    }
  }
  const CompiledPattern abc = CompiledPattern::Compile("abc", false);
  EXPECT_EQ(abc.SearchUpTo("xyz", -3), 1);  // bounds are clamped to 0..7
  EXPECT_EQ(abc.SearchUpTo("xyz", 100), 3);
  EXPECT_EQ(CompiledPattern::Compile("abcdefghij", false).SearchUpTo("x", 100),
            8);
}

}  // namespace
}  // namespace vexlor

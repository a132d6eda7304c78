#include "vexlor/strings/soundex.h"

#include <random>
#include <string>

#include "gtest/gtest.h"
#include "tests/reference/soundex_reference.h"

namespace vexlor {
namespace {

struct SoundexCase {
  std::string name;
  int length;
  bool firstchar;
  std::string code;
};

TEST(SoundexTest, Table) {
  const SoundexCase kCases[] = {
      // Kept first letter, lower case.
      {"Robert", 4, false, "r163"},
      {"Rupert", 4, false, "r163"},
      {"ROBERT", 4, false, "r163"},
      {"Ashcraft", 4, false, "a261"},
      {"Lee", 4, false, "l000"},
      // Vowels do not separate letters of one group.
      {"Tymczak", 4, false, "t520"},
      {"Bobo", 4, false, "b100"},
      // The kept letter does not suppress its own group.
      {"Pfister", 4, false, "p123"},
      {"Bb", 4, false, "b100"},
      // All-digit form.
      {"Robert", 4, true, "6163"},
      {"Lee", 4, true, "4000"},
      {"Pfister", 4, true, "1236"},
      {"Tymczak", 4, true, "3520"},
      // Lengths.
      {"Robert", 0, false, ""},
      {"Robert", -1, true, ""},
      {"Robert", -32768, false, ""},
      {"Robert", 1, false, "r"},
      {"Robert", 1, true, "6"},
      {"Robert", 2, false, "r1"},
      {"Washington", 9, false, "w25235000"},
      {"Washington", 10, false, "w252350000"},
      {"Washington", 10, true, "2523500000"},
      // Empty input.
      {"", 4, false, ""},
      {"", 4, true, "0000"},
      {"", 0, true, ""},
      // Only ASCII letters have codes; any first byte is kept as it is.
      {"1234", 4, false, "1000"},
      {"\xC9mile", 4, false, "\311540"},  // É540
      {"B\xE9r\xE9nice", 4, false, "b652"},
      {"O'Brien, Pat", 6, false, "o16513"},
      {std::string("a\0b", 3), 4, false, "a100"},
      // The kept byte is the previous code itself, so a kept digit equal to
      // a group's digit hides that group once.
      {"1bb", 4, false, "1000"},
  };
  for (const SoundexCase& c : kCases) {
    EXPECT_EQ(Soundex(c.name, c.length, c.firstchar), c.code)
        << c.name << " length " << c.length << " firstchar " << c.firstchar;
  }
}

TEST(SoundexTest, CodesOnlyTheFirst254Bytes) {
  const std::string silent(253, 'a');
  EXPECT_EQ(Soundex(silent + "b", 4, true), "1000");
  EXPECT_EQ(Soundex(silent + "ab", 4, true), "0000");
  EXPECT_EQ(Soundex(std::string(10000, 'a') + "b", 4, false), "a000");
}

TEST(SoundexTest, LongCodesArePadded) {
  const std::string code = Soundex("Robert", 32767, false);
  ASSERT_EQ(code.size(), 32767u);
  EXPECT_EQ(code.substr(0, 4), "r163");
  EXPECT_EQ(code.find_first_not_of('0', 4), std::string::npos);

  // A code can be longer than the 254 coded bytes give digits for.
  std::string alternating;
  for (int i = 0; i < 300; ++i) alternating += "bd";
  std::string expected;
  for (int i = 0; i < 127; ++i) expected += "13";
  expected += std::string(46, '0');
  EXPECT_EQ(Soundex(alternating, 300, true), expected);
  EXPECT_EQ(Soundex(std::string(10000, 'b'), 254, true),
            "1" + std::string(253, '0'));
}

TEST(SoundexTest, MatchesReferenceOnRandomBytes) {
  std::mt19937 rng(20240607);
  const std::string alphabet =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ  ,-'019";
  const int kLengths[] = {-1, 0, 1, 2, 3, 4, 5, 6, 9, 10, 254, 32767};
  for (int i = 0; i < 20000; ++i) {
    std::string name(rng() % 16 == 0 ? rng() % 400 : rng() % 14, ' ');
    for (char& c : name) {
      c = rng() % 8 == 0 ? static_cast<char>(rng() % 256)
                         : alphabet[rng() % alphabet.size()];
    }
    const int length = kLengths[rng() % 12];
    const bool firstchar = rng() % 2 == 0;
    ASSERT_EQ(Soundex(name, length, firstchar),
              reference::Soundex(name, length, firstchar))
        << name << " length " << length << " firstchar " << firstchar;
  }
}

}  // namespace
}  // namespace vexlor

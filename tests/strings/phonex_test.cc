#include "vexlor/strings/phonex.h"

#include <random>
#include <string>

#include "gtest/gtest.h"
#include "tests/reference/phonex_reference.h"

namespace vexlor {
namespace {

struct PhonexCase {
  std::string name;
  int length;
  std::string code;
};

TEST(PhonexTest, Table) {
  const PhonexCase kCases[] = {
      {"Peters", 4, "B360"},
      {"Knight", 4, "N230"},
      {"Harry", 4, "A600"},
      {"Wright", 4, "R623"},
      {"Philip", 4, "F410"},
      {"peters", 4, "B360"},
      {"kNiGhT", 4, "N230"},
      // Coding stops at the first blank or comma.
      {"John Smith", 4, "G500"},
      {"Smith,John", 4, "S530"},
      {"Carl Smith", 4, "C000"},  // L before the blank: no vowel, no end
      {"Carl", 4, "C400"},
      // Trailing S.
      {"S", 4, "S000"},
      {"SS", 4, "S000"},
      {"Jones", 4, "G500"},
      {"Ellis", 4, "A400"},
      // Leading H.
      {"H", 4, ""},
      {"HS", 4, ""},
      {"HH", 4, "H000"},
      {"H S", 4, " 000"},
      // Leading letters.
      {"Yates", 4, "A300"},
      {"Vance", 4, "F520"},
      {"Quinn", 4, "C500"},
      {"Kuhn", 4, "C500"},
      {"Zola", 4, "S400"},
      // The previous code.
      {"Bob", 4, "B100"},
      {"BB", 4, "B000"},
      {"BLB", 4, "B000"},    // L gives no new code and keeps B's
      {"Bobby", 4, "B100"},  // later vowels do not separate
      // Look-ahead codes.
      {"Adcock", 4, "A200"},  // D before C
      {"Andy", 4, "A500"},    // ND codes as one N
      {"Ball", 4, "B400"},
      {"Bert", 4, "B300"},
      // Lengths.
      {"Peters", 0, ""},
      {"Peters", -1, ""},
      {"Peters", 1, "B"},
      {"Peters", 2, "B3"},
      {"Peters", 9, "B36000000"},
      {"Peters", 10, "B360000000"},
      {"", 4, ""},
      // Other bytes.
      {" John", 4, " 000"},
      {"\xC9mile", 4, "\311540"},     // É540
      {"B\xE9r\xE9nice", 4, "B520"},  // accented vowels are not vowels
      {"4711", 4, "4000"},
      {std::string("B\0B", 3), 4, "B100"},
  };
  for (const PhonexCase& c : kCases) {
    EXPECT_EQ(Phonex(c.name, c.length), c.code)
        << c.name << " length " << c.length;
  }
}

TEST(PhonexTest, CodesOnlyTheFirst254Bytes) {
  const std::string vowels(253, 'A');
  EXPECT_EQ(Phonex(vowels + "B", 4), "A100");
  EXPECT_EQ(Phonex(vowels + "AB", 4), "A000");
  // The trailing S is looked for at the end of the coded part.
  EXPECT_EQ(Phonex(vowels + "SB", 4), "A000");
  EXPECT_EQ(Phonex(std::string(10000, 'b'), 4), "B000");
}

TEST(PhonexTest, LongCodesArePadded) {
  const std::string code = Phonex("Peters", 32767);
  ASSERT_EQ(code.size(), 32767u);
  EXPECT_EQ(code.substr(0, 4), "B360");
  EXPECT_EQ(code.find_first_not_of('0', 4), std::string::npos);

  std::string alternating;
  for (int i = 0; i < 300; ++i) alternating += "BK";
  std::string expected = "B";
  for (int i = 0; i < 126; ++i) expected += "21";
  expected += "2";
  EXPECT_EQ(Phonex(alternating, 254), expected);
}

TEST(PhonexTest, MatchesReferenceOnRandomBytes) {
  std::mt19937 rng(4242);
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZaeinrst  ,SSSHHH";
  const int kLengths[] = {-1, 0, 1, 2, 3, 4, 5, 6, 9, 10, 254, 32767};
  for (int i = 0; i < 50000; ++i) {
    std::string name(rng() % 16 == 0 ? rng() % 400 : rng() % 12, ' ');
    for (char& c : name) {
      c = rng() % 10 == 0 ? static_cast<char>(rng() % 256)
                          : alphabet[rng() % alphabet.size()];
    }
    const int length = kLengths[rng() % 12];
    ASSERT_EQ(Phonex(name, length), reference::Phonex(name, length))
        << name << " length " << length;
  }
}

}  // namespace
}  // namespace vexlor

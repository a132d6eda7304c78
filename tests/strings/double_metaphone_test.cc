#include "vexlor/strings/double_metaphone.h"

#include <random>
#include <string>

#include "gtest/gtest.h"

namespace vexlor {
namespace {

struct KeyCase {
  std::string name;
  int length;
  std::string key;
};

// These keys pin the rule variant down.
TEST(DoubleMetaphoneTest, PinnedKeys) {
  const KeyCase kCases[] = {
      {"Smith", 4, "SM0"},       {"Schmidt", 4, "XMT"},
      {"Thompson", 4, "TMPS"},   {"Xavier", 4, "SF"},
      {"Jose", 4, "HS"},         {"San Jacinto", 4, "SNHS"},
      {"Michael", 4, "MKL"},     {"McHugh", 4, "MK"},
      {"Knight", 4, "NT"},       {"Caesar", 4, "SSR"},
      {"Gough", 4, "KF"},        {"Hugh", 4, "H"},
      {"Edge", 4, "AJ"},         {"Edgar", 4, "ATKR"},
      {"Czerny", 4, "SRN"},      {"Wasserman", 4, "ASRM"},
      {"Arnow", 4, "ARN"},       {"Filipowicz", 4, "FLPT"},
      {"Breaux", 4, "PR"},       {"Zhao", 4, "J"},
      {"Rogier", 4, "RJ"},       {"Tagliaro", 4, "TKLR"},
      {"Cabrillo", 4, "KPRL"},   {"Accident", 4, "AKST"},
      {"Bacchus", 4, "PKS"},     {"Bellocchio", 4, "PLX"},
      {"Campbell", 4, "KMPL"},   {"Thumb", 4, "0M"},
      {"Dumb", 4, "TM"},         {"Island", 4, "ALNT"},
      {"Sugar", 4, "XKR"},       {"Mac Caffrey", 4, "MKFR"},
      {"Ghislane", 4, "JLN"},    {"Cagney", 4, "KKN"},
      {"Chianti", 4, "KNT"},     {"Orchestra", 4, "ARKS"},
      {"Architect", 4, "ARKT"},  {"Smith-Jones", 4, "SM0J"},
      {"Accident", 8, "AKSTNT"}, {"Filipowicz", 8, "FLPTS"},
      {"Thompson", 8, "TMPSN"},  {"Orchestra", 8, "ARKSTR"},
  };
  for (const KeyCase& c : kCases) {
    EXPECT_EQ(DoubleMetaphone(c.name, c.length), c.key)
        << c.name << " length " << c.length;
  }
}

// One name for most rules not covered above, traced by hand.
TEST(DoubleMetaphoneTest, Rules) {
  const KeyCase kCases[] = {
      {"Resnais", 8, "RSN"},  // silent French final S
      {"Artois", 8, "ART"},
      {"Gallegos", 8, "KLKS"},
      {"School", 8, "SKL"},  // Dutch SCH
      {"Schenker", 8, "XNKR"},
      {"Wachtler", 8, "AKTLR"},   // Germanic ACH
      {"Chemistry", 8, "KMSTR"},  // Greek CH
      {"Chore", 8, "XR"},
      {"Tichner", 8, "TXNR"},
      {"Hochmeier", 8, "HKMR"},  // final R kept after MEIE
      {"Focaccia", 8, "FKX"},
      {"Bertucci", 8, "PRTX"},
      {"Accede", 8, "AKST"},
      {"Succeed", 8, "SKST"},
      {"McClellan", 8, "MKLLN"},
      {"Bajador", 8, "PJTR"},
      {"Jankelowicz", 8, "JNKLTS"},
      {"Biaggi", 8, "PJ"},
      {"Danger", 8, "TNJR"},
      {"Gerber", 8, "KRPR"},
      {"Ghiradelli", 8, "JRTL"},
      {"Laugh", 8, "LF"},
      {"Gnome", 8, "NM"},
      {"Womo", 8, "AM"},
      {"Uomo", 8, "AM"},
      {"Thomas", 8, "TMS"},
      // Ç and Ñ, also lower-case; other accented letters add nothing.
      {"Fran\xC7ois", 8, "FRNS"},
      {"fran\xE7ois", 8, "FRNS"},
      {"Mu\xD1oz", 8, "MNS"},
      {"mu\xF1oz", 8, "MNS"},
      {"\xC9mile", 8, "ML"},
      {"L\xF6we", 8, "L"},
      {"O'Neil 3rd", 8, "ANLRT"},
  };
  for (const KeyCase& c : kCases) {
    EXPECT_EQ(DoubleMetaphone(c.name, c.length), c.key)
        << c.name << " length " << c.length;
  }
}

TEST(DoubleMetaphoneTest, LengthsAndEmptyInput) {
  const KeyCase kCases[] = {
      {"", 4, ""},         {"", 0, ""},          {"", 32767, ""},
      {"Smith", 0, ""},    {"Smith", -1, ""},    {"Smith", -32768, ""},
      {"Smith", 1, "S"},   {"Smith", 2, "SM"},   {"Hugh", 1, "H"},
      {"Hugh", 9, "H"},    {"Zhao", 32767, "J"}, {"Accident", 5, "AKSTN"},
      {"Edgar", 2, "AT"},  // a two-letter code is cut in the middle
      {"smith", 4, "SM0"}, {"SMITH", 4, "SM0"},
  };
  for (const KeyCase& c : kCases) {
    EXPECT_EQ(DoubleMetaphone(c.name, c.length), c.key)
        << c.name << " length " << c.length;
  }
}

TEST(DoubleMetaphoneTest, LongNames) {
  // No cut-off at 254 bytes: the last letter still counts.
  EXPECT_EQ(DoubleMetaphone(std::string(10000, 'a') + "b", 32767), "AP");
  // Up to two characters per byte, never more.
  const std::string xs(10000, 'X');
  const std::string key = DoubleMetaphone(xs, 32767);
  EXPECT_EQ(key.size(), 1 + 2 * (9999 / 2) + 2 * (9999 % 2));
  EXPECT_EQ(key.substr(0, 5), "SKSKS");
  EXPECT_EQ(DoubleMetaphone(xs, 254).size(), 254u);
}

TEST(DoubleMetaphoneTest, AnyBytesGiveAtMostLengthCharacters) {
  std::mt19937 rng(99);
  for (int length : {0, 1, 4, 9, 10, 254, 32767}) {
    for (int i = 0; i < 200; ++i) {
      std::string name(rng() % 400, ' ');
      for (char& c : name) c = static_cast<char>(rng() % 256);
      const std::string key = DoubleMetaphone(name, length);
      ASSERT_LE(key.size(), static_cast<size_t>(length));
      ASSERT_LE(key.size(), 2 * name.size());
      ASSERT_EQ(key.find_first_not_of("0AFHJKLMNPRSTX"), std::string::npos);
    }
  }
}

std::string RandomName(std::mt19937& rng) {
  static const std::string kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZAEIOUCHSGHTWZ  -\xC7\xD1\xC9";
  std::string name(rng() % 16, ' ');
  for (char& c : name) {
    c = rng() % 12 == 0 ? static_cast<char>(rng() % 256)
                        : kAlphabet[rng() % kAlphabet.size()];
  }
  return name;
}

// Windows-1252 lower case of the letters that the upper-case mapping knows.
std::string ToLower1252(std::string s) {
  for (char& ch : s) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) {
      ch = static_cast<char>(c + 32);
    }
  }
  return s;
}

// A shorter key is always a prefix of a longer one, whatever the name: the
// coding may stop as soon as `length` characters exist.
TEST(DoubleMetaphoneTest, ShorterKeysArePrefixes) {
  std::mt19937 rng(77);
  for (int i = 0; i < 20000; ++i) {
    const std::string name = RandomName(rng);
    const std::string full = DoubleMetaphone(name, 32767);
    ASSERT_LE(full.size(), 2 * name.size()) << name;
    const int length = static_cast<int>(rng() % 10);
    ASSERT_EQ(DoubleMetaphone(name, length), full.substr(0, length))
        << name << " length " << length;
  }
}

TEST(DoubleMetaphoneTest, IgnoresCase) {
  std::mt19937 rng(78);
  for (int i = 0; i < 20000; ++i) {
    const std::string name = RandomName(rng);
    ASSERT_EQ(DoubleMetaphone(ToLower1252(name), 8), DoubleMetaphone(name, 8))
        << name;
  }
}

}  // namespace
}  // namespace vexlor

#include "vexlor/text.h"

#include <gtest/gtest.h>

namespace vexlor::platform {
namespace {

TEST(TextTest, Utf8ToAnsiKeepsWindows1252AndTransliteratesTheRest) {
  struct Case {
    const char* utf8;
    const char* ansi;
  } cases[] = {
      {"", ""},
      {"Müller", "M\xFCller"},
      {"Straße",
       "Stra\xDF"
       "e"},
      {"€ – “quoted”", "\x80 \x96 \x93quoted\x94"},
      {"Łódź",
       "L\xF3"
       "dz"},
      {"Kraków, ul. Żółta", "Krak\xF3w, ul. Z\xF3lta"},
      {"İstanbul Şişli", "Istanbul Sisli"},
      {"Ő", "O"},
#ifdef _WIN32
      // The system's best fit has no Latin form of Cyrillic.
      {"Иванов", "??????"},
#else
      {"Иванов", "Ivanov"},
      {"Πέτρος", "Petros"},
#endif
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8ToAnsi(c.utf8), c.ansi) << c.utf8;
  }
}

TEST(TextTest, DifferentNonLatinNamesStayDifferent) {
#ifdef _WIN32
  GTEST_SKIP() << "the system's best fit makes other scripts '?'";
#endif
  EXPECT_NE(Utf8ToAnsi("Иванов"), Utf8ToAnsi("Петров"));
  EXPECT_EQ(Utf8ToAnsi("Иванов").find('?'), std::string::npos);
}

TEST(TextTest, EveryByteSurvivesTheRoundTripThroughUtf16) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(Utf16ToAnsi(AnsiToUtf16(all)), all);
}

TEST(TextTest, Utf8RoundTripAndInvalidInput) {
  std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text)), text);
  EXPECT_TRUE(IsValidUtf8(text));
  for (const char* bad :
       {"\xC3", "\xC3(", "\xE2\x82", "\xFF", "\xC0\x80", "\xED\xA0\x80"}) {
    EXPECT_FALSE(IsValidUtf8(bad)) << bad;
    EXPECT_EQ(Utf8ToUtf16(bad).find(u'\xFFFD'), 0u) << bad;
  }
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
}

TEST(TextTest, EmojiBecomesQuestionMark) {
  EXPECT_EQ(Utf8ToAnsi("a\xF0\x9F\x98\x80"
                       "b"),
            "a?b");
}

}  // namespace
}  // namespace vexlor::platform

#include "vexlor/platform/locale_text.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "vexlor/platform/testing/locale_data.h"
#include "vexlor/platform/testing/scoped_env.h"
#include "vexlor/text.h"

namespace vexlor::platform {
namespace {

using testing::ScopedEnv;

// Day number of a proleptic Gregorian date counted from 1899-12-30.
double Day(int y, unsigned m, unsigned d) {
  using namespace std::chrono;
  return static_cast<double>(
      (sys_days(year(y) / month(m) / day(d)) - sys_days(1899y / 12 / 30))
          .count());
}

std::string Date(const LocaleText& text, double days) {
  std::u16string out;
  if (!text.AppendDate(days, &out)) return "<none>";
  return Utf16ToUtf8(out);
}

std::string Currency(const LocaleText& text, int64_t value) {
  std::u16string out;
  text.AppendCurrency(value, &out);
  return Utf16ToUtf8(out);
}

TEST(LocaleTextTest, EnvironmentChoosesAllThenCategoryThenLang) {
  struct Case {
    const char* lc_all;
    const char* lc_time;
    const char* lc_monetary;
    const char* lang;
    const char* time;
    const char* monetary;
  } cases[] = {
      {nullptr, nullptr, nullptr, nullptr, "", ""},
      {nullptr, nullptr, nullptr, "fr_FR.UTF-8", "fr_FR.UTF-8", "fr_FR.UTF-8"},
      {nullptr, "de_DE", nullptr, "fr_FR", "de_DE", "fr_FR"},
      {nullptr, nullptr, "de_CH", "fr_FR", "fr_FR", "de_CH"},
      {"sv_SE", "de_DE", "de_CH", "fr_FR", "sv_SE", "sv_SE"},
      // Empty values count as unset.
      {"", "", "de_CH", "fr_FR", "fr_FR", "de_CH"},
  };
  for (const Case& c : cases) {
    ScopedEnv env({{"LC_ALL", c.lc_all},
                   {"LC_TIME", c.lc_time},
                   {"LC_MONETARY", c.lc_monetary},
                   {"LANG", c.lang}});
    EXPECT_EQ(EnvironmentLocaleName(LocaleCategory::kTime), c.time);
    EXPECT_EQ(EnvironmentLocaleName(LocaleCategory::kMonetary), c.monetary);
  }
}

TEST(LocaleTextTest, LocaleNamesInPosixFormAndDefaults) {
  struct Case {
    const char* name;
    const char* icu;
  } cases[] = {
      {"", "en_US"},
      {"C", "en_US"},
      {"POSIX", "en_US"},
      {"C.UTF-8", "en_US"},
      {"de_DE.UTF-8", "de_DE"},
      {"de_DE@euro", "de_DE"},
      {"de-CH", "de_CH"},
      {"sv_SE.ISO-8859-1", "sv_SE"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LocaleText(c.name).time_locale(), c.icu) << c.name;
  }
  LocaleText mixed("de_DE", "en_US");
  EXPECT_EQ(mixed.time_locale(), "de_DE");
  EXPECT_EQ(mixed.monetary_locale(), "en_US");
}

TEST(LocaleTextTest, CurrencyUsesTheDecimalMarkWithoutGroupingOrSymbol) {
  LocaleText en("en_US");
  LocaleText de("de_DE.UTF-8");
  struct Case {
    int64_t value;
    const char* en;
    const char* de;
  } cases[] = {
      {125000, "12.5", "12,5"},
      {30000, "3", "3"},
      {0, "0", "0"},
      {1, "0.0001", "0,0001"},
      {-1, "-0.0001", "-0,0001"},
      {-25000, "-2.5", "-2,5"},
      {12345678901234, "1234567890.1234", "1234567890,1234"},
      {std::numeric_limits<int64_t>::max(), "922337203685477.5807",
       "922337203685477,5807"},
      {std::numeric_limits<int64_t>::min(), "-922337203685477.5808",
       "-922337203685477,5808"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Currency(en, c.value), c.en) << c.value;
    EXPECT_EQ(Currency(de, c.value), c.de) << c.value;
  }
}

TEST(LocaleTextTest, DateTimeDateAloneAndTimeAlone) {
  LocaleText en("en_US");
  LocaleText de("de_DE");
  const double new_years_eve = Day(2023, 12, 31);
  struct Case {
    double days;
    const char* en;
    const char* de;
  } cases[] = {
      {new_years_eve + 0.5625, "12/31/2023 1:30:00 PM", "31.12.2023 13:30:00"},
      {new_years_eve, "12/31/2023", "31.12.2023"},
      // The date part zero: the time alone, midnight included.
      {0.5, "12:00:00 PM", "12:00:00"},
      {0.0, "12:00:00 AM", "00:00:00"},
      {-0.25, "6:00:00 AM", "06:00:00"},
      // Before day 0 the fraction still counts forward within the day.
      {-1.25, "12/29/1899 6:00:00 AM", "29.12.1899 06:00:00"},
      // Rounded to the second, into the next day when it comes to that.
      {new_years_eve + 0.99999999, "1/1/2024", "01.01.2024"},
      {new_years_eve + 1.0 / 86400 * 0.4, "12/31/2023", "31.12.2023"},
#ifndef _WIN32
      // Windows writes the year of its four-digit pattern as "0100".
      {Day(100, 1, 1), "1/1/100", "01.01.100"},
#endif
      {Day(9999, 12, 31) + 0.5, "12/31/9999 12:00:00 PM",
       "31.12.9999 12:00:00"},
      // Gregorian before 1582 too, as automation dates are.
      {Day(1500, 3, 1), "3/1/1500", "01.03.1500"},
  };
  const bool german = testing::GermanDatesAsPinned();
  for (const Case& c : cases) {
    EXPECT_EQ(Date(en, c.days), c.en) << c.days;
    if (german) {
      EXPECT_EQ(Date(de, c.days), c.de) << c.days;
    }
  }
}

TEST(LocaleTextTest, DatesOutsideTheCalendarHaveNoText) {
  LocaleText en("en_US");
  const double inf = std::numeric_limits<double>::infinity();
  for (double days : {std::nan(""), inf, -inf, Day(100, 1, 1) - 1,
                      Day(10000, 1, 1), Day(9999, 12, 31) + 0.999999999}) {
    std::u16string out = u"keep";
    EXPECT_FALSE(en.AppendDate(days, &out)) << days;
    EXPECT_EQ(out, u"keep");
  }
}

TEST(LocaleTextTest, DigitsAndCalendarStayWesternAndMarksGo) {
#ifdef _WIN32
  GTEST_SKIP() << "the user's locale settings choose digits and designators";
#endif
  // Locales whose own defaults are Arabic-Indic or Persian digits, the
  // Persian or Buddhist calendar, a two-digit year, direction marks or a
  // narrow no-break space before "PM".
  const double day = Day(2023, 12, 31) + 0.5625;
  for (const char* name :
       {"ar_EG", "fa_IR", "th_TH", "hi_IN", "ja_JP", "en_US", "sv_SE"}) {
    LocaleText text(name);
    std::string date = Date(text, day);
    std::string money = Currency(text, -125000);
    EXPECT_NE(date.find("2023"), std::string::npos) << name << " " << date;
    EXPECT_NE(date.find("30"), std::string::npos) << name << " " << date;
    EXPECT_NE(money.find("12"), std::string::npos) << name << " " << money;
    // Nothing that Windows-1252 lacks but a minus sign, which becomes '-'.
    std::string ansi = Utf8ToAnsi(money) + " " + Utf8ToAnsi(date);
    EXPECT_EQ(ansi.find('?'), std::string::npos) << name << " " << ansi;
    EXPECT_EQ(date.find("\u202F"), std::string::npos) << name;
    EXPECT_EQ(Utf8ToAnsi(money).substr(0, 3), "-12") << name;
  }
}

TEST(LocaleTextTest, FromEnvironmentFollowsTheCategories) {
#ifdef _WIN32
  GTEST_SKIP() << "the user's locale is the system's setting there";
#endif
  ScopedEnv env({{"LC_ALL", nullptr},
                 {"LC_TIME", "de_DE.UTF-8"},
                 {"LC_MONETARY", "en_US.UTF-8"},
                 {"LANG", "C"}});
  std::unique_ptr<LocaleText> text = LocaleText::FromEnvironment();
  EXPECT_EQ(Date(*text, Day(2023, 12, 31)), "31.12.2023");
  EXPECT_EQ(Currency(*text, 125000), "12.5");
}

}  // namespace
}  // namespace vexlor::platform

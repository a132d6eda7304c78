// Locale-aware text of date and currency values, for files that people
// open in a spreadsheet of their own locale.
//
// The locale is the user's or one given explicitly. Order of the date
// fields, separators and the decimal mark follow the locale. The platforms
// differ in where the user's locale comes from and who formats:
// - Linux (locale_text_icu.cc): the environment (LC_ALL, else LC_TIME for
//   dates or LC_MONETARY for currency, else LANG; "C", "POSIX" and unset
//   mean en_US), formatted with ICU's locale data, so no system locale has
//   to be generated. Digits and calendar are pinned (ASCII digits, the
//   Gregorian calendar), so that the text stays machine-readable.
// - Windows (locale_text_win.cc): the user's regional settings, formatted
//   by the OLE Automation conversions (VarBstrFromDate, VarBstrFromCy), so
//   a file reads as every other program's on that machine does; their
//   short date and long time formats are the user's choice.
#ifndef VEXLOR_PLATFORM_LOCALE_TEXT_H_
#define VEXLOR_PLATFORM_LOCALE_TEXT_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace vexlor::platform {

enum class LocaleCategory { kTime, kMonetary };

// Returns the locale name the environment chooses for `category`: the first
// non-empty one of LC_ALL, LC_TIME or LC_MONETARY, LANG; "" when none is set.
// The name is returned as found ("de_DE.UTF-8"). O(1).
std::string EnvironmentLocaleName(LocaleCategory category);

class LocaleText {
 public:
  // Formatters for the user's locales now: those the environment chooses
  // (Linux), the user's default locale (Windows).
  static std::unique_ptr<LocaleText> FromEnvironment();

  // Formatters for the given locale names: POSIX forms ("de_DE.UTF-8",
  // "de_DE@euro": the codeset and modifier are ignored), ICU ids or
  // Windows names ("de-CH", "sv_SE"). "", "C" and "POSIX" mean en_US. A
  // name the platform does not know falls back to ICU's root data
  // (ISO-like order) on Linux, to the invariant locale (month/day/year) on
  // Windows. Cost: building the ICU formatters, about a millisecond, on
  // Linux; keep one object for many values. Throws std::bad_alloc when
  // memory runs out.
  LocaleText(std::string_view time_locale, std::string_view monetary_locale);
  explicit LocaleText(std::string_view locale) : LocaleText(locale, locale) {}
  ~LocaleText();
  LocaleText(const LocaleText&) = delete;
  LocaleText& operator=(const LocaleText&) = delete;

  // Appends the text of a date value (days since 1899-12-30, the fraction
  // being the time of day, counted away from that day for negative values,
  // as automation dates are) to `out`, in UTF-16: the locale's short date
  // with a four-digit year and its time with seconds, joined by one blank;
  // the date alone when the time is midnight; the time alone when the date
  // part is zero (-1 < days < 1). Times are rounded to the second. Returns
  // false and appends nothing for NaN, infinities and values outside the
  // years 100 to 9999. On Windows the four-digit year is the user's short
  // date format's, which has one unless the user chose otherwise. Not
  // thread-safe (ICU formatters keep state). O(1).
  bool AppendDate(double days, std::u16string* out) const;

  // Appends the text of a currency value given in ten-thousandths: the
  // number with the locale's decimal mark and minus sign, no grouping, no
  // currency symbol, up to four decimals without trailing zeros
  // (125000 -> "12.5" in en_US, "12,5" in de_DE; 30000 -> "3"). Exact for
  // every 64-bit value. O(1).
  void AppendCurrency(int64_t ten_thousandths, std::u16string* out) const;

  // The locale names in use, for messages and tests ("de_DE").
  std::string time_locale() const;
  std::string monetary_locale() const;

 private:
  struct Formatters;
  std::unique_ptr<Formatters> formatters_;
};

namespace internal {

// Appends `text` with no-break spaces turned into blanks and direction
// marks dropped (both platforms' formatters insert them).
void AppendPlainText(std::u16string_view text, std::u16string* out);

}  // namespace internal

}  // namespace vexlor::platform

#endif  // VEXLOR_PLATFORM_LOCALE_TEXT_H_

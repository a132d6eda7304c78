// Locale-aware text of date and currency values, for files that people
// open in a spreadsheet of their own locale.
//
// The locale is the user's (LC_ALL, else LC_TIME for dates or LC_MONETARY
// for currency, else LANG; "C", "POSIX" and unset mean en_US) or one given
// explicitly, and ICU's locale data does the formatting, so no system locale
// has to be generated. Order of the date fields, separators and the decimal
// mark follow the locale; digits and calendar do not (always ASCII digits
// and the Gregorian calendar), so that the text stays machine-readable.
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
  // Formatters for the locales the environment chooses now.
  static std::unique_ptr<LocaleText> FromEnvironment();

  // Formatters for the given locale names: POSIX forms ("de_DE.UTF-8",
  // "de_DE@euro": the codeset and modifier are ignored) or ICU ids ("de-CH",
  // "sv_SE"). "", "C" and "POSIX" mean en_US; a name ICU does not know falls
  // back to ICU's root data (ISO-like order). Cost: building the ICU
  // formatters, about a millisecond; keep one object for many values.
  // Throws std::bad_alloc when memory runs out.
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
  // years 100 to 9999. Not thread-safe (ICU formatters keep state). O(1).
  bool AppendDate(double days, std::u16string* out) const;

  // Appends the text of a currency value given in ten-thousandths: the
  // number with the locale's decimal mark and minus sign, no grouping, no
  // currency symbol, up to four decimals without trailing zeros
  // (125000 -> "12.5" in en_US, "12,5" in de_DE; 30000 -> "3"). Exact for
  // every 64-bit value. O(1).
  void AppendCurrency(int64_t ten_thousandths, std::u16string* out) const;

  // The ICU locale ids in use, for messages and tests ("de_DE").
  std::string time_locale() const;
  std::string monetary_locale() const;

 private:
  struct Formatters;
  std::unique_ptr<Formatters> formatters_;
};

}  // namespace vexlor::platform

#endif  // VEXLOR_PLATFORM_LOCALE_TEXT_H_

#include <unicode/datefmt.h>
#include <unicode/gregocal.h>
#include <unicode/locid.h>
#include <unicode/numberformatter.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <cmath>
#include <cstdio>
#include <new>

#include "vexlor/platform/locale_text.h"

namespace vexlor::platform {

namespace {

// Day number of 1970-01-01 counted from 1899-12-30, and the range of days
// that automation dates cover (100-01-01 to 9999-12-31).
constexpr int64_t kUnixEpochDay = 25569;
constexpr int64_t kFirstDay = -657434;
constexpr int64_t kLastDay = 2958465;
constexpr int64_t kSecondsPerDay = 86400;

// The ICU locale of a POSIX or ICU locale name, with the digits and
// calendar pinned (see the header).
icu::Locale MakeLocale(std::string_view name) {
  size_t end = name.find_first_of(".@");
  std::string base(name.substr(0, end));
  if (base.empty() || base == "C" || base == "POSIX") base = "en_US";
  icu::Locale locale = icu::Locale::createCanonical(base.c_str());
  UErrorCode status = U_ZERO_ERROR;
  locale.setKeywordValue("calendar", "gregorian", status);
  status = U_ZERO_ERROR;
  locale.setKeywordValue("numbers", "latn", status);
  return locale;
}

// Short date patterns of many locales carry a two-digit year ("M/d/yy"),
// which a file read back decades later cannot place; "y" prints the year
// in full. Quoted literal text is left alone.
icu::UnicodeString WidenYear(const icu::UnicodeString& pattern) {
  icu::UnicodeString out;
  bool quoted = false;
  int32_t n = pattern.length();
  for (int32_t i = 0; i < n;) {
    char16_t c = pattern.charAt(i);
    if (c == u'\'') {
      quoted = !quoted;
      out.append(c);
      ++i;
      continue;
    }
    if (!quoted && c == u'y') {
      int32_t run = 0;
      while (i + run < n && pattern.charAt(i + run) == u'y') ++run;
      for (int32_t k = run == 2 ? 1 : run; k > 0; --k) out.append(u'y');
      i += run;
      continue;
    }
    out.append(c);
    ++i;
  }
  return out;
}

std::unique_ptr<icu::DateFormat> MakeDateFormat(icu::DateFormat* created,
                                                bool widen_year) {
  std::unique_ptr<icu::DateFormat> format(created);
  if (!format) throw std::bad_alloc();
  if (widen_year) {
    if (auto* simple = dynamic_cast<icu::SimpleDateFormat*>(format.get())) {
      icu::UnicodeString pattern;
      simple->toPattern(pattern);
      simple->applyPattern(WidenYear(pattern));
    }
  }
  // The value is a wall-clock time without a zone: formatting it as GMT
  // keeps daylight-saving shifts out of it.
  format->setTimeZone(*icu::TimeZone::getGMT());
  // Automation dates are proleptic Gregorian all the way back to year 100;
  // ICU switches to the Julian calendar before 1582 unless told otherwise.
  std::unique_ptr<icu::Calendar> calendar(format->getCalendar()->clone());
  if (auto* gregorian = dynamic_cast<icu::GregorianCalendar*>(calendar.get())) {
    UErrorCode status = U_ZERO_ERROR;
    gregorian->setGregorianChange(-1e300, status);
    format->setCalendar(*gregorian);
  }
  return format;
}

void AppendPlain(const icu::UnicodeString& text, std::u16string* out) {
  internal::AppendPlainText(
      std::u16string_view(text.getBuffer(), text.length()), out);
}

}  // namespace

struct LocaleText::Formatters {
  icu::Locale time_locale;
  icu::Locale monetary_locale;
  std::string time_name;
  std::string monetary_name;
  std::unique_ptr<icu::DateFormat> date;
  std::unique_ptr<icu::DateFormat> time;
  icu::number::LocalizedNumberFormatter currency;
};

std::unique_ptr<LocaleText> LocaleText::FromEnvironment() {
  return std::make_unique<LocaleText>(
      EnvironmentLocaleName(LocaleCategory::kTime),
      EnvironmentLocaleName(LocaleCategory::kMonetary));
}

LocaleText::LocaleText(std::string_view time_locale,
                       std::string_view monetary_locale)
    : formatters_(std::make_unique<Formatters>()) {
  Formatters& f = *formatters_;
  f.time_locale = MakeLocale(time_locale);
  f.monetary_locale = MakeLocale(monetary_locale);
  f.time_name = f.time_locale.getBaseName();
  f.monetary_name = f.monetary_locale.getBaseName();
  f.date = MakeDateFormat(icu::DateFormat::createDateInstance(
                              icu::DateFormat::kShort, f.time_locale),
                          /*widen_year=*/true);
  f.time = MakeDateFormat(icu::DateFormat::createTimeInstance(
                              icu::DateFormat::kMedium, f.time_locale),
                          /*widen_year=*/false);
  f.currency = icu::number::NumberFormatter::withLocale(f.monetary_locale)
                   .grouping(UNUM_GROUPING_OFF)
                   .precision(icu::number::Precision::minMaxFraction(0, 4));
}

LocaleText::~LocaleText() = default;

std::string LocaleText::time_locale() const { return formatters_->time_name; }
std::string LocaleText::monetary_locale() const {
  return formatters_->monetary_name;
}

bool LocaleText::AppendDate(double days, std::u16string* out) const {
  if (!(days >= static_cast<double>(kFirstDay) &&
        days < static_cast<double>(kLastDay + 1))) {
    return false;
  }
  // The fraction is the time of that day whatever the sign: -1.25 is
  // 1899-12-29 06:00, not 1899-12-28 18:00.
  double whole = std::trunc(days);
  int64_t day = static_cast<int64_t>(whole);
  int64_t seconds = std::llround(std::fabs(days - whole) * kSecondsPerDay);
  if (seconds >= kSecondsPerDay) {
    seconds -= kSecondsPerDay;
    ++day;
  }
  if (day > kLastDay) return false;
  UDate when = (static_cast<double>(day - kUnixEpochDay) * kSecondsPerDay +
                static_cast<double>(seconds)) *
               1000.0;
  const Formatters& f = *formatters_;
  icu::UnicodeString text;
  if (day == 0) {
    f.time->format(when, text);
  } else {
    f.date->format(when, text);
    if (seconds != 0) {
      text.append(u' ');
      f.time->format(when, text);
    }
  }
  AppendPlain(text, out);
  return true;
}

void LocaleText::AppendCurrency(int64_t ten_thousandths,
                                std::u16string* out) const {
  // Through a decimal string, so that no value passes through a double.
  uint64_t magnitude = ten_thousandths < 0
                           ? 0 - static_cast<uint64_t>(ten_thousandths)
                           : static_cast<uint64_t>(ten_thousandths);
  char digits[32];
  int n = std::snprintf(digits, sizeof digits, "%s%llu.%04u",
                        ten_thousandths < 0 ? "-" : "",
                        static_cast<unsigned long long>(magnitude / 10000),
                        static_cast<unsigned>(magnitude % 10000));
  UErrorCode status = U_ZERO_ERROR;
  icu::number::FormattedNumber formatted =
      formatters_->currency.formatDecimal(icu::StringPiece(digits, n), status);
  icu::UnicodeString text = formatted.toString(status);
  if (status == U_MEMORY_ALLOCATION_ERROR) throw std::bad_alloc();
  if (U_FAILURE(status)) {
    // Not expected for a well-formed decimal; the plain digits without
    // their trailing zeros are still the right value.
    while (digits[n - 1] == '0') --n;
    if (digits[n - 1] == '.') --n;
    for (int i = 0; i < n; ++i)
      out->push_back(static_cast<char16_t>(digits[i]));
    return;
  }
  AppendPlain(text, out);
}

}  // namespace vexlor::platform

#include <windows.h>

#include <cmath>
#include <new>

#include "vexlor/platform/locale_text.h"

namespace vexlor::platform {

namespace {

// The range of days that automation dates cover (100-01-01 to 9999-12-31).
constexpr double kFirstDay = -657434;
constexpr double kLastDay = 2958465;
constexpr double kSecondsPerDay = 86400;
constexpr LCID kEnglishUs = 0x0409;

struct Locale {
  LCID lcid = kEnglishUs;
  std::string name = "en_US";
};

// The form names take in messages and tests on both platforms: "de_DE".
std::string UnderscoreName(std::string name) {
  for (char& c : name) {
    if (c == '-') c = '_';
  }
  return name;
}

Locale UserLocale() {
  Locale locale;
  locale.lcid = ::GetUserDefaultLCID();
  wchar_t name[LOCALE_NAME_MAX_LENGTH];
  if (::GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH) > 0) {
    std::string narrow;
    for (const wchar_t* p = name; *p; ++p)
      narrow.push_back(static_cast<char>(*p));
    locale.name = UnderscoreName(narrow);
  }
  return locale;
}

Locale NamedLocale(std::string_view name) {
  Locale locale;
  std::string base(name.substr(0, name.find_first_of(".@")));
  if (base.empty() || base == "C" || base == "POSIX") return locale;
  std::wstring wide;
  for (char c : base)
    wide.push_back(c == '_' ? L'-' : static_cast<unsigned char>(c));
  locale.lcid = ::LocaleNameToLCID(wide.c_str(), 0);
  if (locale.lcid == 0) locale.lcid = LOCALE_INVARIANT;
  locale.name = UnderscoreName(base);
  return locale;
}

// Appends a conversion's text and frees it; false when the conversion
// failed for a reason other than memory.
bool TakeText(HRESULT result, BSTR text, std::u16string* out) {
  if (result == E_OUTOFMEMORY) throw std::bad_alloc();
  if (FAILED(result)) return false;
  internal::AppendPlainText(
      std::u16string_view(reinterpret_cast<const char16_t*>(text),
                          ::SysStringLen(text)),
      out);
  ::SysFreeString(text);
  return true;
}

}  // namespace

struct LocaleText::Formatters {
  Locale time;
  Locale monetary;
};

std::unique_ptr<LocaleText> LocaleText::FromEnvironment() {
  auto text = std::make_unique<LocaleText>("", "");
  text->formatters_->time = UserLocale();
  text->formatters_->monetary = text->formatters_->time;
  return text;
}

LocaleText::LocaleText(std::string_view time_locale,
                       std::string_view monetary_locale)
    : formatters_(std::make_unique<Formatters>()) {
  formatters_->time = NamedLocale(time_locale);
  formatters_->monetary = NamedLocale(monetary_locale);
}

LocaleText::~LocaleText() = default;

std::string LocaleText::time_locale() const { return formatters_->time.name; }
std::string LocaleText::monetary_locale() const {
  return formatters_->monetary.name;
}

bool LocaleText::AppendDate(double days, std::u16string* out) const {
  if (!(days >= kFirstDay && days < kLastDay + 1)) return false;
  // Rounded to the second first: the conversion leaves out a midnight time
  // and a zero date, but decides that before its own rounding, so a time
  // a hair before midnight would come out as "00:00:00" of the next day.
  // The fraction is the time of that day whatever the sign.
  double whole = std::trunc(days);
  double seconds = std::round(std::fabs(days - whole) * kSecondsPerDay);
  if (seconds >= kSecondsPerDay) {
    seconds -= kSecondsPerDay;
    whole += 1;
  }
  if (whole > kLastDay) return false;
  double time = seconds / kSecondsPerDay;
  double rounded = whole < 0 ? whole - time : whole + time;
  BSTR text = nullptr;
  HRESULT result = ::VarBstrFromDate(rounded, formatters_->time.lcid, 0, &text);
  return TakeText(result, text, out);
}

void LocaleText::AppendCurrency(int64_t ten_thousandths,
                                std::u16string* out) const {
  CY value;
  value.int64 = ten_thousandths;
  BSTR text = nullptr;
  HRESULT result = ::VarBstrFromCy(value, formatters_->monetary.lcid, 0, &text);
  if (!TakeText(result, text, out)) {
    // Not expected for any currency value; the invariant digits are still
    // the right value.
    result = ::VarBstrFromCy(value, LOCALE_INVARIANT, 0, &text);
    TakeText(result, text, out);
  }
}

}  // namespace vexlor::platform

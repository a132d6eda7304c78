#include "vexlor/platform/locale_text.h"

#include <cstdlib>

namespace vexlor::platform {

namespace {

const char* FirstSet(const char* a, const char* b, const char* c) {
  for (const char* name : {a, b, c}) {
    const char* value = name ? std::getenv(name) : nullptr;
    if (value && *value) return value;
  }
  return "";
}

}  // namespace

std::string EnvironmentLocaleName(LocaleCategory category) {
  return FirstSet("LC_ALL",
                  category == LocaleCategory::kTime ? "LC_TIME" : "LC_MONETARY",
                  "LANG");
}

namespace internal {

// Narrow and ordinary no-break spaces (ICU puts one before "PM") become
// plain blanks, and the invisible direction marks of right-to-left locales
// are dropped: readers of delimited files seldom expect either, and
// Windows-1252 lacks the narrow space and the marks.
void AppendPlainText(std::u16string_view text, std::u16string* out) {
  for (char16_t c : text) {
    if (c == u'\u200E' || c == u'\u200F' || c == u'\u061C') continue;
    out->push_back(c == u'\u202F' || c == u'\u00A0' ? u' ' : c);
  }
}

}  // namespace internal

}  // namespace vexlor::platform

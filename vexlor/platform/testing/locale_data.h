// Whether the platform's locale data formats German dates as the tests pin
// them (ICU's data, and Windows': "09.02.2024"). Wine's data writes
// "9.2.2024", so tests that pin German dates skip there rather than pin
// Wine's text.
#ifndef VEXLOR_PLATFORM_TESTING_LOCALE_DATA_H_
#define VEXLOR_PLATFORM_TESTING_LOCALE_DATA_H_

#include <string>

#include "vexlor/platform/locale_text.h"

namespace vexlor::platform::testing {

inline bool GermanDatesAsPinned() {
  std::u16string text;
  LocaleText("de_DE").AppendDate(45331, &text);  // 2024-02-09
  return text == u"09.02.2024";
}

}  // namespace vexlor::platform::testing

#endif  // VEXLOR_PLATFORM_TESTING_LOCALE_DATA_H_

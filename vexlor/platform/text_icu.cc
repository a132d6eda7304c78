#include <unicode/translit.h>
#include <unicode/unistr.h>
#include <unicode/utypes.h>

#include <memory>

#include "vexlor/platform/text_internal.h"

namespace vexlor::platform::internal {

namespace {

icu::Transliterator* LatinTransliterator() {
  thread_local std::unique_ptr<icu::Transliterator> instance = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Transliterator> t(icu::Transliterator::createInstance(
        "Any-Latin; Latin-ASCII", UTRANS_FORWARD, status));
    if (U_FAILURE(status)) t.reset();
    return t;
  }();
  return instance.get();
}

}  // namespace

void AppendNearestAnsi(std::u16string_view run, std::string* out) {
  icu::UnicodeString text(false, run.data(), static_cast<int32_t>(run.size()));
  icu::UnicodeString copy(text);
  if (icu::Transliterator* t = LatinTransliterator()) t->transliterate(copy);
  for (int32_t i = 0; i < copy.length(); ++i) {
    int b = AnsiByteOf(copy.charAt(i));
    if (b >= 0) {
      out->push_back(static_cast<char>(b));
    } else if (!U16_IS_TRAIL(copy.charAt(i))) {
      out->push_back('?');
    }
  }
}

}  // namespace vexlor::platform::internal

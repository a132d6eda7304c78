#include <windows.h>

#include "vexlor/platform/text_internal.h"

namespace vexlor::platform::internal {

namespace {

constexpr UINT kWindows1252 = 1252;
// Code units converted per call; small enough for a stack buffer.
constexpr size_t kChunk = 1024;

bool IsSurrogatePair(std::u16string_view text, size_t i) {
  return text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() &&
         text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
}

// Without WC_NO_BEST_FIT_CHARS the system maps what it can to a look-alike
// of the code page (Ł -> L) and the rest to '?'.
void AppendBestFit(std::u16string_view text, std::string* out) {
  char bytes[kChunk];
  for (size_t start = 0; start < text.size(); start += kChunk) {
    size_t n = text.size() - start < kChunk ? text.size() - start : kChunk;
    int made = ::WideCharToMultiByte(
        kWindows1252, 0, reinterpret_cast<const wchar_t*>(text.data() + start),
        static_cast<int>(n), bytes, static_cast<int>(sizeof bytes), nullptr,
        nullptr);
    if (made <= 0) {
      out->append(n, '?');
    } else {
      out->append(bytes, static_cast<size_t>(made));
    }
  }
}

}  // namespace

void AppendNearestAnsi(std::u16string_view run, std::string* out) {
  // A character beyond the 16-bit range is one '?', as on Linux; the
  // system's conversion would make one of each half.
  size_t start = 0;
  size_t i = 0;
  while (i < run.size()) {
    if (IsSurrogatePair(run, i)) {
      AppendBestFit(run.substr(start, i - start), out);
      out->push_back('?');
      i += 2;
      start = i;
    } else {
      ++i;
    }
  }
  AppendBestFit(run.substr(start), out);
}

}  // namespace vexlor::platform::internal

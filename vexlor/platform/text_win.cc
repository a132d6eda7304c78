#include <windows.h>

#include "vexlor/platform/text_internal.h"

namespace vexlor::platform::internal {

namespace {

constexpr UINT kWindows1252 = 1252;
// Code units converted per call; small enough for a stack buffer.
constexpr size_t kChunk = 1024;

}  // namespace

void AppendNearestAnsi(std::u16string_view run, std::string* out) {
  // Without WC_NO_BEST_FIT_CHARS the system maps what it can to a
  // look-alike of the code page (Ł -> L) and the rest to '?'. A surrogate
  // pair stays whole within a chunk, so it becomes one '?', not two.
  char bytes[kChunk + 1];
  size_t start = 0;
  while (start < run.size()) {
    size_t n = run.size() - start < kChunk ? run.size() - start : kChunk;
    if (n == kChunk && run[start + n - 1] >= 0xD800 &&
        run[start + n - 1] <= 0xDBFF) {
      --n;
    }
    int made = ::WideCharToMultiByte(
        kWindows1252, 0, reinterpret_cast<const wchar_t*>(run.data() + start),
        static_cast<int>(n), bytes, static_cast<int>(sizeof bytes), nullptr,
        nullptr);
    if (made <= 0) {
      out->append(n, '?');
    } else {
      out->append(bytes, static_cast<size_t>(made));
    }
    start += n;
  }
}

}  // namespace vexlor::platform::internal

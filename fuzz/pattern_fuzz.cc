// sources: vexlor/strings/pattern_compare.cc
//
// Input: one flag byte (bit 0: ignore case), one byte giving the pattern's
// length, the pattern, then the text. Checks that every search terminates
// cleanly, that results stay in range, and that the bounded search agrees
// with the full one on every bound. The same bytes also choose a pattern
// whose positions are known (tests/reference/pattern_generator.h), and its
// search of the text must agree with the plain cost table.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "tests/reference/pattern_compare_reference.h"
#include "tests/reference/pattern_generator.h"
#include "vexlor/strings/pattern_compare.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const bool ignore_case = (data[0] & 1) != 0;
  const size_t pattern_size = std::min<size_t>(data[1], size - 2);
  const char* bytes = reinterpret_cast<const char*>(data + 2);
  const std::string_view pattern(bytes, pattern_size);
  const std::string_view text(bytes + pattern_size, size - 2 - pattern_size);

  const vexlor::CompiledPattern compiled =
      vexlor::CompiledPattern::Compile(pattern, ignore_case);
  Check(compiled.valid() == compiled.error().empty());
  Check(compiled.error_offset() <= pattern.size());
  Check(compiled.positions() >= 0 &&
        compiled.positions() <= vexlor::kMaxPatternPositions);

  const int32_t full = compiled.Search(text);
  Check(full == vexlor::CompareStrings(text, pattern, ignore_case));
  if (text.empty()) {
    Check(full == static_cast<int32_t>(pattern.size()));
  } else if (pattern.empty()) {
    Check(full == static_cast<int32_t>(text.size()));
  } else if (!compiled.valid()) {
    Check(full == -1);
  } else {
    Check(full >= 0 && full <= vexlor::kPatternNotFound);
    if (compiled.positions() == 0) Check(full == vexlor::kPatternNotFound);
  }
  for (int k = -1; k <= vexlor::kMaxPatternErrors + 1; ++k) {
    const int bound = std::clamp(k, 0, vexlor::kMaxPatternErrors);
    const int32_t up_to = compiled.SearchUpTo(text, k);
    Check(up_to == (full < 0 ? full : std::min(full, bound + 1)));
  }

  if (text.empty()) return 0;
  FuzzedDataProvider choices(data, size);
  vexlor::reference::PatternGenerator generator(
      [&choices](int lo, int hi) {
        return choices.ConsumeIntegralInRange<int>(lo, hi);
      },
      ignore_case);
  std::string known;
  std::vector<vexlor::reference::PatternAlternative> alternatives;
  generator.Next(&known, &alternatives);
  const vexlor::CompiledPattern compiled_known =
      vexlor::CompiledPattern::Compile(known, ignore_case);
  Check(compiled_known.valid());
  Check(compiled_known.Search(text) ==
        vexlor::reference::PatternSearch(text, alternatives));
  return 0;
}

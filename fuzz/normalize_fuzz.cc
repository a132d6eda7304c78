// sources: vexlor/strings/normalize.cc
//
// Input: one flag byte (bit 0: upper case), then the text. Checks that the
// key is total, that the reusing form gives the same key (also when the
// text is a view into the output), that an upper-case key has no a-z, and
// that keys carry no blank at either end and no run of blanks.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "vexlor/strings/normalize.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool uppercase = (data[0] & 1) != 0;
  const std::string_view text(reinterpret_cast<const char*>(data + 1),
                              size - 1);

  const std::string key = vexlor::NormalizeText(text, uppercase);

  std::string reused = "left over from an earlier key";
  vexlor::NormalizeTextInto(text, uppercase, &reused);
  Check(reused == key);
  std::string aliased(text);
  vexlor::NormalizeTextInto(aliased, uppercase, &aliased);
  Check(aliased == key);

  if (!key.empty()) {
    Check(key.front() != ' ' && key.back() != ' ');
    Check(key.find("  ") == std::string::npos);
  }
  if (uppercase) {
    for (char c : key) Check(!(c >= 'a' && c <= 'z'));
  }
  return 0;
}

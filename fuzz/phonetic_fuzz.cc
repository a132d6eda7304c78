// sources: vexlor/strings/soundex.cc vexlor/strings/phonex.cc
// sources: vexlor/strings/double_metaphone.cc
//
// Input: one flag byte (bit 0: Soundex codes the first character), two
// bytes of a 16-bit length, then the name. Checks the Soundex and Phonex
// codes against the letter-by-letter oracles, their exact lengths, and that
// a Double Metaphone key uses only its alphabet, never exceeds the length
// asked for or two characters per input byte, and is a prefix of the key
// asked for with a larger length.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tests/reference/phonex_reference.h"
#include "tests/reference/soundex_reference.h"
#include "vexlor/strings/double_metaphone.h"
#include "vexlor/strings/phonex.h"
#include "vexlor/strings/soundex.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const bool firstchar = (data[0] & 1) != 0;
  // Lengths far beyond a name's code only cost time: keep most of them
  // short, but reach the whole 16-bit range now and then.
  int length = static_cast<int16_t>(data[1] | data[2] << 8);
  if ((data[0] & 2) == 0) length %= 40;
  const std::string_view name(reinterpret_cast<const char*>(data + 3),
                              size - 3);

  const std::string soundex = vexlor::Soundex(name, length, firstchar);
  Check(soundex == vexlor::reference::Soundex(name, length, firstchar));
  if (length <= 0) Check(soundex.empty());

  const std::string phonex = vexlor::Phonex(name, length);
  Check(phonex == vexlor::reference::Phonex(name, length));
  Check(phonex.empty() || static_cast<int>(phonex.size()) == length);

  const std::string key = vexlor::DoubleMetaphone(name, length);
  Check(static_cast<int>(key.size()) <= (length > 0 ? length : 0));
  Check(key.size() <= 2 * name.size());
  for (char c : key) {
    Check(std::string_view("AFHJKLMNPRSTX0").find(c) != std::string_view::npos);
  }
  if (length > 0 && length < 32767) {
    const std::string longer = vexlor::DoubleMetaphone(name, length + 7);
    Check(longer.compare(0, key.size(), key) == 0);
    Check(key.size() == longer.size() ||
          static_cast<int>(key.size()) == length);
  }
  return 0;
}

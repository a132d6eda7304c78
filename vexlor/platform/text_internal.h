// What the common text conversions (text.cc) share with the conversion of
// characters outside Windows-1252, which each platform does its own way
// (text_icu.cc, text_win.cc). Not for use outside the platform layer.
#ifndef VEXLOR_PLATFORM_TEXT_INTERNAL_H_
#define VEXLOR_PLATFORM_TEXT_INTERNAL_H_

#include <string>
#include <string_view>

namespace vexlor::platform::internal {

// The Windows-1252 byte of a UTF-16 code unit, or -1 when the code page
// has no such character. O(1).
int AnsiByteOf(char16_t c);

// Appends the nearest Windows-1252 text of `run`, a run of code units none
// of which Windows-1252 has (see text.h for what "nearest" means on each
// platform). Linear in the run.
void AppendNearestAnsi(std::u16string_view run, std::string* out);

}  // namespace vexlor::platform::internal

#endif  // VEXLOR_PLATFORM_TEXT_INTERNAL_H_

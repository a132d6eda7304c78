// Text at the boundary: wide strings (UTF-16, as hosts pass them), UTF-8
// (files, terminals, Python) and Windows-1252, the single-byte form in which
// every algorithm of the library works.
//
// Characters that Windows-1252 has map directly, on every platform. Runs
// of other characters become their nearest Windows-1252 text, which is
// where the platforms differ:
// - Linux: ICU transliterates them to Latin and then to Windows-1252
//   (ł -> l, Иванов -> Ivanov, Πέτρος -> Petros), so names from other
//   scripts still compare sensibly; '?' stands only where nothing is left.
// - Windows: the system's own best-fit conversion to code page 1252, as
//   every Windows program's ANSI text gets it: letters with marks lose
//   them (Ł -> L, ő -> o), other scripts become '?' (Иванов -> ??????).
//
// Every function returns a new string and keeps nothing; none fails (an
// invalid UTF-8 sequence counts as a character Windows-1252 lacks) except by
// std::bad_alloc. Safe from any thread.
#ifndef VEXLOR_TEXT_H_
#define VEXLOR_TEXT_H_

#include <string>
#include <string_view>

#include "vexlor/export.h"

namespace vexlor::platform {

// UTF-16 to Windows-1252 (above). Cost: linear; a run of characters
// outside Windows-1252 goes through ICU's transliterator or the system's
// conversion.
VEXLOR_EXPORT std::string Utf16ToAnsi(std::u16string_view text);
VEXLOR_EXPORT void Utf16ToAnsiInto(std::u16string_view text, std::string* out);

// Windows-1252 to UTF-16. The five byte values that the code page leaves
// undefined map to the control characters of the same number, so every
// byte string survives the round trip.
VEXLOR_EXPORT std::u16string AnsiToUtf16(std::string_view text);

// UTF-8 <-> UTF-16. Invalid UTF-8 sequences become U+FFFD; unpaired
// surrogates become U+FFFD in UTF-8.
VEXLOR_EXPORT std::u16string Utf8ToUtf16(std::string_view text);
VEXLOR_EXPORT std::string Utf16ToUtf8(std::u16string_view text);

// Conveniences for the command line and tests.
VEXLOR_EXPORT std::string Utf8ToAnsi(std::string_view text);
VEXLOR_EXPORT std::string AnsiToUtf8(std::string_view text);

// True when every byte is valid UTF-8.
VEXLOR_EXPORT bool IsValidUtf8(std::string_view text);

}  // namespace vexlor::platform

#endif  // VEXLOR_TEXT_H_

// The text form of a table cell for comparisons and keys.
//
// Integers read as "%i", reals as "%.8f" in the C locale (with a point
// whatever numeric locale the host set) without trailing zeros, strings as
// their Windows-1252 text, booleans as "T"/"F", Null as the empty text;
// every other type (Empty among them) has no text at all, which callers
// tell apart from an empty text. Files use a different text form (output/).
#ifndef VEXLOR_TABLES_CELL_TEXT_H_
#define VEXLOR_TABLES_CELL_TEXT_H_

#include <string>
#include <string_view>

#include "vexlor/variant.h"

namespace vexlor {

// Writes the cell's text to `out` (reusing its capacity) and returns whether
// the cell's type has a text. Cost: linear in a string's length.
bool CellText(const platform::Variant& cell, std::string* out);

// Removes trailing '0's, then a '.' that the zeros leave at the end:
// 1.50000000 -> 1.5, 2.00000000 -> 2, -0.00000000 -> -0. A text without a
// '.' before its zeros loses them too (the rule knows no other stop).
void TrimDecimalZeros(std::string* text);

}  // namespace vexlor

#endif  // VEXLOR_TABLES_CELL_TEXT_H_

// Conversion of a variant argument to the type a member expects, as
// automation's late binding converts: numbers between numeric types
// (real to integer rounds half to even), numeric strings such as "12.5" to
// numbers, "True"/"False" and numbers to booleans, numbers and booleans to
// strings. A value that cannot be read as the type is a type mismatch; one
// that does not fit it is an overflow. Neither ever wraps silently.
#ifndef VEXLOR_PLATFORM_COERCE_H_
#define VEXLOR_PLATFORM_COERCE_H_

#include <string>
#include <string_view>

#include "vexlor/variant.h"

namespace vexlor::platform {

enum class CoerceStatus { kOk, kTypeMismatch, kOverflow };

// Converts `in` (a reference is followed first) to `to`, one of VT_I2,
// VT_I4, VT_R8, VT_BOOL, VT_BSTR or VT_VARIANT (no conversion). Cost:
// constant, or linear in a string's length.
CoerceStatus ChangeType(const Variant& in, VarType to, Variant* out);

// Reads a number written as automation accepts it: optional blanks, sign,
// digits with an optional decimal point, optional exponent. False for
// anything else, including "nan" and "inf".
bool ParseNumber(std::string_view text, double* value);

// The shortest decimal text that reads back to the same double: 75,
// 66.66666666666667, 1e-09.
std::string ShortestNumberText(double value);

// The text of a variant as the type name of a message: "Integer", "String".
const char* TypeName(VarType type);

}  // namespace vexlor::platform

#endif  // VEXLOR_PLATFORM_COERCE_H_

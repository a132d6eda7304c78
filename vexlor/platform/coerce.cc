#include "vexlor/platform/coerce.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <system_error>

#include "vexlor/text.h"

namespace vexlor::platform {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The numeric value of a cell, when it has one.
CoerceStatus NumberOf(const Variant& in, double* value) {
  switch (in.vt()) {
    case VT_EMPTY:
      *value = 0;
      return CoerceStatus::kOk;
    case VT_I1:
    case VT_I8:
      *value = static_cast<double>(in.AsInt64());
      return CoerceStatus::kOk;
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UINT:
    case VT_UI8:
      *value = static_cast<double>(in.AsUInt64());
      return CoerceStatus::kOk;
    case VT_I2:
    case VT_BOOL:
      *value = in.AsInt16();
      return CoerceStatus::kOk;
    case VT_I4:
    case VT_INT:
      *value = in.AsInt32();
      return CoerceStatus::kOk;
    case VT_R4:
      *value = in.AsFloat();
      return CoerceStatus::kOk;
    case VT_R8:
    case VT_DATE:
      *value = in.AsDouble();
      return CoerceStatus::kOk;
    case VT_CY:
      *value = static_cast<double>(in.AsCurrency()) / 10000.0;
      return CoerceStatus::kOk;
    case VT_BSTR: {
      std::string text = Utf16ToUtf8(in.AsString());
      return ParseNumber(text, value) ? CoerceStatus::kOk
                                      : CoerceStatus::kTypeMismatch;
    }
    default:
      return CoerceStatus::kTypeMismatch;
  }
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Checks `t` against digits[.digits][(e|E)[sign]digits] with at least one
// digit before the exponent, and finds its decimal order of magnitude: the
// place of its first digit other than 0 (0 for the units, -1 for the
// tenths) plus its exponent. That is all it takes to tell an underflow from
// an overflow, so the exponent is saturated.
bool ScanUnsignedNumber(std::string_view t, int64_t* magnitude) {
  size_t i = 0;
  while (i < t.size() && IsDigit(t[i])) ++i;
  const size_t integer_digits = i;
  const bool point = i < t.size() && t[i] == '.';
  if (point) {
    ++i;
    while (i < t.size() && IsDigit(t[i])) ++i;
  }
  const size_t mantissa_end = i;
  if (mantissa_end == (point ? 1u : 0u)) return false;  // not one digit
  int64_t place = static_cast<int64_t>(integer_digits) - 1;
  *magnitude = 0;
  for (size_t k = 0; k < mantissa_end; ++k) {
    if (t[k] == '.') continue;
    if (t[k] != '0') {
      *magnitude = place;
      break;
    }
    --place;
  }
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    const bool below = i < t.size() && t[i] == '-';
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    const size_t exponent_start = i;
    int64_t exponent = 0;
    for (; i < t.size() && IsDigit(t[i]); ++i) {
      exponent = std::min<int64_t>(exponent * 10 + (t[i] - '0'), 1000000);
    }
    if (i == exponent_start) return false;
    *magnitude += below ? -exponent : exponent;
  }
  return i == t.size();
}

CoerceStatus ToInteger(const Variant& in, double lo, double hi, double* out) {
  double v;
  CoerceStatus status = NumberOf(in, &v);
  if (status != CoerceStatus::kOk) return status;
  if (std::isnan(v)) return CoerceStatus::kOverflow;
  // Half to even, as automation rounds.
  double rounded = std::nearbyint(v);
  if (rounded < lo || rounded > hi) return CoerceStatus::kOverflow;
  *out = rounded;
  return CoerceStatus::kOk;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'A' && a[i] <= 'Z' ? a[i] + 32 : a[i];
    char y = b[i] >= 'A' && b[i] <= 'Z' ? b[i] + 32 : b[i];
    if (x != y) return false;
  }
  return true;
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

CoerceStatus ToBool(const Variant& in, bool* out) {
  if (in.vt() == VT_BSTR) {
    std::string text = Utf16ToUtf8(in.AsString());
    std::string_view t = TrimBlanks(text);
    if (EqualsIgnoreCase(t, "true")) {
      *out = true;
      return CoerceStatus::kOk;
    }
    if (EqualsIgnoreCase(t, "false")) {
      *out = false;
      return CoerceStatus::kOk;
    }
  }
  double v;
  CoerceStatus status = NumberOf(in, &v);
  if (status == CoerceStatus::kOk) *out = v != 0;
  return status;
}

CoerceStatus ToText(const Variant& in, Variant* out) {
  switch (in.vt()) {
    case VT_BSTR:
      *out = in;
      return CoerceStatus::kOk;
    case VT_EMPTY:
      *out = Variant::String(u"");
      return CoerceStatus::kOk;
    case VT_BOOL:
      *out = Variant::String(in.AsBool() ? u"True" : u"False");
      return CoerceStatus::kOk;
    case VT_NULL:
    case VT_ERROR:
    case VT_DISPATCH:
    case VT_UNKNOWN:
    case VT_DECIMAL:
    case VT_DATE:
      return CoerceStatus::kTypeMismatch;
    default:
      break;
  }
  if (in.IsArray()) return CoerceStatus::kTypeMismatch;
  double v;
  CoerceStatus status = NumberOf(in, &v);
  if (status != CoerceStatus::kOk) return status;
  if (in.vt() == VT_I8 || in.vt() == VT_UI8) {
    *out =
        Variant::Utf8String(in.vt() == VT_I8 ? std::to_string(in.AsInt64())
                                             : std::to_string(in.AsUInt64()));
  } else {
    *out = Variant::Utf8String(ShortestNumberText(v));
  }
  return CoerceStatus::kOk;
}

}  // namespace

bool ParseNumber(std::string_view text, double* value) {
  std::string_view t = TrimBlanks(text);
  const bool negative = !t.empty() && t[0] == '-';
  if (!t.empty() && (t[0] == '+' || t[0] == '-')) t.remove_prefix(1);
  int64_t magnitude;
  if (!ScanUnsignedNumber(t, &magnitude)) return false;
  // from_chars reads as strtod does in the C locale, whatever locale the
  // host set: "1.5" stays one and a half under a decimal comma.
  double v = 0;
  const char* end = t.data() + t.size();
  const auto result = std::from_chars(t.data(), end, v);
  if (result.ec == std::errc::result_out_of_range) {
    // An overflow would be infinity, no number; an underflow reads as 0.
    if (magnitude >= 0) return false;
    v = 0;
  } else if (result.ec != std::errc() || result.ptr != end) {
    return false;
  }
  if (std::isinf(v)) return false;
  *value = negative ? -v : v;
  return true;
}

std::string ShortestNumberText(double value) {
  char buffer[64];
  // Whole numbers read better in full (200000, not 2e+05).
  if (std::isfinite(value) && value == std::trunc(value) &&
      std::fabs(value) < 1e15) {
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                std::chars_format::fixed);
    return std::string(buffer, result.ptr);
  }
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

CoerceStatus ChangeType(const Variant& in, VarType to, Variant* out) {
  if (to == VT_VARIANT) {
    *out = in;
    return CoerceStatus::kOk;
  }
  if (Variant* target = in.AsRef()) return ChangeType(*target, to, out);
  double v = 0;
  CoerceStatus status = CoerceStatus::kOk;
  switch (to) {
    case VT_I2:
      status = ToInteger(in, -32768, 32767, &v);
      if (status == CoerceStatus::kOk) {
        *out = Variant::I2(static_cast<int16_t>(v));
      }
      return status;
    case VT_I4:
      status = ToInteger(in, -2147483648.0, 2147483647.0, &v);
      if (status == CoerceStatus::kOk) {
        *out = Variant::I4(static_cast<int32_t>(v));
      }
      return status;
    case VT_R8:
      status = NumberOf(in, &v);
      if (status == CoerceStatus::kOk) *out = Variant::R8(v);
      return status;
    case VT_BOOL: {
      bool b = false;
      status = ToBool(in, &b);
      if (status == CoerceStatus::kOk) *out = Variant::Bool(b);
      return status;
    }
    case VT_BSTR:
      return ToText(in, out);
    default:
      return CoerceStatus::kTypeMismatch;
  }
}

const char* TypeName(VarType type) {
  if (type & VT_ARRAY) return "Array";
  switch (type) {
    case VT_EMPTY:
      return "Empty";
    case VT_NULL:
      return "Null";
    case VT_I2:
      return "Integer";
    case VT_I4:
      return "Long";
    case VT_R4:
      return "Single";
    case VT_R8:
      return "Double";
    case VT_CY:
      return "Currency";
    case VT_DATE:
      return "Date";
    case VT_BSTR:
      return "String";
    case VT_BOOL:
      return "Boolean";
    case VT_VARIANT:
      return "Variant";
    case VT_ERROR:
      return "Error";
    default:
      return "Variant";
  }
}

}  // namespace vexlor::platform

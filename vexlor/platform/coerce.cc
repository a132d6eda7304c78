#include "vexlor/platform/coerce.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "vexlor/platform/text.h"

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
    *out = Variant::Utf8String(in.vt() == VT_I8
                                   ? std::to_string(in.AsInt64())
                                   : std::to_string(in.AsUInt64()));
  } else {
    *out = Variant::Utf8String(ShortestNumberText(v));
  }
  return CoerceStatus::kOk;
}

}  // namespace

bool ParseNumber(std::string_view text, double* value) {
  std::string_view t = TrimBlanks(text);
  size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  size_t digits = 0;
  while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++digits;
  if (i < t.size() && t[i] == '.') {
    ++i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    size_t j = i + 1;
    if (j < t.size() && (t[j] == '+' || t[j] == '-')) ++j;
    size_t exp_digits = 0;
    while (j < t.size() && t[j] >= '0' && t[j] <= '9') ++j, ++exp_digits;
    if (exp_digits == 0) return false;
    i = j;
  }
  if (i != t.size()) return false;
  std::string copy(t);
  char* end = nullptr;
  double v = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size()) return false;
  if (std::isinf(v)) return false;
  *value = v;
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
    case VT_EMPTY: return "Empty";
    case VT_NULL: return "Null";
    case VT_I2: return "Integer";
    case VT_I4: return "Long";
    case VT_R4: return "Single";
    case VT_R8: return "Double";
    case VT_CY: return "Currency";
    case VT_DATE: return "Date";
    case VT_BSTR: return "String";
    case VT_BOOL: return "Boolean";
    case VT_VARIANT: return "Variant";
    case VT_ERROR: return "Error";
    default: return "Variant";
  }
}

}  // namespace vexlor::platform

#include "vexlor/variant.h"

#include <cstring>
#include <new>
#include <utility>

#include "vexlor/text.h"
#include "vexlor/variant_array.h"

namespace vexlor::platform {

struct StringRep {
  uint32_t refs;
  uint32_t size;
  char16_t chars[1];
};

namespace {

StringRep* NewStringRep(std::u16string_view text) {
  if (text.size() > (UINT32_MAX - sizeof(StringRep)) / sizeof(char16_t)) {
    throw std::bad_alloc();
  }
  size_t bytes = sizeof(StringRep) + text.size() * sizeof(char16_t);
  auto* rep = static_cast<StringRep*>(::operator new(bytes));
  rep->refs = 1;
  rep->size = static_cast<uint32_t>(text.size());
  if (!text.empty()) {
    std::memcpy(rep->chars, text.data(), text.size() * sizeof(char16_t));
  }
  rep->chars[text.size()] = u'\0';
  return rep;
}

}  // namespace

Variant::Variant(const Variant& other) noexcept
    : vt_(other.vt_), payload_(other.payload_) {
  AddRef();
}

Variant::Variant(Variant&& other) noexcept
    : vt_(other.vt_), payload_(other.payload_) {
  other.vt_ = VT_EMPTY;
  other.payload_.i8 = 0;
}

Variant& Variant::operator=(const Variant& other) noexcept {
  if (this != &other) {
    other.AddRef();
    Clear();
    vt_ = other.vt_;
    payload_ = other.payload_;
  }
  return *this;
}

Variant& Variant::operator=(Variant&& other) noexcept {
  if (this != &other) {
    Clear();
    vt_ = other.vt_;
    payload_ = other.payload_;
    other.vt_ = VT_EMPTY;
    other.payload_.i8 = 0;
  }
  return *this;
}

void Variant::AddRef() const noexcept {
  if (vt_ == VT_BSTR) {
    ++payload_.str->refs;
  } else if ((vt_ & VT_ARRAY) && payload_.array != nullptr) {
    payload_.array->AddRef();
  }
}

void Variant::Clear() noexcept {
  if (vt_ == VT_BSTR) {
    if (--payload_.str->refs == 0) ::operator delete(payload_.str);
  } else if ((vt_ & VT_ARRAY) && payload_.array != nullptr) {
    payload_.array->Release();
  }
  vt_ = VT_EMPTY;
  payload_.i8 = 0;
}

void Variant::Swap(Variant& other) noexcept {
  std::swap(vt_, other.vt_);
  std::swap(payload_, other.payload_);
}

std::u16string_view Variant::AsString() const {
  if (vt_ != VT_BSTR) return {};
  return {payload_.str->chars, payload_.str->size};
}

Variant Variant::FromBits(VarType vt, int64_t bits) {
  Variant out;
  out.vt_ = vt;
  out.payload_.i8 = bits;
  return out;
}

Variant Variant::Null() { return FromBits(VT_NULL, 0); }
Variant Variant::I8(int64_t v) {
  Variant out;
  out.vt_ = VT_I8;
  out.payload_.i8 = v;
  return out;
}
Variant Variant::I1(int8_t v) { return FromBits(VT_I1, v); }
Variant Variant::I2(int16_t v) {
  Variant out;
  out.vt_ = VT_I2;
  out.payload_.i2 = v;
  return out;
}
Variant Variant::I4(int32_t v) {
  Variant out;
  out.vt_ = VT_I4;
  out.payload_.i4 = v;
  return out;
}
Variant Variant::UI1(uint8_t v) { return FromBits(VT_UI1, v); }
Variant Variant::UI2(uint16_t v) { return FromBits(VT_UI2, v); }
Variant Variant::UI4(uint32_t v) { return FromBits(VT_UI4, v); }
Variant Variant::UI8(uint64_t v) {
  Variant out;
  out.vt_ = VT_UI8;
  out.payload_.u8 = v;
  return out;
}
Variant Variant::Int(int32_t v) {
  Variant out = I4(v);
  out.vt_ = VT_INT;
  return out;
}
Variant Variant::UInt(uint32_t v) { return FromBits(VT_UINT, v); }
Variant Variant::R4(float v) {
  Variant out;
  out.vt_ = VT_R4;
  out.payload_.r4 = v;
  return out;
}
Variant Variant::R8(double v) {
  Variant out;
  out.vt_ = VT_R8;
  out.payload_.r8 = v;
  return out;
}
Variant Variant::Bool(bool v) {
  Variant out;
  out.vt_ = VT_BOOL;
  out.payload_.i2 = v ? kVariantTrue : kVariantFalse;
  return out;
}
Variant Variant::Date(double days) {
  Variant out = R8(days);
  out.vt_ = VT_DATE;
  return out;
}
Variant Variant::Currency(int64_t ten_thousandths) {
  Variant out = I8(ten_thousandths);
  out.vt_ = VT_CY;
  return out;
}
Variant Variant::Error(int32_t scode) {
  Variant out = I4(scode);
  out.vt_ = VT_ERROR;
  return out;
}
Variant Variant::String(std::u16string_view text) {
  Variant out;
  out.payload_.str = NewStringRep(text);
  out.vt_ = VT_BSTR;
  return out;
}
Variant Variant::AnsiString(std::string_view text) {
  return String(AnsiToUtf16(text));
}
Variant Variant::Utf8String(std::string_view text) {
  return String(Utf8ToUtf16(text));
}
Variant Variant::Opaque(VarType type) {
  Variant out;
  out.vt_ = type;
  return out;
}
Variant Variant::Array(VariantArray* array, VarType element) {
  Variant out;
  out.vt_ = static_cast<VarType>(VT_ARRAY | element);
  out.payload_.array = array;
  if (array != nullptr) array->AddRef();
  return out;
}
Variant Variant::ByRef(Variant* target) {
  Variant out;
  out.vt_ = static_cast<VarType>(VT_BYREF | VT_VARIANT);
  out.payload_.ref = target;
  return out;
}

bool SameValue(const Variant& a, const Variant& b) {
  if (a.vt() != b.vt()) return false;
  switch (a.vt()) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_DISPATCH:
    case VT_UNKNOWN:
    case VT_DECIMAL:
      return true;
    case VT_BSTR:
      return a.AsString() == b.AsString();
    case VT_R8:
    case VT_DATE:
      return a.AsDouble() == b.AsDouble() ||
             (a.AsDouble() != a.AsDouble() && b.AsDouble() != b.AsDouble());
    case VT_R4:
      return a.AsFloat() == b.AsFloat();
    case VT_I2:
    case VT_BOOL:
      return a.AsInt16() == b.AsInt16();
    case VT_I4:
    case VT_INT:
      return a.AsInt32() == b.AsInt32();
    case VT_ERROR:
      return a.AsError() == b.AsError();
    case VT_I1:
    case VT_I8:
      return a.AsInt64() == b.AsInt64();
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UINT:
    case VT_UI8:
      return a.AsUInt64() == b.AsUInt64();
    case VT_CY:
      return a.AsCurrency() == b.AsCurrency();
    default:
      if (a.IsArray()) return a.AsArray() == b.AsArray();
      if (a.vt() & VT_BYREF) return a.AsRef() == b.AsRef();
      // Cells of the remaining types carry no value.
      return true;
  }
}

}  // namespace vexlor::platform

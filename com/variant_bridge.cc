#include "com/variant_bridge.h"

#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#include "vexlor/variant_array.h"

namespace vexlor::com {

namespace {

using platform::Variant;
using platform::VariantArray;
using platform::VarType;

// Cells may hold arrays and references of their own; deeper nesting than
// this is not a table of any host and becomes Empty rather than a deep
// recursion.
constexpr int kMaxDepth = 8;

std::u16string_view BstrView(BSTR text) {
  if (text == nullptr) return {};
  return {reinterpret_cast<const char16_t*>(text), SysStringLen(text)};
}

// The value of a scalar of type `vt` stored at `p` (a VARIANT's payload or
// the target of a reference).
Variant ScalarAt(VARTYPE vt, const void* p) {
  auto read = [p](auto sample) {
    decltype(sample) value;
    std::memcpy(&value, p, sizeof value);
    return value;
  };
  switch (vt) {
    case VT_NULL:
      return Variant::Null();
    case VT_I1:
      return Variant::I1(read(int8_t{}));
    case VT_UI1:
      return Variant::UI1(read(uint8_t{}));
    case VT_I2:
      return Variant::I2(read(int16_t{}));
    case VT_UI2:
      return Variant::UI2(read(uint16_t{}));
    case VT_BOOL:
      return Variant::Bool(read(int16_t{}) != 0);
    case VT_I4:
      return Variant::I4(read(int32_t{}));
    case VT_UI4:
      return Variant::UI4(read(uint32_t{}));
    case VT_INT:
      return Variant::Int(read(int32_t{}));
    case VT_UINT:
      return Variant::UInt(read(uint32_t{}));
    case VT_ERROR:
      return Variant::Error(read(int32_t{}));
    case VT_R4:
      return Variant::R4(read(float{}));
    case VT_R8:
      return Variant::R8(read(double{}));
    case VT_DATE:
      return Variant::Date(read(double{}));
    case VT_CY:
      return Variant::Currency(read(int64_t{}));
    case VT_I8:
      return Variant::I8(read(int64_t{}));
    case VT_UI8:
      return Variant::UI8(read(uint64_t{}));
    case VT_BSTR:
      return Variant::String(BstrView(read(BSTR{})));
    case VT_DISPATCH:
      return Variant::Opaque(platform::VT_DISPATCH);
    case VT_UNKNOWN:
      return Variant::Opaque(platform::VT_UNKNOWN);
    case VT_DECIMAL:
      return Variant::Opaque(platform::VT_DECIMAL);
    default:
      return Variant();
  }
}

Variant Convert(const VARIANT& in, ReferenceTargets* targets, int depth);

// Bytes per element of a safe array of `vt`, for reading it element by
// element; 0 for element types that cannot be read as cells.
size_t ElementSize(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_ERROR:
    case VT_R4:
      return 4;
    case VT_R8:
    case VT_DATE:
    case VT_CY:
    case VT_I8:
    case VT_UI8:
      return 8;
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_UNKNOWN:
      return sizeof(void*);
    case VT_DECIMAL:
      return sizeof(DECIMAL);
    case VT_VARIANT:
      return sizeof(VARIANT);
    default:
      return 0;
  }
}

Variant ConvertArray(SAFEARRAY* array, VARTYPE element,
                     ReferenceTargets* targets, int depth) {
  const UINT dims = SafeArrayGetDim(array);
  const size_t size = ElementSize(element);
  if (dims == 0 || size == 0 || SafeArrayGetElemsize(array) != size) {
    return Variant();
  }
  std::vector<platform::ArrayBound> bounds(dims);
  for (UINT d = 0; d < dims; ++d) {
    LONG lower = 0, upper = -1;
    if (FAILED(SafeArrayGetLBound(array, d + 1, &lower)) ||
        FAILED(SafeArrayGetUBound(array, d + 1, &upper))) {
      return Variant();
    }
    bounds[d].lower = lower;
    bounds[d].count =
        static_cast<uint32_t>(static_cast<int64_t>(upper) - lower + 1);
  }
  VariantArray* copy = VariantArray::Create(bounds);
  Variant result = Variant::Array(copy, static_cast<VarType>(element));
  void* data = nullptr;
  if (FAILED(SafeArrayAccessData(array, &data))) return Variant();
  // Both store dimension 1 fastest, so elements map one to one in order.
  const auto* bytes = static_cast<const unsigned char*>(data);
  Variant* cells = copy->data();
  try {
    for (size_t i = 0; i < copy->size(); ++i) {
      const void* at = bytes + i * size;
      cells[i] =
          element == VT_VARIANT
              ? Convert(*static_cast<const VARIANT*>(at), targets, depth + 1)
              : ScalarAt(element, at);
    }
  } catch (...) {
    SafeArrayUnaccessData(array);
    throw;
  }
  SafeArrayUnaccessData(array);
  return result;
}

Variant Convert(const VARIANT& in, ReferenceTargets* targets, int depth) {
  if (depth > kMaxDepth) return Variant();
  const VARTYPE vt = V_VT(&in);
  if (vt == (VT_BYREF | VT_VARIANT)) {
    if (V_VARIANTREF(&in) == nullptr) return Variant();
    targets->push_back(Convert(*V_VARIANTREF(&in), targets, depth + 1));
    return Variant::ByRef(&targets->back());
  }
  if (vt & VT_ARRAY) {
    SAFEARRAY* array = (vt & VT_BYREF)
                           ? (V_ARRAYREF(&in) ? *V_ARRAYREF(&in) : nullptr)
                           : V_ARRAY(&in);
    const VARTYPE element = vt & VT_TYPEMASK;
    if (array == nullptr) {
      return Variant::Array(nullptr, static_cast<VarType>(element));
    }
    return ConvertArray(array, element, targets, depth);
  }
  if (vt & VT_BYREF) {
    if (V_BYREF(&in) == nullptr) return Variant();
    return ScalarAt(vt & VT_TYPEMASK, V_BYREF(&in));
  }
  if (vt == VT_DECIMAL) return Variant::Opaque(platform::VT_DECIMAL);
  return ScalarAt(vt, &V_I8(&in));
}

HRESULT StringOut(std::u16string_view text, VARIANT* out) {
  BSTR copy = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                                static_cast<UINT>(text.size()));
  if (copy == nullptr) return E_OUTOFMEMORY;
  V_VT(out) = VT_BSTR;
  V_BSTR(out) = copy;
  return S_OK;
}

// Writes a scalar cell's value into the element at `p` of a safe array of
// `vt` (or a VARIANT's payload).
void StoreScalar(const Variant& in, void* p) {
  auto write = [p](auto value) { std::memcpy(p, &value, sizeof value); };
  switch (in.vt()) {
    case platform::VT_I1:
      write(static_cast<int8_t>(in.AsInt64()));
      break;
    case platform::VT_UI1:
      write(static_cast<uint8_t>(in.AsUInt64()));
      break;
    case platform::VT_I2:
      write(in.AsInt16());
      break;
    case platform::VT_UI2:
      write(static_cast<uint16_t>(in.AsUInt64()));
      break;
    case platform::VT_BOOL:
      write(static_cast<int16_t>(in.AsBool() ? VARIANT_TRUE : VARIANT_FALSE));
      break;
    case platform::VT_I4:
    case platform::VT_INT:
      write(in.AsInt32());
      break;
    case platform::VT_UI4:
    case platform::VT_UINT:
      write(static_cast<uint32_t>(in.AsUInt64()));
      break;
    case platform::VT_ERROR:
      write(in.AsError());
      break;
    case platform::VT_R4:
      write(in.AsFloat());
      break;
    case platform::VT_R8:
      write(in.AsDouble());
      break;
    case platform::VT_DATE:
      write(in.AsDate());
      break;
    case platform::VT_CY:
      write(in.AsCurrency());
      break;
    case platform::VT_I8:
      write(in.AsInt64());
      break;
    case platform::VT_UI8:
      write(in.AsUInt64());
      break;
    default:
      break;  // objects and decimals travel without their value
  }
}

HRESULT ArrayOut(const Variant& in, VARIANT* out) {
  const VARTYPE element = static_cast<VARTYPE>(in.vt()) & VT_TYPEMASK;
  VariantArray* source = in.AsArray();
  if (source == nullptr) {
    V_VT(out) = VT_ARRAY | element;
    V_ARRAY(out) = nullptr;
    return S_OK;
  }
  if (ElementSize(element) == 0 || element == VT_DECIMAL) return E_OUTOFMEMORY;
  std::vector<SAFEARRAYBOUND> bounds(source->dims());
  for (int d = 0; d < source->dims(); ++d) {
    bounds[d].lLbound = source->LowerBound(d);
    bounds[d].cElements = source->bound(d).count;
  }
  SAFEARRAY* array =
      SafeArrayCreate(element, static_cast<UINT>(bounds.size()), bounds.data());
  if (array == nullptr) return E_OUTOFMEMORY;
  void* data = nullptr;
  if (FAILED(SafeArrayAccessData(array, &data))) {
    SafeArrayDestroy(array);
    return E_OUTOFMEMORY;
  }
  HRESULT status = S_OK;
  const Variant* cells = source->data();
  auto* bytes = static_cast<unsigned char*>(data);
  const size_t size = ElementSize(element);
  for (size_t i = 0; i < source->size() && SUCCEEDED(status); ++i) {
    void* at = bytes + i * size;
    if (element == VT_VARIANT) {
      status = ToOleVariant(cells[i], static_cast<VARIANT*>(at));
    } else if (element == VT_BSTR) {
      BSTR copy = SysAllocStringLen(
          reinterpret_cast<const OLECHAR*>(cells[i].AsString().data()),
          static_cast<UINT>(cells[i].AsString().size()));
      if (copy == nullptr) status = E_OUTOFMEMORY;
      std::memcpy(at, &copy, sizeof copy);
    } else {
      StoreScalar(cells[i], at);
    }
  }
  SafeArrayUnaccessData(array);
  if (FAILED(status)) {
    SafeArrayDestroy(array);  // frees the elements converted so far
    return status;
  }
  V_VT(out) = VT_ARRAY | element;
  V_ARRAY(out) = array;
  return S_OK;
}

}  // namespace

HRESULT ToLibraryVariant(const VARIANT& in, platform::Variant* out,
                         ReferenceTargets* targets) {
  try {
    *out = Convert(in, targets, 0);
    return S_OK;
  } catch (const std::bad_alloc&) {
    out->Clear();
    return E_OUTOFMEMORY;
  }
}

HRESULT ToOleVariant(const platform::Variant& in, VARIANT* out) {
  V_VT(out) = VT_EMPTY;
  const VARTYPE vt = in.vt();
  if (vt & VT_ARRAY) return ArrayOut(in, out);
  if (vt == (VT_BYREF | VT_VARIANT)) {
    return in.AsRef() ? ToOleVariant(*in.AsRef(), out) : S_OK;
  }
  if (vt == VT_BSTR) return StringOut(in.AsString(), out);
  if (vt == VT_DECIMAL) {
    std::memset(out, 0, sizeof *out);
    V_VT(out) = VT_DECIMAL;
    return S_OK;
  }
  if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
    V_VT(out) = vt;
    V_UNKNOWN(out) = nullptr;
    return S_OK;
  }
  V_VT(out) = vt;
  V_I8(out) = 0;
  StoreScalar(in, &V_I8(out));
  return S_OK;
}

}  // namespace vexlor::com

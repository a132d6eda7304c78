// The variant cell: a typed value as automation hosts exchange them.
//
// A Variant is 16 bytes: a type code with the automation values (so that
// tables of type codes read directly) and an 8-byte payload. Strings are
// immutable, reference-counted UTF-16 texts, so copying a cell never copies
// its characters; arrays are reference-counted two-dimensional tables of
// variants (variant_array.h). Copies share; nothing here is thread-safe
// beyond what a single-threaded apartment needs.
//
// Ownership: a Variant owns its string and its share of an array; a copy
// shares both. Errors: the builders that allocate throw std::bad_alloc,
// nothing else throws. Threads: see above; a Variant and everything it
// shares belong to one thread at a time.
#ifndef VEXLOR_VARIANT_H_
#define VEXLOR_VARIANT_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "vexlor/export.h"

namespace vexlor::platform {

enum VarType : uint16_t {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
};

// VARIANT_BOOL: -1 is true, 0 is false.
inline constexpr int16_t kVariantTrue = -1;
inline constexpr int16_t kVariantFalse = 0;

class VariantArray;

// Shared storage of one string: a reference count, a length and the
// characters. Allocated through operator new, so an allocation failure is
// std::bad_alloc like every other allocation of a batch call.
struct StringRep;

class VEXLOR_EXPORT Variant {
 public:
  Variant() noexcept { payload_.i8 = 0; }
  ~Variant() { Clear(); }
  Variant(const Variant& other) noexcept;
  Variant(Variant&& other) noexcept;
  Variant& operator=(const Variant& other) noexcept;
  Variant& operator=(Variant&& other) noexcept;

  // Constructors of each kind of cell. String builders allocate and may
  // throw std::bad_alloc.
  static Variant Null();
  static Variant I1(int8_t v);
  static Variant I2(int16_t v);
  static Variant I4(int32_t v);
  static Variant I8(int64_t v);
  static Variant UI1(uint8_t v);
  static Variant UI2(uint16_t v);
  static Variant UI4(uint32_t v);
  static Variant UI8(uint64_t v);
  static Variant Int(int32_t v);
  static Variant UInt(uint32_t v);
  static Variant R4(float v);
  static Variant R8(double v);
  static Variant Bool(bool v);
  // Days since 1899-12-30, the fraction being the time of day.
  static Variant Date(double days);
  // Currency: a 64-bit integer in ten-thousandths.
  static Variant Currency(int64_t ten_thousandths);
  static Variant Error(int32_t scode);
  static Variant String(std::u16string_view text);
  // A string from Windows-1252 bytes (the control's inner text form).
  static Variant AnsiString(std::string_view text);
  static Variant Utf8String(std::string_view text);
  // VT_DISPATCH, VT_UNKNOWN and VT_DECIMAL cells carry no object here; they
  // exist so that tables can hold cells of those types.
  static Variant Opaque(VarType type);
  // VT_ARRAY|VT_VARIANT sharing `array` (which may be null: the "holds no
  // array" result of some failures).
  static Variant Array(VariantArray* array, VarType element = VT_VARIANT);
  // VT_BYREF|VT_VARIANT referring to `target`, which must outlive the use.
  static Variant ByRef(Variant* target);

  VarType vt() const { return vt_; }
  bool IsEmpty() const { return vt_ == VT_EMPTY; }
  bool IsNull() const { return vt_ == VT_NULL; }
  bool IsString() const { return vt_ == VT_BSTR; }
  bool IsArray() const { return (vt_ & VT_ARRAY) != 0; }

  // Readers of the value, each for the types named beside it. They do not
  // convert: a cell of any other type (a string, Empty, a reference, which
  // is not followed) reads as 0, false, an empty text or null, never as
  // another type's bytes. Code that has switched on vt() reads through
  // them at the cost of one comparison; to convert a cell as automation
  // does ("12" to 12, 2.5 to 2, with a type mismatch or overflow where it
  // cannot), use ChangeType (coerce.h).
  int64_t AsInt64() const {  // VT_I1, VT_I8
    return vt_ == VT_I8 || vt_ == VT_I1 ? payload_.i8 : 0;
  }
  uint64_t AsUInt64() const {  // VT_UI1, VT_UI2, VT_UI4, VT_UINT, VT_UI8
    return IsUnsignedInteger() ? payload_.u8 : 0;
  }
  int32_t AsInt32() const {  // VT_I4, VT_INT
    return vt_ == VT_I4 || vt_ == VT_INT ? payload_.i4 : 0;
  }
  int16_t AsInt16() const {  // VT_I2, VT_BOOL (-1 is true)
    return vt_ == VT_I2 || vt_ == VT_BOOL ? payload_.i2 : 0;
  }
  double AsDouble() const {  // VT_R8, VT_DATE
    return vt_ == VT_R8 || vt_ == VT_DATE ? payload_.r8 : 0.0;
  }
  float AsFloat() const { return vt_ == VT_R4 ? payload_.r4 : 0.0f; }
  bool AsBool() const { return vt_ == VT_BOOL && payload_.i2 != 0; }
  // VT_CY: ten-thousandths.
  int64_t AsCurrency() const { return vt_ == VT_CY ? payload_.i8 : 0; }
  double AsDate() const { return vt_ == VT_DATE ? payload_.r8 : 0.0; }
  int32_t AsError() const { return vt_ == VT_ERROR ? payload_.i4 : 0; }
  std::u16string_view AsString() const;  // VT_BSTR
  VariantArray* AsArray() const { return IsArray() ? payload_.array : nullptr; }
  Variant* AsRef() const { return (vt_ & VT_BYREF) ? payload_.ref : nullptr; }

  void Clear() noexcept;
  void Swap(Variant& other) noexcept;

 private:
  union Payload {
    int64_t i8;
    uint64_t u8;
    int32_t i4;
    int16_t i2;
    double r8;
    float r4;
    StringRep* str;
    VariantArray* array;
    Variant* ref;
  };
  void AddRef() const noexcept;
  static Variant FromBits(VarType vt, int64_t bits);
  bool IsUnsignedInteger() const {
    return vt_ == VT_UI1 || vt_ == VT_UI2 || vt_ == VT_UI4 || vt_ == VT_UINT ||
           vt_ == VT_UI8;
  }

  VarType vt_ = VT_EMPTY;
  Payload payload_;
};

static_assert(sizeof(Variant) == 16, "a cell is 16 bytes");

// True when the two cells have the same type and value (strings by content,
// arrays by identity). For tests and the host shims.
VEXLOR_EXPORT bool SameValue(const Variant& a, const Variant& b);

}  // namespace vexlor::platform

#endif  // VEXLOR_VARIANT_H_

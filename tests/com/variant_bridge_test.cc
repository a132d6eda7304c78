// The bridge against the automation runtime itself: every cell of a safe
// array read back through SafeArrayGetElement (not through the bridge's
// own walk of the data) must equal the library's cell, and the way back
// must give an array the runtime compares equal, cell for cell.
#include "com/variant_bridge.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "vexlor/variant_array.h"

namespace vexlor::com {
namespace {

using platform::Variant;

// A random cell of every scalar type the bridge knows, strings with
// embedded NULs and characters outside Windows-1252 among them.
VARIANT RandomCell(std::mt19937& rng) {
  VARIANT v;
  VariantInit(&v);
  static const VARTYPE kTypes[] = {VT_EMPTY, VT_NULL, VT_I2,   VT_I4,   VT_R4,
                                   VT_R8,    VT_CY,   VT_DATE, VT_BSTR, VT_BOOL,
                                   VT_ERROR, VT_I1,   VT_UI1,  VT_UI2,  VT_UI4,
                                   VT_I8,    VT_UI8,  VT_INT,  VT_UINT};
  V_VT(&v) = kTypes[rng() % (sizeof kTypes / sizeof kTypes[0])];
  if (V_VT(&v) == VT_BSTR) {
    std::wstring text;
    for (size_t n = rng() % 12; n > 0; --n) {
      static const wchar_t kChars[] = L"aZ\xE4\x20AC\x0416\x0000;\"\n";
      text.push_back(kChars[rng() % 9]);
    }
    V_BSTR(&v) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  } else if (V_VT(&v) == VT_BOOL) {
    V_BOOL(&v) = (rng() & 1) ? VARIANT_TRUE : VARIANT_FALSE;
  } else if (V_VT(&v) == VT_R8 || V_VT(&v) == VT_DATE) {
    V_R8(&v) = std::uniform_real_distribution<double>(-1e6, 1e6)(rng);
  } else if (V_VT(&v) == VT_R4) {
    V_R4(&v) = std::uniform_real_distribution<float>(-1e3f, 1e3f)(rng);
  } else {
    const uint64_t bits = (static_cast<uint64_t>(rng()) << 32) | rng();
    // Only the bytes of the type's own size are its value.
    switch (V_VT(&v)) {
      case VT_I1:
      case VT_UI1:
        V_UI1(&v) = static_cast<BYTE>(bits);
        break;
      case VT_I2:
      case VT_UI2:
        V_UI2(&v) = static_cast<USHORT>(bits);
        break;
      case VT_I8:
      case VT_UI8:
      case VT_CY:
        V_UI8(&v) = bits;
        break;
      case VT_EMPTY:
      case VT_NULL:
        break;
      default:
        V_UI4(&v) = static_cast<ULONG>(bits);
        break;
    }
  }
  return v;
}

bool SameCell(const VARIANT& expected, const Variant& cell) {
  if (V_VT(&expected) != cell.vt()) return false;
  switch (V_VT(&expected)) {
    case VT_EMPTY:
    case VT_NULL:
      return true;
    case VT_BSTR:
      return cell.AsString() ==
             std::u16string_view(
                 reinterpret_cast<const char16_t*>(V_BSTR(&expected)),
                 SysStringLen(V_BSTR(&expected)));
    case VT_BOOL:
      return (V_BOOL(&expected) != 0) == cell.AsBool();
    case VT_R4:
      return V_R4(&expected) == cell.AsFloat();
    case VT_R8:
    case VT_DATE:
      return V_R8(&expected) == cell.AsDouble();
    case VT_I1:
      return V_I1(&expected) == cell.AsInt64();
    case VT_I2:
      return V_I2(&expected) == cell.AsInt16();
    case VT_UI1:
      return V_UI1(&expected) == cell.AsUInt64();
    case VT_UI2:
      return V_UI2(&expected) == cell.AsUInt64();
    case VT_I4:
    case VT_INT:
      return V_I4(&expected) == cell.AsInt32();
    case VT_ERROR:
      return V_ERROR(&expected) == cell.AsError();
    case VT_UI4:
    case VT_UINT:
      return V_UI4(&expected) == cell.AsUInt64();
    case VT_UI8:
      return V_UI8(&expected) == cell.AsUInt64();
    case VT_CY:
      return V_I8(&expected) == cell.AsCurrency();
    default:
      return V_I8(&expected) == cell.AsInt64();
  }
}

struct Shape {
  LONG column_lower, rows_lower;
  ULONG columns, rows;
};

class VariantBridgeTest : public ::testing::TestWithParam<Shape> {};

TEST_P(VariantBridgeTest, TablesCrossBothWaysCellForCell) {
  const Shape shape = GetParam();
  std::mt19937 rng(shape.columns * 131 + shape.rows);
  // SafeArrayCreate takes the bounds in declaration order: columns first.
  SAFEARRAYBOUND bounds[2] = {{shape.columns, shape.column_lower},
                              {shape.rows, shape.rows_lower}};
  SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 2, bounds);
  ASSERT_NE(array, nullptr);
  for (ULONG r = 0; r < shape.rows; ++r) {
    for (ULONG c = 0; c < shape.columns; ++c) {
      LONG at[2] = {shape.column_lower + static_cast<LONG>(c),
                    shape.rows_lower + static_cast<LONG>(r)};
      VARIANT cell = RandomCell(rng);
      ASSERT_EQ(SafeArrayPutElement(array, at, &cell), S_OK);
      VariantClear(&cell);
    }
  }
  // Script hosts pass their arrays by reference.
  VARIANT table, by_ref;
  VariantInit(&table);
  V_VT(&table) = VT_ARRAY | VT_VARIANT;
  V_ARRAY(&table) = array;
  V_VT(&by_ref) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&by_ref) = &table;

  ReferenceTargets targets;
  Variant converted;
  ASSERT_EQ(ToLibraryVariant(by_ref, &converted, &targets), S_OK);
  ASSERT_NE(converted.AsRef(), nullptr);
  platform::VariantArray* copy = converted.AsRef()->AsArray();
  ASSERT_NE(copy, nullptr);
  ASSERT_EQ(copy->dims(), 2);
  EXPECT_EQ(copy->LowerBound(0), shape.column_lower);
  EXPECT_EQ(copy->LowerBound(1), shape.rows_lower);
  ASSERT_EQ(copy->columns(), shape.columns);
  ASSERT_EQ(copy->rows(), shape.rows);
  for (ULONG r = 0; r < shape.rows; ++r) {
    for (ULONG c = 0; c < shape.columns; ++c) {
      LONG at[2] = {shape.column_lower + static_cast<LONG>(c),
                    shape.rows_lower + static_cast<LONG>(r)};
      VARIANT expected;
      VariantInit(&expected);
      ASSERT_EQ(SafeArrayGetElement(array, at, &expected), S_OK);
      EXPECT_TRUE(SameCell(expected, copy->cell(c, r))) << c << "," << r;
      VariantClear(&expected);
    }
  }

  VARIANT back;
  VariantInit(&back);
  ASSERT_EQ(ToOleVariant(converted, &back), S_OK);
  ASSERT_EQ(V_VT(&back), VT_ARRAY | VT_VARIANT);
  for (ULONG r = 0; r < shape.rows; ++r) {
    for (ULONG c = 0; c < shape.columns; ++c) {
      LONG at[2] = {shape.column_lower + static_cast<LONG>(c),
                    shape.rows_lower + static_cast<LONG>(r)};
      VARIANT a, b;
      VariantInit(&a);
      VariantInit(&b);
      ASSERT_EQ(SafeArrayGetElement(array, at, &a), S_OK);
      ASSERT_EQ(SafeArrayGetElement(V_ARRAY(&back), at, &b), S_OK);
      ASSERT_EQ(V_VT(&a), V_VT(&b));
      // The bytes of the value, or the string's characters.
      if (V_VT(&a) == VT_BSTR) {
        EXPECT_EQ(SysStringLen(V_BSTR(&a)), SysStringLen(V_BSTR(&b)));
        EXPECT_EQ(
            std::memcmp(V_BSTR(&a), V_BSTR(&b), SysStringByteLen(V_BSTR(&a))),
            0);
      } else {
        EXPECT_TRUE(SameCell(a, copy->cell(c, r)));
        EXPECT_TRUE(SameCell(b, copy->cell(c, r)));
      }
      VariantClear(&a);
      VariantClear(&b);
    }
  }
  VariantClear(&back);
  VariantClear(&table);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, VariantBridgeTest,
    ::testing::Values(Shape{0, 0, 1, 1}, Shape{0, 0, 7, 50}, Shape{1, 1, 3, 4},
                      Shape{-2, 5, 4, 3}, Shape{0, 0, 0, 0},
                      Shape{0, 0, 2, 0}));

TEST(VariantBridgeTest, ReferencesToOtherTypesAreReadThrough) {
  BSTR text = SysAllocString(L"Meyer");
  double number = 2.5;
  SAFEARRAYBOUND bounds[2] = {{1, 0}, {1, 0}};
  SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 2, bounds);
  VARIANT in;
  ReferenceTargets targets;
  Variant out;

  V_VT(&in) = VT_BYREF | VT_BSTR;
  V_BSTRREF(&in) = &text;
  ASSERT_EQ(ToLibraryVariant(in, &out, &targets), S_OK);
  EXPECT_EQ(out.AsString(), u"Meyer");

  V_VT(&in) = VT_BYREF | VT_R8;
  V_R8REF(&in) = &number;
  ASSERT_EQ(ToLibraryVariant(in, &out, &targets), S_OK);
  EXPECT_EQ(out.vt(), platform::VT_R8);
  EXPECT_EQ(out.AsDouble(), 2.5);

  // How typed array variables of Office macros arrive.
  V_VT(&in) = VT_BYREF | VT_ARRAY | VT_VARIANT;
  V_ARRAYREF(&in) = &array;
  ASSERT_EQ(ToLibraryVariant(in, &out, &targets), S_OK);
  ASSERT_NE(out.AsArray(), nullptr);
  EXPECT_EQ(out.AsArray()->columns(), 1u);

  SafeArrayDestroy(array);
  SysFreeString(text);
}

TEST(VariantBridgeTest, ArrayHoldingNoArrayTravelsAsSuch) {
  VARIANT back;
  VariantInit(&back);
  ASSERT_EQ(ToOleVariant(Variant::Array(nullptr), &back), S_OK);
  EXPECT_EQ(V_VT(&back), VT_ARRAY | VT_VARIANT);
  EXPECT_EQ(V_ARRAY(&back), nullptr);
}

}  // namespace
}  // namespace vexlor::com

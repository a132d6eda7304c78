#include "vexlor/variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <new>
#include <string>

#include "tests/platform/numeric_locale.h"
#include "vexlor/platform/coerce.h"
#include "vexlor/platform/guid.h"
#include "vexlor/platform/testing/failing_allocator.h"
#include "vexlor/variant_array.h"

namespace vexlor::platform {
namespace {

TEST(VariantTest, CopiesShareStringsAndArrays) {
  Variant s = Variant::Utf8String("Müller");
  Variant t = s;
  EXPECT_EQ(t.AsString(), u"Müller");
  EXPECT_EQ(t.AsString().data(), s.AsString().data());
  s.Clear();
  EXPECT_EQ(t.AsString(), u"Müller");

  Variant table = VariantArray::NewTable(2, 3);
  Variant alias = table;
  alias.AsArray()->cell(1, 2) = Variant::I4(7);
  EXPECT_EQ(table.AsArray()->cell(1, 2).AsInt32(), 7);
}

TEST(VariantTest, ArrayBoundsElementsAndRowResize) {
  Variant table = VariantArray::NewTable(3, 2, 1, 1);
  VariantArray* a = table.AsArray();
  EXPECT_EQ(a->LowerBound(0), 1);
  EXPECT_EQ(a->UpperBound(0), 3);
  EXPECT_EQ(a->UpperBound(1), 2);
  ASSERT_NE(a->Element({3, 2}), nullptr);
  EXPECT_EQ(a->Element({4, 2}), nullptr);
  EXPECT_EQ(a->Element({0, 1}), nullptr);
  *a->Element({3, 2}) = Variant::Utf8String("x");
  EXPECT_EQ(&a->cell(2, 1), a->Element({3, 2}));
  EXPECT_EQ(&a->cell(1, 0) - &a->cell(0, 0), 1) << "a row lies side by side";

  ASSERT_TRUE(a->ResizeLast(5));
  EXPECT_EQ(a->rows(), 5u);
  EXPECT_EQ(a->cell(2, 1).AsString(), u"x");
  EXPECT_TRUE(a->cell(2, 4).IsEmpty());
  ASSERT_TRUE(a->ResizeLast(1));
  EXPECT_EQ(a->UpperBound(1), 1);
  {
    ArrayLock lock(a);
    EXPECT_FALSE(a->ResizeLast(4)) << "a locked array keeps its shape";
  }
  EXPECT_TRUE(a->ResizeLast(4));
}

// Each reader gives the value of its own types and 0 for any other cell,
// never another type's bytes (a string's pointer read as a number).
TEST(VariantTest, ReadersGiveTheirOwnTypesValueAndZeroForOthers) {
  Variant target = Variant::I4(9);
  struct Case {
    Variant cell;
    int64_t i8;
    uint64_t u8;
    int32_t i4;
    int16_t i2;
    double r8;
    float r4;
    int64_t cy;
    double date;
    int32_t error;
  } cases[] = {
      // clang-format off
      // cell                             i8   u8  i4  i2   r8   r4  cy date err
      {Variant::Utf8String("12"),          0,   0,  0,  0,   0,   0,  0,  0,  0},
      {Variant::I1(-3),                   -3,   0,  0,  0,   0,   0,  0,  0,  0},
      {Variant::I8(-(int64_t{1} << 40)), -(int64_t{1} << 40), 0, 0, 0, 0, 0, 0, 0, 0},
      {Variant::UI1(200),                  0, 200,  0,  0,   0,   0,  0,  0,  0},
      {Variant::UI4(4000000000u),  0, 4000000000u,  0,  0,   0,   0,  0,  0,  0},
      {Variant::UI8(UINT64_MAX),   0,  UINT64_MAX,  0,  0,   0,   0,  0,  0,  0},
      {Variant::I4(-5),                    0,   0, -5,  0,   0,   0,  0,  0,  0},
      {Variant::Int(-6),                   0,   0, -6,  0,   0,   0,  0,  0,  0},
      {Variant::I2(-2),                    0,   0,  0, -2,   0,   0,  0,  0,  0},
      {Variant::Bool(true),                0,   0,  0, -1,   0,   0,  0,  0,  0},
      {Variant::R8(-2.5),                  0,   0,  0,  0,-2.5,   0,  0,  0,  0},
      {Variant::Date(45000.25),            0,   0,  0,  0,45000.25, 0, 0, 45000.25, 0},
      {Variant::R4(1.5f),                  0,   0,  0,  0,   0, 1.5f, 0,  0,  0},
      {Variant::Currency(125000),          0,   0,  0,  0,   0,   0, 125000, 0, 0},
      {Variant::Error(-7),                 0,   0,  0,  0,   0,   0,  0,  0, -7},
      {Variant::Null(),                    0,   0,  0,  0,   0,   0,  0,  0,  0},
      {Variant(),                          0,   0,  0,  0,   0,   0,  0,  0,  0},
      {Variant::ByRef(&target),            0,   0,  0,  0,   0,   0,  0,  0,  0},
      {VariantArray::NewTable(1, 1),       0,   0,  0,  0,   0,   0,  0,  0,  0},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cell.vt());
    EXPECT_EQ(c.cell.AsInt64(), c.i8);
    EXPECT_EQ(c.cell.AsUInt64(), c.u8);
    EXPECT_EQ(c.cell.AsInt32(), c.i4);
    EXPECT_EQ(c.cell.AsInt16(), c.i2);
    EXPECT_EQ(c.cell.AsBool(), c.cell.vt() == VT_BOOL);
    EXPECT_EQ(c.cell.AsDouble(), c.r8);
    EXPECT_EQ(c.cell.AsFloat(), c.r4);
    EXPECT_EQ(c.cell.AsCurrency(), c.cy);
    EXPECT_EQ(c.cell.AsDate(), c.date);
    EXPECT_EQ(c.cell.AsError(), c.error);
    EXPECT_EQ(c.cell.AsString().empty(), !c.cell.IsString());
  }
}

TEST(VariantTest, HugeArrayIsOutOfMemoryNotACrash) {
  EXPECT_THROW(VariantArray::Create({{0, 0xFFFFFFFFu}, {0, 0xFFFFFFFFu}}),
               std::bad_alloc);
}

TEST(VariantTest, FailedStringAllocationThrowsAndLeaksNothing) {
  testing::FailingAllocatorScope scope(1);
  EXPECT_THROW(Variant::String(u"abc"), std::bad_alloc);
  EXPECT_TRUE(scope.failed());
}

TEST(CoerceTest, ConvertsAsLateBindingDoes) {
  struct Case {
    Variant in;
    VarType to;
    CoerceStatus status;
    Variant expected;
  } cases[] = {
      {Variant::Utf8String("12.5"), VT_R8, CoerceStatus::kOk,
       Variant::R8(12.5)},
      {Variant::Utf8String(" 4 "), VT_I2, CoerceStatus::kOk, Variant::I2(4)},
      {Variant::Utf8String("abc"), VT_R8, CoerceStatus::kTypeMismatch, {}},
      {Variant::Utf8String(""), VT_I4, CoerceStatus::kTypeMismatch, {}},
      {Variant::Utf8String("nan"), VT_R8, CoerceStatus::kTypeMismatch, {}},
      {Variant::I4(70000), VT_I2, CoerceStatus::kOverflow, {}},
      {Variant::R8(2.5), VT_I2, CoerceStatus::kOk, Variant::I2(2)},
      {Variant::R8(3.5), VT_I4, CoerceStatus::kOk, Variant::I4(4)},
      {Variant::R8(-32768.4), VT_I2, CoerceStatus::kOk, Variant::I2(-32768)},
      {Variant::R8(1e10), VT_I4, CoerceStatus::kOverflow, {}},
      {Variant::Utf8String("True"), VT_BOOL, CoerceStatus::kOk,
       Variant::Bool(true)},
      {Variant::Utf8String("false"), VT_BOOL, CoerceStatus::kOk,
       Variant::Bool(false)},
      {Variant::Utf8String("0"), VT_BOOL, CoerceStatus::kOk,
       Variant::Bool(false)},
      {Variant::Utf8String("yes"), VT_BOOL, CoerceStatus::kTypeMismatch, {}},
      {Variant::I4(3), VT_BOOL, CoerceStatus::kOk, Variant::Bool(true)},
      {Variant::I4(12), VT_BSTR, CoerceStatus::kOk, Variant::Utf8String("12")},
      {Variant::R8(0.1), VT_BSTR, CoerceStatus::kOk,
       Variant::Utf8String("0.1")},
      {Variant::Bool(true), VT_BSTR, CoerceStatus::kOk,
       Variant::Utf8String("True")},
      {Variant::Null(), VT_BSTR, CoerceStatus::kTypeMismatch, {}},
      {Variant::Null(), VT_I4, CoerceStatus::kTypeMismatch, {}},
      {Variant(), VT_I4, CoerceStatus::kOk, Variant::I4(0)},
      {Variant::Null(), VT_VARIANT, CoerceStatus::kOk, Variant::Null()},
  };
  for (const Case& c : cases) {
    Variant out;
    EXPECT_EQ(ChangeType(c.in, c.to, &out), c.status)
        << "from type " << c.in.vt() << " to " << c.to;
    if (c.status == CoerceStatus::kOk) {
      EXPECT_TRUE(SameValue(out, c.expected)) << "to " << c.to;
    }
  }
}

TEST(CoerceTest, FollowsReferences) {
  Variant target = Variant::Utf8String("7");
  Variant ref = Variant::ByRef(&target);
  Variant out;
  ASSERT_EQ(ChangeType(ref, VT_I4, &out), CoerceStatus::kOk);
  EXPECT_EQ(out.AsInt32(), 7);
}

TEST(CoerceTest, ShortestNumberText) {
  EXPECT_EQ(ShortestNumberText(75.0), "75");
  EXPECT_EQ(ShortestNumberText(200.0 / 3), "66.66666666666667");
  EXPECT_EQ(ShortestNumberText(0.1), "0.1");
  EXPECT_EQ(ShortestNumberText(200000.0), "200000");
  EXPECT_EQ(ShortestNumberText(-3.0), "-3");
  EXPECT_EQ(ShortestNumberText(1e-9), "1e-09");
}

// strtod in the C locale is the oracle, under a decimal comma too: the
// underflow that strtod reads as 0 included, and the overflow it refuses.
TEST(CoerceTest, ReadsNumbersAsTheCLocaleDoesWhateverTheHostSet) {
  const char* numbers[] = {"1.5",
                           "-0.25",
                           "12",
                           ".5",
                           "7.",
                           "4.5E3",
                           "1e-400",
                           "-1e-400",
                           "2.4703282292062327e-324",
                           "4e-324",
                           "1.7976931348623157e308",
                           "1e309",
                           "0.000e999999999999",
                           "123456789012345678901234567"};
  testing::NumericLocale german("de_DE.UTF-8");
  if (!german.ok()) GTEST_SKIP() << "de_DE.UTF-8 is not generated";
  ASSERT_EQ(testing::PrintfFixed8(1.5), "1,50000000");
  for (const char* text : numbers) {
    SCOPED_TRACE(text);
    double expected;
    bool accepted;
    {
      testing::NumericLocale c("C");
      char* end;
      expected = std::strtod(text, &end);
      accepted = *end == '\0' && !std::isinf(expected);
    }
    double value;
    ASSERT_EQ(ParseNumber(text, &value), accepted);
    if (accepted) {
      EXPECT_EQ(value, expected);
      EXPECT_EQ(std::signbit(value), std::signbit(expected));
    }
    ASSERT_EQ(ParseNumber(std::string(" +") + text + "\t", &value),
              accepted && text[0] != '-');
  }
  double value;
  for (const char* text :
       {"1,5", "nan", "inf", "0x10", "1e", ".", "-", "+-1"}) {
    EXPECT_FALSE(ParseNumber(text, &value)) << text;
  }
}

TEST(GuidTest, TextFormAndSeededSequence) {
  Guid g;
  g.data1 = 0x01234567;
  g.data2 = 0x89AB;
  g.data3 = 0xCDEF;
  const uint8_t tail[8] = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE};
  std::copy(tail, tail + 8, g.data4);
  EXPECT_EQ(FormatGuid(g), "{01234567-89AB-CDEF-1032-547698BADCFE}");

  SeededGuidSource a(7), b(7), c(8);
  Guid ga, gb, gc;
  a.Create(&ga);
  b.Create(&gb);
  c.Create(&gc);
  EXPECT_EQ(FormatGuid(ga), FormatGuid(gb));
  EXPECT_NE(FormatGuid(ga), FormatGuid(gc));
  a.Create(&gb);
  EXPECT_NE(FormatGuid(ga), FormatGuid(gb));

  RandomGuidSource r;
  Guid r1, r2;
  r.Create(&r1);
  r.Create(&r2);
  EXPECT_NE(FormatGuid(r1), FormatGuid(r2));
  EXPECT_FALSE(r1.IsZero());
}

}  // namespace
}  // namespace vexlor::platform

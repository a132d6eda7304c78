#include "vexlor/tables/table_model.h"

#include <gtest/gtest.h>

#include <string>

#include "vexlor/variant.h"
#include "vexlor/variant_array.h"

namespace vexlor {
namespace {

using platform::ArrayBound;
using platform::Variant;
using platform::VariantArray;
using platform::VarType;

TEST(TableModelTest, AcceptsTwoDimensionalVariantArraysByValueOrReference) {
  Variant table = VariantArray::NewTable(3, 2);
  EXPECT_EQ(AcceptTable(table), table.AsArray());
  Variant ref = Variant::ByRef(&table);
  EXPECT_EQ(AcceptTable(ref), table.AsArray());
  // Empty shapes are still tables.
  Variant no_rows = VariantArray::NewTable(3, 0);
  EXPECT_NE(AcceptTable(no_rows), nullptr);
  Variant no_columns = VariantArray::NewTable(0, 4);
  EXPECT_NE(AcceptTable(no_columns), nullptr);
  Variant offset = VariantArray::NewTable(2, 2, 1, -5);
  EXPECT_NE(AcceptTable(offset), nullptr);
}

TEST(TableModelTest, RefusesEverythingElse) {
  Variant one_d = Variant::Array(VariantArray::Create({{0, 5}}));
  Variant three_d =
      Variant::Array(VariantArray::Create({{0, 2}, {0, 2}, {0, 2}}));
  Variant ints = Variant::Array(VariantArray::Create2D(2, 2), platform::VT_I4);
  Variant null_array = Variant::Array(nullptr);
  Variant table = VariantArray::NewTable(2, 2);
  Variant ref_to_ref_target = Variant::ByRef(&table);
  Variant one_d_copy = one_d;
  const Variant refused[] = {
      Variant(),
      Variant::Null(),
      Variant::I4(7),
      Variant::R8(2.5),
      Variant::AnsiString("table"),
      Variant::Opaque(platform::VT_DISPATCH),
      one_d,
      three_d,
      ints,
      null_array,
      Variant::ByRef(&one_d_copy),
      Variant::ByRef(&null_array),
      Variant::ByRef(&ref_to_ref_target),  // only one level of reference
      Variant::ByRef(nullptr),
      Variant::Opaque(
          static_cast<VarType>(platform::VT_BYREF | platform::VT_ARRAY)),
  };
  for (size_t i = 0; i < std::size(refused); ++i) {
    EXPECT_EQ(AcceptTable(refused[i]), nullptr) << "case " << i;
  }
}

TEST(TableModelTest, ResultTablesKeepTheLowerBounds) {
  Variant input = VariantArray::NewTable(2, 3, 1, -4);
  Variant result = CreateResultTable(*input.AsArray(), 3, 7);
  VariantArray* a = result.AsArray();
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(result.vt(), platform::VT_ARRAY | platform::VT_VARIANT);
  EXPECT_EQ(a->LowerBound(0), 1);
  EXPECT_EQ(a->LowerBound(1), -4);
  EXPECT_EQ(a->columns(), 3u);
  EXPECT_EQ(a->rows(), 7u);
  for (size_t i = 0; i < a->size(); ++i) EXPECT_TRUE(a->data()[i].IsEmpty());
}

TEST(TableModelTest, TrimCutsOnlyLongerTables) {
  Variant t = VariantArray::NewTable(2, 10);
  t.AsArray()->cell(1, 3) = Variant::I4(4);
  EXPECT_TRUE(TrimResultRows(&t, 12));
  EXPECT_EQ(t.AsArray()->rows(), 10u);
  EXPECT_TRUE(TrimResultRows(&t, 4));
  EXPECT_EQ(t.AsArray()->rows(), 4u);
  EXPECT_EQ(t.AsArray()->cell(1, 3).AsInt32(), 4);
  EXPECT_TRUE(TrimResultRows(&t, 0));
  EXPECT_EQ(t.AsArray()->rows(), 0u);

  Variant locked = VariantArray::NewTable(1, 5);
  {
    platform::ArrayLock lock(locked.AsArray());
    EXPECT_FALSE(TrimResultRows(&locked, 2));
  }
  EXPECT_EQ(locked.AsArray()->rows(), 5u);

  Variant scalar = Variant::I4(1);
  EXPECT_TRUE(TrimResultRows(&scalar, 0));
  Variant none = Variant::Array(nullptr);
  EXPECT_TRUE(TrimResultRows(&none, 0));
}

TEST(TableModelTest, DestroyLeavesEmpty) {
  Variant t = VariantArray::NewTable(2, 2);
  DestroyResultArray(&t);
  EXPECT_TRUE(t.IsEmpty());
  Variant none = Variant::Array(nullptr);
  DestroyResultArray(&none);
  EXPECT_TRUE(none.IsEmpty());
}

}  // namespace
}  // namespace vexlor

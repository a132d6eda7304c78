#include "vexlor/variant_array.h"

#include <gtest/gtest.h>

#include "vexlor/platform/testing/failing_allocator.h"

namespace vexlor::platform {
namespace {

TEST(VariantArrayTest, ShrinkingRowsNeedsNoMemory) {
  Variant table = VariantArray::NewTable(3, 1000);
  table.AsArray()->cell(2, 9) = Variant::I4(9);
  {
    testing::FailingAllocatorScope every_allocation_fails(1);
    EXPECT_TRUE(table.AsArray()->ResizeLast(10));
  }
  EXPECT_EQ(table.AsArray()->rows(), 10u);
  EXPECT_EQ(table.AsArray()->cell(2, 9).AsInt32(), 9);
  EXPECT_TRUE(table.AsArray()->ResizeLast(0));
  EXPECT_EQ(table.AsArray()->UpperBound(1), -1);
  EXPECT_TRUE(table.AsArray()->ResizeLast(2));
  EXPECT_TRUE(table.AsArray()->cell(0, 1).IsEmpty());
}

TEST(VariantArrayTest, CellOutsideTheTableStopsDebugBuilds) {
#ifdef NDEBUG
  GTEST_SKIP() << "cells are checked in debug builds only";
#else
  Variant table = VariantArray::NewTable(2, 2);
  VariantArray* a = table.AsArray();
  EXPECT_DEATH(a->cell(2, 0), "Assertion");  // would be the next row's cell
  EXPECT_DEATH(a->cell(0, 2), "Assertion");
#endif
}

}  // namespace
}  // namespace vexlor::platform

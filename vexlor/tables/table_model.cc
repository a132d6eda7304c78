#include "vexlor/tables/table_model.h"

#include <new>

namespace vexlor {

using platform::Variant;
using platform::VariantArray;

namespace {

constexpr uint16_t kTableType = platform::VT_ARRAY | platform::VT_VARIANT;
constexpr uint16_t kRefType = platform::VT_BYREF | platform::VT_VARIANT;

VariantArray* TwoDimensional(const Variant& v) {
  if (v.vt() != kTableType) return nullptr;
  VariantArray* array = v.AsArray();
  if (array == nullptr || array->dims() != 2) return nullptr;
  return array;
}

}  // namespace

VariantArray* AcceptTable(const Variant& argument) {
  if (argument.vt() == kTableType) return TwoDimensional(argument);
  if (argument.vt() == kRefType && argument.AsRef() != nullptr) {
    return TwoDimensional(*argument.AsRef());
  }
  return nullptr;
}

Variant CreateResultTable(const VariantArray& like, uint32_t columns,
                          uint32_t rows) {
  return VariantArray::NewTable(columns, rows, like.LowerBound(0),
                                like.dims() > 1 ? like.LowerBound(1) : 0);
}

bool TrimResultRows(Variant* table, uint32_t rows) {
  VariantArray* array = table->AsArray();
  if (array == nullptr || array->dims() < 2 || array->rows() <= rows) {
    return true;
  }
  try {
    return array->ResizeLast(rows);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

void DestroyResultArray(Variant* table) { table->Clear(); }

}  // namespace vexlor

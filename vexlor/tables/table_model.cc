#include "vexlor/tables/table_model.h"

#include <algorithm>
#include <new>

#include "vexlor/tables/column_options.h"

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

TablePair::TablePair(const platform::Variant& first,
                     const platform::Variant& second)
    : first_(AcceptTable(first)), second_(AcceptTable(second)) {
  if (!ok()) return;
  first_lock_.emplace(first_);
  second_lock_.emplace(second_);
}

TablePair::Shape TablePair::shape() const {
  const uint32_t first_columns =
      std::min<uint32_t>(first_->columns(), kMaxColumns);
  const uint32_t second_columns =
      std::min<uint32_t>(second_->columns(), kMaxColumns);
  return {first_->rows(), second_->rows(), first_columns, second_columns,
          std::min(first_columns, second_columns)};
}

}  // namespace vexlor

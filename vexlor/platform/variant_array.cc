#include "vexlor/variant_array.h"

#include <new>
#include <utility>

namespace vexlor::platform {

namespace {

size_t CellCount(const std::vector<ArrayBound>& bounds) {
  size_t total = 1;
  for (const ArrayBound& b : bounds) {
    if (b.count != 0 && total > SIZE_MAX / sizeof(Variant) / b.count) {
      throw std::bad_alloc();
    }
    total *= b.count;
  }
  return total;
}

}  // namespace

VariantArray::VariantArray(std::vector<ArrayBound> bounds)
    : bounds_(std::move(bounds)) {
  cells_.resize(CellCount(bounds_));
}

VariantArray* VariantArray::Create(const std::vector<ArrayBound>& bounds) {
  if (bounds.empty()) throw std::bad_alloc();
  return new VariantArray(bounds);
}

VariantArray* VariantArray::Create2D(uint32_t columns, uint32_t rows,
                                     int32_t column_lower, int32_t row_lower) {
  return Create({{column_lower, columns}, {row_lower, rows}});
}

Variant VariantArray::NewTable(uint32_t columns, uint32_t rows,
                               int32_t column_lower, int32_t row_lower) {
  return Variant::Array(Create2D(columns, rows, column_lower, row_lower));
}

Variant* VariantArray::Element(const std::vector<int64_t>& indices) {
  if (indices.size() != bounds_.size()) return nullptr;
  size_t offset = 0;
  size_t stride = 1;
  for (size_t d = 0; d < bounds_.size(); ++d) {
    int64_t i = indices[d] - bounds_[d].lower;
    if (i < 0 || i >= static_cast<int64_t>(bounds_[d].count)) return nullptr;
    offset += static_cast<size_t>(i) * stride;
    stride *= bounds_[d].count;
  }
  return &cells_[offset];
}

bool VariantArray::ResizeLast(uint32_t count) {
  if (locks_ > 0) return false;
  size_t per_step = cells_.size();
  if (bounds_.back().count != 0) {
    per_step /= bounds_.back().count;
  } else {
    per_step = 1;
    for (size_t d = 0; d + 1 < bounds_.size(); ++d)
      per_step *= bounds_[d].count;
  }
  if (per_step != 0 && count > SIZE_MAX / sizeof(Variant) / per_step) {
    throw std::bad_alloc();
  }
  size_t cells = per_step * count;
  bool shrinking = cells < cells_.size();
  cells_.resize(cells);
  bounds_.back().count = count;
  if (shrinking && cells_.capacity() / 2 > cells_.size()) {
    // Giving back the memory of a much smaller table is worth a copy; when
    // even that copy cannot be had, the larger block simply stays.
    try {
      cells_.shrink_to_fit();
    } catch (const std::bad_alloc&) {
    }
  }
  return true;
}

void VariantArray::Release() {
  if (refs_ == 0 || --refs_ == 0) delete this;
}

}  // namespace vexlor::platform

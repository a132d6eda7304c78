// The array of variants that tables travel in.
//
// Like an automation safe array: a number of dimensions, each with a lower
// bound and an element count, dimension 1 (index 0 here) running fastest, so
// the cells of one table row (dimension 1 = columns) lie side by side. Tables
// are two-dimensional; other dimension counts exist so that hosts can pass
// them and be refused. The array is reference-counted by the variants that
// hold it and must be created on the heap through Create.
//
// Ownership: the variants holding the array share it; the last one frees
// it. Errors: creation and resizing throw std::bad_alloc when memory runs
// out; reads outside the bounds are the caller's fault and are not checked
// in release builds. Threads: one thread at a time, like its variants.
#ifndef VEXLOR_VARIANT_ARRAY_H_
#define VEXLOR_VARIANT_ARRAY_H_

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "vexlor/export.h"
#include "vexlor/variant.h"

namespace vexlor::platform {

struct ArrayBound {
  int32_t lower = 0;
  uint32_t count = 0;
  int64_t upper() const { return static_cast<int64_t>(lower) + count - 1; }
};

class VEXLOR_EXPORT VariantArray {
 public:
  VariantArray(const VariantArray&) = delete;
  VariantArray& operator=(const VariantArray&) = delete;

  // A new array with every cell Empty and a reference count of 0 (the
  // first Variant to hold it takes the count to 1). Throws std::bad_alloc
  // when the cells cannot be allocated, or when the element count does not
  // fit in memory.
  static VariantArray* Create(const std::vector<ArrayBound>& bounds);
  // A table of `columns` x `rows` cells with the given lower bounds.
  static VariantArray* Create2D(uint32_t columns, uint32_t rows,
                                int32_t column_lower = 0,
                                int32_t row_lower = 0);
  // Wraps a fresh table in a Variant (VT_ARRAY|VT_VARIANT).
  static Variant NewTable(uint32_t columns, uint32_t rows,
                          int32_t column_lower = 0, int32_t row_lower = 0);

  int dims() const { return static_cast<int>(bounds_.size()); }
  const ArrayBound& bound(int dim) const { return bounds_[dim]; }
  int32_t LowerBound(int dim) const { return bounds_[dim].lower; }
  int64_t UpperBound(int dim) const { return bounds_[dim].upper(); }
  size_t size() const { return cells_.size(); }

  // For two-dimensional arrays: columns and rows as counts.
  uint32_t columns() const { return bounds_[0].count; }
  uint32_t rows() const { return bounds_.size() > 1 ? bounds_[1].count : 1; }

  // Cell by 0-based offsets from the lower bounds (column, row), which must
  // lie below columns() and rows(). Checked by assertion in debug builds
  // only: the batch methods' inner loops read cells this way.
  Variant& cell(uint32_t column, uint32_t row) {
    return cells_[Offset(column, row)];
  }
  const Variant& cell(uint32_t column, uint32_t row) const {
    return cells_[Offset(column, row)];
  }
  // Cell by its indices in the array's own bounds; nullptr when outside.
  Variant* Element(const std::vector<int64_t>& indices);
  // All cells in storage order.
  Variant* data() { return cells_.data(); }

  // Changes the element count of the last dimension (the rows of a table).
  // New cells are Empty; cells beyond are released. Growing throws
  // std::bad_alloc when memory runs out; shrinking never fails for lack of
  // memory. Returns false when the array is locked.
  bool ResizeLast(uint32_t count);

  void Lock() { ++locks_; }
  void Unlock() {
    if (locks_ > 0) --locks_;
  }
  int locks() const { return locks_; }

  void AddRef() { ++refs_; }
  void Release();

 private:
  explicit VariantArray(std::vector<ArrayBound> bounds);

  size_t Offset(uint32_t column, uint32_t row) const {
    assert(column < columns() && row < rows());
    return static_cast<size_t>(row) * bounds_[0].count + column;
  }

  std::vector<ArrayBound> bounds_;
  std::vector<Variant> cells_;
  int locks_ = 0;
  uint32_t refs_ = 0;
};

// Holds a lock on an array for a scope.
class VEXLOR_EXPORT ArrayLock {
 public:
  explicit ArrayLock(VariantArray* array) : array_(array) {
    if (array_) array_->Lock();
  }
  ~ArrayLock() {
    if (array_) array_->Unlock();
  }
  ArrayLock(const ArrayLock&) = delete;
  ArrayLock& operator=(const ArrayLock&) = delete;

 private:
  VariantArray* array_;
};

}  // namespace vexlor::platform

#endif  // VEXLOR_VARIANT_ARRAY_H_

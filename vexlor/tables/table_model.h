// Tables as the batch methods take and return them: which argument forms
// count as a table, and how result tables are made, trimmed and freed.
//
// A table is a two-dimensional array of variant cells, dimension 0 the
// columns (fields) and dimension 1 the rows (records). Cells are reached by
// 0-based offsets from the lower bounds, so a table whose bounds do not
// start at 0 is read as if they did; results keep the lower bounds of the
// table they were made from.
#ifndef VEXLOR_TABLES_TABLE_MODEL_H_
#define VEXLOR_TABLES_TABLE_MODEL_H_

#include <cstdint>
#include <optional>

#include "vexlor/variant.h"
#include "vexlor/variant_array.h"

namespace vexlor {

// Returns the array of an accepted table argument, or nullptr for anything
// else. Accepted: a VT_ARRAY|VT_VARIANT variant holding a non-null array of
// exactly two dimensions, or a VT_BYREF|VT_VARIANT variant referring to one
// (one level of reference only). Refused: arrays of other element types or
// of one, three or more dimensions, null arrays, VT_BYREF|VT_ARRAY, and
// every scalar. A table of 0 rows or 0 columns is accepted. O(1).
platform::VariantArray* AcceptTable(const platform::Variant& argument);

// Returns a new VT_ARRAY|VT_VARIANT table of `columns` x `rows` Empty cells
// with the lower bounds of `like`. Throws std::bad_alloc when it cannot be
// allocated. Cost: O(columns x rows).
platform::Variant CreateResultTable(const platform::VariantArray& like,
                                    uint32_t columns, uint32_t rows);

// Cuts the rows of the table in `*table` to `rows` when it has more; rows
// beyond are freed. Anything that holds no table is left alone. Returns
// false only when the cut could not be made (the array is locked, or memory
// ran out on the way); the table is then unchanged. Cost: O(freed cells).
bool TrimResultRows(platform::Variant* table, uint32_t rows);

// Frees the array held by `*table` (when the variant held the last
// reference) and makes the variant Empty. Never fails.
void DestroyResultArray(platform::Variant* table);

// The two tables of a call that compares the rows of one with those of
// another, accepted and locked for the call: host code runs during every
// report, and locked tables cannot change size under the loops.
class TablePair {
 public:
  // The sizes the methods work with: the rows of each table, the columns
  // of each up to kMaxColumns, and the columns both have.
  struct Shape {
    uint32_t first_rows;
    uint32_t second_rows;
    uint32_t first_columns;
    uint32_t second_columns;
    uint32_t common_columns;
  };

  // Accepts both arguments as AcceptTable does and locks them; not ok()
  // when either is not a table (nothing is locked then). O(1).
  TablePair(const platform::Variant& first, const platform::Variant& second);

  bool ok() const { return first_ != nullptr && second_ != nullptr; }
  platform::VariantArray* first() const { return first_; }
  platform::VariantArray* second() const { return second_; }
  // Only when ok().
  Shape shape() const;

 private:
  platform::VariantArray* first_;
  platform::VariantArray* second_;
  std::optional<platform::ArrayLock> first_lock_;
  std::optional<platform::ArrayLock> second_lock_;
};

}  // namespace vexlor

#endif  // VEXLOR_TABLES_TABLE_MODEL_H_

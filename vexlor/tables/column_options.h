// Per-column options of the batch methods: which columns form the clustering
// key, which are compared and how, and the names of columns.
//
// Options exist for column indexes 0 to 399 only; a later column takes part
// in nothing. The names are kept as the host gave them (wide text), so that
// files written in UTF-8 lose nothing.
#ifndef VEXLOR_TABLES_COLUMN_OPTIONS_H_
#define VEXLOR_TABLES_COLUMN_OPTIONS_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vexlor/export.h"
#include "vexlor/platform/column_limits.h"

namespace vexlor {

struct VEXLOR_EXPORT ColumnOptions {
  ColumnOptions() { Reset(); }

  // Every column: Cluster and DupeSearch on, CompareNull off, Weight 1.0;
  // no names.
  void Reset();

  // Stores the options of one column; an index outside 0 to 399 is ignored.
  // The name array grows with empty names as needed.
  void Set(int index, bool cluster, bool dupe_search, double weight,
           bool compare_null, std::u16string_view name);

  // The name of a column, or an empty view when it has none.
  std::u16string_view Name(int index) const;

  static bool InRange(int64_t index) {
    return index >= 0 && index < kMaxColumns;
  }

  std::array<bool, kMaxColumns> cluster;
  std::array<bool, kMaxColumns> dupe_search;
  std::array<bool, kMaxColumns> compare_null;
  std::array<double, kMaxColumns> weight;
  std::vector<std::u16string> names;
};

}  // namespace vexlor

#endif  // VEXLOR_TABLES_COLUMN_OPTIONS_H_

#include "vexlor/tables/column_options.h"

namespace vexlor {

void ColumnOptions::Reset() {
  cluster.fill(true);
  dupe_search.fill(true);
  compare_null.fill(false);
  weight.fill(1.0);
  names.clear();
}

void ColumnOptions::Set(int index, bool cluster_on, bool dupe_search_on,
                        double column_weight, bool compare_null_on,
                        std::u16string_view name) {
  if (!InRange(index)) return;
  cluster[index] = cluster_on;
  dupe_search[index] = dupe_search_on;
  weight[index] = column_weight;
  compare_null[index] = compare_null_on;
  if (names.size() <= static_cast<size_t>(index)) names.resize(index + 1);
  names[index].assign(name);
}

std::u16string_view ColumnOptions::Name(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= names.size()) return {};
  return names[index];
}

}  // namespace vexlor

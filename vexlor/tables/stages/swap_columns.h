// The two columns whose texts a comparison also tries exchanged (the Swap
// option), taking the better of both ways.
#ifndef VEXLOR_TABLES_STAGES_SWAP_COLUMNS_H_
#define VEXLOR_TABLES_STAGES_SWAP_COLUMNS_H_

#include <array>
#include <cstdint>

#include "vexlor/tables/column_options.h"

namespace vexlor {

struct SwapColumns {
  int first = -1;  // -1 for either: no swap
  int second = -1;

  // Whether the swap applies: two different columns among the `columns`
  // compared ones, both still DupeSearch columns by `dupe_search`. O(1).
  bool InForce(uint32_t columns,
               const std::array<bool, kMaxColumns>& dupe_search) const {
    const int64_t count = columns;
    return first >= 0 && second >= 0 && first != second && first < count &&
           second < count && dupe_search[first] && dupe_search[second];
  }

  bool operator==(const SwapColumns&) const = default;
};

}  // namespace vexlor

#endif  // VEXLOR_TABLES_STAGES_SWAP_COLUMNS_H_

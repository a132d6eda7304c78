// The result table of a duplicate search that returns its groups.
#ifndef VEXLOR_TABLES_GROUPING_COPY_GROUPS_H_
#define VEXLOR_TABLES_GROUPING_COPY_GROUPS_H_

#include <cstdint>

#include "vexlor/tables/batch_context.h"
#include "vexlor/tables/candidates/ll_hash.h"
#include "vexlor/variant.h"
#include "vexlor/variant_array.h"

namespace vexlor {

// Copies the rows of `work` filed in `groups` under a key that holds two or
// more rows, group by group in the walk order of the index and in filing
// order within a group, columns 0 to columns - 1, into a new table with the
// lower bounds of `work`, made with `first_guess` rows and grown by 500 rows
// at a time. Returns that table cut to the rows copied, or Empty when no
// key holds two rows. Out of memory sets the error state and returns a
// VT_ARRAY|VT_VARIANT holding no array when the table cannot be created
// (or cut), and the rows copied so far when it cannot grow. Copies share
// strings, so no cell copy allocates. Cost: O(buckets + keys + copied
// cells).
platform::Variant CopyGroups(BatchContext& ctx, const LLHash& groups,
                             platform::VariantArray& work, uint32_t columns,
                             uint32_t first_guess);

}  // namespace vexlor

#endif  // VEXLOR_TABLES_GROUPING_COPY_GROUPS_H_

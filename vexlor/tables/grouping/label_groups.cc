#include "vexlor/tables/grouping/label_groups.h"

#include "vexlor/tables/candidates/index_size.h"
#include "vexlor/tables/grouping/copy_groups.h"

namespace vexlor {

namespace {

// Most tables hold few duplicates; the result grows if they hold more.
uint32_t FirstGuess(uint32_t rows) { return rows / 10 + 500; }

}  // namespace

LabelGroups::LabelGroups(uint32_t size_for, uint32_t rows)
    : first_guess_(FirstGuess(rows)) {
  const IndexSize size = StandardIndexSize(size_for);
  // Growth step 0 keeps the table's default.
  index_.Init(size.buckets, size.node_block, 0);
}

platform::Variant LabelGroups::Copy(BatchContext& ctx,
                                    platform::VariantArray& work,
                                    uint32_t columns) const {
  return CopyGroups(ctx, index_, work, columns, first_guess_);
}

}  // namespace vexlor

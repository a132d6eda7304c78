// The rows of a labelled table filed under their group labels, to copy the
// groups out: what the duplicate search and the merge return when asked
// for the duplicates alone.
#ifndef VEXLOR_TABLES_GROUPING_LABEL_GROUPS_H_
#define VEXLOR_TABLES_GROUPING_LABEL_GROUPS_H_

#include <cstdint>
#include <string_view>

#include "vexlor/tables/batch_context.h"
#include "vexlor/tables/candidates/ll_hash.h"
#include "vexlor/variant.h"
#include "vexlor/variant_array.h"

namespace vexlor {

class LabelGroups {
 public:
  // An index shaped for rows 0 to size_for (StandardIndexSize), for a
  // table of about `rows` rows. Throws std::bad_alloc.
  LabelGroups(uint32_t size_for, uint32_t rows);
  LabelGroups(const LabelGroups&) = delete;
  LabelGroups& operator=(const LabelGroups&) = delete;

  // Files `row` under `label`; an empty label files nothing. Throws
  // std::bad_alloc.
  void Add(std::string_view label, uint32_t row) { index_.Add(label, row); }

  // The groups of two or more rows of `work`, columns 0 to columns - 1,
  // as CopyGroups (copy_groups.h) returns them.
  platform::Variant Copy(BatchContext& ctx, platform::VariantArray& work,
                         uint32_t columns) const;

 private:
  LLHash index_;
  const uint32_t first_guess_;
};

}  // namespace vexlor

#endif  // VEXLOR_TABLES_GROUPING_LABEL_GROUPS_H_

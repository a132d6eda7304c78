#include "vexlor/tables/grouping/copy_groups.h"

#include <limits>
#include <new>
#include <optional>
#include <span>
#include <string_view>

#include "vexlor/tables/table_model.h"

namespace vexlor {

using platform::ArrayLock;
using platform::Variant;
using platform::VariantArray;

Variant CopyGroups(BatchContext& ctx, const LLHash& groups, VariantArray& work,
                   uint32_t columns, uint32_t first_guess) {
  Variant result;
  try {
    result = CreateResultTable(work, columns, first_guess);
  } catch (const std::bad_alloc&) {
    ctx.SetOutOfMemoryError();
    return Variant::Array(nullptr);
  }
  VariantArray* d = result.AsArray();
  uint32_t written = 0;
  {
    ArrayLock work_lock(&work);
    std::optional<ArrayLock> result_lock(std::in_place, d);
    bool stopped = false;
    groups.ForEach([&](std::string_view, std::span<const uint32_t> group) {
      if (stopped || group.size() < 2) return;
      for (uint32_t v : group) {
        for (uint32_t c = 0; c < columns; ++c) {
          d->cell(c, written) = work.cell(c, v);
        }
        ++written;
        if (written == d->rows()) {
          // The array cannot change size while locked.
          result_lock.reset();
          bool grown = false;
          try {
            grown = written <= std::numeric_limits<uint32_t>::max() - 500 &&
                    d->ResizeLast(written + 500);
          } catch (const std::bad_alloc&) {
          }
          result_lock.emplace(d);
          if (!grown) {
            ctx.SetOutOfMemoryError();
            stopped = true;
            return;
          }
        }
      }
    });
  }
  if (written == 0) {
    DestroyResultArray(&result);
    return Variant();
  }
  if (!TrimResultRows(&result, written)) {
    // Rows of Empty cells past the groups would read as records.
    ctx.SetOutOfMemoryError();
    DestroyResultArray(&result);
    return Variant::Array(nullptr);
  }
  return result;
}

}  // namespace vexlor

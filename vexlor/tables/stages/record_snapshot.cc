#include "vexlor/tables/stages/record_snapshot.h"

#include <new>

namespace vexlor {

namespace {

// Offsets are 32-bit.
constexpr size_t kMaxTexts = 0x7FFFFFFF;

}  // namespace

void RecordSnapshot::Append(std::string_view text, Cell* cell) {
  if (texts_.size() + text.size() > kMaxTexts) throw std::bad_alloc();
  cell->length = static_cast<uint32_t>(text.size());
  texts_.append(text);
}

}  // namespace vexlor

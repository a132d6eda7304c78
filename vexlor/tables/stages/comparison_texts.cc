#include "vexlor/tables/stages/comparison_texts.h"

#include <limits>
#include <new>

namespace vexlor {

namespace {

constexpr size_t kMaxLength = (size_t{1} << 29) - 1;

}  // namespace

void ComparisonTexts::Begin(uint32_t columns, uint32_t reserve_rows) {
  Drop();
  columns_ = columns;
  first_.bases.reserve(reserve_rows);
  first_.entries.reserve(size_t{reserve_rows} * columns);
}

void ComparisonTexts::AddRow() {
  if (!sealed_) sealed_rows_ = rows_ + 1;
  Part& part = sealed_ ? later_ : first_;
  part.bases.push_back(part.arena.size());
  part.entries.resize(part.entries.size() + columns_, Entry{0, 0, 0, 0, 0});
  ++rows_;
}

void ComparisonTexts::Put(uint32_t c, std::string_view text, bool is_string,
                          bool has_text) {
  Part& part = sealed_ ? later_ : first_;
  const uint64_t offset = part.arena.size() - part.bases.back();
  if (c >= columns_ || text.size() > kMaxLength ||
      offset > std::numeric_limits<uint32_t>::max()) {
    throw std::bad_alloc();
  }
  part.arena.append(text);
  Entry& entry = part.entries[part.entries.size() - columns_ + c];
  entry =
      Entry{static_cast<uint32_t>(offset), static_cast<uint32_t>(text.size()),
            1, is_string ? 1u : 0u, has_text ? 1u : 0u};
}

void ComparisonTexts::Drop() {
  first_ = Part();
  later_ = Part();
  columns_ = rows_ = sealed_rows_ = 0;
  sealed_ = false;
}

ComparisonTexts::Cell ComparisonTexts::Read(const Part& part, uint32_t c,
                                            uint32_t index) const {
  Cell cell;
  if (c >= columns_) return cell;
  const Entry& entry = part.entries[size_t{index} * columns_ + c];
  if (entry.filed == 0) return cell;
  cell.text = std::string_view(
      part.arena.data() + part.bases[index] + entry.offset, entry.length);
  cell.is_string = entry.is_string != 0;
  cell.has_text = entry.has_text != 0;
  return cell;
}

ComparisonTexts::Cell ComparisonTexts::Get(uint32_t c, uint32_t row) const {
  if (row < sealed_rows_) return Read(first_, c, row);
  return Read(later_, c, row - sealed_rows_);
}

bool ComparisonTexts::GetSealed(uint32_t c, uint32_t row, Cell* cell) const {
  if (row >= sealed_rows_) return false;
  *cell = Read(first_, c, row);
  return true;
}

}  // namespace vexlor

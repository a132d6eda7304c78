#include "vexlor/tables/comparison_texts.h"

#include <algorithm>

#include "vexlor/tables/cell_text.h"

namespace vexlor {

namespace {

// Offsets are 32-bit.
constexpr size_t kMaxArena = 0x7FFFFFFF;

}  // namespace

void ComparisonTexts::Begin(const std::vector<int>& columns,
                            uint32_t column_count, uint32_t reserve_rows) {
  Drop();
  slot_.assign(column_count, -1);
  columns_ = columns;
  for (size_t i = 0; i < columns_.size(); ++i) {
    slot_[columns_[i]] = static_cast<int>(i);
  }
  sealed_.entries.reserve(size_t{reserve_rows} * columns_.size());
}

void ComparisonTexts::Add(const platform::VariantArray& work, uint32_t row,
                          std::string* buffer) {
  if (columns_.empty() || row != rows_ || !appending_) return;
  Part& part = rows_ < sealed_rows_ || sealed_rows_ == 0 ? sealed_ : appended_;
  const bool sealed_part = &part == &sealed_;
  for (int c : columns_) {
    Entry entry;
    entry.has_text = CellText(work.cell(c, row), buffer);
    if (part.arena.size() + buffer->size() > kMaxArena) {
      if (sealed_part) {
        Drop();
      } else {
        // Sealed rows may be read elsewhere right now: keep them.
        part.entries.resize(size_t{rows_ - sealed_rows_} * columns_.size());
        appending_ = false;
      }
      return;
    }
    entry.offset = static_cast<uint32_t>(part.arena.size());
    entry.length = static_cast<uint32_t>(buffer->size());
    part.arena.append(*buffer);
    part.entries.push_back(entry);
  }
  ++rows_;
}

void ComparisonTexts::Drop() {
  sealed_ = Part();
  appended_ = Part();
  std::fill(slot_.begin(), slot_.end(), -1);
  columns_.clear();
  rows_ = 0;
  sealed_rows_ = 0;
  appending_ = true;
}

int ComparisonTexts::Read(const Part& part, uint32_t index, int slot,
                          std::string_view* text) const {
  const Entry& entry = part.entries[size_t{index} * columns_.size() + slot];
  *text = std::string_view(part.arena.data() + entry.offset, entry.length);
  return entry.has_text != 0 ? 1 : 0;
}

int ComparisonTexts::Text(int c, uint32_t row, std::string_view* text) const {
  const int slot = static_cast<size_t>(c) < slot_.size() ? slot_[c] : -1;
  if (slot < 0 || row >= rows_) return -1;
  if (row < sealed_rows_) return Read(sealed_, row, slot, text);
  if (sealed_rows_ == 0) return Read(sealed_, row, slot, text);
  return Read(appended_, row - sealed_rows_, slot, text);
}

int ComparisonTexts::SealedText(int c, uint32_t row,
                                std::string_view* text) const {
  const int slot = static_cast<size_t>(c) < slot_.size() ? slot_[c] : -1;
  if (slot < 0 || row >= sealed_rows_) return -1;
  return Read(sealed_, row, slot, text);
}

}  // namespace vexlor

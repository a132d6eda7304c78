// The compared cells of a block of records of the host's second table, read
// on the calling thread when the work on those records is handed to worker
// threads: the workers read this copy, never the host's table, which host
// code may change during a report. Whether a record still reads as its copy
// tells the calling thread whether the work found for it still holds.
#ifndef VEXLOR_TABLES_STAGES_RECORD_SNAPSHOT_H_
#define VEXLOR_TABLES_STAGES_RECORD_SNAPSHOT_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vexlor/variant.h"
#include "vexlor/variant_array.h"

namespace vexlor {

class RecordSnapshot {
 public:
  // A copied cell. A cell not read (not compared, or outside the table)
  // has no text.
  struct Cell {
    uint32_t offset;
    uint32_t length;
    bool read;
    bool is_string;  // only strings are filed and counted
    bool has_text;
  };

  // Copies rows first to end - 1 of `table`, columns 0 to columns - 1,
  // reading the cells of the columns for which read(c) is true through
  // text_of(cell, c, &text) (which returns whether the cell has a text).
  // Throws std::bad_alloc, also past 2 GB of text.
  template <class Read, class TextOf>
  void Take(const platform::VariantArray& table, uint32_t first, uint32_t end,
            uint32_t columns, Read&& read, TextOf&& text_of) {
    first_ = first;
    columns_ = columns;
    cells_.clear();
    texts_.clear();
    std::string_view text;
    for (uint32_t row = first; row < end; ++row) {
      for (uint32_t c = 0; c < columns; ++c) {
        Cell cell{static_cast<uint32_t>(texts_.size()), 0, false, false, false};
        if (c < table.columns() && read(c)) {
          const platform::Variant& v = table.cell(c, row);
          cell.read = true;
          cell.is_string = v.IsString();
          cell.has_text = text_of(v, static_cast<int>(c), &text);
          Append(text, &cell);
        }
        cells_.push_back(cell);
      }
    }
  }

  // Whether the i-th record copied still reads as its copy in `table`,
  // read with text_of as Take read it.
  template <class TextOf>
  bool Holds(const platform::VariantArray& table, uint32_t i,
             TextOf&& text_of) const {
    std::string_view text;
    for (uint32_t c = 0; c < columns_; ++c) {
      const Cell& cell = this->cell(i, c);
      if (!cell.read) continue;
      if (c >= table.columns()) return false;
      const platform::Variant& v = table.cell(c, first_ + i);
      if (v.IsString() != cell.is_string ||
          text_of(v, static_cast<int>(c), &text) != cell.has_text ||
          text != this->text(cell)) {
        return false;
      }
    }
    return true;
  }

  uint32_t columns() const { return columns_; }
  const Cell& cell(uint32_t i, uint32_t c) const {
    return cells_[size_t{i} * columns_ + c];
  }
  std::string_view text(const Cell& cell) const {
    return std::string_view(texts_.data() + cell.offset, cell.length);
  }

 private:
  void Append(std::string_view text, Cell* cell);

  uint32_t first_ = 0;
  uint32_t columns_ = 0;
  std::vector<Cell> cells_;
  std::string texts_;
};

}  // namespace vexlor

#endif  // VEXLOR_TABLES_STAGES_RECORD_SNAPSHOT_H_

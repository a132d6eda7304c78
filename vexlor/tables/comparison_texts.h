// The comparison texts of the DupeSearch columns of the working rows, held in
// one arena, so that a comparison views them in place instead of turning a
// cell into text for every pair it takes part in.
//
// The rows present when matching begins are sealed apart from the rows
// appended later (the records a merge adds as it goes): the sealed part never
// moves or changes, so worker threads may read it while the calling thread
// appends.
#ifndef VEXLOR_TABLES_COMPARISON_TEXTS_H_
#define VEXLOR_TABLES_COMPARISON_TEXTS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vexlor/platform/variant_array.h"

namespace vexlor {

class ComparisonTexts {
 public:
  // Starts over, empty, for the columns `columns` (ascending, each below
  // `column_count`), with room for the entries of `reserve_rows` rows.
  // Throws std::bad_alloc.
  void Begin(const std::vector<int>& columns, uint32_t column_count,
             uint32_t reserve_rows);

  // Appends the texts of row `row` of `work`, which must be rows(); any
  // other row is ignored. `buffer` is scratch space. Past 2 GB of text the
  // unsealed rows stop being held (and before the seal everything is
  // dropped): their cells are then read directly. Throws std::bad_alloc.
  void Add(const platform::VariantArray& work, uint32_t row,
           std::string* buffer);

  // The rows held so far are sealed; rows added from now on go apart.
  void Seal() { sealed_rows_ = rows_; }

  // Frees everything; no row is held. Never fails.
  void Drop();

  // The text of column c of `row`: 1 with a text, 0 for a cell without
  // one, -1 when the row or column is not held (read the cell instead). A
  // sealed row's text stays in place until Drop, another's until rows are
  // added.
  int Text(int c, uint32_t row, std::string_view* text) const;

  // As Text, for sealed rows only (-1 for the others); safe on any thread
  // while the calling thread adds rows.
  int SealedText(int c, uint32_t row, std::string_view* text) const;

 private:
  struct Entry {
    uint32_t offset;
    uint32_t length : 31;
    uint32_t has_text : 1;
  };
  // One arena and its entries, row by row in the order of columns_.
  struct Part {
    std::vector<Entry> entries;
    std::string arena;
  };
  int Read(const Part& part, uint32_t index, int slot,
           std::string_view* text) const;

  std::vector<int> slot_;  // per column: its place in a row's entries, or -1
  std::vector<int> columns_;
  uint32_t rows_ = 0;
  uint32_t sealed_rows_ = 0;
  bool appending_ = true;  // whether rows past the seal are still held
  Part sealed_;
  Part appended_;
};

}  // namespace vexlor

#endif  // VEXLOR_TABLES_COMPARISON_TEXTS_H_

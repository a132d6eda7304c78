// The comparison form of the working rows: for each compared cell the text a
// comparison or the trigram filter reads (a string normalised or kept as it
// is, another cell's text form), held in one arena with offsets rather than
// as a cell of its own, so that a million rows cost their text and eight
// bytes a cell.
//
// The rows filed before matching begins are sealed apart from the rows
// appended later (the records a merge adds as it goes): the sealed part never
// moves or changes, so worker threads may read it while the calling thread
// appends.
#ifndef VEXLOR_TABLES_STAGES_COMPARISON_TEXTS_H_
#define VEXLOR_TABLES_STAGES_COMPARISON_TEXTS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vexlor {

class ComparisonTexts {
 public:
  // A cell of the comparison form. A cell that was not filed has no text.
  struct Cell {
    std::string_view text;
    bool is_string = false;  // only strings are filed and counted
    bool has_text = false;   // as CellText says of the cell
  };

  // Starts over, empty, with `columns` cells a row and room for the
  // entries of `reserve_rows` rows. Throws std::bad_alloc.
  void Begin(uint32_t columns, uint32_t reserve_rows);

  // Appends row rows(), no cell of it filed yet. Throws std::bad_alloc.
  void AddRow();

  // Files cell c of the row added last, once, in ascending column order.
  // Throws std::bad_alloc, also for a text of 512 MB or more.
  void Put(uint32_t c, std::string_view text, bool is_string, bool has_text);

  // The rows added so far are sealed; rows added from now on go apart.
  void Seal() { sealed_ = true; }
  bool sealed() const { return sealed_; }

  // Frees everything. Never fails.
  void Drop();

  uint32_t rows() const { return rows_; }

  // Cell c of `row` (below rows()). A sealed row's text stays in place
  // until Drop, another's until rows are added.
  Cell Get(uint32_t c, uint32_t row) const;

  // As Get, for sealed rows only: whether `row` is sealed. Safe on any
  // thread while the calling thread adds rows.
  bool GetSealed(uint32_t c, uint32_t row, Cell* cell) const;

 private:
  struct Entry {
    uint32_t offset;  // from the row's first byte
    uint32_t length : 29;
    uint32_t filed : 1;
    uint32_t is_string : 1;
    uint32_t has_text : 1;
  };
  // One arena: per row the offset of its first byte and `columns_` entries.
  struct Part {
    std::vector<uint64_t> bases;
    std::vector<Entry> entries;
    std::string arena;
  };
  Cell Read(const Part& part, uint32_t c, uint32_t index) const;

  uint32_t columns_ = 0;
  uint32_t rows_ = 0;
  uint32_t sealed_rows_ = 0;
  bool sealed_ = false;
  Part first_;  // the sealed rows
  Part later_;  // the rows added after the seal
};

}  // namespace vexlor

#endif  // VEXLOR_TABLES_STAGES_COMPARISON_TEXTS_H_

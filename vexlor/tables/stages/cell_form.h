// A cell of a Cluster or DupeSearch column in comparison form: a string is
// normalised in upper case when the column's Weight is 1.0 or less, kept as
// it is otherwise; any other cell gives its cell text (cell_text.h).
#ifndef VEXLOR_TABLES_STAGES_CELL_FORM_H_
#define VEXLOR_TABLES_STAGES_CELL_FORM_H_

#include <string>
#include <string_view>

#include "vexlor/variant.h"

namespace vexlor {

// Reuses its buffers: nothing is allocated per cell once they have grown.
class CellForm {
 public:
  // Sets *text to the comparison form of `cell` in a column of `weight`;
  // returns whether the cell has a text. The view lasts until the next
  // call. Throws std::bad_alloc.
  bool Read(const platform::Variant& cell, double weight,
            std::string_view* text);

  // `text` as a string cell made of it would give it back (CellText); the
  // view lasts until the next call. Throws std::bad_alloc.
  std::string_view AsCellText(std::string_view text);

 private:
  std::string raw_;
  std::string normalized_;
  std::string text_;
};

}  // namespace vexlor

#endif  // VEXLOR_TABLES_STAGES_CELL_FORM_H_

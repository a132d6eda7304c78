#include "vexlor/tables/stages/cell_form.h"

#include <algorithm>

#include "vexlor/strings/normalize.h"
#include "vexlor/tables/cell_text.h"

namespace vexlor {

bool CellForm::Read(const platform::Variant& cell, double weight,
                    std::string_view* text) {
  const bool has = CellText(cell, &raw_);
  // Only strings are normalised: a number keeps its sign and decimal point.
  if (cell.IsString() && weight <= 1.0) {
    NormalizeTextInto(raw_, true, &normalized_);
    *text = normalized_;
  } else {
    *text = raw_;
  }
  return has;
}

std::string_view CellForm::AsCellText(std::string_view text) {
  // The same bytes for plain ASCII, which the round trip is spared.
  if (std::all_of(text.begin(), text.end(), [](char ch) {
        return static_cast<unsigned char>(ch) < 0x80;
      })) {
    return text;
  }
  CellText(platform::Variant::AnsiString(text), &text_);
  return text_;
}

}  // namespace vexlor

// The keys `vexlor exact` hands to the exact match. The method compares
// texts exactly; people often want "MEIER" to meet "Meier " all the same,
// so the command folds the keys itself (--ignore-case, --trim) and gives
// the method a table of the folded keys alone, with each row's number, to
// learn which rows matched.
#ifndef VEXLOR_CLI_EXACT_KEYS_H_
#define VEXLOR_CLI_EXACT_KEYS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "vexlor/variant.h"

namespace vexlor::cli {

struct KeyFolding {
  bool ignore_case = false;  // letters of the Latin, Greek and Cyrillic scripts
  bool trim = false;         // blanks, tabs and line breaks at either end
};

// The key text of `cell` folded as asked. Cost: linear in its length.
std::u16string FoldKey(std::u16string_view text, const KeyFolding& folding);

// A table of two columns: the folded key of column `column` of `table`
// (a string cell; other cells keep their value, so they key as before)
// and the row's number from 0. Cost: one pass over the rows.
platform::Variant KeyTable(const platform::Variant& table, uint32_t column,
                           const KeyFolding& folding);

// The rows of `keys` (a result of the exact match over KeyTable rows)
// by their numbers: true for each row of the `rows` master rows it holds.
std::vector<bool> MatchedRows(const platform::Variant& keys, size_t rows);

}  // namespace vexlor::cli

#endif  // VEXLOR_CLI_EXACT_KEYS_H_

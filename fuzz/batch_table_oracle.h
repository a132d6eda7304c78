// What the batch-table fuzzer expects of a batch call that ran to the end:
// the result the straightforward oracles of tests/reference/ give for the
// same tables and settings. Only what the oracles model is compared (the
// Options text is empty, no host changes options during the call); a call
// whose arguments are no tables, or whose result is not a table where a
// table may be Empty, is left to the fuzzer's other checks.
#ifndef VEXLOR_FUZZ_BATCH_TABLE_ORACLE_H_
#define VEXLOR_FUZZ_BATCH_TABLE_ORACLE_H_

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/reference/dupe_search_reference.h"
#include "tests/reference/exact_delete_reference.h"
#include "tests/reference/fuzzy_match_reference.h"
#include "vexlor/match_options.h"
#include "vexlor/return_results.h"
#include "vexlor/tables/cell_text.h"
#include "vexlor/tables/column_options.h"
#include "vexlor/tables/methods/delete_dupes.h"
#include "vexlor/variant.h"
#include "vexlor/variant_array.h"

namespace vexlor::fuzz {

using reference::Canonical;

// One call as the fuzzer made it; method as its switch numbers them.
struct BatchCall {
  int method;
  const platform::Variant& first;
  const platform::Variant& second;
  int32_t column;
  double threshold;
  double cluster_threshold;
  int16_t mode;
  int32_t max_column;
  const ColumnOptions& options;  // before the call
};

// The table an argument holds, by value or by reference; null for none.
inline const platform::VariantArray* TableOf(const platform::Variant& v) {
  const platform::Variant* target = &v;
  if (v.vt() == (platform::VT_BYREF | platform::VT_VARIANT)) {
    target = v.AsRef();
    if (target == nullptr) return nullptr;
  }
  if (target->vt() != (platform::VT_ARRAY | platform::VT_VARIANT)) {
    return nullptr;
  }
  const platform::VariantArray* array = target->AsArray();
  return array != nullptr && array->dims() == 2 ? array : nullptr;
}

// The label texts of column `c`; a cell that is no text reads as "".
inline std::vector<std::u16string> Labels(const platform::VariantArray& t,
                                          uint32_t c, uint32_t first_row,
                                          uint32_t rows) {
  std::vector<std::u16string> out;
  for (uint32_t r = first_row; r < first_row + rows; ++r) {
    const platform::Variant& cell = t.cell(c, r);
    out.emplace_back(cell.IsString() ? cell.AsString() : u"");
  }
  return out;
}

// Whether row `got_row` of `got` holds the cells of row `row` of `table` in
// its first `columns` columns (those both have).
inline bool SameRow(const platform::VariantArray& got, uint32_t got_row,
                    const platform::VariantArray& table, uint32_t row,
                    uint32_t columns) {
  columns = std::min({columns, got.columns(), table.columns()});
  for (uint32_t c = 0; c < columns; ++c) {
    if (!platform::SameValue(got.cell(c, got_row), table.cell(c, row))) {
      return false;
    }
  }
  return true;
}

// Whether `got` is exactly the rows `rows` of `table` (Empty for none),
// compared over the columns both have.
inline bool SameRows(const platform::Variant& got,
                     const platform::VariantArray& table,
                     const std::vector<uint32_t>& rows) {
  if (rows.empty()) return got.IsEmpty();
  const platform::VariantArray* array = got.AsArray();
  if (array == nullptr || array->rows() != rows.size()) return false;
  const uint32_t columns = std::min(array->columns(), table.columns());
  for (uint32_t k = 0; k < rows.size(); ++k) {
    if (!SameRow(*array, k, table, rows[k], columns)) return false;
  }
  return true;
}

// The options as a fuzzy method starts comparing: the IDColumnIndex column
// switched off.
inline ColumnOptions StartingOptions(const BatchCall& call) {
  ColumnOptions options = call.options;
  if (ColumnOptions::InRange(call.column)) {
    options.cluster[call.column] = false;
    options.dupe_search[call.column] = false;
  }
  return options;
}

// The sizes of the groups of more than one row, smallest first.
inline std::vector<size_t> SharedGroupSizes(const std::vector<int64_t>& group) {
  std::map<int64_t, size_t> sizes;
  for (int64_t g : group) ++sizes[g];
  std::vector<size_t> out;
  for (const auto& [g, n] : sizes) {
    if (n > 1) out.push_back(n);
  }
  std::sort(out.begin(), out.end());
  return out;
}

// DRR_ALL: every row with the label of its group. DRR_DUPES (and any other
// mode): the rows of shared labels, group after group in an order of the
// label index's own, or Empty; checked by the sizes of the groups, each
// in one piece.
inline bool DupeSearchAgrees(const BatchCall& call,
                             const platform::VariantArray& table,
                             const platform::Variant& result) {
  const reference::DupeOutcome want = reference::ReferenceDupeSearch(
      table, StartingOptions(call), call.threshold, call.cluster_threshold,
      MatchOptions{}, [](int32_t, ColumnOptions&) {});
  const platform::VariantArray* got = result.AsArray();
  if (call.mode == DRR_ALL) {
    if (got == nullptr) return table.rows() == 0;
    return got->rows() == table.rows() &&
           got->columns() == table.columns() + 1 &&
           Canonical(Labels(*got, table.columns(), 0, got->rows())) ==
               Canonical(want.group);
  }
  const std::vector<size_t> want_sizes = SharedGroupSizes(want.group);
  if (want_sizes.empty()) return result.IsEmpty();
  if (got == nullptr || got->columns() != table.columns() + 1) return false;
  const std::vector<std::u16string> labels =
      Labels(*got, table.columns(), 0, got->rows());
  std::vector<size_t> sizes;
  std::map<std::u16string, bool> seen;
  for (size_t r = 0; r < labels.size(); ++r) {
    if (r > 0 && labels[r] == labels[r - 1]) {
      ++sizes.back();
      continue;
    }
    if (!seen.emplace(labels[r], true).second) return false;  // split
    sizes.push_back(1);
  }
  std::sort(sizes.begin(), sizes.end());
  return sizes == want_sizes;
}

inline bool FuzzyMatchAgrees(const BatchCall& call,
                             const platform::VariantArray& master,
                             const platform::VariantArray& match,
                             const platform::Variant& result) {
  const reference::MatchOutcome want =
      reference::ReferenceMatch(master, match, StartingOptions(call),
                                call.threshold, call.cluster_threshold);
  std::vector<uint32_t> taken;
  for (uint32_t r = 0; r < master.rows(); ++r) {
    if (call.mode == MAR_ALL ||
        (call.mode == MAR_POSITIVE && want.match[r] != 0) ||
        (call.mode == MAR_NEGATIVE && want.match[r] == 0)) {
      taken.push_back(r);
    }
  }
  // No row taken is Empty, except that an empty master table may come back
  // as it went.
  if (taken.empty()) return call.mode == MAR_ALL || result.IsEmpty();
  const platform::VariantArray* got = result.AsArray();
  if (got == nullptr || got->rows() != taken.size() ||
      got->columns() != master.columns() + 1) {
    return false;
  }
  for (uint32_t k = 0; k < taken.size(); ++k) {
    const platform::Variant& cell = got->cell(master.columns(), k);
    if (!SameRow(*got, k, master, taken[k], master.columns()) ||
        cell.vt() != platform::VT_I4 ||
        cell.AsInt32() != want.match[taken[k]]) {
      return false;
    }
  }
  return true;
}

inline bool FuzzyMergeAgrees(const BatchCall& call,
                             const platform::VariantArray& master,
                             const platform::VariantArray& import,
                             const platform::Variant& result) {
  const reference::MergeOutcome want = reference::ReferenceMerge(
      master, import, StartingOptions(call), call.threshold,
      call.cluster_threshold, call.mode);
  const platform::VariantArray* got = result.AsArray();
  const uint32_t common = std::min(master.columns(), import.columns());
  if (call.mode == MRR_IMPORT) {
    // Nothing appended is a table with no rows, not Empty.
    if (got == nullptr || got->rows() != want.appended.size()) return false;
    for (uint32_t k = 0; k < want.appended.size(); ++k) {
      if (!SameRow(*got, k, import, want.appended[k], common)) return false;
    }
    return true;
  }
  if (call.mode == MRR_DUPES) {
    std::map<int64_t, int> sizes;
    for (int64_t g : want.group) ++sizes[g];
    uint32_t shared = 0;
    for (int64_t g : want.group) shared += sizes[g] > 1;
    return (got == nullptr ? 0u : got->rows()) == shared;
  }
  if (call.mode != MRR_ALL && call.mode != MRR_CLEANMERGED) return true;
  const uint32_t rows = master.rows() + want.appended.size();
  if (got == nullptr || got->rows() != rows || got->columns() < 2) {
    return rows == 0 && result.IsEmpty();
  }
  for (uint32_t r = 0; r < master.rows(); ++r) {
    if (!SameRow(*got, r, master, r, master.columns())) return false;
  }
  for (uint32_t k = 0; k < want.appended.size(); ++k) {
    if (!SameRow(*got, master.rows() + k, import, want.appended[k], common)) {
      return false;
    }
  }
  return Canonical(Labels(*got, got->columns() - 2, 0, rows)) ==
         Canonical(want.group);
}

// The exact match's key of each row: the text of a cell that has one.
inline reference::RowKeys ExactKeys(const platform::VariantArray& table,
                                    int32_t column) {
  reference::RowKeys keys(table.rows());
  if (column < 0 || static_cast<uint32_t>(column) >= table.columns()) {
    return keys;
  }
  for (uint32_t r = 0; r < table.rows(); ++r) {
    std::string text;
    if (CellText(table.cell(static_cast<uint32_t>(column), r), &text) &&
        !text.empty()) {
      keys[r] = text;
    }
  }
  return keys;
}

// DeleteDupes' group key of each row: only a non-empty string has one.
inline reference::RowKeys GroupKeys(const platform::VariantArray& table,
                                    int64_t column) {
  reference::RowKeys keys(table.rows());
  if (column < 0 || column >= table.columns()) return keys;
  for (uint32_t r = 0; r < table.rows(); ++r) {
    const platform::Variant& cell =
        table.cell(static_cast<uint32_t>(column), r);
    if (!cell.IsString() || cell.AsString().empty()) continue;
    std::string text;
    CellText(cell, &text);
    keys[r] = text;
  }
  return keys;
}

inline bool DeleteDupesAgrees(const BatchCall& call,
                              const platform::VariantArray& table,
                              const platform::Variant& result) {
  const int64_t fid =
      call.column >= 0 ? int64_t{call.column} : FindFidColumn(table);
  if (fid < 0) return result.IsEmpty();
  const reference::DeleteOutcome want = reference::DeleteDupesRows(
      GroupKeys(table, fid), call.mode % 3, call.mode);
  return SameRows(result, table, want.returned);
}

// Whether the result of `call` is the oracles' (true where they model
// nothing of the call).
inline bool AgreesWithTheOracle(const BatchCall& call,
                                const platform::Variant& result) {
  const platform::VariantArray* first = TableOf(call.first);
  const platform::VariantArray* second = TableOf(call.second);
  if (first == nullptr) return true;
  switch (call.method) {
    case 0:
      return DupeSearchAgrees(call, *first, result);
    case 1:
      if (second == nullptr) return true;
      return FuzzyMatchAgrees(call, *first, *second, result);
    case 2:
      if (second == nullptr) return true;
      return FuzzyMergeAgrees(call, *first, *second, result);
    case 3:
      if (second == nullptr) return true;
      return SameRows(result, *first,
                      reference::ExactMatchRows(ExactKeys(*first, call.column),
                                                ExactKeys(*second, call.column),
                                                call.mode));
    case 4:
      return DeleteDupesAgrees(call, *first, result);
    default:
      return true;
  }
}

}  // namespace vexlor::fuzz

#endif  // VEXLOR_FUZZ_BATCH_TABLE_ORACLE_H_

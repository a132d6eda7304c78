// `vexlor apply FILE DECISIONS`: the table with the labels a review decided,
// ready for `vexlor delete-dupes`.
//
// A FILE with a label column keeps the label of every group a review left
// whole, so accepting everything changes nothing; a merged group takes the
// label of the group it joined. A FILE without one (a review that ran the
// search itself) gets a FuzzyDupesID column. Labels that no input holds
// are made from numbers in the labels' own form, {00000000-0000-0000-0000-
// 000000000017}: the row's number for a row split off its group, the group
// number for a new column. So the same input and decisions always give
// the same bytes.
//
// A review of `match` output applies to that output: rejected matches are
// removed, everything else is written as it was read; a MASTER without a
// Match column (a review that matched itself) gets one.
#include <algorithm>
#include <cstdio>

#include "cli/command.h"
#include "cli/summary.h"
#include "cli/table_command.h"
#include "cli/table_io.h"
#include "review/review_decisions.h"
#include "vexlor/tables/cell_text.h"
#include "vexlor/text.h"
#include "vexlor/variant_array.h"

namespace vexlor::cli {

using platform::Variant;
using platform::VariantArray;

namespace {

std::vector<OptionSpec> ApplySpecs() {
  std::vector<OptionSpec> specs = InputOptionSpecs();
  for (auto& s : OutputOptionSpecs()) specs.push_back(s);
  specs.push_back({"fid-column", true});
  return specs;
}

Variant NumberedLabel(uint64_t number) {
  char text[40];
  std::snprintf(text, sizeof text, "{00000000-0000-0000-0000-%012llu}",
                static_cast<unsigned long long>(number % 1000000000000ULL));
  return Variant::Utf8String(text);
}

std::u16string LabelText(const Variant& cell) {
  return cell.IsString() ? std::u16string(cell.AsString()) : std::u16string();
}

// True when every group of `state` shares one non-empty label in `column`
// that no row outside it carries.
bool LabelsMatch(const VariantArray& table, uint32_t column,
                 const ReviewState& state) {
  std::vector<bool> grouped(state.rows + size_t{1}, false);
  std::vector<std::u16string> labels;
  for (const std::vector<uint32_t>& g : state.groups) {
    const std::u16string label = LabelText(table.cell(column, g[0] - 1));
    if (label.empty()) return false;
    for (uint32_t row : g) {
      if (LabelText(table.cell(column, row - 1)) != label) return false;
      grouped[row] = true;
    }
    labels.push_back(label);
  }
  std::sort(labels.begin(), labels.end());
  if (std::adjacent_find(labels.begin(), labels.end()) != labels.end()) {
    return false;
  }
  for (uint32_t row = 1; row <= state.rows; ++row) {
    if (grouped[row]) continue;
    if (std::binary_search(labels.begin(), labels.end(),
                           LabelText(table.cell(column, row - 1)))) {
      return false;
    }
  }
  return true;
}

void AddMatchColumn(const ReviewState& state, InputTable* input) {
  const uint32_t columns = static_cast<uint32_t>(input->columns);
  const uint32_t rows = static_cast<uint32_t>(input->rows);
  Variant wider = VariantArray::NewTable(columns + 1, rows);
  VariantArray& out = *wider.AsArray();
  const VariantArray& table = *input->table.AsArray();
  for (uint32_t row = 0; row < rows; ++row) {
    for (uint32_t c = 0; c < columns; ++c)
      out.cell(c, row) = table.cell(c, row);
    out.cell(columns, row) = Variant::I4(0);
  }
  for (const std::vector<uint32_t>& g : state.groups) {
    out.cell(columns, g[0] - 1) = Variant::I4(static_cast<int32_t>(g[1]));
  }
  input->table = wider;
  input->names.push_back(u"Match");
  input->columns = columns + 1;
}

// A match review's decisions on a `match` result: the Match cell of each
// rejected match becomes 0 and the Similarity and MatchID cells after it
// empty, as for a MASTER row nothing matched.
bool ApplyMatches(const ReviewState& state, const std::string& decisions,
                  InputTable* input, size_t* changed, std::string* error) {
  int match_column = FindColumn(*input, "Match");
  if (match_column < 0) {
    // The MASTER of a review that matched itself: the column as `match`
    // would have written it, from the matches reviewed.
    AddMatchColumn(state, input);
    match_column = static_cast<int>(input->columns - 1);
  }
  VariantArray& table = *input->table.AsArray();
  const uint32_t at = static_cast<uint32_t>(match_column);
  for (const std::vector<uint32_t>& g : state.groups) {
    std::string text;
    CellText(table.cell(at, g[0] - 1), &text);
    if (text != std::to_string(g[1])) {
      *error = input->path + ": row " + std::to_string(g[0]) +
               " does not hold the match " + decisions + " reviewed";
      return false;
    }
  }
  std::vector<uint32_t> cleared = {at};
  for (const char* name : {"Similarity", "MatchID"}) {
    const int c = FindColumn(*input, name);
    if (c > match_column) cleared.push_back(static_cast<uint32_t>(c));
  }
  for (const GroupDecision& d : state.decisions) {
    if (!d.reject) continue;
    for (uint32_t c : cleared) {
      table.cell(c, d.group - 1) = c == at ? Variant::I4(0) : Variant();
    }
    ++*changed;
  }
  return true;
}

}  // namespace

int RunApply(const std::vector<std::string>& args, Io io) {
  Arguments a(args, ApplySpecs());
  if (!a.ok()) return Complain(io, kExitUsage, "apply: " + a.error());
  const Summary summary(a);
  if (a.positional().size() != 2) {
    return Complain(io, kExitUsage, "apply takes FILE and DECISIONS");
  }
  std::string error;
  bool cp1252;
  if (!OutputEncoding(a, &cp1252, &error)) {
    return Complain(io, kExitUsage, "apply: " + error);
  }
  ReviewState state;
  if (!ReadReviewState(a.positional()[1], &state, &error)) {
    return Complain(io, kExitBadInput, error);
  }
  InputTable input;
  int status = kExitOk;
  if (!LoadOne(a, 0, &input, io, &status, SIZE_MAX)) return status;
  if (input.rows != state.rows) {
    return Complain(io, kExitBadInput,
                    a.positional()[1] + " was made for a table of " +
                        std::to_string(state.rows) + " rows; " + input.path +
                        " has " + std::to_string(input.rows));
  }
  if (state.kind == ReviewKind::kMatch) {
    size_t rejected = 0;
    if (!ApplyMatches(state, a.positional()[1], &input, &rejected, &error) ||
        !WriteResult(input.table, input.names, a, &error)) {
      return Complain(io, kExitBadInput, error);
    }
    summary.Print(io.err, "apply",
                  std::to_string(state.rows) + " rows, " +
                      std::to_string(rejected) + " matches removed");
    return kExitOk;
  }
  const std::string fid_name = a.Get("fid-column", "FuzzyDupesID");
  const int fid_column = FindColumn(input, fid_name);
  if (fid_column < 0 && a.Has("fid-column")) {
    return Complain(io, kExitBadInput, NoColumnError(input, fid_name));
  }
  const VariantArray& table = *input.table.AsArray();
  if (fid_column >= 0 &&
      !LabelsMatch(table, static_cast<uint32_t>(fid_column), state)) {
    return Complain(io, kExitBadInput,
                    input.path + ": the labels of column '" + fid_name +
                        "' do not form the groups of " + a.positional()[1]);
  }

  std::vector<uint32_t> final_keys;
  const std::vector<int32_t> numbers = ReviewedGroupNumbers(state, &final_keys);
  std::vector<bool> split(state.rows + size_t{1}, false);
  for (const GroupDecision& d : state.decisions) {
    for (uint32_t row : d.split) split[row] = true;
  }
  std::vector<Variant> labels(state.rows);
  size_t changed = 0;
  for (uint32_t row = 1; row <= state.rows; ++row) {
    Variant& label = labels[row - 1];
    if (fid_column < 0) {
      label = NumberedLabel(static_cast<uint64_t>(numbers[row - 1]));
      continue;
    }
    const uint32_t column = static_cast<uint32_t>(fid_column);
    if (split[row]) {
      label = NumberedLabel(row);
    } else {
      label = table.cell(
          column, (final_keys[row - 1] != 0 ? final_keys[row - 1] : row) - 1);
    }
    if (LabelText(label) != LabelText(table.cell(column, row - 1))) ++changed;
  }

  Variant result = input.table;
  std::vector<std::u16string> names = input.names;
  if (fid_column >= 0) {
    for (uint32_t row = 0; row < state.rows; ++row) {
      result.AsArray()->cell(static_cast<uint32_t>(fid_column), row) =
          labels[row];
    }
  } else {
    Variant wider = VariantArray::NewTable(
        static_cast<uint32_t>(input.columns + 1), state.rows);
    for (uint32_t row = 0; row < state.rows; ++row) {
      for (uint32_t c = 0; c < input.columns; ++c) {
        wider.AsArray()->cell(c, row) = table.cell(c, row);
      }
      wider.AsArray()->cell(static_cast<uint32_t>(input.columns), row) =
          labels[row];
    }
    result = wider;
    names.push_back(u"FuzzyDupesID");
    changed = state.rows;
  }
  if (!WriteResult(result, names, a, &error)) {
    return Complain(io, kExitBadInput, error);
  }
  summary.Print(io.err, "apply",
                std::to_string(state.rows) + " rows, " +
                    std::to_string(changed) + " labels changed");
  return kExitOk;
}

}  // namespace vexlor::cli

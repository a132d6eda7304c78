// `vexlor exact MASTER FILE --column C`: the rows of MASTER whose text in
// column C occurs in the same column of FILE (or those whose text does
// not, or all of them with a Matched column).
#include <algorithm>

#include "cli/column_flags.h"
#include "cli/command.h"
#include "cli/exact_keys.h"
#include "cli/progress_session.h"
#include "cli/summary.h"
#include "cli/table_io.h"
#include "vexlor/platform/variant_array.h"

namespace vexlor::cli {

namespace {

std::vector<OptionSpec> ExactSpecs() {
  std::vector<OptionSpec> specs = InputOptionSpecs();
  for (auto& s : TwoFileInputSpecs()) specs.push_back(s);
  for (auto& s : OutputOptionSpecs()) specs.push_back(s);
  for (const char* name : {"column", "return", "progress"}) {
    specs.push_back({name, true});
  }
  specs.push_back({"ignore-case", false, false, "i"});
  specs.push_back({"trim", false});
  return specs;
}

// The compared column is one index in both tables: a name must stand at the
// same place in both once the columns are lined up.
bool CompareColumn(const InputTable& master, const InputTable& match,
                   const std::string& name, int* column, std::string* error) {
  const int in_master = FindColumn(master, name);
  const int in_match = FindColumn(match, name);
  for (const auto& [index, table] :
       {std::pair{in_master, &master}, std::pair{in_match, &match}}) {
    if (index < 0) {
      *error = NoColumnError(*table, name);
      return false;
    }
  }
  if (in_master != in_match) {
    *error = "column '" + name + "' is column " + std::to_string(in_master) +
             " of " + master.path + " but column " + std::to_string(in_match) +
             " of " + match.path + "; the tables are compared at one index";
    return false;
  }
  *column = in_master;
  return true;
}

// The master rows `mode` asks for: all of them with a Matched column (1 or
// 0), or the matched ones (positive), or the others (negative).
platform::Variant SelectRows(const InputTable& master,
                             const std::vector<bool>& matched,
                             const std::string& mode) {
  const bool all = mode == "all";
  const bool wanted = mode == "positive";
  uint32_t rows = 0;
  for (bool m : matched) rows += all || m == wanted;
  const uint32_t columns = static_cast<uint32_t>(master.columns);
  platform::Variant result =
      platform::VariantArray::NewTable(columns + (all ? 1 : 0), rows);
  platform::VariantArray& to = *result.AsArray();
  const platform::VariantArray& from = *master.table.AsArray();
  uint32_t row = 0;
  for (uint32_t r = 0; r < matched.size(); ++r) {
    if (!all && matched[r] != wanted) continue;
    for (uint32_t c = 0; c < columns; ++c) to.cell(c, row) = from.cell(c, r);
    if (all) to.cell(columns, row) = platform::Variant::I4(matched[r] ? 1 : 0);
    ++row;
  }
  return result;
}

}  // namespace

int RunExact(const std::vector<std::string>& args, Io io) {
  Arguments a(args, ExactSpecs());
  if (!a.ok()) return Complain(io, kExitUsage, "exact: " + a.error());
  const Summary summary(a);
  if (a.positional().size() != 2) {
    return Complain(io, kExitUsage, "exact takes MASTER and FILE");
  }
  if (!a.Has("column")) {
    return Complain(io, kExitUsage, "exact: --column is required");
  }
  const std::string mode = a.Get("return", "all");
  if (mode != "all" && mode != "positive" && mode != "negative") {
    return Complain(io, kExitUsage,
                    "exact: --return takes all, positive or negative");
  }
  std::string error;
  if (!CheckLateOptions(a, &error)) {
    return Complain(io, kExitUsage, "exact: " + error);
  }
  std::unique_ptr<CVexlorCtrl> control = MakeControl(a, &error);
  if (!control) return Complain(io, kExitUsage, "exact: " + error);

  InputTable master, match;
  int status = kExitOk;
  if (!LoadOne(a, 0, &master, io, &status) ||
      !LoadOne(a, 1, &match, io, &status)) {
    return status;
  }
  const std::string name = a.Get("column", "");
  if (FindColumn(match, name) < 0) {
    return Complain(io, kExitBadInput, NoColumnError(match, name));
  }
  LineUpColumns(a, master, &match, io);
  int column;
  if (!CompareColumn(master, match, name, &column, &error)) {
    return Complain(io, kExitBadInput, error);
  }
  std::unique_ptr<ProgressSession> session =
      ProgressSession::Start(a, control.get(), io.err, &error);
  if (!session) return Complain(io, kExitUsage, "exact: " + error);
  // The method sees the folded keys and the row numbers alone; the rows
  // themselves are taken from the master as read.
  const KeyFolding folding{a.Has("ignore-case"), a.Has("trim")};
  const platform::Variant found = control->ExactMatchByColumn(
      KeyTable(master.table, static_cast<uint32_t>(column), folding),
      KeyTable(match.table, static_cast<uint32_t>(column), folding), 0,
      MAR_POSITIVE, session->show_progress());
  session.reset();
  status = FinishBatch(*control, io);
  if (status != kExitOk) return status;
  std::vector<std::u16string> names = master.names;
  if (mode == "all") names.push_back(u"Matched");
  const std::vector<bool> matched = MatchedRows(found, master.rows);
  const platform::Variant result = SelectRows(master, matched, mode);
  if (!WriteResult(result, names, a, &error)) {
    return Complain(io, kExitBadInput, error);
  }
  summary.Print(
      io.err,
      "exact: " + RecordsRead(master.rows, match.rows) + ", " +
          std::to_string(std::count(matched.begin(), matched.end(), true)) +
          " matched");
  return kExitOk;
}

}  // namespace vexlor::cli

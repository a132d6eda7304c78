// `vexlor exact MASTER FILE --column C`: the rows of MASTER whose text in
// column C occurs in the same column of FILE (or those whose text does
// not, or all of them with a Matched column).
#include <algorithm>

#include "cli/column_flags.h"
#include "cli/command.h"
#include "cli/exact_keys.h"
#include "cli/progress_session.h"
#include "cli/summary.h"
#include "cli/table_command.h"
#include "cli/table_io.h"
#include "vexlor/variant_array.h"

namespace vexlor::cli {

namespace {

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
// 0), or the matched ones (MAR_POSITIVE), or the others (MAR_NEGATIVE).
platform::Variant SelectRows(const InputTable& master,
                             const std::vector<bool>& matched, int16_t mode) {
  const bool all = mode == MAR_ALL;
  const bool wanted = mode == MAR_POSITIVE;
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

class ExactCommand : public TableCommand {
 public:
  const char* name() const override { return "exact"; }
  std::vector<OptionSpec> Specs() const override {
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
  const char* FilesUsage() const override { return "takes MASTER and FILE"; }
  size_t files() const override { return 2; }

  bool CheckFlags(const Arguments& a, std::string*,
                  std::string* error) override {
    if (!a.Has("column")) {
      *error = "--column is required";
      return false;
    }
    return ReturnValue(a, "return",
                       {{"all", MAR_ALL},
                        {"positive", MAR_POSITIVE},
                        {"negative", MAR_NEGATIVE}},
                       "all", &mode_, error) &&
           CheckLateOptions(a, error);
  }

  int Prepare(TableRun& run) override {
    const InputTable& master = run.tables[0];
    InputTable& match = run.tables[1];
    const std::string name = run.args.Get("column", "");
    if (FindColumn(match, name) < 0) {
      return Complain(run.io, kExitBadInput, NoColumnError(match, name));
    }
    LineUpColumns(run.args, master, &match, run.io);
    std::string error;
    if (!CompareColumn(master, match, name, &column_, &error)) {
      return Complain(run.io, kExitBadInput, error);
    }
    return kExitOk;
  }

  // The method sees the folded keys and the row numbers alone; the rows
  // themselves are taken from the master as read.
  platform::Variant Call(TableRun& run, bool show_progress) override {
    const KeyFolding folding{run.args.Has("ignore-case"), run.args.Has("trim")};
    const uint32_t column = static_cast<uint32_t>(column_);
    return run.control->ExactMatchByColumn(
        KeyTable(run.tables[0].table, column, folding),
        KeyTable(run.tables[1].table, column, folding), 0, MAR_POSITIVE,
        show_progress);
  }

  bool Write(TableRun& run, platform::Variant found, std::string* summary,
             std::string* error) override {
    const InputTable& master = run.tables[0];
    std::vector<std::u16string> names = master.names;
    if (mode_ == MAR_ALL) names.push_back(u"Matched");
    const std::vector<bool> matched = MatchedRows(found, master.rows);
    if (!WriteResult(SelectRows(master, matched, mode_), names, run.args,
                     error)) {
      return false;
    }
    *summary =
        RecordsRead(master.rows, run.tables[1].rows) + ", " +
        std::to_string(std::count(matched.begin(), matched.end(), true)) +
        " matched";
    return true;
  }

 private:
  int16_t mode_ = MAR_ALL;
  int column_ = -1;
};

}  // namespace

int RunExact(const std::vector<std::string>& args, Io io) {
  ExactCommand command;
  return RunTableCommand(command, args, io);
}

}  // namespace vexlor::cli

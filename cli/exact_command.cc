// `vexlor exact MASTER FILE --column C`: the rows of MASTER whose text in
// column C occurs in the same column of FILE (or those whose text does
// not, or all of them).
#include "cli/batch_run.h"
#include "cli/command.h"
#include "cli/table_io.h"

namespace vexlor::cli {

namespace {

std::vector<OptionSpec> ExactSpecs() {
  std::vector<OptionSpec> specs = InputOptionSpecs();
  for (auto& s : TwoFileInputSpecs()) specs.push_back(s);
  for (auto& s : OutputOptionSpecs()) specs.push_back(s);
  for (const char* name : {"column", "return", "progress"}) {
    specs.push_back({name, true});
  }
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

}  // namespace

int RunExact(const std::vector<std::string>& args, Io io) {
  Arguments a(args, ExactSpecs());
  if (!a.ok()) return Complain(io, kExitUsage, "exact: " + a.error());
  if (a.positional().size() != 2) {
    return Complain(io, kExitUsage, "exact takes MASTER and FILE");
  }
  if (!a.Has("column")) {
    return Complain(io, kExitUsage, "exact: --column is required");
  }
  const std::string mode = a.Get("return", "all");
  int16_t return_results;
  if (mode == "all") {
    return_results = MAR_ALL;
  } else if (mode == "positive") {
    return_results = MAR_POSITIVE;
  } else if (mode == "negative") {
    return_results = MAR_NEGATIVE;
  } else {
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
  platform::Variant result =
      control->ExactMatchByColumn(master.table, match.table, column,
                                  return_results, session->show_progress());
  session.reset();
  status = FinishBatch(*control, io);
  if (status != kExitOk) return status;
  if (!WriteResult(result, master.names, a, &error)) {
    return Complain(io, kExitBadInput, error);
  }
  return kExitOk;
}

}  // namespace vexlor::cli

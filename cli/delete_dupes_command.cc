// `vexlor delete-dupes FILE`: keeps the first or last row of every group of
// rows that share a label, such as the FuzzyDupesID column that `vexlor
// dupes` appends, so that `vexlor dupes ... | vexlor delete-dupes -` works.
#include <cstdint>

#include "cli/column_flags.h"
#include "cli/command.h"
#include "cli/log_probe.h"
#include "cli/progress_session.h"
#include "cli/staged_log.h"
#include "cli/summary.h"
#include "cli/table_io.h"
#include "vexlor/output/csv_format.h"
#include "vexlor/platform/text.h"
#include "vexlor/tables/delete_dupes.h"

namespace vexlor::cli {

namespace {

std::vector<OptionSpec> DeleteDupesSpecs() {
  std::vector<OptionSpec> specs = InputOptionSpecs();
  for (auto& s : OutputOptionSpecs()) specs.push_back(s);
  for (const char* name :
       {"fid-column", "max-column", "keep", "return", "log", "progress"}) {
    specs.push_back({name, true});
  }
  return specs;
}

// An optional column argument: -1 when not given; false (with a message)
// for a column the table does not have.
bool OptionalColumn(const InputTable& input, const Arguments& a,
                    const char* option, int* column, std::string* error) {
  *column = -1;
  if (!a.Has(option)) return true;
  *column = FindColumn(input, a.Get(option, ""));
  if (*column >= 0) return true;
  *error = NoColumnError(input, a.Get(option, ""));
  return false;
}

}  // namespace

int RunDeleteDupes(const std::vector<std::string>& args, Io io) {
  Arguments a(args, DeleteDupesSpecs());
  if (!a.ok()) return Complain(io, kExitUsage, "delete-dupes: " + a.error());
  const Summary summary(a);
  if (a.positional().size() != 1) {
    return Complain(io, kExitUsage,
                    "delete-dupes takes one FILE (or - for stdin)");
  }
  const std::string keep = a.Get("keep", "first");
  if (keep != "first" && keep != "last") {
    return Complain(io, kExitUsage, "delete-dupes: --keep takes first or last");
  }
  const std::string mode = a.Get("return", "clean");
  if (mode != "clean" && mode != "deleted") {
    return Complain(io, kExitUsage,
                    "delete-dupes: --return takes clean or deleted");
  }
  std::string error;
  CsvFormat log_format;
  if (!CheckLateOptions(a, &error) || !OutputFormat(a, &log_format, &error)) {
    return Complain(io, kExitUsage, "delete-dupes: " + error);
  }
  std::unique_ptr<CVexlorCtrl> control = MakeControl(a, &error);
  if (!control) return Complain(io, kExitUsage, "delete-dupes: " + error);

  const std::string log_path = a.Get("log", "");
  if (!log_path.empty() && !CanWriteLog(log_path)) {
    return Complain(io, kExitBadInput, "cannot create log " + log_path);
  }
  StagedLog log;
  log.Stage(log_path);

  InputTable input;
  int status = kExitOk;
  // Rows are copied whole, however wide.
  if (!LoadOne(a, 0, &input, io, &status, SIZE_MAX)) return status;
  int fid_column, max_column;
  if (!OptionalColumn(input, a, "fid-column", &fid_column, &error) ||
      !OptionalColumn(input, a, "max-column", &max_column, &error)) {
    return Complain(io, kExitBadInput, error);
  }
  if (fid_column < 0 && input.rows > 0 &&
      FindFidColumn(*input.table.AsArray()) < 0) {
    return Complain(io, kExitBadInput,
                    input.path +
                        ": no column of the first row holds a group label "
                        "({...}, 38 characters); name one with --fid-column");
  }
  // The log is written like the output (delimiter, encoding, every cell as
  // it was read), with the input's header names for every column.
  control->column_options().names = input.names;
  control->SetCSVDelimiter(log_format.delimiter);
  control->SetLogFormat({CsvRule::kRfc4180, log_format.encoding});

  std::unique_ptr<ProgressSession> session =
      ProgressSession::Start(a, control.get(), io.err, &error);
  if (!session) return Complain(io, kExitUsage, "delete-dupes: " + error);
  const platform::Variant result = control->DeleteDupes(
      input.table, fid_column, max_column,
      keep == "first" ? DO_KEEP_FIRST : DO_KEEP_LAST,
      mode == "clean" ? DER_CLEAN : DER_DELETED, session->show_progress(),
      platform::Utf8ToUtf16(log.write_path()));
  session.reset();
  status = FinishBatch(*control, io);
  if (status != kExitOk) return status;
  std::vector<std::u16string> names = input.names;
  if (max_column >= 0) names.resize(max_column + 1);
  if (!WriteResult(result, names, a, &error) || !log.Commit(&error)) {
    return Complain(io, kExitBadInput, error);
  }
  summary.Print(io.err, "delete-dupes: " + RecordsRead(input.rows) + ", " +
                            std::to_string(ResultRows(result)) + " rows " +
                            (mode == "clean" ? "kept" : "deleted"));
  return kExitOk;
}

}  // namespace vexlor::cli

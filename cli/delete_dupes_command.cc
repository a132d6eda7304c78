// `vexlor delete-dupes FILE`: keeps the first or last row of every group of
// rows that share a label, such as the FuzzyDupesID column that `vexlor
// dupes` appends, so that `vexlor dupes ... | vexlor delete-dupes -` works.
#include <cstdint>

#include "cli/column_flags.h"
#include "cli/command.h"
#include "cli/progress_session.h"
#include "cli/summary.h"
#include "cli/table_command.h"
#include "cli/table_io.h"
#include "vexlor/output/csv_format.h"
#include "vexlor/tables/methods/delete_dupes.h"
#include "vexlor/text.h"

namespace vexlor::cli {

namespace {

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

class DeleteDupesCommand : public TableCommand {
 public:
  const char* name() const override { return "delete-dupes"; }
  std::vector<OptionSpec> Specs() const override {
    std::vector<OptionSpec> specs = InputOptionSpecs();
    for (auto& s : OutputOptionSpecs()) specs.push_back(s);
    for (const char* name :
         {"fid-column", "max-column", "keep", "return", "log", "progress"}) {
      specs.push_back({name, true});
    }
    return specs;
  }
  const char* FilesUsage() const override {
    return "takes one FILE (or - for stdin)";
  }
  size_t files() const override { return 1; }
  std::vector<const char*> log_options() const override { return {"log"}; }
  // Rows are copied whole, however wide.
  size_t max_columns() const override { return SIZE_MAX; }

  bool CheckFlags(const Arguments& a, std::string*,
                  std::string* error) override {
    return ReturnValue(a, "keep",
                       {{"first", DO_KEEP_FIRST}, {"last", DO_KEEP_LAST}},
                       "first", &keep_, error) &&
           ReturnValue(a, "return",
                       {{"clean", DER_CLEAN}, {"deleted", DER_DELETED}},
                       "clean", &mode_, error) &&
           CheckLateOptions(a, error) && OutputFormat(a, &log_format_, error);
  }

  int Prepare(TableRun& run) override {
    const InputTable& input = run.tables[0];
    std::string error;
    if (!OptionalColumn(input, run.args, "fid-column", &fid_column_, &error) ||
        !OptionalColumn(input, run.args, "max-column", &max_column_, &error)) {
      return Complain(run.io, kExitBadInput, error);
    }
    if (fid_column_ < 0 && input.rows > 0 &&
        FindFidColumn(*input.table.AsArray()) < 0) {
      return Complain(run.io, kExitBadInput,
                      input.path +
                          ": no column of the first row holds a group label "
                          "({...}, 38 characters); name one with --fid-column");
    }
    // The log is written like the output (delimiter, encoding, every cell
    // as it was read), with the input's header names for every column.
    run.control->column_options().names = input.names;
    run.control->SetCSVDelimiter(log_format_.delimiter);
    run.control->SetLogFormat({CsvRule::kRfc4180, log_format_.encoding});
    return kExitOk;
  }

  platform::Variant Call(TableRun& run, bool show_progress) override {
    return run.control->DeleteDupes(run.tables[0].table, fid_column_,
                                    max_column_, keep_, mode_, show_progress,
                                    run.logs[0]);
  }

  bool Write(TableRun& run, platform::Variant result, std::string* summary,
             std::string* error) override {
    const InputTable& input = run.tables[0];
    std::vector<std::u16string> names = input.names;
    if (max_column_ >= 0) names.resize(max_column_ + 1);
    if (!WriteResult(result, names, run.args, error)) return false;
    *summary = RecordsRead(input.rows) + ", " +
               std::to_string(ResultRows(result)) + " rows " +
               (mode_ == DER_CLEAN ? "kept" : "deleted");
    return true;
  }

 private:
  int16_t keep_ = DO_KEEP_FIRST;
  int16_t mode_ = DER_CLEAN;
  CsvFormat log_format_;
  int fid_column_ = -1;
  int max_column_ = -1;
};

}  // namespace

int RunDeleteDupes(const std::vector<std::string>& args, Io io) {
  DeleteDupesCommand command;
  return RunTableCommand(command, args, io);
}

}  // namespace vexlor::cli

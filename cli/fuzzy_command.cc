#include "cli/fuzzy_command.h"

#include "cli/column_flags.h"
#include "cli/group_settings.h"
#include "cli/model_options.h"
#include "cli/progress_session.h"
#include "cli/summary.h"
#include "cli/table_command.h"

namespace vexlor::cli {

namespace {

class FuzzyTableCommand : public TableCommand {
 public:
  explicit FuzzyTableCommand(const FuzzyCommand& command) : command_(command) {}

  const char* name() const override { return command_.name; }
  std::vector<OptionSpec> Specs() const override {
    std::vector<OptionSpec> specs = InputOptionSpecs();
    for (auto& s : TwoFileInputSpecs()) specs.push_back(s);
    for (auto& s : OutputOptionSpecs()) specs.push_back(s);
    for (auto& s : MatchingOptionSpecs()) specs.push_back(s);
    specs.push_back({command_.first_log, true});
    specs.push_back({command_.second_log, true});
    for (auto& s : SettingSpecs(command_.reader)) specs.push_back(s);
    for (auto& s : ModelOptionSpecs()) specs.push_back(s);
    return specs;
  }
  const char* FilesUsage() const override { return usage_.c_str(); }
  size_t files() const override { return 2; }
  std::vector<const char*> log_options() const override {
    return {command_.first_log, command_.second_log};
  }

  bool CheckFlags(const Arguments& a, std::string* warning,
                  std::string* error) override {
    return ReturnValue(a, "return", command_.returns, command_.default_return,
                       &return_results_, error) &&
           CheckLateOptions(a, error) && CheckSettings(a, error) &&
           Thresholds(a, &threshold_, &cluster_threshold_, warning, error) &&
           OutputFormat(a, &log_format_, error);
  }

  int Prepare(TableRun& run) override {
    const InputTable& master = run.tables[0];
    InputTable& second = run.tables[1];
    std::string error;
    if (!IdColumn(master, run.args, &id_column_, &error) ||
        !ApplyColumnOptions(master, run.args, run.control.get(), &error)) {
      return Complain(run.io, kExitBadInput, error);
    }
    LineUpColumns(run.args, master, &second, run.io);
    // Log lines carry the second table's records under its own names.
    run.control->column_options().names = second.names;
    // Logs are written like the output: same delimiter, same encoding,
    // every cell as it was read.
    run.control->SetCSVDelimiter(log_format_.delimiter);
    run.control->SetLogFormat({CsvRule::kRfc4180, log_format_.encoding});
    if (!ReadSettings(run.args, master, command_.reader, &options_, &error)) {
      return Complain(run.io, kExitBadInput, error);
    }
    options_.pair_observer = &pairs_;
    if (!model_.Read(run.args, &options_, &error)) {
      return Complain(run.io, kExitUsage,
                      std::string(command_.name) + ": " + error);
    }
    pairs_.set_probabilities(options_.scoring == Scoring::kEstimated);
    return kExitOk;
  }

  platform::Variant Call(TableRun& run, bool show_progress) override {
    return (run.control.get()->*command_.method)(
        run.tables[0].table, run.tables[1].table, id_column_, threshold_,
        cluster_threshold_, options_, return_results_, show_progress,
        run.logs[0], run.logs[1]);
  }

  bool Write(TableRun& run, platform::Variant result, std::string* summary,
             std::string* error) override {
    const InputTable& master = run.tables[0];
    const InputTable& second = run.tables[1];
    const bool merge = command_.reader == OptionsReader::kFuzzyMerge;
    // Counted before --match-id adds its column.
    const size_t rows = ResultRows(result);
    const size_t matches =
        return_results_ == MAR_NEGATIVE
            ? master.rows - rows
            : CountNonZero(result, static_cast<uint32_t>(master.columns));
    std::vector<std::u16string> names =
        command_.result_names(master, second, return_results_);
    if (options_.scores) names.push_back(u"Similarity");
    AddMatchIds(run.args, second, id_column_, static_cast<int>(master.columns),
                &result, &names);
    if (!pairs_.Write(run.args, second, master, id_column_, merge, error) ||
        !model_.Write(run.args, second, master, id_column_, error) ||
        !WriteResult(result, names, run.args, error)) {
      return false;
    }
    *summary = RecordsRead(master.rows, second.rows) + ", " +
               (merge ? std::to_string(rows) + " rows written"
                      : std::to_string(matches) + " matches") +
               UncertainSummary(pairs_);
    return true;
  }

 private:
  const FuzzyCommand& command_;
  const std::string usage_ =
      std::string("takes MASTER and ") + command_.second_table;
  int16_t return_results_ = 0;
  double threshold_ = 80;
  double cluster_threshold_ = 0.5;
  CsvFormat log_format_;
  int id_column_ = -1;
  MatchOptions options_;
  PairRecorder pairs_;
  ModelSettings model_;
};

}  // namespace

int RunFuzzyCommand(const FuzzyCommand& command,
                    const std::vector<std::string>& args, Io io) {
  FuzzyTableCommand table_command(command);
  return RunTableCommand(table_command, args, io);
}

}  // namespace vexlor::cli

#include "cli/fuzzy_command.h"

#include <algorithm>

#include "cli/column_flags.h"
#include "cli/group_settings.h"
#include "cli/log_probe.h"
#include "cli/model_options.h"
#include "cli/progress_session.h"
#include "cli/summary.h"
#include "vexlor/platform/text.h"
#include "vexlor/tables/column_options.h"

namespace vexlor::cli {

std::vector<OptionSpec> FuzzyOptionSpecs(const char* first_log,
                                         const char* second_log) {
  std::vector<OptionSpec> specs = InputOptionSpecs();
  for (auto& s : TwoFileInputSpecs()) specs.push_back(s);
  for (auto& s : OutputOptionSpecs()) specs.push_back(s);
  for (auto& s : MatchingOptionSpecs()) specs.push_back(s);
  specs.push_back({first_log, true});
  specs.push_back({second_log, true});
  return specs;
}

int PrepareFuzzy(const std::string& command, const Arguments& a,
                 const char* first_log, const char* second_log, Io io,
                 FuzzySetup* setup) {
  std::string error, warning;
  CsvFormat log_format;
  if (!Thresholds(a, &setup->threshold, &setup->cluster_threshold, &warning,
                  &error) ||
      !OutputFormat(a, &log_format, &error)) {
    return Complain(io, kExitUsage, command + ": " + error);
  }
  if (!warning.empty()) io.err << "vexlor: warning: " << warning << "\n";
  setup->control = MakeControl(a, &error);
  if (!setup->control) return Complain(io, kExitUsage, command + ": " + error);

  // Logs are probed before the tables are read, so that a long read is
  // not wasted on a log that cannot be written.
  const char* options[2] = {first_log, second_log};
  for (int i = 0; i < 2; ++i) {
    const std::string path = a.Get(options[i], "");
    if (path.empty()) continue;
    if (!CanWriteLog(path)) {
      return Complain(io, kExitBadInput, "cannot create log " + path);
    }
    setup->staged[i].Stage(path);
    setup->logs[i] = platform::Utf8ToUtf16(setup->staged[i].write_path());
  }
  int status = kExitOk;
  if (!LoadOne(a, 0, &setup->master, io, &status) ||
      !LoadOne(a, 1, &setup->second, io, &status)) {
    return status;
  }
  if (!IdColumn(setup->master, a, &setup->id_column, &error) ||
      !ApplyColumnOptions(setup->master, a, setup->control.get(), &error)) {
    return Complain(io, kExitBadInput, error);
  }
  LineUpColumns(a, setup->master, &setup->second, io);
  // Log lines carry the second table's records under its own names.
  setup->control->column_options().names = setup->second.names;
  // Logs are written like the output: same delimiter, same encoding,
  // every cell as it was read.
  setup->control->SetCSVDelimiter(log_format.delimiter);
  setup->control->SetLogFormat({CsvRule::kRfc4180, log_format.encoding});
  return kExitOk;
}

namespace {

// The ReturnResults value named by --return; false, after printing the
// values it takes, for another.
bool ParseReturn(const FuzzyCommand& command, const Arguments& args, Io io,
                 int16_t* return_results) {
  const std::string mode = args.Get("return", command.default_return);
  std::string names;
  for (size_t i = 0; i < command.returns.size(); ++i) {
    if (mode == command.returns[i].first) {
      *return_results = command.returns[i].second;
      return true;
    }
    if (i > 0) names += i + 1 == command.returns.size() ? " or " : ", ";
    names += command.returns[i].first;
  }
  Complain(io, kExitUsage,
           std::string(command.name) + ": --return takes " + names);
  return false;
}

}  // namespace

int RunFuzzyCommand(const FuzzyCommand& command,
                    const std::vector<std::string>& args, Io io) {
  const std::string name = command.name;
  const OptionsReader reader = command.reader;
  std::vector<OptionSpec> specs =
      FuzzyOptionSpecs(command.first_log, command.second_log);
  for (auto& s : SettingSpecs(reader)) specs.push_back(s);
  for (auto& s : ModelOptionSpecs()) specs.push_back(s);
  Arguments a(args, specs);
  if (!a.ok()) return Complain(io, kExitUsage, name + ": " + a.error());
  const Summary summary(a);
  if (a.positional().size() != 2) {
    return Complain(io, kExitUsage,
                    name + " takes MASTER and " + command.second_table);
  }
  int16_t return_results;
  if (!ParseReturn(command, a, io, &return_results)) return kExitUsage;
  std::string error;
  if (!CheckLateOptions(a, &error) || !CheckSettings(a, &error)) {
    return Complain(io, kExitUsage, name + ": " + error);
  }
  FuzzySetup setup;
  int status =
      PrepareFuzzy(name, a, command.first_log, command.second_log, io, &setup);
  if (status != kExitOk) return status;
  CVexlorCtrl& control = *setup.control;
  MatchOptions options;
  if (!ReadSettings(a, setup.master, reader, &options, &error)) {
    return Complain(io, kExitBadInput, error);
  }
  PairRecorder pairs;
  options.pair_observer = &pairs;
  ModelSettings model;
  if (!model.Read(a, &options, &error)) {
    return Complain(io, kExitUsage, name + ": " + error);
  }

  std::unique_ptr<ProgressSession> session =
      ProgressSession::Start(a, &control, io.err, &error);
  if (!session) return Complain(io, kExitUsage, name + ": " + error);
  platform::Variant result = (control.*command.method)(
      setup.master.table, setup.second.table, setup.id_column, setup.threshold,
      setup.cluster_threshold, options, return_results,
      session->show_progress(), setup.logs[0], setup.logs[1]);
  session.reset();
  status = FinishBatch(control, io);
  if (status != kExitOk) return status;
  // Counted before --match-id adds its column.
  const size_t rows = ResultRows(result);
  const size_t matches =
      return_results == MAR_NEGATIVE
          ? setup.master.rows - rows
          : CountNonZero(result, static_cast<uint32_t>(setup.master.columns));
  std::vector<std::u16string> names =
      command.result_names(setup, return_results);
  if (options.scores) names.push_back(u"Similarity");
  AddMatchIds(a, setup.second, setup.id_column,
              static_cast<int>(setup.master.columns), &result, &names);
  if (!pairs.Write(a, setup.second, setup.master, setup.id_column,
                   reader == OptionsReader::kFuzzyMerge, &error) ||
      !model.Write(a, setup.second, setup.master, setup.id_column, &error) ||
      !WriteResult(result, names, a, &error) ||
      !setup.staged[0].Commit(&error) || !setup.staged[1].Commit(&error)) {
    return Complain(io, kExitBadInput, error);
  }
  summary.Print(io.err, name + ": " +
                            RecordsRead(setup.master.rows, setup.second.rows) +
                            ", " +
                            (reader == OptionsReader::kFuzzyMatch
                                 ? std::to_string(matches) + " matches"
                                 : std::to_string(rows) + " rows written"));
  return kExitOk;
}

}  // namespace vexlor::cli

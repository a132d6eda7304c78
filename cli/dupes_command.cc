// `vexlor dupes FILE`: the duplicate search over a CSV file.
#include <new>

#include "cli/column_flags.h"
#include "cli/command.h"
#include "cli/distributed_run.h"
#include "cli/group_settings.h"
#include "cli/interrupts.h"
#include "cli/model_options.h"
#include "cli/progress_session.h"
#include "cli/summary.h"
#include "cli/table_io.h"
#include "vexlor/control/control_context.h"
#include "vexlor/platform/text.h"
#include "vexlor/tables/dupe_search.h"
#include "vexlor/tables/pair_ranges.h"

namespace vexlor::cli {

namespace {

std::vector<OptionSpec> DupesSpecs() {
  std::vector<OptionSpec> specs = InputOptionSpecs();
  for (auto& s : OutputOptionSpecs()) specs.push_back(s);
  for (auto& s : MatchingOptionSpecs()) specs.push_back(s);
  for (auto& s : SettingSpecs(OptionsReader::kDupeSearch)) specs.push_back(s);
  for (auto& s : ModelOptionSpecs()) specs.push_back(s);
  for (auto& s : DistributedOptionSpecs()) specs.push_back(s);
  return specs;
}

}  // namespace

int FinishBatch(const CVexlorCtrl& control, Io io) {
  // Ctrl-C after the call's last report still stops the command.
  if (control.CanceledByUser() || Interrupted()) {
    return Complain(io, kExitCancelled, "cancelled");
  }
  if (control.LastError() != 0) {
    return Complain(io, kExitBadInput,
                    platform::Utf16ToUtf8(control.LastErrorDescription()));
  }
  return kExitOk;
}

bool LoadOne(const Arguments& a, size_t index, InputTable* input, Io io,
             int* status, size_t max_columns) {
  std::string error;
  // Of two files, each may have its own delimiter and encoding.
  const char* role = a.positional().size() != 2 ? ""
                     : index == 0               ? "master"
                                                : "file";
  const bool loaded = LoadTable(a.positional()[index], a, input, &error, role);
  if (Interrupted()) {
    *status = Complain(io, kExitCancelled, "cancelled");
    return false;
  }
  if (!loaded) {
    *status = Complain(io, kExitBadInput, error);
    return false;
  }
  if (input->columns == 0) {
    *status =
        Complain(io, kExitBadInput, input->path + ": the file holds no table");
    return false;
  }
  if (input->columns > max_columns) {
    *status =
        Complain(io, kExitBadInput,
                 input->path + ": " + std::to_string(input->columns) +
                     " columns, more than the " + std::to_string(max_columns) +
                     " this command can carry (the others would "
                     "come out empty)");
    return false;
  }
  return true;
}

int RunDupes(const std::vector<std::string>& args, Io io) {
  Arguments a(args, DupesSpecs());
  if (!a.ok()) return Complain(io, kExitUsage, "dupes: " + a.error());
  const Summary summary(a);
  if (a.positional().size() != 1) {
    return Complain(io, kExitUsage, "dupes takes one FILE (or - for stdin)");
  }
  std::string mode = a.Get("return", "all");
  if (mode != "all" && mode != "dupes") {
    return Complain(io, kExitUsage, "dupes: --return takes all or dupes");
  }
  std::string error, warning;
  double threshold, cluster_threshold;
  bool on_cluster = false;
  if (!CheckLateOptions(a, &error) || !CheckSettings(a, &error) ||
      !Thresholds(a, &threshold, &cluster_threshold, &warning, &error) ||
      !WantsCluster(a, &on_cluster, &error)) {
    return Complain(io, kExitUsage, "dupes: " + error);
  }
  if (!warning.empty()) io.err << "vexlor: warning: " << warning << "\n";
  std::unique_ptr<CVexlorCtrl> control = MakeControl(a, &error);
  if (!control) return Complain(io, kExitUsage, "dupes: " + error);

  InputTable input;
  int status = kExitOk;
  if (!LoadOne(a, 0, &input, io, &status)) return status;
  int id_column;
  MatchOptions options;
  if (!IdColumn(input, a, &id_column, &error) ||
      !ApplyColumnOptions(input, a, control.get(), &error) ||
      !ReadSettings(a, input, OptionsReader::kDupeSearch, &options, &error)) {
    return Complain(io, kExitBadInput, error);
  }
  PairRecorder pairs;
  options.pair_observer = &pairs;
  ModelSettings model;
  if (!model.Read(a, &options, &error)) {
    return Complain(io, kExitUsage, "dupes: " + error);
  }
  std::vector<uint32_t> words;
  FoundPairs found;
  if (on_cluster) {
    const ClusterSearch search{&input,    &control->column_options(), id_column,
                               threshold, cluster_threshold,          &options};
    if (!FindPairsOnCluster(a, search, &words, &error)) {
      return Complain(io, kExitBadInput, "dupes: " + error);
    }
    if (Interrupted()) return Complain(io, kExitCancelled, "cancelled");
    found.words = words;
  }
  // Numbered labels and group sizes are made from the whole table, and the
  // groups taken from it in an order that does not depend on the labels.
  const bool shaped = a.Has("group-size") || a.Has("labels");
  std::unique_ptr<ProgressSession> session =
      ProgressSession::Start(a, control.get(), io.err, &error);
  if (!session) return Complain(io, kExitUsage, "dupes: " + error);
  platform::Variant result;
  try {
    ControlContext context(*control);
    const int16_t returned = mode == "all" || shaped ? DRR_ALL : DRR_DUPES;
    if (on_cluster) {
      result = ReplayDupeSearch(context, input.table, id_column, threshold,
                                cluster_threshold, returned,
                                session->show_progress(), options, found);
    } else {
      result = DupeSearch(context, input.table, id_column, threshold,
                          cluster_threshold, returned, session->show_progress(),
                          CandidateScan::kPrefixFilter, options);
    }
  } catch (const std::bad_alloc&) {
    control->SetOutOfMemoryError();
  }
  session.reset();
  status = FinishBatch(*control, io);
  if (status != kExitOk) return status;
  if (found.missed) {
    return Complain(io, kExitBadInput,
                    "dupes: the pairs found on the cluster could not stand in "
                    "for the search here; run without --workers/--scheduler");
  }
  size_t groups, grouped;
  CountGroups(result, static_cast<uint32_t>(input.columns), &groups, &grouped);
  std::vector<std::u16string> names = input.names;
  names.push_back(u"FuzzyDupesID");
  if (options.scores) names.push_back(u"Similarity");
  if (shaped) {
    ShapeDupes(a, static_cast<int>(input.columns), mode == "dupes", &result,
               &names);
  }
  if (!pairs.Write(a, input, input, id_column, false, &error) ||
      !model.Write(a, input, input, id_column, &error) ||
      !WriteResult(result, names, a, &error)) {
    return Complain(io, kExitBadInput, error);
  }
  summary.Print(io.err, "dupes: " + RecordsRead(input.rows) + ", " +
                            std::to_string(groups) + " groups, " +
                            std::to_string(grouped) + " records in groups");
  return kExitOk;
}

}  // namespace vexlor::cli

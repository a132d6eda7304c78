// `vexlor dupes FILE`: the duplicate search over a CSV file.
#include "cli/column_flags.h"
#include "cli/command.h"
#include "cli/distributed_run.h"
#include "cli/group_settings.h"
#include "cli/interrupts.h"
#include "cli/model_options.h"
#include "cli/progress_session.h"
#include "cli/summary.h"
#include "cli/table_command.h"
#include "cli/table_io.h"
#include "vexlor/tables/distributed/found_pairs.h"

namespace vexlor::cli {

namespace {

class DupesCommand : public TableCommand {
 public:
  const char* name() const override { return "dupes"; }
  std::vector<OptionSpec> Specs() const override {
    std::vector<OptionSpec> specs = InputOptionSpecs();
    for (auto& s : OutputOptionSpecs()) specs.push_back(s);
    for (auto& s : MatchingOptionSpecs()) specs.push_back(s);
    for (auto& s : SettingSpecs(OptionsReader::kDupeSearch)) {
      specs.push_back(s);
    }
    for (auto& s : ModelOptionSpecs()) specs.push_back(s);
    for (auto& s : DistributedOptionSpecs()) specs.push_back(s);
    return specs;
  }
  const char* FilesUsage() const override {
    return "takes one FILE (or - for stdin)";
  }
  size_t files() const override { return 1; }

  bool CheckFlags(const Arguments& a, std::string* warning,
                  std::string* error) override {
    // Numbered labels and group sizes are made from the whole table, and
    // the groups taken from it in an order that does not depend on the
    // labels.
    shaped_ = a.Has("group-size") || a.Has("labels");
    return ReturnValue(a, "return", {{"all", DRR_ALL}, {"dupes", DRR_DUPES}},
                       "all", &return_results_, error) &&
           CheckLateOptions(a, error) && CheckSettings(a, error) &&
           Thresholds(a, &threshold_, &cluster_threshold_, warning, error) &&
           WantsCluster(a, &on_cluster_, error);
  }

  int Prepare(TableRun& run) override {
    const InputTable& input = run.tables[0];
    std::string error;
    if (!IdColumn(input, run.args, &id_column_, &error) ||
        !ApplyColumnOptions(input, run.args, run.control.get(), &error) ||
        !ReadSettings(run.args, input, OptionsReader::kDupeSearch, &options_,
                      &error)) {
      return Complain(run.io, kExitBadInput, error);
    }
    options_.pair_observer = &pairs_;
    if (!model_.Read(run.args, &options_, &error)) {
      return Complain(run.io, kExitUsage, "dupes: " + error);
    }
    pairs_.set_probabilities(options_.scoring == Scoring::kEstimated);
    return on_cluster_ ? FindPairs(run) : kExitOk;
  }

  // With --workers or --scheduler the pairs are found on a cluster, and the
  // search here labels from them (an estimated model's search runs here).
  int FindPairs(TableRun& run) {
    const ClusterSearch search{
        &run.tables[0],     &run.control->column_options(),
        id_column_,         threshold_,
        cluster_threshold_, &options_};
    std::string error;
    if (!FindPairsOnCluster(run.args, search, &words_, &error)) {
      return Complain(run.io, kExitBadInput, "dupes: " + error);
    }
    if (Interrupted()) return Complain(run.io, kExitCancelled, "cancelled");
    found_.words = words_;
    found_.missed = false;
    if (options_.scoring != Scoring::kEstimated) options_.found_pairs = &found_;
    return kExitOk;
  }

  platform::Variant Call(TableRun& run, bool show_progress) override {
    return run.control->DupeSearch(
        run.tables[0].table, id_column_, threshold_, cluster_threshold_,
        options_, shaped_ ? int16_t{DRR_ALL} : return_results_, show_progress);
  }

  bool Write(TableRun& run, platform::Variant result, std::string* summary,
             std::string* error) override {
    if (found_.missed) {
      *error =
          "dupes: the pairs found on the cluster could not stand in for the "
          "search here; run without --workers/--scheduler";
      return false;
    }
    const InputTable& input = run.tables[0];
    size_t groups, grouped, largest;
    CountGroups(result, static_cast<uint32_t>(input.columns), &groups, &grouped,
                &largest);
    std::vector<std::u16string> names = input.names;
    names.push_back(u"FuzzyDupesID");
    if (options_.scores) names.push_back(u"Similarity");
    if (shaped_) {
      ShapeDupes(run.args, static_cast<int>(input.columns),
                 return_results_ == DRR_DUPES, &result, &names);
    }
    if (!pairs_.Write(run.args, input, input, id_column_, false, error) ||
        !model_.Write(run.args, input, input, id_column_, error) ||
        !WriteResult(result, names, run.args, error)) {
      return false;
    }
    *summary =
        RecordsRead(input.rows) + ", " + std::to_string(groups) + " groups, " +
        std::to_string(grouped) + " records in groups" +
        UncertainSummary(pairs_) +
        (options_.grouping == Grouping::kChain ? LargeGroupHint(largest) : "");
    return true;
  }

 private:
  bool shaped_ = false;
  bool on_cluster_ = false;
  std::vector<uint32_t> words_;
  FoundPairs found_;
  int16_t return_results_ = DRR_ALL;
  double threshold_ = 80;
  double cluster_threshold_ = 0.5;
  int id_column_ = -1;
  MatchOptions options_;
  PairRecorder pairs_;
  ModelSettings model_;
};

}  // namespace

int RunDupes(const std::vector<std::string>& args, Io io) {
  DupesCommand command;
  return RunTableCommand(command, args, io);
}

}  // namespace vexlor::cli

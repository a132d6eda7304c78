// `vexlor index create INDEX FILE`: the duplicate search's road (its
// options, the control, the call), ending in a persisted index instead of
// only a labelled file. A FILE that carries its labels keeps them.
#include <filesystem>

#include "cli/column_flags.h"
#include "cli/command.h"
#include "cli/group_settings.h"
#include "cli/index_command.h"
#include "cli/model_options.h"
#include "cli/summary.h"
#include "cli/table_command.h"
#include "cli/table_io.h"
#include "vexlor/tables/index/record_index.h"
#include "vexlor/tables/scoring/fs_model.h"
#include "vexlor/text.h"

namespace vexlor::cli {

namespace {

using platform::Variant;
using platform::VariantArray;

// Takes column `column` out of `input`, returning its cells' texts.
std::vector<std::string> TakeColumn(InputTable* input, int column) {
  const VariantArray& from = *input->table.AsArray();
  const uint32_t rows = static_cast<uint32_t>(input->rows);
  const uint32_t columns = static_cast<uint32_t>(input->columns) - 1;
  Variant rest = VariantArray::NewTable(columns, rows);
  std::vector<std::string> texts(rows);
  for (uint32_t r = 0; r < rows; ++r) {
    uint32_t to = 0;
    for (uint32_t c = 0; c <= columns; ++c) {
      const Variant& cell = from.cell(c, r);
      if (static_cast<int>(c) == column) {
        texts[r] = cell.IsString() ? platform::Utf16ToUtf8(cell.AsString())
                                   : std::string();
      } else {
        rest.AsArray()->cell(to++, r) = cell;
      }
    }
  }
  input->table = rest;
  input->names.erase(input->names.begin() + column);
  input->columns = columns;
  return texts;
}

class IndexCreateCommand : public TableCommand {
 public:
  explicit IndexCreateCommand(std::string index) : index_(std::move(index)) {}

  const char* name() const override { return "index create"; }
  std::vector<OptionSpec> Specs() const override {
    std::vector<OptionSpec> specs = InputOptionSpecs();
    for (auto& s : OutputOptionSpecs()) specs.push_back(s);
    for (auto& s : MatchingOptionSpecs()) specs.push_back(s);
    for (auto& s : SettingSpecs(OptionsReader::kDupeSearch)) {
      specs.push_back(s);
    }
    for (auto& s : ModelOptionSpecs()) specs.push_back(s);
    specs.push_back({"label-column", true});
    return specs;
  }
  const char* FilesUsage() const override {
    return "takes INDEX and one FILE (or - for stdin)";
  }
  size_t files() const override { return 1; }

  bool CheckFlags(const Arguments& a, std::string* warning,
                  std::string* error) override {
    std::error_code ec;
    if (std::filesystem::exists(index_, ec)) {
      *error = index_ + " exists; an index is made anew only";
      return false;
    }
    int16_t unused;
    return ReturnValue(a, "return", {{"all", 1}}, "all", &unused, error) &&
           CheckSettings(a, error) &&
           Thresholds(a, &threshold_, &cluster_threshold_, warning, error);
  }

  int Prepare(TableRun& run) override {
    InputTable& input = run.tables[0];
    std::string error;
    const std::string label = run.args.Get("label-column", "FuzzyDupesID");
    const int label_column = FindColumn(input, label);
    if (label_column >= 0) {
      labels_ = TakeColumn(&input, label_column);
      labelled_ = true;
    } else if (run.args.Has("label-column")) {
      return Complain(run.io, kExitBadInput, NoColumnError(input, label));
    }
    if (!IdColumn(input, run.args, &id_column_, &error) ||
        !ApplyColumnOptions(input, run.args, run.control.get(), &error) ||
        !ReadSettings(run.args, input, OptionsReader::kDupeSearch, &options_,
                      &error)) {
      return Complain(run.io, kExitBadInput, error);
    }
    if (!model_.Read(run.args, &options_, &error)) {
      return Complain(run.io, kExitUsage, "index create: " + error);
    }
    if (labelled_ && options_.scoring == Scoring::kEstimated &&
        options_.model == nullptr) {
      return Complain(run.io, kExitUsage,
                      "index create: a labelled FILE is not searched, so "
                      "estimated scoring needs its model (--model FILE)");
    }
    return kExitOk;
  }

  Variant Call(TableRun& run, bool show_progress) override {
    if (labelled_) return Variant();
    return run.control->DupeSearch(run.tables[0].table, id_column_, threshold_,
                                   cluster_threshold_, options_, DRR_ALL,
                                   show_progress);
  }

  bool Write(TableRun& run, Variant result, std::string* summary,
             std::string* error) override {
    const InputTable& input = run.tables[0];
    const uint32_t label_column = static_cast<uint32_t>(input.columns);
    if (!labelled_) {
      labels_.resize(input.rows);
      for (uint32_t r = 0; r < input.rows; ++r) {
        labels_[r] = platform::Utf16ToUtf8(
            result.AsArray()->cell(label_column, r).AsString());
      }
    }
    IndexSettings settings;
    settings.names = input.names;
    settings.columns = run.control->column_options();
    settings.id_column = id_column_;
    settings.threshold = threshold_;
    settings.cluster_threshold = cluster_threshold_;
    settings.options.grouping = options_.grouping;
    settings.options.member_threshold = options_.member_threshold;
    settings.options.swap_first = options_.swap_first;
    settings.options.swap_second = options_.swap_second;
    settings.options.scoring = options_.scoring;
    if (options_.scoring == Scoring::kEstimated) {
      settings.model_json =
          labelled_ ? options_.model->ToJson() : options_.model_out->ToJson();
    }
    if (!RecordIndex::Create(index_, settings, *input.table.AsArray(), labels_,
                             error)) {
      return false;
    }
    if (run.args.Has("output")) {
      if (!WriteLabelled(input, labels_, run.args, error)) return false;
    }
    *summary = RecordsRead(input.rows) + " into " + index_ + ", " +
               std::to_string(CountLabels(labels_)) + " groups";
    return true;
  }

 private:
  std::string index_;
  bool labelled_ = false;
  std::vector<std::string> labels_;
  double threshold_ = 80;
  double cluster_threshold_ = 0.5;
  int id_column_ = -1;
  MatchOptions options_;
  ModelSettings model_;
};

}  // namespace

int RunIndexCreate(const std::vector<std::string>& args, Io io) {
  if (args.empty() || args[0].empty() || args[0][0] == '-') {
    return Complain(io, kExitUsage,
                    "index create takes INDEX and one FILE (or - for stdin)");
  }
  IndexCreateCommand command(args[0]);
  return RunTableCommand(command, {args.begin() + 1, args.end()}, io);
}

}  // namespace vexlor::cli

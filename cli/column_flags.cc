#include "cli/column_flags.h"

#include <algorithm>
#include <sstream>

#include "vexlor/platform/coerce.h"
#include "vexlor/platform/column_limits.h"

namespace vexlor::cli {

namespace {

std::vector<std::string> SplitList(const std::string& list) {
  std::vector<std::string> items;
  std::string item;
  std::istringstream in(list);
  while (std::getline(in, item, ',')) {
    if (!item.empty()) items.push_back(item);
  }
  return items;
}

}  // namespace

std::vector<OptionSpec> MatchingOptionSpecs() {
  return {{"id-column", true},         {"cluster", true},
          {"compare", true},           {"weight", true, true},
          {"compare-null", true},      {"threshold", true, false, "t"},
          {"cluster-threshold", true}, {"return", true},
          {"label-seed", true},        {"progress", true}};
}

bool IdColumn(const InputTable& input, const Arguments& args, int* index,
              std::string* error) {
  *index = -1;
  if (!args.Has("id-column")) return true;
  *index = FindColumn(input, args.Get("id-column", ""));
  if (*index < 0) {
    *error = NoColumnError(input, args.Get("id-column", ""));
    return false;
  }
  return true;
}

bool ApplyColumnOptions(const InputTable& input, const Arguments& args,
                        CVexlorCtrl* control, std::string* error) {
  int columns = static_cast<int>(std::min<size_t>(input.columns, kMaxColumns));
  std::vector<bool> cluster(columns, true), compare(columns, true),
      compare_null(columns, false);
  std::vector<double> weight(columns, 1.0);
  auto select = [&](const char* option, std::vector<bool>* flags) {
    if (!args.Has(option)) return true;
    flags->assign(columns, false);
    for (const std::string& name : SplitList(args.Get(option, ""))) {
      int c = FindColumn(input, name);
      if (c < 0) {
        *error = NoColumnError(input, name);
        return false;
      }
      if (c < columns) (*flags)[c] = true;
    }
    return true;
  };
  if (!select("cluster", &cluster) || !select("compare", &compare))
    return false;
  if (args.Has("compare-null") && !select("compare-null", &compare_null)) {
    return false;
  }
  for (const std::string& weight_text : args.All("weight")) {
    size_t eq = weight_text.rfind('=');
    double w;
    if (eq == std::string::npos ||
        !ParseDouble(weight_text.substr(eq + 1), &w)) {
      *error = "--weight takes COLUMN=NUMBER, not '" + weight_text + "'";
      return false;
    }
    int c = FindColumn(input, weight_text.substr(0, eq));
    if (c < 0) {
      *error = NoColumnError(input, weight_text.substr(0, eq));
      return false;
    }
    if (c < columns) weight[c] = w;
  }
  control->Reset();
  for (int c = 0; c < columns; ++c) {
    control->SetColumnOption(static_cast<int16_t>(c), cluster[c], compare[c],
                             weight[c], compare_null[c], input.names[c]);
  }
  return true;
}

bool Thresholds(const Arguments& args, double* threshold,
                double* cluster_threshold, std::string* warning,
                std::string* error) {
  warning->clear();
  if (!ParseDouble(args.Get("threshold", "80"), threshold) || *threshold < 0 ||
      *threshold > 100) {
    *error = "--threshold takes a percentage from 0 to 100, not '" +
             args.Get("threshold", "") + "'";
    return false;
  }
  if (!ParseDouble(args.Get("cluster-threshold", "0.5"), cluster_threshold) ||
      *cluster_threshold < 0 || *cluster_threshold > 1) {
    *error =
        "--cluster-threshold takes a fraction from 0 to 1 (such as 0.5), "
        "not '" +
        args.Get("cluster-threshold", "") + "'";
    return false;
  }
  if (*cluster_threshold > 0.9) {
    *warning = "--cluster-threshold " + args.Get("cluster-threshold", "") +
               " is above 0.9: almost no pair of records shares enough "
               "trigrams to be compared at all";
  }
  for (const std::string& weight_text : args.All("weight")) {
    const size_t eq = weight_text.rfind('=');
    double w;
    if (eq == std::string::npos ||
        !ParseDouble(weight_text.substr(eq + 1), &w) || w < 0) {
      *error =
          "--weight takes COLUMN=NUMBER with a number of 0 or more, not '" +
          weight_text + "'";
      return false;
    }
  }
  return true;
}

std::unique_ptr<CVexlorCtrl> MakeControl(const Arguments& args,
                                         std::string* error) {
  if (!args.Has("label-seed")) return std::make_unique<CVexlorCtrl>();
  long long seed;
  if (!ParseInt(args.Get("label-seed", ""), 0, INT64_MAX, &seed)) {
    *error = "--label-seed takes a whole number";
    return nullptr;
  }
  return std::make_unique<CVexlorCtrl>(static_cast<uint64_t>(seed));
}

}  // namespace vexlor::cli

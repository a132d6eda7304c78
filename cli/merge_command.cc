// `vexlor merge MASTER IMPORT`: merges the IMPORT rows that resemble no
// row already present, and groups or rejects the others.
#include <algorithm>

#include "cli/command.h"
#include "cli/fuzzy_command.h"
#include "vexlor/platform/column_limits.h"
#include "vexlor/tables/column_options.h"

namespace vexlor::cli {

namespace {

std::vector<std::u16string> MergeResultNames(const InputTable& master,
                                             const InputTable& second,
                                             int16_t return_results) {
  std::vector<std::u16string> names;
  if (return_results == MRR_IMPORT) {
    // The import rows, in the columns both tables have.
    names = second.names;
    names.resize(
        std::min({master.columns, second.columns, size_t{kMaxColumns}}));
  } else {
    names = master.names;
    names.push_back(u"FuzzyDupesID");
    names.push_back(u"Source");
  }
  return names;
}

}  // namespace

int RunMerge(const std::vector<std::string>& args, Io io) {
  static const FuzzyCommand kMerge{
      "merge",
      "IMPORT",
      "log-imported",
      "log-rejected",
      {{"import", MRR_IMPORT},
       {"all", MRR_ALL},
       {"dupes", MRR_DUPES},
       {"clean-merged", MRR_CLEANMERGED}},
      "clean-merged",
      static_cast<FuzzyMethod>(&CVexlorCtrl::FuzzyMerge),
      OptionsReader::kFuzzyMerge,
      &MergeResultNames};
  return RunFuzzyCommand(kMerge, args, io);
}

}  // namespace vexlor::cli

// The two-table fuzzy command that `vexlor match` and `vexlor merge` are:
// its options, reading the two tables, the column options and thresholds,
// the two logs, the batch call and the written result.
#ifndef VEXLOR_CLI_FUZZY_COMMAND_H_
#define VEXLOR_CLI_FUZZY_COMMAND_H_

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "cli/command.h"
#include "cli/table_io.h"
#include "vexlor/match_options.h"
#include "vexlor/variant.h"
#include "vexlor/vexlor_ctrl.h"

namespace vexlor::cli {

// A two-table fuzzy command: its name and what its second table is called
// in the usage message, the names of its log options, its --return values
// and the default one, the control's batch method it calls (with the
// settings already read) and which settings that method reads, and the
// column names of that method's result.
using FuzzyMethod = platform::Variant (CVexlorCtrl::*)(
    const platform::Variant& first, const platform::Variant& second,
    int32_t id_column, double threshold, double cluster_threshold,
    const MatchOptions& options, int16_t return_results, bool show_progress,
    std::u16string_view first_log, std::u16string_view second_log);
struct FuzzyCommand {
  const char* name;
  const char* second_table;
  const char* first_log;
  const char* second_log;
  std::vector<std::pair<const char*, int16_t>> returns;
  const char* default_return;
  FuzzyMethod method;
  OptionsReader reader;
  std::vector<std::u16string> (*result_names)(const InputTable& master,
                                              const InputTable& second,
                                              int16_t return_results);
};

// Runs the command on its arguments: the two tables read (the second
// one's columns lined up with the master's), the column options set by the
// master's header and the log lines headed by the second table's names,
// logs written with the output's delimiter and encoding, the method called
// with progress as the options ask, the result written. Returns the exit
// status, after printing why when it is not kExitOk.
int RunFuzzyCommand(const FuzzyCommand& command,
                    const std::vector<std::string>& args, Io io);

}  // namespace vexlor::cli

#endif  // VEXLOR_CLI_FUZZY_COMMAND_H_

// The column options, thresholds and control of a table command, from its
// command line flags.
#ifndef VEXLOR_CLI_COLUMN_FLAGS_H_
#define VEXLOR_CLI_COLUMN_FLAGS_H_

#include <memory>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/table_io.h"
#include "vexlor/vexlor_ctrl.h"

namespace vexlor::cli {

// --id-column, --cluster, --compare, --weight, --compare-null, thresholds,
// --return, --label-seed, --progress.
std::vector<OptionSpec> MatchingOptionSpecs();

// Sets the control's column options for `input` as the command line asks:
// every column a Cluster and DupeSearch column of weight 1 (the --id-column
// takes no part), or exactly the --cluster / --compare columns; --weight
// COL=W and --compare-null COLS on top; every column named after its
// header. False with a message for an unknown column or a bad weight.
bool ApplyColumnOptions(const InputTable& input, const Arguments& args,
                        CVexlorCtrl* control, std::string* error);

// The --id-column index (-1 without one), or false with a message.
bool IdColumn(const InputTable& input, const Arguments& args, int* index,
              std::string* error);

// Reads --threshold (0 to 100, default 80) and --cluster-threshold (0 to
// 1, default 0.5) and checks the --weight values (numbers of 0 or more),
// so that an impossible setting stops the command before it reads a file.
// `*warning` is a sentence to show for a cluster threshold above 0.9, else
// empty.
bool Thresholds(const Arguments& args, double* threshold,
                double* cluster_threshold, std::string* warning,
                std::string* error);

// A control with the --label-seed, if any.
std::unique_ptr<CVexlorCtrl> MakeControl(const Arguments& args,
                                         std::string* error);

}  // namespace vexlor::cli

#endif  // VEXLOR_CLI_COLUMN_FLAGS_H_

// What the table commands share around a batch call: column options from
// the command line, progress (terminal panel, JSON events or nothing) and
// Ctrl-C as cancellation.
#ifndef VEXLOR_CLI_BATCH_RUN_H_
#define VEXLOR_CLI_BATCH_RUN_H_

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/table_io.h"
#include "vexlor/control/event_sink.h"
#include "vexlor/control/vexlor_ctrl.h"

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

// Checks the options that a table command otherwise reads only around its
// batch call (--progress, --out-encoding), so that a mistyped value stops
// the command with a usage error before it reads or writes any file.
bool CheckLateOptions(const Arguments& args, std::string* error);

// Reads --threshold (0 to 100, default 80) and --cluster-threshold (0 to
// 1, default 0.5) and checks the --weight values (numbers of 0 or more),
// so that an impossible setting stops the command before it reads a file.
// `*warning` is a sentence to show for a cluster threshold above 0.9, else
// empty.
bool Thresholds(const Arguments& args, double* threshold,
                double* cluster_threshold, std::string* warning,
                std::string* error);

// Ctrl-C during a table command. While a scope lives, SIGINT only marks
// an interrupt: reading the input stops with it, a batch call takes it as
// Cancel at its next report, and the command ends with status 130 before
// it writes anything. A result already being written is finished (it
// appears only when complete, under its name), so a late Ctrl-C leaves
// either no output or the whole of it, never part of it.
class InterruptScope {
 public:
  InterruptScope();
  ~InterruptScope();
  InterruptScope(const InterruptScope&) = delete;
  InterruptScope& operator=(const InterruptScope&) = delete;
};

// True once Ctrl-C was pressed within the current InterruptScope.
bool Interrupted();

// Runs one batch call with the progress mode of --progress and Ctrl-C
// (InterruptScope) as Cancel. `show_progress` receives the ShowProgress
// argument to pass.
class ProgressSession {
 public:
  // Null (with a message) for an unknown --progress mode.
  static std::unique_ptr<ProgressSession> Start(const Arguments& args,
                                                CVexlorCtrl* control,
                                                std::ostream& err,
                                                std::string* error);
  ~ProgressSession();
  bool show_progress() const { return show_progress_; }

 private:
  ProgressSession(CVexlorCtrl* control, bool show_progress,
                  std::unique_ptr<EventSink> sink);
  CVexlorCtrl* control_;
  bool show_progress_;
  std::unique_ptr<EventSink> sink_;
};

// A control with the --label-seed, if any.
std::unique_ptr<CVexlorCtrl> MakeControl(const Arguments& args,
                                         std::string* error);

}  // namespace vexlor::cli

#endif  // VEXLOR_CLI_BATCH_RUN_H_

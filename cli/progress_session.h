// Progress of a table command's batch call: the terminal panel, JSON lines
// of the events on stderr, or nothing (--progress), with Ctrl-C taken as
// Cancel at every event.
#ifndef VEXLOR_CLI_PROGRESS_SESSION_H_
#define VEXLOR_CLI_PROGRESS_SESSION_H_

#include <memory>
#include <ostream>
#include <string>

#include "cli/arguments.h"
#include "vexlor/event_sink.h"
#include "vexlor/vexlor_ctrl.h"

namespace vexlor::cli {

// Checks the options that a table command otherwise reads only around its
// batch call (--progress, --out-encoding), so that a mistyped value stops
// the command with a usage error before it reads or writes any file.
bool CheckLateOptions(const Arguments& args, std::string* error);

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

}  // namespace vexlor::cli

#endif  // VEXLOR_CLI_PROGRESS_SESSION_H_

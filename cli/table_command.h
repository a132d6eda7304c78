// The road every table command (dupes, match, merge, exact, delete-dupes)
// takes: its arguments read and checked before any file is touched, the
// control made, the logs probed and staged, the tables read, the command's
// own preparation, the batch call with progress and Ctrl-C, the result
// and logs written, the summary line. A command fills in the steps that
// are its own; the order of the rest, and so which error a user sees
// first, is the same for all of them.
#ifndef VEXLOR_CLI_TABLE_COMMAND_H_
#define VEXLOR_CLI_TABLE_COMMAND_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cli/arguments.h"
#include "cli/command.h"
#include "cli/staged_log.h"
#include "cli/table_io.h"
#include "vexlor/platform/column_limits.h"
#include "vexlor/variant.h"
#include "vexlor/vexlor_ctrl.h"

namespace vexlor::cli {

// What the steps of one run share.
struct TableRun {
  const Arguments& args;
  Io io;
  std::unique_ptr<CVexlorCtrl> control;
  std::vector<InputTable> tables;  // one per FILE argument, in order
  // The files the batch method writes its logs to (beside their names,
  // put in place when the command succeeds), empty for none; in the order
  // of TableCommand::log_options.
  std::vector<std::u16string> logs;
};

class TableCommand {
 public:
  virtual ~TableCommand() = default;

  virtual const char* name() const = 0;
  virtual std::vector<OptionSpec> Specs() const = 0;
  // The usage message for the wrong number of FILE arguments, after the
  // name: "takes one FILE (or - for stdin)".
  virtual const char* FilesUsage() const = 0;
  virtual size_t files() const = 0;
  // The options naming log files, probed before the tables are read so
  // that a long read is not wasted on a log that cannot be written.
  virtual std::vector<const char*> log_options() const { return {}; }
  // Tables wider than this are refused (LoadOne).
  virtual size_t max_columns() const { return kMaxColumns; }

  // The command's own flags, checked before anything is read: false with
  // the message (a usage error); a warning is printed and the run goes on.
  virtual bool CheckFlags(const Arguments& args, std::string* warning,
                          std::string* error) = 0;
  // After the tables are read: columns found, column options and settings
  // applied to the control. Returns kExitOk or the exit status after
  // printing why.
  virtual int Prepare(TableRun& run) = 0;
  virtual platform::Variant Call(TableRun& run, bool show_progress) = 0;
  // Writes the result (and what else the command writes besides its logs);
  // false with the message. On success *summary is the summary line's text
  // after "NAME: ".
  virtual bool Write(TableRun& run, platform::Variant result,
                     std::string* summary, std::string* error) = 0;
};

// Exit status after a batch call: 130 when cancelled, 1 with the error
// description after running out of memory, else 0.
int FinishBatch(const CVexlorCtrl& control, Io io);
// Loads positional argument `index` as a table; on failure prints the
// message, sets *status and returns false. Ctrl-C while loading gives
// status 130. A table wider than `max_columns` is refused: the batch
// methods carry columns 0 to 399 only, and the rest would come out empty.
bool LoadOne(const Arguments& args, size_t index, InputTable* input, Io io,
             int* status,
             size_t max_columns = static_cast<size_t>(kMaxColumns));

// Runs `command` on its arguments (without the subcommand's name) and
// returns the exit status, after printing why when it is not kExitOk.
int RunTableCommand(TableCommand& command, const std::vector<std::string>& args,
                    Io io);
// The same on arguments already read with the command's Specs().
int RunTableCommand(TableCommand& command, const Arguments& args, Io io);

// The value --return names among `values` (`fallback` when not given);
// false with the message listing them.
bool ReturnValue(const Arguments& args, const char* name,
                 const std::vector<std::pair<const char*, int16_t>>& values,
                 const char* fallback, int16_t* value, std::string* error);

}  // namespace vexlor::cli

#endif  // VEXLOR_CLI_TABLE_COMMAND_H_

#include "cli/table_command.h"

#include <deque>

#include "cli/column_flags.h"
#include "cli/interrupts.h"
#include "cli/log_probe.h"
#include "cli/progress_session.h"
#include "cli/summary.h"
#include "vexlor/text.h"

namespace vexlor::cli {

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

bool ReturnValue(const Arguments& args, const char* name,
                 const std::vector<std::pair<const char*, int16_t>>& values,
                 const char* fallback, int16_t* value, std::string* error) {
  const std::string mode = args.Get(name, fallback);
  std::string names;
  for (size_t i = 0; i < values.size(); ++i) {
    if (mode == values[i].first) {
      *value = values[i].second;
      return true;
    }
    if (i > 0) names += i + 1 == values.size() ? " or " : ", ";
    names += values[i].first;
  }
  *error = std::string("--") + name + " takes " + names;
  return false;
}

namespace {

// Probes and stages the command's logs; false after printing why.
bool StageLogs(const TableCommand& command, TableRun& run,
               std::deque<StagedLog>* staged, int* status) {
  const std::vector<const char*> options = command.log_options();
  run.logs.resize(options.size());
  for (size_t i = 0; i < options.size(); ++i) {
    StagedLog& log = staged->emplace_back();
    const std::string path = run.args.Get(options[i], "");
    if (path.empty()) continue;
    if (!CanWriteLog(path)) {
      *status = Complain(run.io, kExitBadInput, "cannot create log " + path);
      return false;
    }
    log.Stage(path);
    run.logs[i] = platform::Utf8ToUtf16(log.write_path());
  }
  return true;
}

}  // namespace

int RunTableCommand(TableCommand& command, const std::vector<std::string>& args,
                    Io io) {
  const Arguments a(args, command.Specs());
  if (!a.ok()) {
    return Complain(io, kExitUsage,
                    std::string(command.name()) + ": " + a.error());
  }
  return RunTableCommand(command, a, io);
}

int RunTableCommand(TableCommand& command, const Arguments& a, Io io) {
  const std::string name = command.name();
  Summary summary(a);
  if (a.positional().size() != command.files()) {
    return Complain(io, kExitUsage, name + " " + command.FilesUsage());
  }
  std::string error, warning;
  if (!command.CheckFlags(a, &warning, &error)) {
    return Complain(io, kExitUsage, name + ": " + error);
  }
  if (!warning.empty()) io.err << "vexlor: warning: " << warning << "\n";
  TableRun run{a, io, MakeControl(a, &error), {}, {}};
  if (!run.control) return Complain(io, kExitUsage, name + ": " + error);

  int status = kExitOk;
  std::deque<StagedLog> staged;
  if (!StageLogs(command, run, &staged, &status)) return status;
  run.tables.resize(command.files());
  for (size_t i = 0; i < command.files(); ++i) {
    if (!LoadOne(a, i, &run.tables[i], io, &status, command.max_columns())) {
      return status;
    }
  }
  status = command.Prepare(run);
  if (status != kExitOk) return status;
  summary.Lap();

  std::unique_ptr<ProgressSession> session =
      ProgressSession::Start(a, run.control.get(), io.err, &error);
  if (!session) return Complain(io, kExitUsage, name + ": " + error);
  platform::Variant result = command.Call(run, session->show_progress());
  session.reset();
  summary.Lap();
  status = FinishBatch(*run.control, io);
  if (status != kExitOk) return status;

  std::string line;
  if (!command.Write(run, std::move(result), &line, &error)) {
    return Complain(io, kExitBadInput, error);
  }
  for (StagedLog& log : staged) {
    if (!log.Commit(&error)) return Complain(io, kExitBadInput, error);
  }
  summary.Print(io.err, name, line);
  return kExitOk;
}

}  // namespace vexlor::cli

// A log file that a command replaces only when it succeeds. The batch
// methods write their logs line by line as they go; a command that then
// fails (a full disk for the output, Ctrl-C, running out of memory) would
// have emptied the log of an earlier run. So the method writes to a new
// file next to the log, which is renamed over it once the command's output
// is complete, and removed otherwise. A log that is a pipe or a device is
// written directly, since it holds nothing to keep.
#ifndef VEXLOR_CLI_STAGED_LOG_H_
#define VEXLOR_CLI_STAGED_LOG_H_

#include <string>

namespace vexlor::cli {

class StagedLog {
 public:
  StagedLog() = default;
  // Removes the new file unless it was committed.
  ~StagedLog();
  StagedLog(const StagedLog&) = delete;
  StagedLog& operator=(const StagedLog&) = delete;

  // Chooses where the log `path` (empty: none) is written. Cost: one
  // look at the path.
  void Stage(const std::string& path);

  // The path the batch method is to write; empty without a log.
  const std::string& write_path() const { return write_path_; }

  // Puts the written log in place, with the permission bits of the file
  // it replaces. True when there is nothing to do; false with a message
  // when the rename fails.
  bool Commit(std::string* error);

 private:
  std::string path_;
  std::string write_path_;
  unsigned permissions_ = 0;
  bool staged_ = false;
};

}  // namespace vexlor::cli

#endif  // VEXLOR_CLI_STAGED_LOG_H_

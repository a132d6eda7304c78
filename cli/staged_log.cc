#include "cli/staged_log.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "vexlor/platform/file.h"
#include "vexlor/platform/temporary_file.h"

namespace vexlor::cli {

using platform::PathInfo;

StagedLog::~StagedLog() {
  if (staged_) platform::RemoveFile(write_path_);
}

void StagedLog::Stage(const std::string& path) {
  path_ = path;
  write_path_ = path;
  if (path.empty()) return;
  const PathInfo info = platform::InspectPath(path);
  if (info.kind != PathInfo::Kind::kMissing &&
      info.kind != PathInfo::Kind::kRegular) {
    return;
  }
  path_ = info.target;
  permissions_ = info.permissions;
  // Only the name is taken: the batch method creates the file, and a file
  // that never appears means the method had nothing to log.
  write_path_ = platform::TemporaryName(info.target);
  staged_ = true;
}

bool StagedLog::Commit(std::string* error) {
  if (!staged_) return true;
  struct stat written;
  if (::stat(write_path_.c_str(), &written) != 0) {
    // The method wrote nothing (no line to log): the log stays as it was.
    staged_ = false;
    return true;
  }
  if (permissions_ != 0) ::chmod(write_path_.c_str(), permissions_);
  if (!platform::RenameReplacing(write_path_, path_)) {
    *error = "cannot write log " + path_ + ": " + std::strerror(errno);
    return false;
  }
  staged_ = false;
  return true;
}

}  // namespace vexlor::cli

#include "cli/log_probe.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace vexlor::cli {

namespace {

int OpenForWriting(const std::string& path, int flags) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | flags, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// The log holds an exclusive lock while it is open, so a lock held by
// someone else now would make the log's own open fail.
bool NoOtherWriter(int fd) {
  int locked;
  do {
    locked = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  return locked == 0;
}

}  // namespace

bool CanWriteLog(const std::string& path) {
  if (path.empty() || path.find('\0') != std::string::npos) return false;
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    return !S_ISDIR(st.st_mode) && ::access(path.c_str(), W_OK) == 0;
  }
  // No O_TRUNC anywhere: the content is the batch call's to replace.
  bool created = false;
  int fd = OpenForWriting(path, 0);
  if (fd < 0 && errno == ENOENT) {
    fd = OpenForWriting(path, O_CREAT | O_EXCL);
    created = fd >= 0;
    // A dangling symbolic link (whose target the log would create) or a
    // file that appeared meanwhile: opened as the log opens it, and left.
    if (fd < 0 && errno == EEXIST) fd = OpenForWriting(path, O_CREAT);
  }
  if (fd < 0) return false;
  const bool free = NoOtherWriter(fd);
  ::close(fd);
  if (created) ::unlink(path.c_str());
  return free;
}

}  // namespace vexlor::cli

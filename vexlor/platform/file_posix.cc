#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "vexlor/platform/file.h"

namespace vexlor::platform {

namespace {

// The exclusive writer's open: no O_TRUNC, because the content belongs to
// whoever holds the lock and is only cut once this writer holds it.
int OpenExclusiveWriter(const std::string& path, bool* regular) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    ::close(fd);
    return -1;
  }
  *regular = S_ISREG(st.st_mode);
  // A device or pipe has no content to protect; locking /dev/null or a
  // terminal would only keep two logs from sharing it.
  if (*regular) {
    int locked;
    do {
      locked = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0 || ::ftruncate(fd, 0) != 0) {
      ::close(fd);
      return -1;
    }
  }
  return fd;
}

}  // namespace

OutputFile::~OutputFile() { Close(); }

bool OutputFile::is_open() const { return fd_ >= 0; }

bool OutputFile::Open(const std::string& path, Mode mode) {
  bool regular = false;
  int fd = -1;
  switch (mode) {
    case Mode::kExclusiveWriter:
      fd = OpenExclusiveWriter(path, &regular);
      break;
    case Mode::kExisting:
      fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
      break;
    case Mode::kNew:
      fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      break;
  }
  if (fd < 0) return false;
  fd_ = fd;
  regular_ = regular;
  return true;
}

bool OutputFile::Write(std::string_view bytes) {
  return WriteToDescriptor(fd_, bytes);
}

bool OutputFile::Truncate(int64_t size) {
  return ::ftruncate(fd_, size) == 0 && ::lseek(fd_, size, SEEK_SET) >= 0;
}

bool OutputFile::Sync() { return ::fsync(fd_) == 0; }

void OutputFile::SetPermissions(uint32_t mode) { ::fchmod(fd_, mode); }

bool OutputFile::Close() {
  if (fd_ < 0) return true;
  // Linux releases the descriptor even when close reports an error, so it
  // is never retried.
  int fd = fd_;
  fd_ = -1;
  regular_ = false;
  return ::close(fd) == 0;
}

bool WriteToDescriptor(int fd, std::string_view bytes) {
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = EIO;
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

PathInfo InspectPath(const std::string& path) {
  PathInfo info;
  info.target = path;
  struct stat st;
  bool exists = ::lstat(path.c_str(), &st) == 0;
  // Renaming over a symbolic link would replace the link, not the file it
  // names.
  if (exists && S_ISLNK(st.st_mode)) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) != nullptr) info.target = resolved;
    exists = ::stat(info.target.c_str(), &st) == 0;
  }
  if (!exists) return info;
  info.permissions = st.st_mode & 07777;
  info.kind = S_ISDIR(st.st_mode)   ? PathInfo::Kind::kDirectory
              : S_ISREG(st.st_mode) ? PathInfo::Kind::kRegular
                                    : PathInfo::Kind::kOther;
  return info;
}

bool RenameReplacing(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

void RemoveFile(const std::string& path) { ::unlink(path.c_str()); }

uint32_t CurrentProcessId() { return static_cast<uint32_t>(::getpid()); }

}  // namespace vexlor::platform

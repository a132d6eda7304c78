#include "vexlor/output/log_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace vexlor {

CLogFile::~CLogFile() { Close(); }

bool CLogFile::Open(const std::string& path) {
  Close();
  errors_ = 0;
  size_ = 0;
  if (path.find('\0') != std::string::npos) return false;
  int fd;
  do {
    // No O_TRUNC: the content belongs to whoever holds the lock, so it is
    // only cut once this writer holds it.
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    ::close(fd);
    return false;
  }
  bool regular = S_ISREG(st.st_mode);
  // A device or pipe has no content to protect; locking /dev/null or a
  // terminal would only keep two logs from sharing it.
  if (regular) {
    int locked;
    do {
      locked = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0 || ::ftruncate(fd, 0) != 0) {
      ::close(fd);
      return false;
    }
  }
  fd_ = fd;
  regular_ = regular;
  return true;
}

bool CLogFile::WriteAll(std::string_view bytes) {
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd_, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

size_t CLogFile::WriteLine(std::string_view text) {
  if (fd_ < 0) return 0;
  line_.assign(text);
  line_.append("\r\n", 2);
  if (WriteAll(line_)) {
    size_ += static_cast<int64_t>(line_.size());
    return line_.size();
  }
  ++errors_;
  if (regular_) {
    // Part of the line may have landed before the disk filled up; a reader
    // should see whole lines only, and the next line starts where this one
    // did.
    if (::ftruncate(fd_, size_) != 0 || ::lseek(fd_, size_, SEEK_SET) < 0) {
      ++errors_;
    }
  }
  return 0;
}

void CLogFile::Close() {
  if (fd_ < 0) return;
  if (regular_ && ::fsync(fd_) != 0) ++errors_;
  // Linux releases the descriptor even when close reports an error, so it
  // is never retried.
  if (::close(fd_) != 0) ++errors_;
  fd_ = -1;
  regular_ = false;
}

}  // namespace vexlor

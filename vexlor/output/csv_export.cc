#include "vexlor/output/csv_export.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "vexlor/output/log_file.h"

namespace vexlor {

using platform::LocaleText;
using platform::VariantArray;

namespace {

constexpr size_t kBufferSize = 64 * 1024;

bool WriteAllFd(int fd, const char* p, size_t left) {
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

// Removes a temporary file unless it was renamed into place.
class TemporaryFile {
 public:
  TemporaryFile() = default;
  ~TemporaryFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!name_.empty()) ::unlink(name_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // Creates a new file next to `target` with the usual permissions.
  bool Create(const std::string& target) {
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name = target + ".tmp" + std::to_string(::getpid()) + "-" +
                         std::to_string(counter++);
      int fd =
          ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd >= 0) {
        fd_ = fd;
        name_ = std::move(name);
        return true;
      }
      if (errno != EEXIST && errno != EINTR) return false;
    }
    errno = EEXIST;
    return false;
  }

  int fd() const { return fd_; }

  // Flushes, closes and renames the file over `target`.
  bool Commit(const std::string& target) {
    if (::fsync(fd_) != 0) return false;
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return false;
    if (::rename(name_.c_str(), target.c_str()) != 0) return false;
    name_.clear();
    return true;
  }

 private:
  int fd_ = -1;
  std::string name_;
};

std::string ErrorText(const std::string& path) {
  return "cannot write " + path + ": " + std::strerror(errno);
}

}  // namespace

bool ExportCsvFile(const VariantArray& table, const CsvFormat& format,
                   std::span<const std::u16string> column_names,
                   const std::string& path, const LocaleText* locale) {
  CLogFile file;
  if (!file.Open(path)) return false;
  CsvFormatter formatter(format, locale);
  const int64_t last_column = ExportLastColumn(table);
  std::string line;
  if (format.column_headers) {
    formatter.AppendHeaderLine(last_column, column_names, &line);
    file.WriteLine(line);
  }
  const uint32_t rows = table.dims() >= 2 ? table.rows() : 0;
  for (uint32_t row = 0; row < rows; ++row) {
    line.clear();
    formatter.AppendRowLine(table, row, last_column, &line);
    file.WriteLine(line);
  }
  file.Close();
  return file.error_count() == 0;
}

bool WriteCsvTable(const VariantArray& table, const CsvFormat& format,
                   std::span<const std::u16string> column_names,
                   int64_t last_column, int fd, const LocaleText* locale) {
  CsvFormatter formatter(format, locale);
  std::string buffer;
  buffer.reserve(kBufferSize + 4096);
  if (format.column_headers) {
    formatter.AppendHeaderLine(last_column, column_names, &buffer);
    buffer.append("\r\n", 2);
  }
  const uint32_t rows = table.dims() >= 2 ? table.rows() : 0;
  for (uint32_t row = 0; row < rows; ++row) {
    if (buffer.size() >= kBufferSize) {
      if (!WriteAllFd(fd, buffer.data(), buffer.size())) return false;
      buffer.clear();
    }
    formatter.AppendRowLine(table, row, last_column, &buffer);
    buffer.append("\r\n", 2);
  }
  return WriteAllFd(fd, buffer.data(), buffer.size());
}

bool WriteCsvTableToPath(const VariantArray& table, const CsvFormat& format,
                         std::span<const std::u16string> column_names,
                         int64_t last_column, const std::string& path,
                         std::string* error, const LocaleText* locale) {
  // Renaming over a symbolic link would replace the link, not the file it
  // names.
  std::string target = path;
  struct stat st;
  bool exists = ::lstat(path.c_str(), &st) == 0;
  if (exists && S_ISLNK(st.st_mode)) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) != nullptr) target = resolved;
    exists = ::stat(target.c_str(), &st) == 0;
  }
  if (exists && S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    *error = ErrorText(path);
    return false;
  }
  if (exists && !S_ISREG(st.st_mode)) {
    int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
      *error = ErrorText(path);
      return false;
    }
    bool ok =
        WriteCsvTable(table, format, column_names, last_column, fd, locale);
    int saved = errno;
    if (::close(fd) != 0 && ok) {
      ok = false;
      saved = errno;
    }
    if (!ok) {
      errno = saved;
      *error = ErrorText(path);
    }
    return ok;
  }
  TemporaryFile temporary;
  if (!temporary.Create(target)) {
    *error = ErrorText(path);
    return false;
  }
  if (exists) ::fchmod(temporary.fd(), st.st_mode & 07777);
  if (!WriteCsvTable(table, format, column_names, last_column, temporary.fd(),
                     locale) ||
      !temporary.Commit(target)) {
    *error = ErrorText(path);
    return false;
  }
  return true;
}

}  // namespace vexlor

#include "cli/output_target.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/gzip.h"
#include "vexlor/platform/file.h"

namespace vexlor::cli {

using platform::OutputFile;
using platform::PathInfo;

namespace {

std::string ErrorText(const std::string& path) {
  return "cannot write " +
         (path == "-" ? std::string("standard output") : path) + ": " +
         std::strerror(errno);
}

// A file next to the target that is removed unless renamed into place.
class TemporaryFile {
 public:
  TemporaryFile() = default;
  ~TemporaryFile() {
    file_.Close();
    if (!name_.empty()) platform::RemoveFile(name_);
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  bool Create(const std::string& target) {
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name = target + ".tmp" +
                         std::to_string(platform::CurrentProcessId()) + "-" +
                         std::to_string(counter++);
      if (file_.Open(name, OutputFile::Mode::kNew)) {
        name_ = std::move(name);
        return true;
      }
      if (errno != EEXIST && errno != EINTR) return false;
    }
    errno = EEXIST;
    return false;
  }

  OutputFile& file() { return file_; }

  bool Commit(const std::string& target) {
    if (!file_.Sync() || !file_.Close()) return false;
    if (!platform::RenameReplacing(name_, target)) return false;
    name_.clear();
    return true;
  }

 private:
  OutputFile file_;
  std::string name_;
};

// Runs `produce` into `sink`, through gzip when the name asks for it.
bool Produce(const std::string& path,
             const std::function<bool(const ByteWriter&)>& produce,
             const ByteWriter& sink) {
  if (path.size() < 3 || path.compare(path.size() - 3, 3, ".gz") != 0) {
    return produce(sink);
  }
  GzipWriter gzip(sink);
  return produce([&gzip](std::string_view b) { return gzip.Write(b); }) &&
         gzip.Finish();
}

}  // namespace

bool WriteOutput(const std::string& path,
                 const std::function<bool(const ByteWriter&)>& produce,
                 std::string* error) {
  if (path == "-") {
    if (produce([](std::string_view bytes) {
          return platform::WriteToDescriptor(STDOUT_FILENO, bytes);
        })) {
      return true;
    }
    *error = ErrorText(path);
    return false;
  }
  const PathInfo info = platform::InspectPath(path);
  if (info.kind == PathInfo::Kind::kDirectory) {
    errno = EISDIR;
    *error = ErrorText(path);
    return false;
  }
  if (info.kind == PathInfo::Kind::kOther) {
    OutputFile file;
    if (!file.Open(info.target, OutputFile::Mode::kExisting)) {
      *error = ErrorText(path);
      return false;
    }
    bool ok = Produce(path, produce,
                      [&file](std::string_view b) { return file.Write(b); });
    int saved = errno;
    if (!file.Close() && ok) {
      ok = false;
      saved = errno;
    }
    errno = saved;
    if (!ok) *error = ErrorText(path);
    return ok;
  }
  TemporaryFile temporary;
  if (!temporary.Create(info.target)) {
    *error = ErrorText(path);
    return false;
  }
  if (info.kind == PathInfo::Kind::kRegular) {
    temporary.file().SetPermissions(info.permissions);
  }
  OutputFile& file = temporary.file();
  if (!Produce(path, produce,
               [&file](std::string_view b) { return file.Write(b); }) ||
      !temporary.Commit(info.target)) {
    *error = ErrorText(path);
    return false;
  }
  return true;
}

}  // namespace vexlor::cli

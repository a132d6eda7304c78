#include "cli/output_target.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/gzip.h"
#include "vexlor/platform/file.h"
#include "vexlor/platform/temporary_file.h"

namespace vexlor::cli {

using platform::OutputFile;
using platform::PathInfo;
using platform::TemporaryFile;

namespace {

std::string ErrorText(const std::string& path) {
  return "cannot write " +
         (path == "-" ? std::string("standard output") : path) + ": " +
         std::strerror(errno);
}

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

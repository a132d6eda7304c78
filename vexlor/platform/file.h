// Files for writing: the few operations the output subsystem needs, over
// descriptors on Linux (file_posix.cc) and handles on Windows
// (file_win.cc).
//
// Paths are file-system bytes on Linux and UTF-8 on Windows, where they
// are opened by their UTF-16 form (the host's own text) and never through
// the ANSI code page. Failures report their cause in errno: the system's
// own value on Linux, the nearest errno value of the system error on
// Windows (ENOSPC for a full disk, EACCES, ENOENT, EEXIST, EBUSY for a file
// held by another writer, EIO for anything else).
#ifndef VEXLOR_PLATFORM_FILE_H_
#define VEXLOR_PLATFORM_FILE_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace vexlor::platform {

class OutputFile {
 public:
  enum class Mode {
    // Created when missing (Linux: 0666 less the umask). A regular file is
    // then held for writing by this object alone (Linux: an exclusive
    // flock; Windows: read sharing only), so a second writer fails to open
    // it, and only then truncated. A device or pipe is opened as it is.
    kExclusiveWriter,
    // An existing file, device or pipe, opened as it is; never created.
    kExisting,
    // A file that must not exist yet (EEXIST when it does).
    kNew,
  };

  OutputFile() = default;
  // Closes an open file, ignoring errors.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Opens `path` for writing; returns false (errno set) when it cannot be
  // opened, and then the object stays closed. The object must be closed.
  bool Open(const std::string& path, Mode mode);

  bool is_open() const;
  // True for a file on a disk opened as kExclusiveWriter; false for a
  // device or pipe, and in the other modes.
  bool is_regular() const { return regular_; }

  // Writes all of `bytes` at the current position, repeating partial
  // writes; false (errno set) on failure, with part of it maybe written.
  bool Write(std::string_view bytes);

  // Cuts the file to `size` bytes and moves the position there.
  bool Truncate(int64_t size);

  // Flushes the file's content to the device.
  bool Sync();

  // Gives the file the permission bits `mode` (Linux; nothing on Windows).
  void SetPermissions(uint32_t mode);

  // Closes the file; false (errno set) when the system reported an error,
  // though the file is closed either way. Nothing to do when not open.
  bool Close();

 private:
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
  bool regular_ = false;
};

// Writes all of `bytes` to the open descriptor `fd` (standard output, a
// pipe; on Windows a C runtime descriptor, written without newline
// translation); false (errno set) on failure.
bool WriteToDescriptor(int fd, std::string_view bytes);

// What is at a path a writer is about to replace. Symbolic links are
// followed (Linux), so `target` names the file itself; for a broken link
// it is the path as given.
struct PathInfo {
  enum class Kind { kMissing, kRegular, kDirectory, kOther };
  Kind kind = Kind::kMissing;
  std::string target;
  // Permission bits of an existing file (Linux; 0 on Windows).
  uint32_t permissions = 0;
};
PathInfo InspectPath(const std::string& path);

// Renames `from` to `to`, replacing a file of that name; false (errno set)
// on failure.
bool RenameReplacing(const std::string& from, const std::string& to);

// Deletes the file `path`, ignoring failure.
void RemoveFile(const std::string& path);

// The running process's id, for temporary names.
uint32_t CurrentProcessId();

}  // namespace vexlor::platform

#endif  // VEXLOR_PLATFORM_FILE_H_

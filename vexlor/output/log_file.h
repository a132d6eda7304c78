// CLogFile: the text-file writer of the CSV export and the batch logs.
//
// A file is created or truncated when opened, and each line goes to the
// operating system in one write, as its bytes followed by CR LF; nothing
// is buffered, so a log holds every line written so far even when the
// process dies. While a regular file is open, this writer holds it
// exclusively (an advisory flock on Linux, read-only sharing on Windows):
// readers are welcome, but a second writer, in this process or another,
// fails to open the same file instead of truncating or interleaving the
// first. Closing flushes the file to the device.
//
// Errors never throw: Open says whether the file is open; a failed write
// loses its line (and only that line) and returns 0; a failed flush or close
// is swallowed. Callers that must know whether everything arrived ask
// error_count().
#ifndef VEXLOR_OUTPUT_LOG_FILE_H_
#define VEXLOR_OUTPUT_LOG_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "vexlor/platform/file.h"

namespace vexlor {

class CLogFile {
 public:
  CLogFile() = default;
  // Closes the file if one is open.
  ~CLogFile();
  CLogFile(const CLogFile&) = delete;
  CLogFile& operator=(const CLogFile&) = delete;

  // Opens `path` (file-system bytes, UTF-8 on Linux; on Windows UTF-8,
  // opened by its UTF-16 form) for writing; closes an open file first, as
  // Close does. The file is created with the usual
  // permissions (0666 less the umask), or truncated to length 0 when it
  // exists; truncation happens only once the lock is held. A device or pipe
  // is opened as it is, without lock or truncation. Returns false, leaving
  // the object closed and creating nothing, when the path cannot be opened
  // for writing (missing folder, no permission, a directory) or another
  // writer holds the file. Resets error_count(). Cost: a few system calls.
  bool Open(const std::string& path);

  // Writes `text` and CR LF in one system call (repeated only when the
  // system accepts part of it, as pipes may). Returns text.size() + 2, or 0
  // when no file is open or the write failed (disk full, device error); the
  // file stays open. A line that fails part-way is cut off again when the
  // file is a regular one, so the file holds whole lines only. No
  // allocation once the line buffer has grown to the longest line.
  size_t WriteLine(std::string_view text);

  // True between a successful Open and Close.
  bool IsOpen() const { return file_.is_open(); }

  // Flushes a regular file to the device (fsync), then closes it; the close
  // is attempted even when the flush failed, and both failures are only
  // counted. Does nothing when no file is open.
  void Close();

  // Failed writes, flushes and closes since the last successful Open; kept
  // after Close so that a caller can check the whole file afterwards.
  int64_t error_count() const { return errors_; }

 private:
  platform::OutputFile file_;
  // Bytes written so far to a regular file: where a failed line is cut.
  int64_t size_ = 0;
  int64_t errors_ = 0;
  std::string line_;
};

}  // namespace vexlor

#endif  // VEXLOR_OUTPUT_LOG_FILE_H_

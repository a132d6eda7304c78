// A file written beside its target under a name of its own and renamed
// over the target once complete, so that a reader never sees half a file
// and a failed write leaves the old one as it was.
//
// Names are the target's path with ".tmp<process id>-<n>" appended, n from
// a counter shared by every thread of the process, so two writers never
// choose the same name, whichever threads or processes they run in.
#ifndef VEXLOR_PLATFORM_TEMPORARY_FILE_H_
#define VEXLOR_PLATFORM_TEMPORARY_FILE_H_

#include <string>

#include "vexlor/platform/file.h"

namespace vexlor::platform {

// A name beside `target` that no other call of this process returns.
// Thread-safe; the file is not created.
std::string TemporaryName(const std::string& target);

class TemporaryFile {
 public:
  TemporaryFile() = default;
  // Closes the file and removes it unless it was committed.
  ~TemporaryFile();
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // Creates a new file beside `target` (Linux: 0666 less the umask); a
  // name already taken on disk is passed over. False (errno set) when no
  // file can be created.
  bool Create(const std::string& target);

  // The open file; write to it between Create and Commit.
  OutputFile& file() { return file_; }

  // Flushes the file to the device, closes it and renames it over
  // `target`. False (errno set) on failure; the file is then removed by
  // the destructor and `target` is as it was.
  bool Commit(const std::string& target);

 private:
  OutputFile file_;
  std::string name_;
};

}  // namespace vexlor::platform

#endif  // VEXLOR_PLATFORM_TEMPORARY_FILE_H_

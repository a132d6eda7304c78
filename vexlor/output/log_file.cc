#include "vexlor/output/log_file.h"

namespace vexlor {

using platform::OutputFile;

CLogFile::~CLogFile() { Close(); }

bool CLogFile::Open(const std::string& path) {
  Close();
  errors_ = 0;
  size_ = 0;
  if (path.find('\0') != std::string::npos) return false;
  return file_.Open(path, OutputFile::Mode::kExclusiveWriter);
}

size_t CLogFile::WriteLine(std::string_view text) {
  if (!file_.is_open()) return 0;
  line_.assign(text);
  line_.append("\r\n", 2);
  if (file_.Write(line_)) {
    size_ += static_cast<int64_t>(line_.size());
    return line_.size();
  }
  ++errors_;
  if (file_.is_regular()) {
    // Part of the line may have landed before the disk filled up; a reader
    // should see whole lines only, and the next line starts where this one
    // did.
    if (!file_.Truncate(size_)) ++errors_;
  }
  return 0;
}

void CLogFile::Close() {
  if (!file_.is_open()) return;
  if (file_.is_regular() && !file_.Sync()) ++errors_;
  if (!file_.Close()) ++errors_;
}

}  // namespace vexlor

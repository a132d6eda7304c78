#include "vexlor/platform/temporary_file.h"

#include <atomic>
#include <cerrno>
#include <cstdint>

namespace vexlor::platform {

namespace {

// Enough to pass over the leftovers of a crashed process of the same id.
constexpr int kAttempts = 100;

}  // namespace

std::string TemporaryName(const std::string& target) {
  static std::atomic<uint64_t> counter{0};
  return target + ".tmp" + std::to_string(CurrentProcessId()) + "-" +
         std::to_string(counter.fetch_add(1, std::memory_order_relaxed));
}

TemporaryFile::~TemporaryFile() {
  file_.Close();
  if (!name_.empty()) RemoveFile(name_);
}

bool TemporaryFile::Create(const std::string& target) {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    std::string name = TemporaryName(target);
    if (file_.Open(name, OutputFile::Mode::kNew)) {
      name_ = std::move(name);
      return true;
    }
    if (errno != EEXIST && errno != EINTR) return false;
  }
  errno = EEXIST;
  return false;
}

bool TemporaryFile::Commit(const std::string& target) {
  if (!file_.Sync() || !file_.Close()) return false;
  if (!RenameReplacing(name_, target)) return false;
  name_.clear();
  return true;
}

}  // namespace vexlor::platform

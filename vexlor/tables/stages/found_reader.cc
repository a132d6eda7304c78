#include "vexlor/tables/stages/found_reader.h"

#include <span>

namespace vexlor {

bool FoundReader::Read(Ahead& ahead) {
  const std::span<const uint32_t> words = found_->words;
  if (at_ >= words.size()) return false;
  const uint32_t header = words[at_];
  const size_t listed = header >> 2;
  ahead.partial = true;
  ahead.rows.clear();
  ahead.verdicts.clear();
  ahead.verdicts_found =
      (header & kFoundRecord) != 0 && words.size() - at_ - 1 > listed;
  ++row_;
  if (!ahead.verdicts_found) {
    // A record not found elsewhere, or words cut short.
    at_ = (header & kFoundRecord) != 0 ? words.size() : at_ + 1;
    return true;
  }
  ahead.depth = words[at_ + 1];
  const uint32_t* rows = words.data() + at_ + 2;
  ahead.rows.assign(rows, rows + listed);
  ahead.verdicts.assign(listed, 1);
  if ((header & kFoundLastMisses) != 0 && listed > 0) ahead.verdicts.back() = 0;
  at_ += 2 + listed;
  return true;
}

}  // namespace vexlor

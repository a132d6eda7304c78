#include "cli/summary.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <unordered_map>

#include "vexlor/match_options.h"
#include "vexlor/variant_array.h"

namespace vexlor::cli {

using platform::Variant;
using platform::VariantArray;

Summary::Summary(const Arguments& args)
    : wanted_(args.Has("summary") || isatty(STDERR_FILENO)),
      start_(std::chrono::steady_clock::now()) {}

void Summary::Lap() {
  if (lap_count_ < 2) laps_[lap_count_++] = std::chrono::steady_clock::now();
}

void Summary::Print(std::ostream& err, const std::string& name,
                    const std::string& text) const {
  if (!wanted_) return;
  const auto now = std::chrono::steady_clock::now();
  auto seconds = [](std::chrono::steady_clock::time_point from,
                    std::chrono::steady_clock::time_point to) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f s",
                  std::chrono::duration<double>(to - from).count());
    return std::string(buffer);
  };
  err << "vexlor: " << name << ": " << text << ", " << seconds(start_, now);
  if (lap_count_ == 2) {
    err << " (read " << seconds(start_, laps_[0]) << ", " << name << " "
        << seconds(laps_[0], laps_[1]) << ", write " << seconds(laps_[1], now)
        << ")";
  }
  err << "\n";
}

std::string RecordsRead(size_t first, size_t second) {
  std::string text = std::to_string(first);
  if (second != SIZE_MAX) text += " + " + std::to_string(second);
  return text + " records read";
}

size_t ResultRows(const Variant& result) {
  const VariantArray* table = result.AsArray();
  return table == nullptr || table->dims() < 2 ? 0 : table->rows();
}

void CountGroups(const Variant& result, uint32_t column, size_t* groups,
                 size_t* grouped, size_t* largest) {
  *groups = 0;
  *grouped = 0;
  if (largest != nullptr) *largest = 0;
  const VariantArray* table = result.AsArray();
  if (table == nullptr || column >= table->columns()) return;
  std::unordered_map<std::u16string_view, size_t> rows_of;
  for (uint32_t r = 0; r < ResultRows(result); ++r) {
    const Variant& label = table->cell(column, r);
    if (label.IsString() && !label.AsString().empty()) {
      ++rows_of[label.AsString()];
    }
  }
  for (const auto& [label, rows] : rows_of) {
    if (rows < 2) continue;
    ++*groups;
    *grouped += rows;
    if (largest != nullptr) *largest = std::max(*largest, rows);
  }
}

std::string LargeGroupHint(size_t largest) {
  if (largest <= kLargeChainedGroup) return "";
  return ", largest group " + std::to_string(largest) +
         " records (chained groups this large often join different "
         "entities; on large tables --grouping clique --scoring estimated "
         "--swap 1,2 is advised, Options " +
         std::string(kAdvisedLargeTableOptions) + ")";
}

size_t CountNonZero(const Variant& result, uint32_t column) {
  const VariantArray* table = result.AsArray();
  if (table == nullptr || column >= table->columns()) return 0;
  size_t count = 0;
  for (uint32_t r = 0; r < ResultRows(result); ++r) {
    const Variant& cell = table->cell(column, r);
    count += cell.AsInt32() != 0 || cell.AsInt16() != 0 ||
             cell.AsDouble() != 0 || cell.AsInt64() != 0;
  }
  return count;
}

}  // namespace vexlor::cli

// How often each value occurs in a column, for the term-frequency
// adjustment of the Fellegi–Sunter model: two records that agree on a rare
// surname are likelier the same person than two that agree on a common one.
//
// With f(v) the share of the column's non-empty values that are v, two
// different persons agree on v with chance f(v)^2 and on any value with
// chance A = sum of f(v)^2; the same person shows v with chance f(v). So
// among the pairs that agree, agreeing on v carries log2(A / f(v)) bits
// more than agreeing on an average value: the adjustment added to the
// weight of the level `equal` (negative for the commonest values). Only the
// commonest values are kept (kFsListedValues, those seen at least twice); the
// others count as seen `rest` times, the mean count of the values not kept.
#ifndef VEXLOR_TABLES_SCORING_FS_TERM_FREQUENCIES_H_
#define VEXLOR_TABLES_SCORING_FS_TERM_FREQUENCIES_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vexlor {

inline constexpr size_t kFsListedValues = 2000;

class FsTermFrequencies {
 public:
  // No values: no adjustment.
  FsTermFrequencies() = default;
  // `records` non-empty values, A = `agree`, the kept values with their
  // counts, `rest` the count of any other value. Returns false (and stays
  // empty) when the numbers do not fit together.
  bool Assign(uint64_t records, double agree, double rest,
              std::vector<std::pair<std::string, uint64_t>> values);

  bool empty() const { return records_ == 0; }
  uint64_t records() const { return records_; }
  double agree() const { return agree_; }
  double rest() const { return rest_; }
  // The kept values, commonest first (ties in byte order).
  const std::vector<std::pair<std::string, uint64_t>>& values() const {
    return values_;
  }

  // log2(A / f(v)); 0 when empty. No allocation.
  double Adjustment(std::string_view value) const;
  // The largest adjustment any value gets.
  double MaxAdjustment() const { return max_adjustment_; }

 private:
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const;
  };
  uint64_t records_ = 0;
  double agree_ = 0;
  double rest_ = 1;
  double rest_adjustment_ = 0;
  double max_adjustment_ = 0;
  std::vector<std::pair<std::string, uint64_t>> values_;
  std::unordered_map<std::string, double, Hash, std::equal_to<>> adjustment_;
};

// Counts the values of rows 0 to rows - 1, `text(row, &value)` giving a
// row's value (false or empty: none), and keeps the commonest. Two passes
// over the rows; memory 8 bytes per row. Deterministic: values are told
// apart by a 64-bit hash of their bytes.
FsTermFrequencies CountTermFrequencies(
    uint32_t rows,
    const std::function<bool(uint32_t, std::string_view*)>& text);

}  // namespace vexlor

#endif  // VEXLOR_TABLES_SCORING_FS_TERM_FREQUENCIES_H_

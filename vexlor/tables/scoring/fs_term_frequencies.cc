#include "vexlor/tables/scoring/fs_term_frequencies.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace vexlor {
namespace {

// FNV-1a: the same on every platform, unlike std::hash.
uint64_t Fnv1a(std::string_view s) {
  uint64_t h = 14695981039346656037ull;
  for (char c : s) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ull;
  }
  return h;
}

}  // namespace

size_t FsTermFrequencies::Hash::operator()(std::string_view s) const {
  return static_cast<size_t>(Fnv1a(s));
}

bool FsTermFrequencies::Assign(
    uint64_t records, double agree, double rest,
    std::vector<std::pair<std::string, uint64_t>> values) {
  *this = FsTermFrequencies();
  if (records == 0 || !(agree > 0) || !(agree <= 1) || !(rest >= 1) ||
      rest > static_cast<double>(records)) {
    return false;
  }
  const double n = static_cast<double>(records);
  auto adjustment = [&](double count) { return std::log2(agree * n / count); };
  std::unordered_map<std::string, double, Hash, std::equal_to<>> map;
  double max_adjustment = adjustment(rest);
  for (const auto& [value, count] : values) {
    if (count == 0 || count > records || !map.emplace(value, 0.0).second) {
      return false;
    }
    map[value] = adjustment(static_cast<double>(count));
    max_adjustment = std::max(max_adjustment, map[value]);
  }
  records_ = records;
  agree_ = agree;
  rest_ = rest;
  rest_adjustment_ = adjustment(rest);
  max_adjustment_ = max_adjustment;
  values_ = std::move(values);
  adjustment_ = std::move(map);
  return true;
}

double FsTermFrequencies::Adjustment(std::string_view value) const {
  if (records_ == 0) return 0.0;
  const auto it = adjustment_.find(value);
  return it == adjustment_.end() ? rest_adjustment_ : it->second;
}

FsTermFrequencies CountTermFrequencies(
    uint32_t rows,
    const std::function<bool(uint32_t, std::string_view*)>& text) {
  std::vector<uint64_t> hashes;
  hashes.reserve(rows);
  std::string_view value;
  for (uint32_t r = 0; r < rows; ++r) {
    if (text(r, &value) && !value.empty()) hashes.push_back(Fnv1a(value));
  }
  FsTermFrequencies result;
  const uint64_t records = hashes.size();
  if (records == 0) return result;
  std::sort(hashes.begin(), hashes.end());
  // Runs of one hash: its count.
  std::vector<std::pair<uint64_t, uint64_t>> counts;  // (count, hash)
  double agree = 0;
  const double n = static_cast<double>(records);
  for (size_t i = 0; i < hashes.size();) {
    size_t j = i;
    while (j < hashes.size() && hashes[j] == hashes[i]) ++j;
    const double share = static_cast<double>(j - i) / n;
    agree += share * share;
    if (j - i >= 2) counts.emplace_back(j - i, hashes[i]);
    i = j;
  }
  const uint64_t distinct = [&] {
    uint64_t d = 0;
    for (size_t i = 0; i < hashes.size(); ++i) {
      d += i == 0 || hashes[i] != hashes[i - 1] ? 1 : 0;
    }
    return d;
  }();
  std::sort(counts.begin(), counts.end(), [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first > b.first : a.second < b.second;
  });
  if (counts.size() > kFsListedValues) counts.resize(kFsListedValues);
  hashes.clear();
  hashes.shrink_to_fit();
  // The texts of the kept hashes.
  std::unordered_map<uint64_t, size_t> slot;
  for (size_t i = 0; i < counts.size(); ++i) slot.emplace(counts[i].second, i);
  std::vector<std::pair<std::string, uint64_t>> values(counts.size());
  std::vector<bool> found(counts.size(), false);
  for (uint32_t r = 0; r < rows && !slot.empty(); ++r) {
    if (!text(r, &value) || value.empty()) continue;
    const auto it = slot.find(Fnv1a(value));
    if (it == slot.end() || found[it->second]) continue;
    found[it->second] = true;
    values[it->second] = {std::string(value), counts[it->second].first};
  }
  uint64_t kept = 0;
  for (const auto& [count, hash] : counts) kept += count;
  const uint64_t others = distinct - counts.size();
  const double rest = others > 0
                          ? std::max(1.0, static_cast<double>(records - kept) /
                                              static_cast<double>(others))
                          : 1.0;
  // Ties of count in byte order of the text, for a file that reads well.
  std::stable_sort(
      values.begin(), values.end(), [](const auto& a, const auto& b) {
        return a.second != b.second ? a.second > b.second : a.first < b.first;
      });
  result.Assign(records, std::min(1.0, agree), rest, std::move(values));
  return result;
}

}  // namespace vexlor

#include "vexlor/tables/stages/appended_rows.h"

#include <algorithm>

namespace vexlor {

void AppendedRows::File(std::string_view text, uint32_t row) {
  if (index_ == nullptr) index_ = std::make_unique<CandidateGenerator>();
  index_->File(text, row);
}

void AppendedRows::BeginQuery() {
  index_->BeginQuery(kNoRecord);
  queried_ = true;
}

void AppendedRows::AddQueryText(std::string_view text) {
  index_->AddQueryText(text);
}

const std::vector<uint32_t>& AppendedRows::Take(uint32_t need,
                                                CandidateRule rule) {
  queried_ = false;
  if (rule == CandidateRule::kExact) return index_->Take(need);
  // The records go in one by one between queries, which band keys would
  // have to be made again for: they are searched by the exact rule, and
  // the best of them kept as the bounded rule keeps its rows.
  const std::vector<uint32_t>& rows = index_->Take(need, &counts_);
  if (rows.size() <= kBoundedLimits.top) return rows;
  best_.clear();
  for (uint32_t i = 0; i < rows.size(); ++i) best_.push_back(i);
  const auto ahead = [&](uint32_t a, uint32_t b) {
    return counts_[a] != counts_[b] ? counts_[a] > counts_[b] : a < b;
  };
  std::nth_element(best_.begin(), best_.begin() + kBoundedLimits.top,
                   best_.end(), ahead);
  best_.resize(kBoundedLimits.top);
  std::sort(best_.begin(), best_.end());
  for (uint32_t& i : best_) i = rows[i];
  return best_;
}

const std::vector<uint32_t>& AppendedRows::After(
    const std::vector<uint32_t>& own, uint32_t need, CandidateRule rule) {
  combined_.assign(own.begin(), own.end());
  const std::vector<uint32_t>& more = Take(need, rule);
  combined_.insert(combined_.end(), more.begin(), more.end());
  return combined_;
}

void AppendedRows::Free() {
  index_.reset();
  rows_ = 0;
  std::vector<uint32_t>().swap(combined_);
}

}  // namespace vexlor

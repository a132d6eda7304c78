#include "vexlor/tables/stages/candidate_index.h"

namespace vexlor {

void CandidateIndex::Create(const CandidateScan& scan, uint32_t size_for,
                            uint32_t counter_rows) {
  if (scan.make_counter && rule_ == CandidateRule::kExact) {
    counter_ = scan.make_counter(size_for, counter_rows);
    return;
  }
  generator_ = std::make_unique<CandidateGenerator>(rule_);
}

void CandidateIndex::Free() {
  generator_.reset();
  counter_.reset();
}

void CandidateIndex::File(std::string_view text, uint32_t row) {
  if (counter_ != nullptr) {
    counter_->File(text, row);
  } else {
    generator_->File(text, row);
  }
}

void CandidateIndex::BeginCount(uint32_t record) {
  if (counter_ != nullptr) {
    counter_->Begin(record);
  } else {
    generator_->BeginQuery(record);
  }
}

void CandidateIndex::CountText(std::string_view text, uint32_t record) {
  if (counter_ != nullptr) {
    counter_->Count(text, record);
  } else {
    generator_->AddQueryText(text);
  }
}

const std::vector<uint32_t>& CandidateIndex::Take(uint32_t need) {
  if (counter_ != nullptr) return counter_->Take(need);
  return TakeUnderRule(nullptr, need);
}

void CandidateIndex::Reset() {
  if (counter_ != nullptr) counter_->Reset();
}

const std::vector<uint32_t>& CandidateIndex::TakeUnderRule(
    CandidateGenerator::Query* query, uint32_t need) const {
  CandidateGenerator& generator = *generator_;
  if (rule_ == CandidateRule::kBounded) {
    return query != nullptr
               ? generator.TakeBounded(*query, need, kBoundedLimits)
               : generator.TakeBounded(need, kBoundedLimits);
  }
  return query != nullptr ? generator.Take(*query, need) : generator.Take(need);
}

}  // namespace vexlor

// The trigram index of the indexed rows, which finds a record's
// candidates: the prefix filter's generator under a candidate rule, or a
// counter that the caller's scan makes (exact rule only).
#ifndef VEXLOR_TABLES_STAGES_CANDIDATE_INDEX_H_
#define VEXLOR_TABLES_STAGES_CANDIDATE_INDEX_H_

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "vexlor/candidate_rule.h"
#include "vexlor/tables/candidates/candidate_counter.h"
#include "vexlor/tables/candidates/candidate_generator.h"
#include "vexlor/tables/candidates/candidate_scan.h"

namespace vexlor {

class CandidateIndex {
 public:
  // Exact unless set; belongs before Create.
  void SetRule(CandidateRule rule) { rule_ = rule; }
  CandidateRule rule() const { return rule_; }

  // The scan's counter made for `size_for` trigrams and rows 0 to
  // counter_rows - 1, when it makes one and the rule is exact; the
  // generator otherwise. Throws std::bad_alloc.
  void Create(const CandidateScan& scan, uint32_t size_for,
              uint32_t counter_rows);
  void Free();

  // The generator; null with a counter, or before Create.
  CandidateGenerator* generator() const { return generator_.get(); }
  bool has_counter() const { return counter_ != nullptr; }

  // Files `row` under the trigrams of `text`. Throws std::bad_alloc.
  void File(std::string_view text, uint32_t row);

  // Counts the trigram hits of `record` (kNoRecord: none excluded), one
  // cluster text after another, then Take or Reset ends it.
  void BeginCount(uint32_t record);
  void CountText(std::string_view text, uint32_t record);
  // The rows with at least `need` hits, under the rule; valid until the
  // next call.
  const std::vector<uint32_t>& Take(uint32_t need);
  // Ends the count without taking candidates.
  void Reset();

  // Ends the generator's query `query` (its own state when null) under the
  // rule. Safe on a worker thread with a query of its own.
  const std::vector<uint32_t>& TakeUnderRule(CandidateGenerator::Query* query,
                                             uint32_t need) const;

 private:
  CandidateRule rule_ = CandidateRule::kExact;
  std::unique_ptr<CandidateGenerator> generator_;
  std::unique_ptr<CandidateCounter> counter_;
};

}  // namespace vexlor

#endif  // VEXLOR_TABLES_STAGES_CANDIDATE_INDEX_H_

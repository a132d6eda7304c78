#include "tests/reference/candidate_strategies.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "tests/reference/trigram_counting.h"
#include "vexlor/tables/candidates/index_size.h"
#include "vexlor/tables/candidates/ll_hash.h"

namespace vexlor::reference {
namespace {

// The trigram index both strategies file into.
class IndexedCounter : public CandidateCounter {
 public:
  explicit IndexedCounter(uint32_t size_for) {
    const IndexSize size = StandardIndexSize(size_for);
    index_.Init(size.buckets, size.node_block, size.node_block);
  }

  void File(std::string_view text, uint32_t row) override {
    AddTrigrams(text, row, index_);
  }

 protected:
  LLHash index_;
};

class HitListCounter final : public IndexedCounter {
 public:
  HitListCounter(uint32_t size_for, uint32_t counter_rows)
      : IndexedCounter(size_for), hits_(counter_rows) {}

  void Begin(uint32_t) override {}
  void Count(std::string_view text, uint32_t record) override {
    hits_.Count(text, record, index_);
  }
  const std::vector<uint32_t>& Take(uint32_t need) override {
    return hits_.Take(need);
  }
  // Only the rows of the abandoned record are cleared.
  void Reset() override { hits_.Reset(); }

 private:
  TrigramHitCounters hits_;
};

class FullCounter final : public IndexedCounter {
 public:
  FullCounter(uint32_t size_for, uint32_t counter_rows)
      : IndexedCounter(size_for), counters_(counter_rows, 0) {
    candidates_.reserve(counter_rows);
  }

  // Every counter is cleared as a record starts, so an abandoned record
  // leaves nothing to undo.
  void Begin(uint32_t) override {
    std::fill(counters_.begin(), counters_.end(), 0);
  }
  void Count(std::string_view text, uint32_t record) override {
    CountTrigramHits(text, record, index_, counters_.data());
  }
  const std::vector<uint32_t>& Take(uint32_t need) override {
    candidates_.clear();
    const uint32_t rows = static_cast<uint32_t>(counters_.size());
    for (uint32_t p = 0; p < rows; ++p) {
      if (counters_[p] >= need) candidates_.push_back(p);
    }
    return candidates_;
  }
  void Reset() override {}

 private:
  std::vector<uint8_t> counters_;
  std::vector<uint32_t> candidates_;
};

template <class Counter>
CandidateScan ScanWith() {
  CandidateScan scan;
  scan.make_counter = [](uint32_t size_for, uint32_t counter_rows) {
    return std::unique_ptr<CandidateCounter>(
        std::make_unique<Counter>(size_for, counter_rows));
  };
  scan.compare_in_full = true;
  return scan;
}

}  // namespace

CandidateScan HitListScan() { return ScanWith<HitListCounter>(); }

CandidateScan FullCountersScan() { return ScanWith<FullCounter>(); }

}  // namespace vexlor::reference

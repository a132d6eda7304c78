// Trigram filing and counting the straightforward way, kept as the
// reference that the prefix filter (candidate_generator.h) is checked and
// measured against: every posting of every trigram of a record is walked.
// The trigram rule is that of vexlor/tables/candidates/trigram.h.

#ifndef VEXLOR_TESTS_REFERENCE_TRIGRAM_COUNTING_H_
#define VEXLOR_TESTS_REFERENCE_TRIGRAM_COUNTING_H_

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "vexlor/tables/candidates/ll_hash.h"
#include "vexlor/tables/candidates/trigram.h"

namespace vexlor::reference {

// Files `record` under every trigram of `text`, in text order (so a record
// is filed twice under a trigram that occurs twice). Cost: min(size, 255)
// LLHash::Add calls. Throws std::bad_alloc from the index.
void AddTrigrams(std::string_view text, uint32_t record, LLHash& index);

// For every trigram of `text`, adds one to counters[v] for every value v filed
// under it in `index`, except v == `record`; a counter stays at 255 once
// there, and counters[record] is left as it was. `counters` must have an
// entry for every value in the index and for `record`, unless `record` is
// kNoRecord, which excludes nothing. Cost: min(size, 255) lookups plus one
// step per filed occurrence found.
void CountTrigramHits(std::string_view text, uint32_t record,
                      const LLHash& index, uint8_t* counters);

// As above, and appends to `*touched` every v whose counter goes from 0 to 1,
// in the order of first hit. If every counter was 0 when the caller started
// counting for a record, `*touched` then lists exactly the rows with a
// nonzero counter, each once, however many calls (columns) contribute; sort
// it to visit them in ascending order, and clear just those counters
// afterwards (TakeTrigramCandidates does both). Rows with counter 0 are not
// listed, so a caller whose threshold is 0 or less must still visit every
// row. Reserve `*touched` for the row count to keep allocations out of the
// loop. Cost: as above.
void CountTrigramHits(std::string_view text, uint32_t record,
                      const LLHash& index, uint8_t* counters,
                      std::vector<uint32_t>* touched);

// Turns the hit list of one record into its candidates: replaces `*touched`
// by the rows p < row_count with counters[p] >= need, in ascending order, and
// sets all `row_count` counters to 0, ready for the next record. Requires
// the hit-list contract above (every nonzero counter listed once) and
// touched->capacity() >= row_count; a `need` of 0 acts as 1. Cost: one visit
// per listed row plus a sort of the candidates; a list longer than 1/16 of
// the rows is instead served by one vectorised pass over all counters.
void TakeTrigramCandidates(uint8_t* counters, uint32_t row_count, uint32_t need,
                           std::vector<uint32_t>* touched);

// The hit counters of one batch call with everything above folded in: one
// saturating byte per row, counted record by record, and handed back as the
// ascending list of candidate rows. Per record it lists first hits only
// while they stay sparse (as judged from the lengths of the posting lists
// before counting); once a record may hit more than 1/16 of the rows it
// counts without listing and finds the candidates by scanning all counters.
// So a record with rare trigrams costs in proportion to its hits, and one
// with common trigrams no more than the plain count and scan.
//
// Typical use, for each record:
//   for each cluster text t: hits.Count(t, record, index); length += t.size();
//   for (uint32_t p : hits.Take(need)) ...   // need may be <= 0
class TrigramHitCounters {
 public:
  // `row_count` counters, all 0, and room for the lists: a little over 5
  // bytes per row. Throws std::bad_alloc; nothing allocates afterwards.
  explicit TrigramHitCounters(uint32_t row_count);

  uint32_t size() const { return static_cast<uint32_t>(counters_.size()); }

  // Counts the trigrams of one more text of the current record, exactly as
  // CountTrigramHits does: `record`'s own counter is not raised (a `record`
  // outside 0 to size() - 1, such as kNoRecord, excludes nothing). Every
  // value in `index` must be below size(). Cost: as CountTrigramHits.
  void Count(std::string_view text, uint32_t record, const LLHash& index);

  // The current counter of `row`.
  uint8_t operator[](uint32_t row) const { return counters_[row]; }

  // Ends the record: returns the rows whose counter is at least `need`, in
  // ascending order (every row when need <= 0, none when need > 255), and
  // sets all counters back to 0. The list stays valid until the next Take.
  // Cost: as TakeTrigramCandidates, or O(size()) when need <= 0.
  const std::vector<uint32_t>& Take(int64_t need);

  // Sets all counters back to 0 without collecting candidates, as after a
  // record that was abandoned.
  void Reset();

 private:
  std::vector<uint8_t> counters_;
  std::vector<uint32_t> hits_;  // rows first hit this record, while listing
  bool listing_ = true;
  std::vector<uint32_t> candidates_;
};

}  // namespace vexlor::reference

#endif  // VEXLOR_TESTS_REFERENCE_TRIGRAM_COUNTING_H_

// The seam through which a batch method can find candidates some other way
// than the prefix filter (candidate_generator.h): anything that files the
// indexed rows' cluster texts and counts a record's shared trigrams with
// them (the trigram rule of trigram.h).
#ifndef VEXLOR_TABLES_CANDIDATES_CANDIDATE_COUNTER_H_
#define VEXLOR_TABLES_CANDIDATES_CANDIDATE_COUNTER_H_

#include <cstdint>
#include <string_view>
#include <vector>

namespace vexlor {

// Used record by record: Begin, Count for each cluster text, then Take
// (or Reset when the record is abandoned or needs no list).
class CandidateCounter {
 public:
  virtual ~CandidateCounter() = default;

  // Files `row` under every trigram of `text`.
  virtual void File(std::string_view text, uint32_t row) = 0;

  // Starts counting for `record`, the row excluded from its own candidates
  // (kNoRecord excludes none).
  virtual void Begin(uint32_t record) = 0;

  // Counts the trigrams of one more cluster text of `record`.
  virtual void Count(std::string_view text, uint32_t record) = 0;

  // Ends the record: the rows, ascending, with at least `need` (1 or more)
  // trigram hits. Valid until the next call.
  virtual const std::vector<uint32_t>& Take(uint32_t need) = 0;

  // Ends the record without collecting its candidates.
  virtual void Reset() = 0;
};

}  // namespace vexlor

#endif  // VEXLOR_TABLES_CANDIDATES_CANDIDATE_COUNTER_H_

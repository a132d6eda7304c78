// The rows filed while matching (a merge's records): indexed beside the
// lists that the workers read, and searched on the calling thread after
// every row filed before matching began.
#ifndef VEXLOR_TABLES_STAGES_APPENDED_ROWS_H_
#define VEXLOR_TABLES_STAGES_APPENDED_ROWS_H_

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "vexlor/candidate_rule.h"
#include "vexlor/tables/candidates/candidate_generator.h"
#include "vexlor/tables/candidates/trigram.h"

namespace vexlor {

class AppendedRows {
 public:
  // Whether a row has been filed with a cluster text.
  bool any() const { return rows_ > 0; }
  // Whether the current record's query is open.
  bool queried() const { return queried_; }
  void ForgetQuery() { queried_ = false; }

  // Files `row` under the trigrams of `text`. Throws std::bad_alloc.
  void File(std::string_view text, uint32_t row);
  // One more row filed with at least one text.
  void CountRow() { ++rows_; }

  // Starts the current record's query, one cluster text after another;
  // only when any().
  void BeginQuery();
  void AddQueryText(std::string_view text);

  // Ends the query: the rows with at least `need` hits, under `rule` (the
  // bounded rule keeps the best of the exact rule's). Throws std::bad_alloc.
  const std::vector<uint32_t>& Take(uint32_t need, CandidateRule rule);

  // `own` followed by Take(need, rule). Throws std::bad_alloc.
  const std::vector<uint32_t>& After(const std::vector<uint32_t>& own,
                                     uint32_t need, CandidateRule rule);

  void Free();

 private:
  std::unique_ptr<CandidateGenerator> index_;
  uint32_t rows_ = 0;
  bool queried_ = false;
  std::vector<uint32_t> combined_;
  // The bounded rule's choice.
  std::vector<uint8_t> counts_;
  std::vector<uint32_t> best_;
};

}  // namespace vexlor

#endif  // VEXLOR_TABLES_STAGES_APPENDED_ROWS_H_

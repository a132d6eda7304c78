// The candidate search of the fuzzy batch methods without walking every
// posting of every trigram.
//
// A record's candidates are the filed rows that share at least `need`
// trigram occurrences with its cluster texts, counted as CountTrigramHits
// counts them (trigram.h): a query trigram that occurs k times adds k for
// every time a row filed it, and a counter stops at 255. Walking every
// posting of every query trigram costs as much as the common trigrams are
// common, which on a large table is a large share of the table per record.
//
// Prefix filtering, as in set-similarity joins: a trigram q can add at most
// bound(q) = (its multiplicity in the query) x (the most times any one row
// filed it). Take the query's most frequent trigrams while their bounds add
// up to less than `need`: no row reaches `need` from those alone, so every
// candidate has a posting in one of the other, rarer, trigrams. Only the
// rare postings are walked; each row they reach is then completed from the
// frequent lists by searching them for that row (they are sorted), from the
// least to the most frequent, and dropped as soon as what is left of the
// bounds cannot lift it to `need`. The result is exactly the rows whose
// counter would reach `need`, in ascending order.
//
// Posting lists live in one contiguous array, built when the first query
// comes (rows filed after that go to per-trigram tails, also sorted). Rows
// should be filed in ascending order, as the batch methods do; rows filed
// out of order are sorted into place, at a cost.
#ifndef VEXLOR_TABLES_CANDIDATE_GENERATOR_H_
#define VEXLOR_TABLES_CANDIDATE_GENERATOR_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace vexlor {

class CandidateGenerator {
 public:
  CandidateGenerator();
  ~CandidateGenerator();
  CandidateGenerator(const CandidateGenerator&) = delete;
  CandidateGenerator& operator=(const CandidateGenerator&) = delete;

  // Files `row` under every trigram of `text` (the trigram rule of
  // trigram.h: min(size, 255) trigrams, a repeated trigram filed again).
  // Cost: amortised O(1) per trigram. Throws std::bad_alloc; a row below
  // 0xFFFFFFFF only.
  void File(std::string_view text, uint32_t row);

  // Starts the query of a record; `record` is excluded from the candidates
  // as CountTrigramHits excludes it (kNoRecord excludes nothing). O(1).
  void BeginQuery(uint32_t record);

  // Adds the trigrams of one cluster text of the current record. Cost:
  // min(size, 255) table lookups.
  void AddQueryText(std::string_view text);

  // Ends the query: returns the rows, ascending, whose trigram counter
  // would reach `need` (at least 1; above 255 none). If `counts` is given,
  // it receives each candidate's counter (at most 255), at the price of
  // searching every frequent list for every candidate; without it a row
  // stops being searched once it has reached `need`. The list stays valid
  // until the next Take. Throws std::bad_alloc only while buffers grow to
  // the size of the table.
  const std::vector<uint32_t>& Take(int64_t need,
                                    std::vector<uint8_t>* counts = nullptr);

  // Postings walked, and rows searched for in a list, since construction:
  // the work done, for measurements.
  uint64_t postings_walked() const { return postings_walked_; }
  uint64_t rows_searched() const { return rows_searched_; }

 private:
  struct QueryTrigram {
    uint32_t id;
    uint32_t multiplicity;
    uint64_t size;   // postings in its list
    uint64_t bound;  // the most it can add to one row's counter
  };
  struct Survivor {
    uint32_t row;
    uint32_t count;
  };

  // The id of trigram `key`, or kNoId.
  uint32_t Find(uint32_t key) const;
  uint32_t FindOrAdd(uint32_t key);
  void GrowKeys();
  // Moves the postings filed so far into the contiguous lists.
  void Build();
  // Puts the built lists back among the pending postings, for a row filed
  // out of order after the build.
  void Unbuild();
  void AddPosting(uint32_t id, uint32_t row);
  std::span<const uint32_t> Base(uint32_t id) const {
    return {postings_.data() + offsets_[id], offsets_[id + 1] - offsets_[id]};
  }
  size_t ListSize(uint32_t id) const;

  // Trigram keys (b0 << 16 | b1 << 8 | b2, plus one so that 0 is free) and
  // their ids, open addressing.
  std::vector<uint32_t> slot_keys_;
  std::vector<uint32_t> slot_ids_;
  uint32_t keys_ = 0;

  // Per id: the largest number of times one row filed it.
  std::vector<uint32_t> max_occurrences_;
  // Contiguous lists: those of id i are postings_[offsets_[i], offsets_[i+1]).
  std::vector<uint64_t> offsets_;
  std::vector<uint32_t> postings_;
  // Postings filed since the last Build, in filing order: the ids, and per
  // File call its row and the end of its ids.
  struct PendingCall {
    uint32_t row;
    uint64_t end;
  };
  std::vector<uint32_t> pending_ids_;
  std::vector<PendingCall> pending_calls_;
  bool pending_sorted_ = true;
  uint32_t last_row_ = 0;
  bool built_ = false;
  // Per id, the postings filed after the build.
  std::vector<std::vector<uint32_t>> tails_;

  // The query.
  uint32_t record_ = 0;
  std::vector<uint32_t> stamp_;  // per id: the query that last saw it
  std::vector<uint32_t> slot_of_;  // per id: its entry in query_
  uint32_t query_number_ = 0;
  std::vector<QueryTrigram> query_;

  // Saturating counters of the rare postings, one per row, zero between
  // queries; the rows raised from zero; the rows still in question.
  std::vector<uint8_t> counters_;
  std::vector<uint32_t> touched_;
  std::vector<Survivor> survivors_;
  std::vector<uint32_t> candidates_;

  uint64_t postings_walked_ = 0;
  uint64_t rows_searched_ = 0;
};

}  // namespace vexlor

#endif  // VEXLOR_TABLES_CANDIDATE_GENERATOR_H_

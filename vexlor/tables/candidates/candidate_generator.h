// The candidate search of the fuzzy batch methods without walking every
// posting of every trigram.
//
// A record's candidates are the filed rows that share at least `need`
// trigram occurrences with its cluster texts, counted by the trigram rule
// (trigram.h): a query trigram that occurs k times adds k for
// every time a row filed it, and a counter stops at 255. Walking every
// posting of every query trigram costs as much as the common trigrams are
// common, which on a large table is a large share of the table per record.
//
// Prefix filtering, as in set-similarity joins. Each trigram's list holds
// every row filed under it once; the rows filed more than once are kept
// apart with their extra count and are walked where they are few. What is
// left of a query trigram q can then add at most m(q), its multiplicity in
// the query, to any row (m(q) times one plus the largest extra count, where
// the repeats are many and not walked). Take the query's most frequent trigrams
// while their m(q) add up to less than `need`: no row reaches `need` from those
// alone, so every candidate has a posting in one of the other, rarer,
// trigrams. Only the rare lists are walked (and, for the rows they reached,
// the next lists while walking them is cheaper than searching them); each
// row that can still reach `need` is then completed from the frequent lists
// by searching them for that row (they are sorted), from the least to the
// most frequent, and dropped as soon as what is left cannot lift it to
// `need`. The result is exactly the rows whose counter would reach `need`,
// in ascending order.
//
// The lists live in contiguous arrays, built when the first query comes,
// a row as its two-byte offset in its block of 65,536 rows; where a query
// walks many postings, it walks them a block at a time so that the
// counters it raises stay in the cache. Rows filed after the build go to
// per-trigram tails, also sorted. Until the
// build the filed texts themselves are kept, a byte or so per trigram, and
// the build reads them twice, once to size every list and once to fill it,
// so that the lists are the only large array it makes. Rows should be filed
// in ascending order, as the batch methods do; a row filed out of order
// makes the next query rebuild the lists.
#ifndef VEXLOR_TABLES_CANDIDATES_CANDIDATE_GENERATOR_H_
#define VEXLOR_TABLES_CANDIDATES_CANDIDATE_GENERATOR_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "vexlor/candidate_rule.h"

namespace vexlor {

class CandidateGenerator {
  struct QueryTrigram {
    uint32_t id;
    uint32_t key;
    uint32_t multiplicity;
    uint64_t size;      // rows in its list
    bool walk_repeats;  // its repeats are counted by walking them
    uint64_t bound;     // the most the rest of it can add to one row
  };
  struct Survivor {
    uint32_t row;
    uint32_t count;
  };

 public:
  // A row of the bounded rule's shortlist: the bands it met the query in
  // and its trigram counter (at most 255).
  struct ShortlistRow {
    uint32_t row;
    uint32_t bands;
    uint32_t count;
  };

  // The state of one query. Queries with states of their own may run on
  // several threads at once once the lists are built (Prepare), as long as
  // no row is filed meanwhile.
  class Query {
   public:
    // Postings walked, and rows searched for in a list, by this state.
    uint64_t postings_walked() const { return postings_walked_; }
    uint64_t rows_searched() const { return rows_searched_; }

   private:
    friend class CandidateGenerator;
    uint32_t record_ = 0;
    std::vector<uint32_t> stamp_;    // per id: the query that last saw it
    std::vector<uint32_t> slot_of_;  // per id: its entry in query_
    uint32_t query_number_ = 0;
    std::vector<QueryTrigram> query_;
    // Saturating counters, one per row, zero between queries; the rows
    // raised from zero; the rows still in question.
    std::vector<uint8_t> counters_;
    std::vector<uint64_t> rest_;  // per query list: it and those after it
    std::vector<uint32_t> touched_;
    std::vector<uint32_t> next_segment_;  // per walked list, by block
    std::vector<Survivor> survivors_;
    std::vector<uint32_t> candidates_;
    // The bounded rule's: the query's trigram keys as added, its band keys,
    // and its keys with their multiplicities, open addressing.
    std::vector<uint32_t> keys_;
    std::vector<uint32_t> band_keys_;
    std::vector<uint32_t> key_slots_;
    std::vector<uint32_t> key_multiplicity_;
    std::vector<ShortlistRow> shortlist_;
    uint64_t postings_walked_ = 0;
    uint64_t rows_searched_ = 0;
  };

  // For the exact rule (Take) or the bounded one (TakeBounded) of
  // candidate_rule.h; each answers only its own. For the bounded rule no
  // lists are built: the filed texts are kept, about a byte per trigram,
  // with kMinHashBands band keys per row.
  explicit CandidateGenerator(CandidateRule rule = CandidateRule::kExact);
  ~CandidateGenerator();
  CandidateGenerator(const CandidateGenerator&) = delete;
  CandidateGenerator& operator=(const CandidateGenerator&) = delete;

  // Files `row` under every trigram of `text` (the trigram rule of
  // trigram.h: min(size, 255) trigrams, a repeated trigram filed again).
  // Cost: amortised O(1) per trigram. Throws std::bad_alloc; a row below
  // 0xFFFFFFFF only.
  void File(std::string_view text, uint32_t row);

  // Starts the query of a record; `record` is never one of its own
  // candidates (kNoRecord excludes nothing). O(1).
  void BeginQuery(uint32_t record) { BeginQuery(own_, record); }
  void BeginQuery(Query& q, uint32_t record) const;

  // Adds the trigrams of one cluster text of the current record. Cost:
  // min(size, 255) table lookups.
  void AddQueryText(std::string_view text) { AddQueryText(own_, text); }
  void AddQueryText(Query& q, std::string_view text) const;

  // Ends the query: returns the rows, ascending, whose trigram counter
  // would reach `need` (at least 1; above 255 none). If `counts` is given,
  // it receives each candidate's counter (at most 255), at the price of
  // searching every frequent list for every candidate; without it a row
  // stops being searched once it has reached `need`. The list stays valid
  // until the next Take. Throws std::bad_alloc only while buffers grow to
  // the size of the table.
  const std::vector<uint32_t>& Take(int64_t need,
                                    std::vector<uint8_t>* counts = nullptr) {
    return Take(own_, need, counts);
  }
  // As above, for a state of the caller's; builds the lists first if they
  // are not (and then must not run beside another query).
  const std::vector<uint32_t>& Take(Query& q, int64_t need,
                                    std::vector<uint8_t>* counts = nullptr);

  // Ends the query under the bounded rule of candidate_rule.h, on a
  // generator made for it: at most limits.top rows, ascending, whose
  // counter would reach `need` (at least 1; above 255 none), with their
  // counters in `counts` if given. Cost: the query's band keys
  // (kMinHashBands x kRowsPerBand hashes per trigram), a binary search per
  // band, a pass over the rows met (at most kMinHashBands x limits.bucket)
  // and a count of limits.shortlist of them from their texts. Builds the
  // band keys first if rows were filed since, as Take builds its lists;
  // throws std::bad_alloc only while buffers grow.
  const std::vector<uint32_t>& TakeBounded(
      int64_t need, const BoundedLimits& limits,
      std::vector<uint8_t>* counts = nullptr) {
    return TakeBounded(own_, need, limits, counts);
  }
  const std::vector<uint32_t>& TakeBounded(
      Query& q, int64_t need, const BoundedLimits& limits,
      std::vector<uint8_t>* counts = nullptr);

  // Builds the lists now, if rows were filed since. Throws std::bad_alloc.
  void Prepare();

  // For a table whose rows are filed in blocks by several generators
  // (block_pair_finder.h), on a generator made for the bounded rule; each
  // builds the band keys first as TakeBounded does.
  //
  // A band key as (band << 32 | key).
  static uint64_t BandKeyOf(uint32_t band, uint32_t key) {
    return uint64_t{band} << 32 | key;
  }
  // The band keys that more than `rows` filed rows have, ascending.
  void CommonBandKeys(uint32_t rows, std::vector<uint64_t>* keys);
  // For each of `keys`, the number of filed rows that have it.
  void BandKeyRows(std::span<const uint64_t> keys, std::vector<uint32_t>* rows);
  // From now on a band skips exactly the keys among `keys` (ascending),
  // whatever BoundedLimits::bucket says: the keys over the bucket in the
  // whole table, where this generator holds a block of it.
  void SkipBandKeys(std::vector<uint64_t> keys);

  // Ends the query as TakeBounded does up to its shortlist: the
  // max(shortlist, top) rows met in the most bands (equal: the lower row),
  // ascending, with their bands and no count yet. Empty where TakeBounded
  // returns no row whatever the need. Valid until the next query.
  const std::vector<ShortlistRow>& TakeShortlist(Query& q,
                                                 const BoundedLimits& limits);
  // Gives each of `rows` (ascending, filed, not the record's own) its
  // trigram counter with the query's texts added since BeginQuery. Cost:
  // the rows' kept texts.
  void CountRows(Query& q, std::span<ShortlistRow> rows) const;

  // Postings walked, and rows searched for in a list, by the generator's
  // own query state since construction: the work done, for measurements.
  uint64_t postings_walked() const { return own_.postings_walked(); }
  uint64_t rows_searched() const { return own_.rows_searched(); }

 private:
  // A row filed more than once under a trigram: `extra` times more.
  struct Repeat {
    uint32_t row;
    uint32_t extra;
  };
  // The lists of rows filed after the build: every row once, ascending,
  // and the rows filed more than once.
  struct Tail {
    std::vector<uint32_t> rows;
    std::vector<Repeat> repeats;
  };
  // Where the rows of one block begin in a built list.
  struct SegmentStart {
    uint32_t block;
    uint32_t start;
  };
  // Pending entries of one row, bytes [begin, begin + bytes): consecutive
  // entries of a row make one call, as long as its size fits.
  struct PendingCall {
    uint64_t begin;
    uint32_t row;
    uint32_t bytes;
  };

  // The id of trigram `key`, or kNoId.
  uint32_t Find(uint32_t key) const;
  uint32_t FindOrAdd(uint32_t key);
  void GrowKeys();
  // Moves the postings filed so far into the contiguous lists.
  void Build();
  // Orders the pending calls by row: the build then meets a row filed
  // again under a trigram right after its first time.
  void SortPendingCalls();
  // Sets offsets[i + 1] to the number of rows list i will hold,
  // repeat_offsets[i + 1] to the number of those filed more than once and
  // segment_offsets[i + 1] to the number of blocks those rows are in.
  void CountPending(std::vector<uint64_t>& offsets,
                    std::vector<uint64_t>& repeat_offsets,
                    std::vector<uint64_t>& segment_offsets) const;
  // Fills the lists sized by CountPending.
  void PlacePending(const std::vector<uint64_t>& offsets,
                    const std::vector<uint64_t>& repeat_offsets,
                    const std::vector<uint64_t>& segment_offsets,
                    std::vector<uint16_t>& lows, std::vector<Repeat>& repeats,
                    std::vector<SegmentStart>& segments,
                    std::vector<uint32_t>& max_extra) const;
  // Gives the long built lists their bitmaps.
  void BuildBitmaps();
  // Puts the built lists back among the pending postings, for a row filed
  // out of order after the build.
  void Unbuild();
  // Keeps a text filed before the build.
  void FilePending(std::string_view text, uint32_t row);
  // Adds the entry of `bytes` bytes at `begin` to the last call if it
  // continues it, else as a new call; the room must be there.
  static void AddPendingCall(std::vector<PendingCall>& calls, uint32_t row,
                             uint64_t begin, size_t bytes);
  // Calls f(id) for every posting of a pending call.
  template <class F>
  void ForEachPendingId(const PendingCall& call, F&& f) const;
  void AddToTail(uint32_t id, uint32_t row);
  // A built list holds each row as its offset in its block of
  // kBlockRows rows: two bytes a posting rather than four, so the walks
  // read half as much and the lists take half the memory.
  static constexpr uint32_t kBlockBits = 16;
  static constexpr uint32_t kBlockRows = uint32_t{1} << kBlockBits;
  uint64_t ListSize(uint32_t id) const {
    return offsets_[id + 1] - offsets_[id];
  }
  // The blocks the built list of `id` has rows in, ascending.
  std::span<const SegmentStart> SegmentsOf(uint32_t id) const {
    return {
        segments_.data() + segment_offsets_[id],
        static_cast<size_t>(segment_offsets_[id + 1] - segment_offsets_[id])};
  }
  // The offsets of the rows of segments[s] of the built list of `id`.
  std::span<const uint16_t> Lows(uint32_t id,
                                 std::span<const SegmentStart> segments,
                                 size_t s) const {
    const uint64_t end =
        s + 1 < segments.size() ? segments[s + 1].start : ListSize(id);
    return {lows_.data() + offsets_[id] + segments[s].start,
            static_cast<size_t>(end - segments[s].start)};
  }
  // Calls f(row) for every row of the built list of `id`, ascending.
  template <class F>
  void ForEachRow(uint32_t id, F&& f) const {
    const std::span<const SegmentStart> segments = SegmentsOf(id);
    for (size_t s = 0; s < segments.size(); ++s) {
      const uint32_t base = segments[s].block << kBlockBits;
      for (uint16_t low : Lows(id, segments, s)) f(base + low);
    }
  }
  // Walks the built list of `id` and its tail, listing the rows raised
  // from zero.
  void WalkListSparse(Query& q, uint32_t id, uint32_t add, bool saturate) const;
  // Walks the first `walked` lists of the query a block of rows at a time,
  // so that the block's counters stay in the cache, and takes the block's
  // rows that reach `least` into the survivors while they are there.
  void WalkByBlock(Query& q, size_t walked, uint8_t least, bool saturate) const;
  // Asks for the start of segments[s] of the list of `id` if it is the
  // one of `block`: its walk comes next.
  void PrefetchNext(uint32_t id, uint32_t s, uint32_t block) const;
  std::span<const Repeat> Repeats(uint32_t id) const {
    return {repeats_.data() + repeat_offsets_[id],
            static_cast<size_t>(repeat_offsets_[id + 1] - repeat_offsets_[id])};
  }
  // Add `add` to the counter of every row in `rows`, stopping at 255 when
  // `saturate`; the sparse walk lists the rows raised from zero in touched_.
  // The rows are base + each of `rows`.
  template <class Row>
  void WalkSparse(Query& q, std::span<const Row> rows, uint32_t base,
                  uint32_t add, bool saturate) const;
  template <class Row>
  void WalkDense(Query& q, std::span<const Row> rows, uint32_t base,
                 uint32_t add, bool saturate) const;
  void WalkRepeats(Query& q, std::span<const Repeat> repeats,
                   uint32_t multiplicity, bool dense, bool saturate) const;
  // The steps of TakeBounded (candidate_generator_bounded.cc): the query's
  // trigrams with their multiplicities; the shortlist of the rows met in
  // the bands; their counts from the kept texts, keeping those that reach
  // `need`; the best.
  void GatherQueryKeys(Query& q) const;
  // The query's trigram keys with their multiplicities, in query_.
  void GatherMultiplicities(Query& q) const;
  void MeetInBands(Query& q, uint32_t bucket, uint32_t shortlist) const;
  void CountFromTexts(Query& q, uint64_t need) const;
  void KeepBest(Query& q, uint32_t top, std::vector<uint8_t>* counts) const;
  // Adds `text` of `row` to the kept texts.
  void Keep(std::string_view text, uint32_t row);
  // Orders the kept texts by row and gives every row its band keys.
  void BuildBands();
  // The entries of band b.
  struct BandEntry {
    uint32_t key;
    uint32_t row;
  };
  std::span<const BandEntry> Band(uint32_t b) const {
    return {bands_.data() + band_offsets_[b],
            static_cast<size_t>(band_offsets_[b + 1] - band_offsets_[b])};
  }
  // Whether `row` is in the list of `id`; the cursors serve rows asked for
  // in ascending order.
  bool Holds(uint32_t id, uint32_t row, size_t* base_cursor,
             size_t* tail_cursor) const;
  // Holds for the built list alone; the cursor counts from its start.
  bool BuiltHolds(uint32_t id, uint32_t row, size_t* cursor) const;
  // How many times more than once `row` is filed under `id`; cursors as
  // for Holds, over the repeats.
  uint32_t Extra(uint32_t id, uint32_t row, size_t* base_cursor,
                 size_t* tail_cursor) const;

  // Trigram keys (b0 << 16 | b1 << 8 | b2, plus one so that 0 is free) and
  // their ids, open addressing.
  // A key beside its id, so that a lookup reads one place.
  struct Slot {
    uint32_t key;
    uint32_t id;
  };
  std::vector<Slot> slots_;
  uint32_t keys_ = 0;

  // Contiguous lists: every row filed under id i once, ascending, in
  // lows_[offsets_[i], offsets_[i+1]) as offsets in their blocks, where
  // segments_[segment_offsets_[i], segment_offsets_[i+1]) say which block
  // begins where (only blocks it has rows in, so that a rare trigram costs
  // no more than before); the rows filed more than once in
  // repeats_[repeat_offsets_[i], repeat_offsets_[i+1]).
  std::vector<uint64_t> offsets_;
  std::vector<uint16_t> lows_;
  std::vector<uint64_t> segment_offsets_;
  std::vector<SegmentStart> segments_;
  uint32_t blocks_ = 0;  // the blocks the built rows span
  std::vector<uint64_t> repeat_offsets_;
  std::vector<Repeat> repeats_;
  std::vector<Tail> tails_;  // per id, after the build
  bool built_ = false;
  // Bitmaps of the long built lists over rows 0 to bitmap_rows_ - 1: per
  // id the offset of its words, or kNoBitmap.
  std::vector<uint32_t> bitmap_of_;
  std::vector<uint32_t> max_extra_;  // per id: the largest extra of a repeat
  std::vector<uint64_t> bitmaps_;
  uint32_t bitmap_rows_ = 0;

  // Postings filed before the build, as entries in one byte array: a
  // text (its length, 1 to 255, then its bytes, cut as the trigram rule
  // cuts it) or, put back by Unbuild, one posting (a 0, then its id).
  std::vector<uint8_t> pending_bytes_;
  std::vector<PendingCall> pending_calls_;
  bool pending_sorted_ = true;
  bool any_filed_ = false;
  uint32_t last_row_ = 0;
  bool last_row_in_tails_ = false;

  // The bounded rule's: every filed text, entries as the pending texts',
  // one call per row's run of texts, ordered by row once Prepare has run;
  // per band the rows' keys, ordered by key and row.
  const bool bounded_;
  bool bands_built_ = false;
  // SkipBandKeys': whether it was called, and its keys.
  bool skip_listed_keys_ = false;
  std::vector<uint64_t> skipped_keys_;
  std::vector<BandEntry> bands_;
  std::vector<uint64_t> band_offsets_;
  // Per band and per top 16 bits of a key, the first entry (from the
  // band's start) whose key's top bits are not below them: a lookup is
  // then a short search rather than one over the whole band.
  std::vector<uint32_t> band_directory_;
  // Per row, the first kept call of a row not below it.
  std::vector<uint32_t> first_call_;
  std::vector<uint8_t> kept_bytes_;
  std::vector<PendingCall> kept_calls_;

  // Rows 0 to row_count_ - 1 may have been filed.
  uint32_t row_count_ = 0;

  Query own_;
};

}  // namespace vexlor

#endif  // VEXLOR_TABLES_CANDIDATES_CANDIDATE_GENERATOR_H_

// The stages that the fuzzy batch methods share: putting a table's rows
// into comparison form (comparison_texts.h) while filing the trigrams of
// their cluster texts (the indexing stage), and the candidate loop that
// compares one record with the indexed rows that share enough trigrams with
// it (the loop of the matching stage). The duplicate search compares the
// indexed rows with each other; the fuzzy match and merge compare the records
// of a second table, and the merge appends records to the indexed rows as it
// goes.
//
// Comparison form of a cell of a Cluster or DupeSearch column: a string is
// normalised in upper case when the column's Weight is 1.0 or less, kept as
// it is otherwise; any other cell is left as it is and compared through its
// cell text (cell_text.h). A record of a second table is put into the same
// form as it is read, so that both sides of a comparison are treated alike.
//
// The column options are read live: the host may change them while a
// report runs its code (call RefreshColumns after each report), and the
// candidate loop switches DupeSearch off for a column in which a compared
// cell has no text.
#ifndef VEXLOR_TABLES_STAGES_MATCH_STAGES_H_
#define VEXLOR_TABLES_STAGES_MATCH_STAGES_H_

#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "vexlor/candidate_rule.h"
#include "vexlor/tables/batch_context.h"
#include "vexlor/tables/candidates/candidate_generator.h"
#include "vexlor/tables/candidates/candidate_need.h"
#include "vexlor/tables/candidates/candidate_scan.h"
#include "vexlor/tables/candidates/trigram.h"
#include "vexlor/tables/distributed/found_pairs.h"
#include "vexlor/tables/scoring/pair_scorer.h"
#include "vexlor/tables/stages/ahead_workers.h"
#include "vexlor/tables/stages/appended_rows.h"
#include "vexlor/tables/stages/batch_workers.h"
#include "vexlor/tables/stages/candidate_index.h"
#include "vexlor/tables/stages/cell_form.h"
#include "vexlor/tables/stages/comparison_texts.h"
#include "vexlor/tables/stages/found_reader.h"
#include "vexlor/tables/stages/match_progress.h"
#include "vexlor/tables/stages/swap_columns.h"
#include "vexlor/tables/stages/work_ahead.h"
#include "vexlor/variant.h"
#include "vexlor/variant_array.h"

namespace vexlor {

class MatchStages {
 public:
  // Nothing is allocated yet.
  explicit MatchStages(BatchContext& ctx, CandidateScan scan = CandidateScan{});
  ~MatchStages();
  MatchStages(const MatchStages&) = delete;
  MatchStages& operator=(const MatchStages&) = delete;

  // Which rows a record is compared with (candidate_rule.h); exact unless
  // set. Belongs before CreateIndex: the bounded rule always uses the
  // generator, whatever counter the scan would make.
  void SetCandidateRule(CandidateRule rule) { index_.SetRule(rule); }

  // Creates the trigram index: the prefix filter's, or the scan's counter
  // made for `size_for` trigrams and rows 0 to counter_rows - 1 (every row
  // that will be filed). Throws std::bad_alloc.
  void CreateIndex(uint32_t size_for, uint32_t counter_rows);

  // Frees the index, the counters and the comparison texts. Never fails.
  void Free();

  // Puts row `from` of `source` into comparison form as indexed row `to`,
  // the row after the last one filed, for the columns 0 to columns - 1 that
  // are Cluster or DupeSearch columns (all of them when `every_column`), and
  // files the trigrams of the strings of Cluster columns under `to`. Other
  // cells have no text. Throws std::bad_alloc.
  void FileRow(const platform::VariantArray& source, uint32_t from, uint32_t to,
               uint32_t columns, bool every_column);

  // The indexing stage: FileRow(source, r, r, columns, false) for the rows
  // r = 0 to rows - 1, then after_row(r); a Progress report every 100 rows
  // with percent r x 100 / (rows - 1) and no fields; stops after the row at
  // which the reporter says cancelled. Throws std::bad_alloc.
  template <class AfterRow>
  void IndexRows(const platform::VariantArray& source, uint32_t rows,
                 uint32_t columns, AfterRow&& after_row) {
    ProgressSink& progress = ctx_.progress();
    const double last_row = static_cast<double>(rows) - 1;
    texts_.Begin(columns, rows);
    for (uint32_t r = 0; r < rows; ++r) {
      FileRow(source, r, r, columns, false);
      after_row(r);
      if ((r + 1) % kIndexCadence == 0) {
        progress.Report(r * 100.0 / last_row, ProgressFields{});
      }
      if (progress.IsCanceled()) break;
    }
  }

  // Starts the matching stage: records are compared over the columns 0 to
  // columns - 1 with the indexed rows 0 to rows - 1 and the rows filed from
  // now on. Throws std::bad_alloc.
  void BeginMatching(uint32_t rows, uint32_t columns);

  // Takes up the DupeSearch options again: host code may have changed them
  // during a report.
  void RefreshColumns();

  // From now on a comparison also tries the other record's texts of columns
  // `first` and `second` exchanged, and takes the better of both ways,
  // while both are compared columns of the matching stage and still
  // DupeSearch columns. -1 for either turns it off (the default).
  void SetSwap(int first, int second) { swap_ = {first, second}; }

  // From now on a pair's score is what `scorer` says rather than the
  // weighted mean of its fields (null: the mean again). Not owned; it is
  // asked wherever the mean would be computed.
  void SetScorer(PairScorer* scorer) { scorer_ = scorer; }

  // The comparison text of column c of working row `row` (filed by
  // IndexRows); false when the cell has none.
  bool ColumnText(int c, uint32_t row, std::string_view* text) const {
    return WorkText(c, row, text);
  }

  // The similarity in percent of the record of the running candidate loop
  // with the candidate p it was last compared with (the larger of both ways
  // when a swap is in force). Belongs inside on_candidate, before anything
  // else is compared. Cost: one or two record comparisons in full.
  double Similarity(uint32_t p);

  // Whether working row `first`, loaded as the first record of the field
  // list, and working row `second` as the compared one reach `threshold`,
  // with the switch-offs of any comparison. May be called inside
  // on_candidate: the loop's record is loaded again for its next candidate.
  bool Reaches(uint32_t first, uint32_t second, double threshold);

  // The candidate loop of working row `row` against working rows 0 to
  // limit - 1 (the row itself excluded from counting, as it is filed), or
  // of row `row` of another table `table` (normalised as it is read, and
  // counted against every row). For each candidate p in ascending order the
  // record (loaded into the field list at its first candidate) is compared
  // with p, and on_candidate(p, reaches), where reaches is whether the
  // similarity is at least `threshold` (never for not-a-number), says
  // whether the loop goes on. The field list holds the last compared pair
  // when the call returns.
  // Returns the number of candidates for which it did; the one that stopped
  // the loop is not counted. Cost: one trigram count per cluster text plus
  // one record comparison per candidate; with a need of at least one hit
  // only the rows hit are visited; a record without cluster text costs
  // nothing more. No allocation once the buffers have grown.
  template <class OnCandidate>
  int64_t MatchWorkingRow(uint32_t row, uint32_t limit,
                          double cluster_threshold, double threshold,
                          OnCandidate&& on_candidate) {
    SetRecord(nullptr, row, threshold);
    appended_.ForgetQuery();
    if (ready_.table == nullptr && row >= ready_.first && row < ready_.end) {
      Ahead& ahead = ready_.rows[row - ready_.first];
      const bool verdicts = ahead.verdicts_found &&
                            ready_.threshold == threshold &&
                            VerdictStateHolds(ready_);
      // A partial list holds no misses to scan.
      if (verdicts || !ahead.partial) {
        prefetched_ = &ahead.rows;
        const int64_t visited = verdicts
                                    ? ScanVerdicts(ahead, limit, on_candidate)
                                    : Scan(ahead.need, limit, on_candidate);
        prefetched_ = nullptr;
        return visited;
      }
    }
    return Scan(CountWorkingRow(row, cluster_threshold), limit, on_candidate);
  }

  // Has the candidates of working rows first to end - 1 ready for
  // MatchWorkingRow to take in turn (with the same cluster_threshold), and
  // sets the workers on those of rows end to next_end - 1 while the caller
  // matches. Candidates found before are taken only if the Cluster options
  // are still those they were found with; otherwise they are found again,
  // on every thread. Belongs right after the options were taken up; a row
  // filed before matching began makes FileRow wait for the workers and
  // drop what they found. Does nothing but with the prefix filter on more than one
  // thread (BatchThreadCount) and a table of a few thousand rows. When
  // `searches` is given, the candidates of a row for which it says false
  // are not found: such a row must not be matched later. Throws
  // std::bad_alloc.
  //
  // When `threshold` is a number, the workers also decide for each
  // candidate whether it reaches `threshold`, with the DupeSearch options
  // as they are now; MatchWorkingRow with that threshold takes those
  // verdicts while the options are still the same, and compares on the
  // calling thread only the candidates that reach it and the last one, so
  // that the field list ends as it would. Its on_candidate(p, false) must
  // then leave the field list and the options alone.
  void FindCandidatesAhead(
      uint32_t first, uint32_t end, uint32_t next_end, double cluster_threshold,
      const std::function<bool(uint32_t)>& searches = nullptr,
      double threshold = std::numeric_limits<double>::quiet_NaN());

  // From now on FindCandidatesAhead takes the candidates and verdicts of the
  // working rows from `found`, as other processes found them (FindPairs)
  // with the options as they are when matching begins, rather than finding
  // them; a record they do not hold is searched here. Null: found here.
  // Not owned; sets found->missed where it cannot stand in.
  void SetFoundPairs(FoundPairs* found) { found_.Set(found); }

  // MatchRecord for rows first to end - 1 of `table` against working rows
  // 0 to limit - 1, appending to *words (found_pairs.h) the candidates
  // that reach `threshold`; a record from whose comparisons on the options
  // changed, and those after it, are left to the labelling process. The
  // options are as they were when the call began on return. Throws
  // std::bad_alloc.
  void FindRecordPairs(const platform::VariantArray& table, uint32_t first,
                       uint32_t end, uint32_t limit, double cluster_threshold,
                       double threshold, std::vector<uint32_t>* words);

  // Appends to *words, in the form of found_pairs.h, the candidates and
  // verdicts of working rows first to end - 1 against every row, as the
  // workers of FindCandidatesAhead find them, on the calling thread. Needs
  // the prefix filter and BeginMatching. Throws std::bad_alloc.
  void FindPairs(uint32_t first, uint32_t end, double cluster_threshold,
                 double threshold, std::vector<uint32_t>* words);

  // As FindCandidatesAhead, for the records first to end - 1 of another
  // table, which MatchRecord then takes in turn (with the same table,
  // cluster_threshold and threshold). What the records are compared by is
  // read on the calling thread when the batch is set going; the host may
  // change its table during a report, so MatchRecord takes what was found
  // only while the record still reads the same. Rows filed meanwhile (a
  // merge's records) are searched and compared on the calling thread after
  // the rows the workers searched. Throws std::bad_alloc.
  void FindRecordsAhead(const platform::VariantArray& table, uint32_t first,
                        uint32_t end, uint32_t next_end,
                        double cluster_threshold, double threshold);

  template <class OnCandidate>
  int64_t MatchRecord(const platform::VariantArray& table, uint32_t row,
                      uint32_t limit, double cluster_threshold,
                      double threshold, OnCandidate&& on_candidate) {
    SetRecord(&table, row, threshold);
    appended_.ForgetQuery();
    if (found_.active() && TakeFoundRecord(threshold)) {
      return ScanVerdicts(found_.record(), limit, on_candidate);
    }
    if (ready_.table == &table && row >= ready_.first && row < ready_.end &&
        ready_.cluster_threshold == cluster_threshold &&
        SnapshotHolds(ready_, row - ready_.first)) {
      Ahead& ahead = ready_.rows[row - ready_.first];
      prefetched_ = &ahead.rows;
      if (ahead.need.kind == CandidateNeed::kAtLeast) QueryAppended();
      const int64_t visited = ahead.verdicts_found &&
                                      ready_.threshold == threshold &&
                                      VerdictStateHolds(ready_)
                                  ? ScanVerdicts(ahead, limit, on_candidate)
                                  : Scan(ahead.need, limit, on_candidate);
      prefetched_ = nullptr;
      return visited;
    }
    return Scan(CountRecord(cluster_threshold), limit, on_candidate);
  }

 private:
  // The members are defined in three files: the indexing and the candidate
  // loop on the calling thread here (match_stages.cc), the work found ahead
  // on worker threads (match_stages_ahead.cc, work_ahead.h), and the work
  // taken from other processes (match_stages_found.cc).
  void SetRecord(const platform::VariantArray* table, uint32_t row,
                 double threshold) {
    record_ = {table, row, threshold, false};
  }
  CandidateNeed CountWorkingRow(uint32_t row, double cluster_threshold);
  // CountWorkingRow for the generator's query state `query`, with `text`
  // as its buffer; touches nothing else.
  CandidateNeed QueryWorkingRow(CandidateGenerator::Query& query, uint32_t row,
                                const std::vector<char>& cluster,
                                double cluster_threshold) const;
  // CountRecord for the i-th record of `batch`, from its snapshot.
  CandidateNeed QuerySnapshot(CandidateGenerator::Query& query,
                              const AheadRows& batch, uint32_t i) const;
  // Reads the cells of the batch's records that are compared, on the
  // calling thread.
  void TakeSnapshot(AheadRows& batch);
  // Whether the i-th record of `batch` still reads as its snapshot.
  bool SnapshotHolds(const AheadRows& batch, uint32_t i);
  // Sets the workers going on the rows of `table` (null: working rows).
  void SetAhead(const platform::VariantArray* table, uint32_t first,
                uint32_t end, uint32_t next_end, double cluster_threshold,
                const std::function<bool(uint32_t)>& searches,
                double threshold);
  // Waits for the workers, dropping what they were finding. Never fails.
  void StopAhead() noexcept;
  CandidateNeed CountRecord(double cluster_threshold);
  // use_text(text) for the comparison text of each string cell of the
  // current record (of another table) in a compared Cluster column.
  template <class UseText>
  void ForEachRecordClusterText(UseText&& use_text);
  // Starts the query of the current record of another table against the
  // rows filed while matching, when there are any.
  void QueryAppended();
  // The candidate list of a need of at least one hit; resets the counters.
  const std::vector<uint32_t>& TakeCandidates(uint32_t need);
  // The candidate list without the rows filed while matching.
  const std::vector<uint32_t>& TakeOwnCandidates(uint32_t need);

  // Stores the viewed texts of the last compared pair in the field list on
  // every way out of a record's loop, before the texts can move.
  class CommitViews {
   public:
    explicit CommitViews(FieldColl& fields) : fields_(fields) {}
    ~CommitViews() { fields_.CommitCompareViews(); }
    CommitViews(const CommitViews&) = delete;
    CommitViews& operator=(const CommitViews&) = delete;

   private:
    FieldColl& fields_;
  };

  // The candidate loop over a row's candidates found ahead, with the
  // verdicts found with them. A candidate whose verdict is that it misses
  // is not compared again; the options are checked again after each call
  // of on_candidate that could have changed them.
  template <class OnCandidate>
  int64_t ScanVerdicts(const Ahead& ahead, uint32_t limit,
                       OnCandidate& on_candidate) {
    CommitViews commit(ctx_.fields());
    int64_t visited = 0;
    bool trusted = true;
    bool last_compared = true;
    uint32_t last = 0;
    bool stopped = false;
    for (size_t i = 0; i < ahead.rows.size() && !stopped; ++i) {
      const uint32_t p = ahead.rows[i];
      if (p >= limit) {
        stopped = true;
        break;
      }
      bool reaches = false;
      last = p;
      last_compared = !trusted || ahead.verdicts[i] != 0;
      if (last_compared) reaches = Compare(p);
      const bool go_on = on_candidate(p, reaches);
      if (reaches) trusted = trusted && VerdictStateHolds(ready_);
      stopped = !go_on;
      if (go_on) ++visited;
    }
    // Rows filed since the workers began follow every row they searched.
    if (!stopped && appended_.queried()) {
      for (uint32_t p : appended_.Take(ahead.need.hits, index_.rule())) {
        if (p >= limit) break;
        last = p;
        last_compared = true;
        if (!on_candidate(p, Compare(p))) break;
        ++visited;
      }
    }
    if (!last_compared) Compare(last);
    if (!ahead.partial) return visited;
    if (!trusted) found_.SetMissed();
    return ahead.depth;
  }

  template <class OnCandidate>
  int64_t Scan(CandidateNeed need, uint32_t limit, OnCandidate& on_candidate) {
    CommitViews commit(ctx_.fields());
    int64_t visited = 0;
    if (need.kind == CandidateNeed::kNone) {
      index_.Reset();
      return 0;
    }
    if (need.kind == CandidateNeed::kAll) {
      index_.Reset();
      for (uint32_t p = 0; p < limit; ++p) {
        if (!on_candidate(p, Compare(p))) break;
        ++visited;
      }
      return visited;
    }
    for (uint32_t p : TakeCandidates(need.hits)) {
      if (p >= limit) break;
      if (!on_candidate(p, Compare(p))) break;
      ++visited;
    }
    return visited;
  }

  // Whether the current record's similarity with working row p reaches the
  // threshold.
  bool Compare(uint32_t p);
  void LoadRecord();
  // Gives the field list p's texts as the compared record's.
  void SetCompared(uint32_t p);
  // Gives the two swap columns of the field list p's texts of the other
  // column (`swapped`) or of their own.
  void SetSwapColumns(uint32_t p, bool swapped);
  bool SwapInForce() const;
  // Whether the field list's pair reaches `threshold`.
  bool Verdict(double threshold);
  // The comparison text of indexed cell (c, row) and whether it has one;
  // the text stays in place until rows are filed.
  bool WorkText(int c, uint32_t row, std::string_view* text) const;
  // The text of sealed cell (c, row): 1 with a text, 0 without, -1 for a
  // row that is not sealed. Safe on a worker thread.
  int SealedText(int c, uint32_t row, std::string_view* text) const;
  // The comparison text of a cell of another table in column c.
  bool RecordText(const platform::Variant& cell, int c, std::string_view* text);

  BatchContext& ctx_;
  ColumnOptions& options_;
  const CandidateScan scan_;
  CandidateIndex index_;
  uint32_t columns_ = 0;  // compared columns of the matching stage
  uint32_t matching_rows_ = 0;

  // Finds the candidates of one row of a batch, on thread `thread`.
  struct FindJob {
    MatchStages* stages;
    AheadRows* batch;
    void operator()(uint32_t i, unsigned thread) const;
  };
  void FindInto(AheadRows& batch, FindJob& job, bool in_background,
                const std::function<bool(uint32_t)>& searches,
                double threshold);
  // Notes in `batch` what its verdicts depend on, as it is now.
  void TakeVerdictState(AheadRows& batch, double threshold) const;
  // FindCandidatesAhead with found pairs set.
  void TakeFound(uint32_t first, uint32_t end, double threshold);
  // MatchRecord with found pairs set: reads the record's words, and says
  // whether they stand in for its candidates.
  bool TakeFoundRecord(double threshold);
  // Notes in ready_ the verdict state that the other processes used, once.
  void TakeFoundState(double threshold);
  // Whether a verdict found for `batch` is still the verdict now.
  bool VerdictStateHolds(const AheadRows& batch) const;
  // The verdicts of the i-th row of `batch` against its candidates in
  // `ahead`, in the field list of `own`; false when some text is not in the
  // arena or missing (a comparison on the calling thread then switches a
  // column off). Touches nothing else.
  bool FindVerdicts(ThreadQuery& own, const AheadRows& batch, uint32_t i,
                    Ahead& ahead) const;
  // The text of column c of the i-th row of `batch`, as SealedText says.
  int BatchText(const AheadRows& batch, uint32_t i, int c,
                std::string_view* text) const;
  AheadWorkers workers_;
  AheadRows ready_;  // taken by MatchWorkingRow
  AheadRows next_;   // being found by the workers, when started
  FindJob ready_job_{this, &ready_};
  FindJob next_job_{this, &next_};
  bool next_started_ = false;
  std::vector<char> cluster_now_;
  const std::vector<uint32_t>* prefetched_ = nullptr;
  AppendedRows appended_;
  FoundReader found_;
  std::vector<int> dupe_columns_;

  // The current record: a working row (table null) or a row of another
  // table, compared at `threshold`, and whether the field list holds it.
  struct Record {
    const platform::VariantArray* table = nullptr;
    uint32_t row = 0;
    double threshold = 0.0;
    bool loaded = false;
  };
  Record record_;
  SwapColumns swap_;
  PairScorer* scorer_ = nullptr;

  // The comparison form of the indexed rows.
  ComparisonTexts texts_;
  // Reused buffers: nothing is allocated per candidate pair.
  CellForm form_;
};

}  // namespace vexlor

#endif  // VEXLOR_TABLES_STAGES_MATCH_STAGES_H_

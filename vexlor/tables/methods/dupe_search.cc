#include "vexlor/tables/methods/dupe_search.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "vexlor/return_results.h"
#include "vexlor/tables/grouping/label_groups.h"
#include "vexlor/tables/methods/batch_run.h"
#include "vexlor/tables/scoring/fs_estimation.h"
#include "vexlor/tables/scoring/fs_model.h"
#include "vexlor/tables/stages/match_progress.h"
#include "vexlor/tables/stages/match_stages.h"
#include "vexlor/tables/string_ids.h"
#include "vexlor/tables/table_model.h"
#include "vexlor/variant_array.h"

namespace vexlor {

using platform::ArrayLock;
using platform::Variant;
using platform::VariantArray;

namespace {

constexpr int16_t kReturnAll = DRR_ALL;
constexpr int kTitle = kStrFuzzyDuplicateSearch;
constexpr int kFoundLabel = kStrFound;
constexpr int kStatusClusters = kStrComputingClusters;
constexpr int kStatusSearching = kStrSearchingDuplicates;
constexpr int kStatusCleaningUp = kStrCleaningUp;
constexpr uint32_t kNoLabel = std::numeric_limits<uint32_t>::max();
constexpr uint32_t kNoMember = std::numeric_limits<uint32_t>::max();
constexpr double kNoScore = std::numeric_limits<double>::quiet_NaN();

class Search {
 public:
  Search(BatchContext& ctx, VariantArray& input, double threshold,
         double cluster_threshold, CandidateScan scan,
         const MatchOptions& options)
      : ctx_(ctx),
        input_(input),
        stages_(ctx, scan),
        rows_(input.rows()),
        compared_columns_(std::min<uint32_t>(input.columns(), kMaxColumns)),
        threshold_(threshold),
        cluster_threshold_(cluster_threshold),
        grouping_(options.grouping),
        member_threshold_(options.member_threshold.value_or(threshold)),
        scores_(options.scores),
        observer_(options.pair_observer),
        options_(options) {
    stages_.SetCandidateRule(options.candidates);
    stages_.SetSwap(options.swap_first, options.swap_second);
    stages_.SetFoundPairs(options.found_pairs);
    // Labels are never taken away, so a record that has one now will not
    // search in its turn either.
    if (grouping_ == Grouping::kCenter) {
      searches_ = [this](uint32_t row) { return label_of_[row] == kNoLabel; };
    }
  }

  // Creates the trigram index and the hit counters. Throws std::bad_alloc.
  void CreateIndex() { stages_.CreateIndex(rows_ > 0 ? rows_ - 1 : 0, rows_); }

  void FreeIndex() { stages_.Free(); }

  // Stage 1. Returns normally when the stage ended (all rows, or cancelled);
  // throws std::bad_alloc.
  void Prepare() {
    stages_.IndexRows(input_, rows_, compared_columns_, [](uint32_t) {});
  }

  // Stage 2. Throws std::bad_alloc.
  void Label() {
    ProgressSink& progress = ctx_.progress();
    MatchProgress figures(rows_);
    progress.BeginStage(kStatusSearching, ProgressEvent::kProgressDupeSearch,
                        figures.fields());
    label_of_.assign(rows_, kNoLabel);
    if (scores_) score_of_.assign(rows_, kNoScore);
    if (grouping_ == Grouping::kClique) next_member_.assign(rows_, kNoMember);
    stages_.BeginMatching(rows_, compared_columns_);
    BeginScoring(options_, stages_, &model_, &scorer_,
                 [this](FsModel*) { Estimate(); });
    for (uint32_t r = 0; r < rows_; ++r) {
      // Up to the next report no host code runs, so the options stay.
      if (r % kMatchCadence == 0) {
        const uint32_t end = std::min(r + kMatchCadence, rows_);
        stages_.FindCandidatesAhead(r, end,
                                    std::min(end + kMatchCadence, rows_),
                                    cluster_threshold_, searches_, threshold_);
      }
      const int64_t depth = SearchRecord(r);
      if (figures.AfterRecord(progress, r, depth, dupes_found_,
                              dupes_found2_)) {
        stages_.RefreshColumns();  // host code may have changed them
      }
      if (progress.IsCanceled()) break;
    }
    figures.Finish();
    last_fields_ = figures.fields();
  }

  const ProgressFields& last_fields() const { return last_fields_; }

  // Fits the model from drawn pairs and from the candidates of every
  // FsSampleStride-th record, as found now. Throws std::bad_alloc.
  void Estimate() {
    FsEstimation estimation(ctx_.options(), compared_columns_, stages_);
    estimation.CompareDrawnPairs(rows_, threshold_);
    estimation.BeginCandidates(options_.swap_first, options_.swap_second);
    const uint32_t stride = FsSampleStride(rows_);
    // The workers find the sampled rows' candidates ahead, as in Label.
    const uint32_t block = stride * kMatchCadence;
    auto sampled = [stride](uint32_t row) { return row % stride == 0; };
    for (uint32_t r = 0; r < rows_; r += stride) {
      if (r % block == 0) {
        const uint32_t end = std::min(r + block, rows_);
        stages_.FindCandidatesAhead(r, end, std::min(end + block, rows_),
                                    cluster_threshold_, sampled);
      }
      stages_.MatchWorkingRow(r, rows_, cluster_threshold_, threshold_,
                              [](uint32_t, bool) { return true; });
      estimation.AfterPair();
    }
    estimation.Finish(options_.swap_first, options_.swap_second, &model_);
  }

  // Puts the labels, and the scores when asked for, into column `column`
  // (and the next) of `work`.
  // Throws std::bad_alloc.
  void WriteLabels(VariantArray& work, uint32_t column) const {
    // One string per label, which the rows of its group share.
    std::vector<Variant> cells;
    cells.reserve(label_text_.size());
    for (const std::string& text : label_text_) {
      cells.push_back(Variant::AnsiString(text));
    }
    for (uint32_t r = 0; r < rows_; ++r) {
      work.cell(column, r) = cells[label_of_[r]];
      if (scores_ && !std::isnan(score_of_[r])) {
        work.cell(column + 1, r) = Variant::R8(score_of_[r]);
      }
    }
  }

  // The text of row r's label.
  const std::string& LabelText(uint32_t r) const {
    return label_text_[label_of_[r]];
  }

 private:
  // Returns the number of candidates compared.
  int64_t SearchRecord(uint32_t r) {
    switch (grouping_) {
      case Grouping::kCenter:
        return CenterRecord(r);
      case Grouping::kClique:
        return CliqueRecord(r);
      case Grouping::kChain:
        break;
    }
    return ChainRecord(r);
  }

  int64_t ChainRecord(uint32_t r) {
    uint32_t label = label_of_[r];
    if (label == kNoLabel) label = Open(r);
    current_label_ = label;
    found_duplicate_ = false;
    const int64_t depth =
        stages_.MatchWorkingRow(r, rows_, cluster_threshold_, threshold_,
                                [&](uint32_t p, bool reaches) {
                                  if (reaches) Adopt(r, p, Observe(r, p));
                                  return true;
                                });
    if (found_duplicate_) ++dupes_found_;
    return depth;
  }

  // A record that is in a group already is not searched at all.
  int64_t CenterRecord(uint32_t r) {
    if (label_of_[r] != kNoLabel) return 0;
    const uint32_t label = Open(r);
    bool gained = false;
    const int64_t depth =
        stages_.MatchWorkingRow(r, rows_, cluster_threshold_, threshold_,
                                [&](uint32_t p, bool reaches) {
                                  if (!reaches) return true;
                                  const double s = Observe(r, p);
                                  if (label_of_[p] != kNoLabel) return true;
                                  Give(p, label, s);
                                  gained = true;
                                  return true;
                                });
    if (gained) ++dupes_found_;
    return depth;
  }

  int64_t CliqueRecord(uint32_t r) {
    uint32_t label = label_of_[r];
    if (label == kNoLabel) {
      label = Open(r);
      first_member_.push_back(r);
      last_member_.push_back(r);
    }
    bool gained = false;
    const int64_t depth = stages_.MatchWorkingRow(
        r, rows_, cluster_threshold_, threshold_,
        [&](uint32_t p, bool reaches) {
          if (!reaches) return true;
          const double s = Observe(r, p);
          if (label_of_[p] != kNoLabel || !FitsEveryMember(label, r, p)) {
            return true;
          }
          Give(p, label, s);
          next_member_[last_member_[label]] = p;
          last_member_[label] = p;
          gained = true;
          return true;
        });
    if (gained) ++dupes_found_;
    return depth;
  }

  // Whether p reaches the member threshold with every member of the group
  // but r, in the order they joined; stops at the first it misses.
  bool FitsEveryMember(uint32_t label, uint32_t r, uint32_t p) {
    for (uint32_t m = first_member_[label]; m != kNoMember;
         m = next_member_[m]) {
      if (m != r && !stages_.Reaches(m, p, member_threshold_)) return false;
    }
    return true;
  }

  // Record r reached Threshold with p: tells the observer, and returns the
  // similarity when anyone needs it.
  double Observe(uint32_t r, uint32_t p) {
    if (!scores_ && observer_ == nullptr) return 0.0;
    const double s = stages_.Similarity(p);
    if (observer_ != nullptr && p != r) observer_->OnPair({r, p, false, s});
    return s;
  }

  // Record r and candidate p are duplicates: one hands its label on.
  void Adopt(uint32_t r, uint32_t p, double similarity) {
    const uint32_t theirs = label_of_[p];
    if (theirs == kNoLabel) {
      SetLabel(p, current_label_, similarity);
    } else if (theirs == current_label_ ||
               label_text_[theirs] == label_text_[current_label_]) {
      return;
    } else {
      current_label_ = theirs;
      SetLabel(r, theirs, similarity);
    }
    ++dupes_found2_;
    found_duplicate_ = true;
  }

  // p joins a group.
  void Give(uint32_t p, uint32_t label, double similarity) {
    SetLabel(p, label, similarity);
    ++dupes_found2_;
  }

  // The label, and the score when asked for, of a row that joins a group.
  void SetLabel(uint32_t row, uint32_t label, double similarity) {
    label_of_[row] = label;
    if (scores_) score_of_[row] = similarity;
  }

  // Row r opens a group under a new label.
  uint32_t Open(uint32_t r) {
    const uint32_t label = NewLabel();
    label_of_[r] = label;
    return label;
  }

  uint32_t NewLabel() {
    std::string text = ctx_.NewGuidString();
    label_text_.push_back(std::move(text));
    return static_cast<uint32_t>(label_text_.size() - 1);
  }

  BatchContext& ctx_;
  VariantArray& input_;
  MatchStages stages_;
  const uint32_t rows_;
  const uint32_t compared_columns_;
  const double threshold_;
  const double cluster_threshold_;
  const Grouping grouping_;
  const double member_threshold_;
  const bool scores_;
  PairObserver* const observer_;
  const MatchOptions& options_;
  // Scoring=Estimated: the model that scores.
  FsModel model_;
  FsModelScorer scorer_{model_};
  // Which records search at all; unset when every one does.
  std::function<bool(uint32_t)> searches_;

  // Labels: one per record at most; label_of_ maps a row to its label.
  std::vector<uint32_t> label_of_;
  std::vector<std::string> label_text_;
  // Scores: per row the similarity with which it joined a group, when
  // asked for; a row that opened one has none.
  std::vector<double> score_of_;
  uint32_t current_label_ = kNoLabel;
  bool found_duplicate_ = false;

  // Clique: the members of each group in the order they joined, as a list
  // through the rows.
  std::vector<uint32_t> first_member_;  // per label
  std::vector<uint32_t> last_member_;   // per label
  std::vector<uint32_t> next_member_;   // per row

  int64_t dupes_found_ = 0;
  int64_t dupes_found2_ = 0;
  ProgressFields last_fields_{0, 0, 0.0, 0, 0, 0, 0};
};

}  // namespace

Variant DupeSearch(BatchContext& ctx, const Variant& varArray,
                   int32_t IDColumnIndex, double Threshold,
                   double ClusterThreshold, int16_t ReturnResults,
                   bool ShowProgress, CandidateScan scan,
                   const MatchOptions& options) {
  BatchRun run(ctx);
  // Host code may change the table between the stages that read it.
  VariantArray* input = run.TakeTable(varArray, false);
  if (input == nullptr) return Variant();

  const uint32_t columns = input->columns();
  const uint32_t rows = input->rows();
  // The labels, and the scores when asked for.
  const uint32_t added = options.scores ? 2 : 1;
  if (columns > std::numeric_limits<uint32_t>::max() - added) {
    return run.OutOfMemory(Variant::Array(nullptr));
  }

  Search search(ctx, *input, Threshold, ClusterThreshold, scan, options);

  // Stage 1: preparation.
  run.Guarded([&] {
    ArrayLock input_lock(input);
    run.OpenProgress(ShowProgress, kTitle, kFoundLabel);
    run.BeginIndexing(kStatusClusters);
    search.CreateIndex();
    run.SwitchOffIdColumn(IDColumnIndex);
    search.Prepare();
  });
  if (run.Stopped()) return Variant();

  // Stage 2: search.
  run.Guarded([&] { search.Label(); });
  search.FreeIndex();
  if (run.Stopped()) return Variant();
  if (!run.CloseReport(search.last_fields(), kStatusCleaningUp)) {
    return Variant();
  }

  // Stage 3: the caller's cells beside the labels, in a table made only
  // now that the index is freed.
  Variant work;
  try {
    work = CreateResultTable(*input, columns + added, rows);
  } catch (const std::bad_alloc&) {
    return run.OutOfMemory(Variant::Array(nullptr));
  }
  VariantArray& w = *work.AsArray();
  try {
    ArrayLock input_lock(input);
    ArrayLock work_lock(&w);
    const uint32_t restored = std::min<uint32_t>(columns, kMaxColumns);
    for (uint32_t r = 0; r < rows; ++r) {
      for (uint32_t c = 0; c < restored; ++c) w.cell(c, r) = input->cell(c, r);
    }
    search.WriteLabels(w, columns);
  } catch (const std::bad_alloc&) {
    DestroyResultArray(&work);
    return run.OutOfMemory(Variant::Array(nullptr));
  }
  if (ReturnResults == kReturnAll) return work;

  // Duplicate groups: rows sharing a label, gathered through a label index.
  std::optional<LabelGroups> groups;
  try {
    groups.emplace(rows > 0 ? rows - 1 : 0, rows);
    ArrayLock work_lock(&w);
    for (uint32_t r = 0; r < rows; ++r) groups->Add(search.LabelText(r), r);
  } catch (const std::bad_alloc&) {
    ctx.SetOutOfMemoryError();
    return work;
  }

  Variant dupes = groups->Copy(ctx, w, columns + added);
  groups.reset();
  DestroyResultArray(&work);
  return dupes;
}

}  // namespace vexlor

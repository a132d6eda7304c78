#include "vexlor/tables/dupe_search.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "vexlor/platform/variant_array.h"
#include "vexlor/strings/normalize.h"
#include "vexlor/tables/cell_text.h"
#include "vexlor/tables/index_size.h"
#include "vexlor/tables/ll_hash.h"
#include "vexlor/tables/table_model.h"
#include "vexlor/tables/trigram.h"

namespace vexlor {

using platform::ArrayLock;
using platform::Variant;
using platform::VariantArray;

namespace {

constexpr int16_t kReturnAll = 1;  // DRR_ALL
constexpr int kTitle = 208;        // "Fuzzy Duplicate Search"
constexpr int kFoundLabel = 207;   // "Found"
constexpr int kStatusClusters = 201;
constexpr int kStatusSearching = 202;
constexpr int kStatusCleaningUp = 203;
constexpr uint32_t kIndexCadence = 100;
constexpr uint32_t kSearchCadence = 10;
constexpr uint32_t kNoLabel = std::numeric_limits<uint32_t>::max();
// Counters stop at 255, so a larger need is reached by no row.
constexpr double kMaxNeed = 255;

int32_t Clamp32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(
      v, std::numeric_limits<int32_t>::min(),
      std::numeric_limits<int32_t>::max()));
}

// Closes the reporter on every way out of the call.
class CloseOnExit {
 public:
  explicit CloseOnExit(ProgressSink& sink) : sink_(sink) {}
  ~CloseOnExit() { sink_.Close(); }
  CloseOnExit(const CloseOnExit&) = delete;
  CloseOnExit& operator=(const CloseOnExit&) = delete;

 private:
  ProgressSink& sink_;
};

// Which rows a record is compared with.
struct Need {
  enum Kind { kNone, kAll, kAtLeast } kind;
  uint32_t hits;
};

Need NeedFor(int64_t key_length, double cluster_threshold) {
  if (key_length < 1) return {Need::kNone, 0};
  double need = std::trunc(static_cast<double>(key_length) * cluster_threshold);
  // Not-a-number compares false, like a need of 0 or less: every row.
  if (!(need >= 1)) return {Need::kAll, 0};
  if (need > kMaxNeed) return {Need::kNone, 0};
  return {Need::kAtLeast, static_cast<uint32_t>(need)};
}

class Search {
 public:
  Search(BatchContext& ctx, VariantArray& input, VariantArray& work,
         double threshold, double cluster_threshold, CandidateScan scan)
      : ctx_(ctx),
        options_(ctx.options()),
        input_(input),
        work_(work),
        rows_(input.rows()),
        compared_columns_(std::min<uint32_t>(input.columns(), kMaxColumns)),
        max_column_(static_cast<int>(compared_columns_) - 1),
        label_column_(input.columns()),
        threshold_(threshold),
        cluster_threshold_(cluster_threshold),
        scan_(scan) {}

  // Creates the trigram index and the hit counters. Throws std::bad_alloc.
  void CreateIndex() {
    IndexSize size = StandardIndexSize(rows_ > 0 ? rows_ - 1 : 0);
    index_ = std::make_unique<LLHash>();
    index_->Init(size.buckets, size.node_block, size.node_block);
    if (scan_ == CandidateScan::kFullCounters) {
      counters_.assign(rows_, 0);
    } else {
      hits_ = std::make_unique<TrigramHitCounters>(rows_);
    }
  }

  void FreeIndex() {
    index_.reset();
    std::vector<CachedText>().swap(cache_);
    std::string().swap(arena_);
    hits_.reset();
    std::vector<uint8_t>().swap(counters_);
  }

  // Stage 1. Returns normally when the stage ended (all rows, or cancelled);
  // throws std::bad_alloc.
  void Prepare() {
    ProgressSink& progress = ctx_.progress();
    const double last_row = static_cast<double>(rows_) - 1;
    for (uint32_t r = 0; r < rows_; ++r) {
      for (uint32_t c = 0; c < compared_columns_; ++c) {
        if (!options_.cluster[c] && !options_.dupe_search[c]) continue;
        const Variant& cell = input_.cell(c, r);
        if (!cell.IsString()) {
          work_.cell(c, r) = cell;
          continue;
        }
        CellText(cell, &raw_);
        const std::string* text = &raw_;
        if (options_.weight[c] <= 1.0) {
          NormalizeTextInto(raw_, true, &normalized_);
          text = &normalized_;
        }
        work_.cell(c, r) = Variant::AnsiString(*text);
        if (options_.cluster[c]) AddTrigrams(*text, r, *index_);
      }
      if ((r + 1) % kIndexCadence == 0) {
        progress.Report(r * 100.0 / last_row, ProgressFields{});
      }
      if (progress.IsCanceled()) break;
    }
  }

  // Stage 2. Throws std::bad_alloc.
  void Label() {
    ProgressSink& progress = ctx_.progress();
    ProgressFields fields{0, 0, 0.0, 0, Clamp32(rows_), 0, 0};
    progress.BeginStage(kStatusSearching, ProgressEvent::kProgressDupeSearch,
                        fields);
    ArrayLock lock(&work_);
    label_of_.assign(rows_, kNoLabel);
    RefreshColumns();
    CacheTexts();
    const double last_row = static_cast<double>(rows_) - 1;
    for (uint32_t r = 0; r < rows_; ++r) {
      const int64_t depth = SearchRecord(r);
      depth_max_ = std::max(depth_max_, depth);
      depth_total_ += depth;
      fields.cluster_current = Clamp32(depth);
      fields.cluster_max = Clamp32(depth_max_);
      fields.cluster_average = static_cast<double>(depth_total_) / (r + 1.0);
      fields.record_no = Clamp32(int64_t{r} + 1);
      fields.found = Clamp32(dupes_found_);
      fields.found2 = Clamp32(dupes_found2_);
      if ((r + 1) % kSearchCadence == 0) {
        progress.Report((r + 1.0) * 100.0 / last_row, fields);
        // Host code ran: it may have changed the options.
        RefreshColumns();
      }
      if (progress.IsCanceled()) break;
    }
    fields.record_no = Clamp32(rows_);
    last_fields_ = fields;
  }

  const ProgressFields& last_fields() const { return last_fields_; }

  // The text of row r's label.
  const std::string& LabelText(uint32_t r) const {
    return label_text_[label_of_[r]];
  }

 private:
  // Returns the number of candidates compared.
  int64_t SearchRecord(uint32_t r) {
    uint32_t label = label_of_[r];
    if (label == kNoLabel) {
      label = NewLabel();
      label_of_[r] = label;
      work_.cell(label_column_, r) = label_variant_[label];
    }
    current_label_ = label;
    found_duplicate_ = false;
    loaded_ = false;

    const bool full = scan_ == CandidateScan::kFullCounters;
    if (full) std::memset(counters_.data(), 0, counters_.size());
    int64_t key_length = 0;
    for (uint32_t c = 0; c < compared_columns_; ++c) {
      if (!options_.cluster[c]) continue;
      const Variant& cell = work_.cell(c, r);
      if (!cell.IsString()) continue;
      CellText(cell, &text_);
      if (full) {
        CountTrigramHits(text_, r, *index_, counters_.data());
      } else {
        hits_->Count(text_, r, *index_);
      }
      key_length += static_cast<int64_t>(text_.size());
    }
    const Need need = NeedFor(key_length, cluster_threshold_);

    int64_t depth = 0;
    if (full) {
      if (need.kind != Need::kNone) {
        for (uint32_t p = 0; p < rows_; ++p) {
          if (need.kind == Need::kAtLeast && counters_[p] < need.hits) continue;
          Compare(r, p);
          ++depth;
        }
      }
    } else if (need.kind == Need::kNone) {
      hits_->Reset();
    } else {
      // Every row when the need is 0; sets all counters back to 0.
      const std::vector<uint32_t>& candidates =
          hits_->Take(need.kind == Need::kAll ? 0 : need.hits);
      for (uint32_t p : candidates) Compare(r, p);
      depth = static_cast<int64_t>(candidates.size());
    }
    if (found_duplicate_) ++dupes_found_;
    return depth;
  }

  void Compare(uint32_t r, uint32_t p) {
    FieldColl& fields = ctx_.fields();
    std::string_view text;
    if (!loaded_) {
      fields.ListCompareInit();
      for (int c : dupe_columns_) {
        if (!options_.dupe_search[c]) continue;
        if (TextOf(c, r, &text)) {
          fields.SetFieldAt(c, text, options_.weight[c],
                            options_.compare_null[c]);
        } else {
          options_.dupe_search[c] = false;
        }
      }
      loaded_ = true;
    }
    for (int c : dupe_columns_) {
      if (!options_.dupe_search[c]) continue;
      if (TextOf(c, p, &text)) {
        fields.SetCompareAt(c, text);
      } else {
        options_.dupe_search[c] = false;
      }
    }
    const double similarity =
        fields.RecordDifference(max_column_, options_.dupe_search.data());
    if (!(similarity >= threshold_)) return;
    const uint32_t theirs = label_of_[p];
    if (theirs == kNoLabel) {
      label_of_[p] = current_label_;
      work_.cell(label_column_, p) = label_variant_[current_label_];
    } else if (theirs == current_label_ ||
               label_text_[theirs] == label_text_[current_label_]) {
      return;
    } else {
      current_label_ = theirs;
      label_of_[r] = theirs;
      work_.cell(label_column_, r) = label_variant_[theirs];
    }
    ++dupes_found2_;
    found_duplicate_ = true;
  }

  // The cell text of working cell (c, row) and whether it has one. Cells
  // of the compared columns do not change during the search, so their texts
  // are made once; a column switched on by the host meanwhile is read
  // directly.
  bool TextOf(int c, uint32_t row, std::string_view* text) {
    const int slot = cache_slot_[c];
    if (slot < 0) {
      const bool has = CellText(work_.cell(c, row), &text_);
      *text = text_;
      return has;
    }
    const CachedText& t = cache_[size_t{row} * cached_columns_ + slot];
    *text = std::string_view(arena_.data() + t.offset, t.length);
    return t.has_text != 0;
  }

  // Texts of the DupeSearch columns of every row, in one arena. Beyond 4 GB
  // of text the cells are read directly instead.
  void CacheTexts() {
    cache_slot_.assign(compared_columns_, -1);
    cached_columns_ = dupe_columns_.size();
    cache_.resize(size_t{rows_} * cached_columns_);
    CachedText* t = cache_.data();
    for (uint32_t r = 0; r < rows_; ++r) {
      for (int c : dupe_columns_) {
        t->has_text = CellText(work_.cell(c, r), &text_);
        if (arena_.size() + text_.size() > kMaxArena) {
          std::vector<CachedText>().swap(cache_);
          std::string().swap(arena_);
          return;
        }
        t->offset = static_cast<uint32_t>(arena_.size());
        t->length = static_cast<uint32_t>(text_.size());
        arena_.append(text_);
        ++t;
      }
    }
    for (size_t i = 0; i < dupe_columns_.size(); ++i) {
      cache_slot_[dupe_columns_[i]] = static_cast<int>(i);
    }
  }

  uint32_t NewLabel() {
    std::string text = ctx_.NewGuidString();
    Variant cell = Variant::AnsiString(text);
    label_text_.push_back(std::move(text));
    label_variant_.push_back(std::move(cell));
    return static_cast<uint32_t>(label_text_.size() - 1);
  }

  // The DupeSearch columns, for the loops over a record's fields; a column
  // switched off meanwhile is skipped by its option.
  void RefreshColumns() {
    dupe_columns_.clear();
    for (uint32_t c = 0; c < compared_columns_; ++c) {
      if (options_.dupe_search[c]) dupe_columns_.push_back(static_cast<int>(c));
    }
  }

  BatchContext& ctx_;
  ColumnOptions& options_;
  VariantArray& input_;
  VariantArray& work_;
  const uint32_t rows_;
  const uint32_t compared_columns_;
  const int max_column_;
  const uint32_t label_column_;
  const double threshold_;
  const double cluster_threshold_;
  const CandidateScan scan_;

  std::unique_ptr<LLHash> index_;
  std::unique_ptr<TrigramHitCounters> hits_;  // CandidateScan::kHitList
  std::vector<uint8_t> counters_;             // CandidateScan::kFullCounters
  std::vector<int> dupe_columns_;

  struct CachedText {
    uint32_t offset;
    uint32_t length : 31;
    uint32_t has_text : 1;
  };
  static constexpr size_t kMaxArena = 0x7FFFFFFF;
  std::vector<int> cache_slot_;  // per column: its slot, or -1
  size_t cached_columns_ = 0;
  std::vector<CachedText> cache_;
  std::string arena_;

  // Labels: one per record at most; label_of_ maps a row to its label.
  std::vector<uint32_t> label_of_;
  std::vector<std::string> label_text_;
  std::vector<Variant> label_variant_;
  uint32_t current_label_ = kNoLabel;
  bool found_duplicate_ = false;
  bool loaded_ = false;

  int64_t depth_max_ = 0;
  int64_t depth_total_ = 0;
  int64_t dupes_found_ = 0;
  int64_t dupes_found2_ = 0;
  ProgressFields last_fields_{0, 0, 0.0, 0, 0, 0, 0};

  // Reused buffers: nothing is allocated per candidate pair.
  std::string raw_;
  std::string normalized_;
  std::string text_;
};

}  // namespace

Variant DupeSearch(BatchContext& ctx, const Variant& varArray,
                   int32_t IDColumnIndex, double Threshold,
                   double ClusterThreshold, int16_t ReturnResults,
                   bool ShowProgress, CandidateScan scan) {
  ctx.ClearLastError();
  ctx.canceled() = false;
  VariantArray* input = AcceptTable(varArray);
  if (input == nullptr) return Variant();

  const uint32_t columns = input->columns();
  const uint32_t rows = input->rows();
  Variant work;
  try {
    if (columns == std::numeric_limits<uint32_t>::max()) throw std::bad_alloc();
    work = CreateResultTable(*input, columns + 1, rows);
  } catch (const std::bad_alloc&) {
    ctx.SetOutOfMemoryError();
    return Variant::Array(nullptr);
  }
  VariantArray& w = *work.AsArray();
  const uint32_t label_column = columns;

  ProgressSink& progress = ctx.progress();
  CloseOnExit closer(progress);
  Search search(ctx, *input, w, Threshold, ClusterThreshold, scan);

  // Stage 1: preparation.
  try {
    ArrayLock input_lock(input);
    ArrayLock work_lock(&w);
    progress.Open(ShowProgress, ProgressWindowKind::kSearch, kTitle,
                  kFoundLabel);
    progress.BeginStage(kStatusClusters, ProgressEvent::kProgress,
                        ProgressFields{1, 0, 0.0, -1, -1, -1, -1});
    search.CreateIndex();
    if (ColumnOptions::InRange(IDColumnIndex)) {
      ctx.options().cluster[IDColumnIndex] = false;
      ctx.options().dupe_search[IDColumnIndex] = false;
    }
    search.Prepare();
  } catch (const std::bad_alloc&) {
    ctx.SetOutOfMemoryError();
  }
  if (ctx.canceled() || ctx.HasError()) return Variant();

  // Stage 2: search.
  try {
    search.Label();
  } catch (const std::bad_alloc&) {
    ctx.SetOutOfMemoryError();
  }
  search.FreeIndex();
  if (ctx.canceled() || ctx.HasError()) return Variant();
  try {
    progress.ReportAgain(100.0, search.last_fields(), kStatusCleaningUp);
  } catch (const std::bad_alloc&) {
    ctx.SetOutOfMemoryError();
    return Variant();
  }

  // Stage 3: the caller's cells replace the comparison texts.
  {
    ArrayLock input_lock(input);
    ArrayLock work_lock(&w);
    const uint32_t restored = std::min<uint32_t>(columns, kMaxColumns);
    for (uint32_t r = 0; r < rows; ++r) {
      for (uint32_t c = 0; c < restored; ++c) w.cell(c, r) = input->cell(c, r);
    }
  }
  if (ReturnResults == kReturnAll) return work;

  // Duplicate groups: rows sharing a label, gathered through a label index.
  std::unique_ptr<LLHash> labels;
  try {
    IndexSize size = StandardIndexSize(rows > 0 ? rows - 1 : 0);
    labels = std::make_unique<LLHash>();
    labels->Init(size.buckets, size.node_block, 0);
    ArrayLock work_lock(&w);
    for (uint32_t r = 0; r < rows; ++r) labels->Add(search.LabelText(r), r);
  } catch (const std::bad_alloc&) {
    ctx.SetOutOfMemoryError();
    return work;
  }

  Variant dupes;
  try {
    dupes = CreateResultTable(w, columns + 1, rows / 10 + 500);
  } catch (const std::bad_alloc&) {
    labels.reset();
    DestroyResultArray(&work);
    ctx.SetOutOfMemoryError();
    return Variant::Array(nullptr);
  }
  VariantArray* d = dupes.AsArray();
  uint32_t written = 0;
  {
    ArrayLock work_lock(&w);
    std::optional<ArrayLock> dupes_lock(std::in_place, d);
    bool stopped = false;
    labels->ForEach([&](std::string_view, std::span<const uint32_t> group) {
      if (stopped || group.size() < 2) return;
      for (uint32_t v : group) {
        for (uint32_t c = 0; c <= label_column; ++c) {
          d->cell(c, written) = w.cell(c, v);
        }
        ++written;
        if (written == d->rows()) {
          // The array cannot change size while locked.
          dupes_lock.reset();
          bool grown = false;
          try {
            grown = written <= std::numeric_limits<uint32_t>::max() - 500 &&
                    d->ResizeLast(written + 500);
          } catch (const std::bad_alloc&) {
          }
          dupes_lock.emplace(d);
          if (!grown) {
            ctx.SetOutOfMemoryError();
            stopped = true;
            return;
          }
        }
      }
    });
  }
  labels.reset();
  DestroyResultArray(&work);
  if (written == 0) {
    DestroyResultArray(&dupes);
    return Variant();
  }
  if (!TrimResultRows(&dupes, written)) {
    // Rows of Empty cells past the groups would read as records.
    ctx.SetOutOfMemoryError();
    DestroyResultArray(&dupes);
    return Variant::Array(nullptr);
  }
  return dupes;
}

}  // namespace vexlor

#include "vexlor/tables/stages/match_stages.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "vexlor/strings/normalize.h"
#include "vexlor/tables/cell_text.h"
#include "vexlor/tables/table_model.h"
#include "vexlor/text.h"

namespace vexlor {

using platform::Variant;
using platform::VariantArray;

MatchStages::MatchStages(BatchContext& ctx, CandidateScan scan)
    : ctx_(ctx), options_(ctx.options()), scan_(std::move(scan)) {}

MatchStages::~MatchStages() { StopAhead(); }

void MatchStages::CreateIndex(uint32_t size_for, uint32_t counter_rows) {
  if (scan_.make_counter && rule_ == CandidateRule::kExact) {
    counter_ = scan_.make_counter(size_for, counter_rows);
    return;
  }
  generator_ = std::make_unique<CandidateGenerator>(rule_);
}

void MatchStages::Free() {
  StopAhead();
  ready_ = AheadRows();
  next_ = AheadRows();
  workers_.reset();
  std::vector<ThreadQuery>().swap(thread_queries_);
  generator_.reset();
  appended_.reset();
  appended_rows_ = 0;
  matching_ = false;
  std::vector<uint32_t>().swap(combined_);
  counter_.reset();
  texts_.Drop();
}

void MatchStages::FileRow(const VariantArray& source, uint32_t from,
                          uint32_t to, uint32_t columns, bool every_column) {
  // With the prefix filter a row filed while matching goes beside the lists
  // the workers read; otherwise what was found ahead was found against
  // fewer rows.
  const bool beside = matching_ && generator_ != nullptr;
  if (!beside) {
    StopAhead();
    ready_.first = ready_.end = 0;
  }
  if (to != texts_.rows()) throw std::logic_error("rows are filed in order");
  texts_.AddRow();
  bool filed = false;
  for (uint32_t c = 0; c < columns; ++c) {
    const bool cluster = options_.cluster[c];
    if (!every_column && !cluster && !options_.dupe_search[c]) continue;
    const Variant& cell = source.cell(c, from);
    const bool has_text = CellText(cell, &raw_);
    if (!cell.IsString()) {
      texts_.Put(c, raw_, false, has_text);
      continue;
    }
    const std::string* text = &raw_;
    if (options_.weight[c] <= 1.0) {
      NormalizeTextInto(raw_, true, &normalized_);
      text = &normalized_;
    }
    texts_.Put(c, AsCellText(*text), true, true);
    if (!cluster) continue;
    if (beside) {
      if (appended_ == nullptr) {
        appended_ = std::make_unique<CandidateGenerator>();
      }
      appended_->File(*text, to);
      filed = true;
    } else if (counter_ != nullptr) {
      counter_->File(*text, to);
    } else {
      generator_->File(*text, to);
    }
  }
  if (filed) ++appended_rows_;
}

std::string_view MatchStages::AsCellText(const std::string& text) {
  // The text a string cell made of `text` would give back: the same bytes
  // for plain ASCII, which the round trip is spared.
  if (std::all_of(text.begin(), text.end(), [](char ch) {
        return static_cast<unsigned char>(ch) < 0x80;
      })) {
    return text;
  }
  CellText(Variant::AnsiString(text), &text_);
  return text_;
}

void MatchStages::BeginMatching(uint32_t rows, uint32_t columns) {
  columns_ = std::min<uint32_t>(columns, kMaxColumns);
  matching_rows_ = rows;
  RefreshColumns();
  matching_ = true;
  texts_.Seal();
}

void MatchStages::RefreshColumns() {
  dupe_columns_.clear();
  for (uint32_t c = 0; c < columns_; ++c) {
    if (options_.dupe_search[c]) dupe_columns_.push_back(static_cast<int>(c));
  }
}

void MatchStages::CountText(std::string_view text, uint32_t record) {
  if (counter_ != nullptr) {
    counter_->Count(text, record);
  } else {
    generator_->AddQueryText(text);
  }
}

void MatchStages::BeginCount(uint32_t record) {
  if (counter_ != nullptr) {
    counter_->Begin(record);
  } else {
    generator_->BeginQuery(record);
  }
}

CandidateNeed MatchStages::CountWorkingRow(uint32_t row,
                                           double cluster_threshold) {
  BeginCount(row);
  int64_t key_length = 0;
  for (uint32_t c = 0; c < columns_; ++c) {
    if (!options_.cluster[c]) continue;
    const ComparisonTexts::Cell cell = texts_.Get(c, row);
    if (!cell.is_string) continue;
    CountText(cell.text, row);
    key_length += static_cast<int64_t>(cell.text.size());
  }
  return NeedFor(key_length, cluster_threshold);
}

CandidateNeed MatchStages::CountRecord(double cluster_threshold) {
  BeginCount(kNoRecord);
  int64_t key_length = 0;
  std::string_view text;
  for (uint32_t c = 0; c < columns_ && c < record_table_->columns(); ++c) {
    if (!options_.cluster[c]) continue;
    const Variant& cell = record_table_->cell(c, record_row_);
    if (!cell.IsString()) continue;
    RecordText(cell, static_cast<int>(c), &text);
    CountText(text, kNoRecord);
    key_length += static_cast<int64_t>(text.size());
  }
  QueryAppended();
  return NeedFor(key_length, cluster_threshold);
}

void MatchStages::QueryAppended() {
  if (appended_rows_ == 0) return;
  appended_->BeginQuery(kNoRecord);
  std::string_view text;
  for (uint32_t c = 0; c < columns_ && c < record_table_->columns(); ++c) {
    if (!options_.cluster[c]) continue;
    const Variant& cell = record_table_->cell(c, record_row_);
    if (!cell.IsString()) continue;
    RecordText(cell, static_cast<int>(c), &text);
    appended_->AddQueryText(text);
  }
  appended_queried_ = true;
}

const std::vector<uint32_t>& MatchStages::TakeAppended(uint32_t need) {
  appended_queried_ = false;
  if (rule_ == CandidateRule::kExact) return appended_->Take(need);
  // A merge's records go in one by one between queries, which band keys
  // would have to be made again for: they are searched by the exact rule,
  // and the best of them kept as the bounded rule keeps its rows.
  const std::vector<uint32_t>& rows = appended_->Take(need, &appended_counts_);
  if (rows.size() <= kBoundedLimits.top) return rows;
  best_appended_.clear();
  for (uint32_t i = 0; i < rows.size(); ++i) best_appended_.push_back(i);
  const auto ahead = [&](uint32_t a, uint32_t b) {
    return appended_counts_[a] != appended_counts_[b]
               ? appended_counts_[a] > appended_counts_[b]
               : a < b;
  };
  std::nth_element(best_appended_.begin(),
                   best_appended_.begin() + kBoundedLimits.top,
                   best_appended_.end(), ahead);
  best_appended_.resize(kBoundedLimits.top);
  std::sort(best_appended_.begin(), best_appended_.end());
  for (uint32_t& i : best_appended_) i = rows[i];
  return best_appended_;
}

const std::vector<uint32_t>& MatchStages::TakeCandidates(uint32_t need) {
  if (appended_queried_) {
    // The rows filed while matching come after every other row.
    const std::vector<uint32_t>& own = TakeOwnCandidates(need);
    combined_.assign(own.begin(), own.end());
    const std::vector<uint32_t>& more = TakeAppended(need);
    combined_.insert(combined_.end(), more.begin(), more.end());
    return combined_;
  }
  return TakeOwnCandidates(need);
}

const std::vector<uint32_t>& MatchStages::TakeOwnCandidates(uint32_t need) {
  if (prefetched_ != nullptr) return *prefetched_;
  if (counter_ != nullptr) return counter_->Take(need);
  return TakeUnderRule(*generator_, nullptr, need);
}

const std::vector<uint32_t>& MatchStages::TakeUnderRule(
    CandidateGenerator& generator, CandidateGenerator::Query* query,
    uint32_t need) const {
  if (rule_ == CandidateRule::kBounded) {
    return query != nullptr
               ? generator.TakeBounded(*query, need, kBoundedLimits)
               : generator.TakeBounded(need, kBoundedLimits);
  }
  return query != nullptr ? generator.Take(*query, need) : generator.Take(need);
}

void MatchStages::ResetCounters() {
  if (counter_ != nullptr) counter_->Reset();
}

bool MatchStages::WorkText(int c, uint32_t row, std::string_view* text) const {
  const ComparisonTexts::Cell cell = texts_.Get(c, row);
  *text = cell.text;
  return cell.has_text;
}

int MatchStages::SealedText(int c, uint32_t row, std::string_view* text) const {
  ComparisonTexts::Cell cell;
  if (!texts_.GetSealed(c, row, &cell)) return -1;
  *text = cell.text;
  return cell.has_text ? 1 : 0;
}

bool MatchStages::RecordText(const Variant& cell, int c,
                             std::string_view* text) {
  const bool has = CellText(cell, &raw_);
  // Only strings are normalised, as on the indexed side: a number keeps
  // its sign and decimal point.
  if (cell.IsString() && options_.weight[c] <= 1.0) {
    NormalizeTextInto(raw_, true, &normalized_);
    *text = normalized_;
  } else {
    *text = raw_;
  }
  return has;
}

void MatchStages::LoadRecord() {
  FieldColl& fields = ctx_.fields();
  fields.ListCompareInit();
  std::string_view text;
  for (int c : dupe_columns_) {
    if (!options_.dupe_search[c]) continue;
    bool has;
    if (record_table_ == nullptr) {
      has = WorkText(c, record_row_, &text);
    } else if (static_cast<uint32_t>(c) < record_table_->columns()) {
      has = RecordText(record_table_->cell(c, record_row_), c, &text);
    } else {
      has = false;
    }
    if (has) {
      fields.SetFieldAt(c, text, options_.weight[c], options_.compare_null[c]);
    } else {
      options_.dupe_search[c] = false;
    }
  }
  loaded_ = true;
}

void MatchStages::SetCompared(uint32_t p) {
  FieldColl& fields = ctx_.fields();
  std::string_view text;
  const bool views = !scan_.compare_in_full;
  for (int c : dupe_columns_) {
    if (!options_.dupe_search[c]) continue;
    if (!WorkText(c, p, &text)) {
      options_.dupe_search[c] = false;
    } else if (views) {
      fields.SetCompareViewAt(c, text);
    } else {
      fields.SetCompareAt(c, text);
    }
  }
}

bool MatchStages::SwapInForce() const {
  const int64_t columns = columns_;
  return swap_first_ >= 0 && swap_second_ >= 0 && swap_first_ != swap_second_ &&
         swap_first_ < columns && swap_second_ < columns &&
         options_.dupe_search[swap_first_] &&
         options_.dupe_search[swap_second_];
}

void MatchStages::SetSwapColumns(uint32_t p, bool swapped) {
  FieldColl& fields = ctx_.fields();
  const bool views = !scan_.compare_in_full;
  const int columns[2] = {swap_first_, swap_second_};
  for (int i = 0; i < 2; ++i) {
    std::string_view text;
    // Both cells had a text when p was set, or the swap is not in force.
    WorkText(columns[swapped ? 1 - i : i], p, &text);
    if (views) {
      fields.SetCompareViewAt(columns[i], text);
    } else {
      fields.SetCompareAt(columns[i], text);
    }
  }
}

bool MatchStages::Verdict(double threshold) {
  FieldColl& fields = ctx_.fields();
  const int last = static_cast<int>(columns_) - 1;
  if (scorer_ != nullptr) {
    return scorer_->Reaches(fields, last, options_.dupe_search.data(),
                            threshold);
  }
  if (!scan_.compare_in_full) {
    return fields.RecordReaches(last, options_.dupe_search.data(), threshold);
  }
  return fields.RecordDifference(last, options_.dupe_search.data()) >=
         threshold;
}

bool MatchStages::Compare(uint32_t p) {
  if (!loaded_) LoadRecord();
  SetCompared(p);
  if (Verdict(threshold_)) return true;
  if (!SwapInForce()) return false;
  SetSwapColumns(p, true);
  return Verdict(threshold_);
}

double MatchStages::Similarity(uint32_t p) {
  FieldColl& fields = ctx_.fields();
  const int last = static_cast<int>(columns_) - 1;
  const bool* flags = options_.dupe_search.data();
  auto score = [&]() {
    return scorer_ != nullptr ? scorer_->Score(fields, last, flags)
                              : fields.RecordDifference(last, flags);
  };
  if (!SwapInForce()) return score();
  SetSwapColumns(p, false);
  const double straight = score();
  SetSwapColumns(p, true);
  const double swapped = score();
  return swapped > straight ? swapped : straight;
}

bool MatchStages::Reaches(uint32_t first, uint32_t second, double threshold) {
  const VariantArray* table = record_table_;
  const uint32_t row = record_row_;
  const double loop_threshold = threshold_;
  SetRecord(nullptr, first, threshold);
  const bool reaches = Compare(second);
  SetRecord(table, row, loop_threshold);
  return reaches;
}

}  // namespace vexlor

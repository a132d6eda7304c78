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
  index_.Create(scan_, size_for, counter_rows);
}

void MatchStages::Free() {
  StopAhead();
  ready_ = AheadRows();
  next_ = AheadRows();
  workers_.Free();
  index_.Free();
  appended_.Free();
  texts_.Drop();
}

void MatchStages::FileRow(const VariantArray& source, uint32_t from,
                          uint32_t to, uint32_t columns, bool every_column) {
  // With the prefix filter a row filed while matching goes beside the lists
  // the workers read; otherwise what was found ahead was found against
  // fewer rows.
  const bool beside = texts_.sealed() && index_.generator() != nullptr;
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
    std::string_view text;
    const bool has_text = form_.Read(cell, options_.weight[c], &text);
    if (!cell.IsString()) {
      texts_.Put(c, text, false, has_text);
      continue;
    }
    texts_.Put(c, form_.AsCellText(text), true, true);
    if (!cluster) continue;
    if (beside) {
      appended_.File(text, to);
      filed = true;
    } else {
      index_.File(text, to);
    }
  }
  if (filed) appended_.CountRow();
}

void MatchStages::BeginMatching(uint32_t rows, uint32_t columns) {
  columns_ = std::min<uint32_t>(columns, kMaxColumns);
  matching_rows_ = rows;
  RefreshColumns();
  texts_.Seal();
}

void MatchStages::RefreshColumns() {
  dupe_columns_.clear();
  for (uint32_t c = 0; c < columns_; ++c) {
    if (options_.dupe_search[c]) dupe_columns_.push_back(static_cast<int>(c));
  }
}

CandidateNeed MatchStages::CountWorkingRow(uint32_t row,
                                           double cluster_threshold) {
  index_.BeginCount(row);
  int64_t key_length = 0;
  for (uint32_t c = 0; c < columns_; ++c) {
    if (!options_.cluster[c]) continue;
    const ComparisonTexts::Cell cell = texts_.Get(c, row);
    if (!cell.is_string) continue;
    index_.CountText(cell.text, row);
    key_length += static_cast<int64_t>(cell.text.size());
  }
  return NeedFor(key_length, cluster_threshold);
}

template <class UseText>
void MatchStages::ForEachRecordClusterText(UseText&& use_text) {
  std::string_view text;
  const VariantArray& table = *record_.table;
  for (uint32_t c = 0; c < columns_ && c < table.columns(); ++c) {
    if (!options_.cluster[c]) continue;
    const Variant& cell = table.cell(c, record_.row);
    if (!cell.IsString()) continue;
    RecordText(cell, static_cast<int>(c), &text);
    use_text(text);
  }
}

CandidateNeed MatchStages::CountRecord(double cluster_threshold) {
  index_.BeginCount(kNoRecord);
  int64_t key_length = 0;
  ForEachRecordClusterText([&](std::string_view text) {
    index_.CountText(text, kNoRecord);
    key_length += static_cast<int64_t>(text.size());
  });
  QueryAppended();
  return NeedFor(key_length, cluster_threshold);
}

void MatchStages::QueryAppended() {
  if (!appended_.any()) return;
  appended_.BeginQuery();
  ForEachRecordClusterText(
      [&](std::string_view text) { appended_.AddQueryText(text); });
}

const std::vector<uint32_t>& MatchStages::TakeCandidates(uint32_t need) {
  if (appended_.queried()) {
    // The rows filed while matching come after every other row.
    return appended_.After(TakeOwnCandidates(need), need, index_.rule());
  }
  return TakeOwnCandidates(need);
}

const std::vector<uint32_t>& MatchStages::TakeOwnCandidates(uint32_t need) {
  if (prefetched_ != nullptr) return *prefetched_;
  return index_.Take(need);
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
  // As on the indexed side.
  return form_.Read(cell, options_.weight[c], text);
}

void MatchStages::LoadRecord() {
  FieldColl& fields = ctx_.fields();
  fields.ListCompareInit();
  std::string_view text;
  for (int c : dupe_columns_) {
    if (!options_.dupe_search[c]) continue;
    bool has;
    if (record_.table == nullptr) {
      has = WorkText(c, record_.row, &text);
    } else if (static_cast<uint32_t>(c) < record_.table->columns()) {
      has = RecordText(record_.table->cell(c, record_.row), c, &text);
    } else {
      has = false;
    }
    if (has) {
      fields.SetFieldAt(c, text, options_.weight[c], options_.compare_null[c]);
    } else {
      options_.dupe_search[c] = false;
    }
  }
  record_.loaded = true;
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
  return swap_.InForce(columns_, options_.dupe_search);
}

void MatchStages::SetSwapColumns(uint32_t p, bool swapped) {
  FieldColl& fields = ctx_.fields();
  const bool views = !scan_.compare_in_full;
  const int columns[2] = {swap_.first, swap_.second};
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
  if (!record_.loaded) LoadRecord();
  SetCompared(p);
  if (Verdict(record_.threshold)) return true;
  if (!SwapInForce()) return false;
  SetSwapColumns(p, true);
  return Verdict(record_.threshold);
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
  const Record loop_record = record_;
  SetRecord(nullptr, first, threshold);
  const bool reaches = Compare(second);
  SetRecord(loop_record.table, loop_record.row, loop_record.threshold);
  return reaches;
}

}  // namespace vexlor

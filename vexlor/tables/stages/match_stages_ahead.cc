#include <cmath>
#include <functional>
#include <limits>
#include <utility>
#include <vector>

#include "vexlor/tables/stages/match_stages.h"

namespace vexlor {

using platform::Variant;
using platform::VariantArray;

namespace {

// Below this many rows a record's candidates are found in microseconds,
// less than handing them to another thread costs.
constexpr uint32_t kMinRowsForWorkers = 4096;

}  // namespace

CandidateNeed MatchStages::QueryWorkingRow(CandidateGenerator::Query& query,
                                           uint32_t row,
                                           const std::vector<char>& cluster,
                                           double cluster_threshold) const {
  CandidateGenerator& generator = *index_.generator();
  generator.BeginQuery(query, row);
  int64_t key_length = 0;
  ComparisonTexts::Cell cell;
  for (uint32_t c = 0; c < columns_; ++c) {
    if (!cluster[c] || !texts_.GetSealed(c, row, &cell) || !cell.is_string) {
      continue;
    }
    generator.AddQueryText(query, cell.text);
    key_length += static_cast<int64_t>(cell.text.size());
  }
  return NeedFor(key_length, cluster_threshold);
}

void MatchStages::StopAhead() noexcept {
  if (!next_started_) return;
  next_started_ = false;
  try {
    workers_.pool()->Finish();
  } catch (...) {
    // Nothing of it is used.
  }
  // Only now: the workers read the batch's bounds until Finish returns.
  next_.first = next_.end = 0;
}

void MatchStages::FindJob::operator()(uint32_t i, unsigned thread) const {
  ThreadQuery& own = stages->workers_.query(thread);
  Ahead& ahead = batch->rows[i];
  ahead.rows.clear();
  ahead.verdicts_found = false;
  if (!batch->searches[i]) {
    ahead.need = {CandidateNeed::kNone, 0};
    return;
  }
  ahead.need =
      batch->table != nullptr
          ? stages->QuerySnapshot(own.query, *batch, i)
          : stages->QueryWorkingRow(own.query, batch->first + i, batch->cluster,
                                    batch->cluster_threshold);
  if (ahead.need.kind != CandidateNeed::kAtLeast) return;
  const std::vector<uint32_t>& rows =
      stages->index_.TakeUnderRule(&own.query, ahead.need.hits);
  ahead.rows.assign(rows.begin(), rows.end());
  ahead.verdicts_found = !std::isnan(batch->threshold) &&
                         stages->FindVerdicts(own, *batch, i, ahead);
}

CandidateNeed MatchStages::QuerySnapshot(CandidateGenerator::Query& query,
                                         const AheadRows& batch,
                                         uint32_t i) const {
  // As CountRecord, from the texts read for the batch.
  CandidateGenerator& generator = *index_.generator();
  generator.BeginQuery(query, kNoRecord);
  int64_t key_length = 0;
  const RecordSnapshot& snapshot = batch.snapshot;
  for (uint32_t c = 0; c < snapshot.columns(); ++c) {
    const RecordSnapshot::Cell& cell = snapshot.cell(i, c);
    if (!batch.cluster[c] || !cell.read || !cell.is_string) continue;
    const std::string_view text = snapshot.text(cell);
    generator.AddQueryText(query, text);
    key_length += static_cast<int64_t>(text.size());
  }
  return NeedFor(key_length, batch.cluster_threshold);
}

void MatchStages::TakeSnapshot(AheadRows& batch) {
  batch.snapshot.Take(
      *batch.table, batch.first, batch.end, columns_,
      [&](uint32_t c) { return batch.cluster[c] || batch.dupe_search[c]; },
      [this](const Variant& v, int c, std::string_view* text) {
        return RecordText(v, c, text);
      });
}

bool MatchStages::SnapshotHolds(const AheadRows& batch, uint32_t i) {
  // The host may have changed a cell, or a weight (and with it the
  // normalisation), during a report since the batch was read.
  return batch.snapshot.Holds(
      *batch.table, i, [this](const Variant& v, int c, std::string_view* text) {
        return RecordText(v, c, text);
      });
}

int MatchStages::BatchText(const AheadRows& batch, uint32_t i, int c,
                           std::string_view* text) const {
  if (batch.table == nullptr) return SealedText(c, batch.first + i, text);
  const RecordSnapshot& snapshot = batch.snapshot;
  if (static_cast<uint32_t>(c) >= snapshot.columns()) return -1;
  const RecordSnapshot::Cell& cell = snapshot.cell(i, c);
  if (!cell.read) return -1;
  *text = snapshot.text(cell);
  return cell.has_text ? 1 : 0;
}

bool MatchStages::FindVerdicts(ThreadQuery& own, const AheadRows& batch,
                               uint32_t i, Ahead& ahead) const {
  // As Compare on the calling thread does it, with the batch's options.
  ahead.verdicts.clear();
  FieldColl& fields = own.fields;
  fields.ListCompareInit();
  std::string_view text;
  for (int c : batch.dupe_columns) {
    if (!batch.dupe_search[c]) continue;
    if (BatchText(batch, i, c, &text) != 1) return false;
    fields.SetFieldAt(c, text, batch.weight[c], batch.compare_null[c]);
  }
  const int columns = static_cast<int>(columns_);
  const int swap[2] = {batch.swap.first, batch.swap.second};
  const bool swap_in_force = batch.swap.InForce(columns_, batch.dupe_search);
  const bool* flags = batch.dupe_search.data();
  bool found = true;
  for (uint32_t p : ahead.rows) {
    for (int c : batch.dupe_columns) {
      if (!batch.dupe_search[c]) continue;
      if (SealedText(c, p, &text) != 1) {
        found = false;
        break;
      }
      fields.SetCompareViewAt(c, text);
    }
    if (!found) break;
    auto verdict = [&] {
      return batch.scorer != nullptr
                 ? batch.scorer->Reaches(fields, columns - 1, flags,
                                         batch.threshold)
                 : fields.RecordReaches(columns - 1, flags, batch.threshold);
    };
    bool reaches = verdict();
    if (!reaches && swap_in_force) {
      for (int k = 0; k < 2; ++k) {
        SealedText(swap[1 - k], p, &text);
        fields.SetCompareViewAt(swap[k], text);
      }
      reaches = verdict();
    }
    ahead.verdicts.push_back(reaches ? 1 : 0);
  }
  // No view outlives the batch.
  fields.CommitCompareViews();
  return found;
}

bool MatchStages::VerdictStateHolds(const AheadRows& batch) const {
  // A scorer that is not safe on any thread is asked on the calling one.
  if (batch.scorer != scorer_) return false;
  if (batch.dupe_columns != dupe_columns_ || !(batch.swap == swap_)) {
    return false;
  }
  for (uint32_t c = 0; c < columns_; ++c) {
    if (batch.dupe_search[c] != options_.dupe_search[c] ||
        batch.compare_null[c] != options_.compare_null[c] ||
        !(batch.weight[c] == options_.weight[c])) {
      return false;
    }
  }
  return true;
}

void MatchStages::FindInto(AheadRows& batch, FindJob& job, bool in_background,
                           const std::function<bool(uint32_t)>& searches,
                           double threshold) {
  if (batch.rows.size() < batch.end - batch.first) {
    batch.rows.resize(batch.end - batch.first);
  }
  // Decided here, on the calling thread, which alone changes what it reads.
  batch.searches.resize(batch.end - batch.first);
  for (uint32_t row = batch.first; row < batch.end; ++row) {
    batch.searches[row - batch.first] = !searches || searches(row);
  }
  TakeVerdictState(batch, threshold);
  if (batch.table != nullptr) TakeSnapshot(batch);
  if (in_background) {
    workers_.pool()->Start(batch.end - batch.first, job);
  } else {
    workers_.pool()->Run(batch.end - batch.first, job);
  }
}

void MatchStages::TakeVerdictState(AheadRows& batch, double threshold) const {
  batch.scorer =
      scorer_ != nullptr && scorer_->SafeOnAnyThread() ? scorer_ : nullptr;
  batch.threshold = scorer_ == batch.scorer
                        ? threshold
                        : std::numeric_limits<double>::quiet_NaN();
  batch.dupe_columns = dupe_columns_;
  batch.dupe_search = options_.dupe_search;
  batch.compare_null = options_.compare_null;
  batch.weight = options_.weight;
  batch.swap = swap_;
}

void MatchStages::FindCandidatesAhead(
    uint32_t first, uint32_t end, uint32_t next_end, double cluster_threshold,
    const std::function<bool(uint32_t)>& searches, double threshold) {
  SetAhead(nullptr, first, end, next_end, cluster_threshold, searches,
           threshold);
}

void MatchStages::FindRecordsAhead(const VariantArray& table, uint32_t first,
                                   uint32_t end, uint32_t next_end,
                                   double cluster_threshold, double threshold) {
  SetAhead(&table, first, end, next_end, cluster_threshold, nullptr, threshold);
}

void MatchStages::SetAhead(const VariantArray* table, uint32_t first,
                           uint32_t end, uint32_t next_end,
                           double cluster_threshold,
                           const std::function<bool(uint32_t)>& searches,
                           double threshold) {
  ready_.first = ready_.end = 0;
  if (found_.active()) {
    // Another table's records take their words in MatchRecord.
    if (table == nullptr) TakeFound(first, end, threshold);
    return;
  }
  if (index_.has_counter() || index_.generator() == nullptr || end <= first) {
    StopAhead();
    return;
  }
  if (workers_.pool() == nullptr) {
    const unsigned threads = BatchThreadCount();
    if (threads < 2 || matching_rows_ < kMinRowsForWorkers ||
        !workers_.Start(threads)) {
      return;
    }
    // The lists are built before the threads share them.
    index_.generator()->Prepare();
  }
  cluster_now_.assign(columns_, 0);
  for (uint32_t c = 0; c < columns_; ++c) cluster_now_[c] = options_.cluster[c];

  bool found = false;
  if (next_started_) {
    next_started_ = false;
    workers_.pool()->Finish();
    found = next_.table == table && next_.first == first && next_.end == end &&
            next_.cluster == cluster_now_ &&
            next_.cluster_threshold == cluster_threshold;
  }
  std::swap(ready_, next_);
  auto set = [&](AheadRows& batch, uint32_t from, uint32_t to) {
    batch.table = table;
    batch.first = from;
    batch.end = to;
    batch.cluster = cluster_now_;
    batch.cluster_threshold = cluster_threshold;
  };
  if (!found) {
    set(ready_, first, end);
    FindInto(ready_, ready_job_, false, searches, threshold);
  }
  if (next_end > end) {
    set(next_, end, next_end);
    FindInto(next_, next_job_, true, searches, threshold);
    next_started_ = true;
  }
}

}  // namespace vexlor

#include "vexlor/tables/match_stages.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <optional>
#include <span>
#include <system_error>
#include <utility>

#include "vexlor/platform/text.h"
#include "vexlor/strings/normalize.h"
#include "vexlor/tables/cell_text.h"
#include "vexlor/tables/table_model.h"

namespace vexlor {

using platform::ArrayLock;
using platform::Variant;
using platform::VariantArray;

namespace {

constexpr size_t kMaxArena = 0x7FFFFFFF;

// Below this many rows a record's candidates are found in microseconds,
// less than handing them to another thread costs.
constexpr uint32_t kMinRowsForWorkers = 4096;

}  // namespace

MatchStages::MatchStages(BatchContext& ctx, CandidateScan scan)
    : ctx_(ctx), options_(ctx.options()), scan_(std::move(scan)) {}

MatchStages::~MatchStages() { StopAhead(); }

void MatchStages::CreateIndex(uint32_t size_for, uint32_t counter_rows) {
  if (scan_.make_counter) {
    counter_ = scan_.make_counter(size_for, counter_rows);
    return;
  }
  generator_ = std::make_unique<CandidateGenerator>();
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

CandidateNeed MatchStages::QueryWorkingRow(CandidateGenerator::Query& query,
                                           uint32_t row,
                                           const std::vector<char>& cluster,
                                           double cluster_threshold) const {
  generator_->BeginQuery(query, row);
  int64_t key_length = 0;
  ComparisonTexts::Cell cell;
  for (uint32_t c = 0; c < columns_; ++c) {
    if (!cluster[c] || !texts_.GetSealed(c, row, &cell) || !cell.is_string) {
      continue;
    }
    generator_->AddQueryText(query, cell.text);
    key_length += static_cast<int64_t>(cell.text.size());
  }
  return NeedFor(key_length, cluster_threshold);
}

void MatchStages::StopAhead() noexcept {
  if (!next_started_) return;
  next_started_ = false;
  try {
    workers_->Finish();
  } catch (...) {
    // Nothing of it is used.
  }
  // Only now: the workers read the batch's bounds until Finish returns.
  next_.first = next_.end = 0;
}

void MatchStages::FindJob::operator()(uint32_t i, unsigned thread) const {
  ThreadQuery& own = stages->thread_queries_[thread];
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
      stages->generator_->Take(own.query, ahead.need.hits);
  ahead.rows.assign(rows.begin(), rows.end());
  ahead.verdicts_found = !std::isnan(batch->threshold) &&
                         stages->FindVerdicts(own, *batch, i, ahead);
}

CandidateNeed MatchStages::QuerySnapshot(CandidateGenerator::Query& query,
                                         const AheadRows& batch,
                                         uint32_t i) const {
  // As CountRecord, from the texts read for the batch.
  generator_->BeginQuery(query, kNoRecord);
  int64_t key_length = 0;
  const SnapshotCell* cells = batch.cells.data() + size_t{i} * batch.columns;
  for (uint32_t c = 0; c < batch.columns; ++c) {
    const SnapshotCell& cell = cells[c];
    if (!batch.cluster[c] || !cell.read || !cell.is_string) continue;
    const std::string_view text(batch.texts.data() + cell.offset, cell.length);
    generator_->AddQueryText(query, text);
    key_length += static_cast<int64_t>(text.size());
  }
  return NeedFor(key_length, batch.cluster_threshold);
}

void MatchStages::TakeSnapshot(AheadRows& batch) {
  batch.columns = columns_;
  batch.cells.clear();
  batch.texts.clear();
  const VariantArray& table = *batch.table;
  std::string_view text;
  for (uint32_t row = batch.first; row < batch.end; ++row) {
    for (uint32_t c = 0; c < columns_; ++c) {
      SnapshotCell cell{static_cast<uint32_t>(batch.texts.size()), 0, false,
                        false, false};
      if (c < table.columns() && (batch.cluster[c] || batch.dupe_search[c])) {
        const Variant& v = table.cell(c, row);
        cell.read = true;
        cell.is_string = v.IsString();
        cell.has_text = RecordText(v, static_cast<int>(c), &text);
        if (batch.texts.size() + text.size() > kMaxArena)
          throw std::bad_alloc();
        cell.length = static_cast<uint32_t>(text.size());
        batch.texts.append(text);
      }
      batch.cells.push_back(cell);
    }
  }
}

bool MatchStages::SnapshotHolds(const AheadRows& batch, uint32_t i) {
  // The host may have changed a cell, or a weight (and with it the
  // normalisation), during a report since the batch was read.
  const SnapshotCell* cells = batch.cells.data() + size_t{i} * batch.columns;
  const VariantArray& table = *batch.table;
  std::string_view text;
  for (uint32_t c = 0; c < batch.columns; ++c) {
    const SnapshotCell& cell = cells[c];
    if (!cell.read) continue;
    if (c >= table.columns()) return false;
    const Variant& v = table.cell(c, batch.first + i);
    if (v.IsString() != cell.is_string ||
        RecordText(v, static_cast<int>(c), &text) != cell.has_text ||
        text !=
            std::string_view(batch.texts.data() + cell.offset, cell.length)) {
      return false;
    }
  }
  return true;
}

int MatchStages::BatchText(const AheadRows& batch, uint32_t i, int c,
                           std::string_view* text) const {
  if (batch.table == nullptr) return SealedText(c, batch.first + i, text);
  if (static_cast<uint32_t>(c) >= batch.columns) return -1;
  const SnapshotCell& cell = batch.cells[size_t{i} * batch.columns + c];
  if (!cell.read) return -1;
  *text = std::string_view(batch.texts.data() + cell.offset, cell.length);
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
  const int swap[2] = {batch.swap_first, batch.swap_second};
  const bool swap_in_force = swap[0] >= 0 && swap[1] >= 0 &&
                             swap[0] != swap[1] && swap[0] < columns &&
                             swap[1] < columns && batch.dupe_search[swap[0]] &&
                             batch.dupe_search[swap[1]];
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
  if (batch.dupe_columns != dupe_columns_ || batch.swap_first != swap_first_ ||
      batch.swap_second != swap_second_) {
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
    workers_->Start(batch.end - batch.first, job);
  } else {
    workers_->Run(batch.end - batch.first, job);
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
  batch.swap_first = swap_first_;
  batch.swap_second = swap_second_;
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
  if (found_ != nullptr) {
    // Another table's records take their words in MatchRecord.
    if (table == nullptr) TakeFound(first, end, threshold);
    return;
  }
  if (counter_ != nullptr || generator_ == nullptr || end <= first) {
    StopAhead();
    return;
  }
  if (workers_ == nullptr) {
    const unsigned threads = BatchThreadCount();
    if (threads < 2 || matching_rows_ < kMinRowsForWorkers || no_workers_) {
      return;
    }
    thread_queries_.resize(threads);
    try {
      workers_ = std::make_unique<BatchWorkers>(threads);
    } catch (const std::system_error&) {
      no_workers_ = true;  // the system has no thread to give: one will do
      return;
    }
    // The lists are built before the threads share them.
    generator_->Prepare();
  }
  cluster_now_.assign(columns_, 0);
  for (uint32_t c = 0; c < columns_; ++c) cluster_now_[c] = options_.cluster[c];

  bool found = false;
  if (next_started_) {
    next_started_ = false;
    workers_->Finish();
    found = next_.table == table && next_.first == first && next_.end == end &&
            next_.cluster == cluster_now_ &&
            next_.cluster_threshold == cluster_threshold;
  }
  std::swap(ready_, next_);
  if (!found) {
    ready_.table = table;
    ready_.first = first;
    ready_.end = end;
    ready_.cluster = cluster_now_;
    ready_.cluster_threshold = cluster_threshold;
    FindInto(ready_, ready_job_, false, searches, threshold);
  }
  if (next_end > end) {
    next_.table = table;
    next_.first = end;
    next_.end = next_end;
    next_.cluster = cluster_now_;
    next_.cluster_threshold = cluster_threshold;
    FindInto(next_, next_job_, true, searches, threshold);
    next_started_ = true;
  }
}

void MatchStages::TakeFound(uint32_t first, uint32_t end, double threshold) {
  // The other processes found their verdicts with the options as matching
  // began; the first call comes before any record is matched.
  if (!found_state_taken_) {
    TakeVerdictState(ready_, threshold);
    found_state_taken_ = true;
  }
  Ahead skipped;
  while (found_row_ < first && ReadFound(skipped)) {
  }
  if (found_row_ != first) return;  // rows taken out of turn: found here
  ready_.first = first;
  ready_.end = end;
  if (ready_.rows.size() < end - first) ready_.rows.resize(end - first);
  for (uint32_t row = first; row < end; ++row) {
    Ahead& ahead = ready_.rows[row - first];
    if (!ReadFound(ahead)) {
      ahead.verdicts_found = false;
      ahead.partial = true;
    }
  }
}

bool MatchStages::TakeFoundRecord(double threshold) {
  // As in TakeFound, with the verdict state kept in ready_, which a match
  // of another table's records does not use.
  if (!found_state_taken_) {
    TakeVerdictState(ready_, threshold);
    found_state_taken_ = true;
  }
  return ReadFound(found_record_) && found_record_.verdicts_found &&
         ready_.threshold == threshold && VerdictStateHolds(ready_);
}

void MatchStages::FindRecordPairs(const VariantArray& table, uint32_t first,
                                  uint32_t end, uint32_t limit,
                                  double cluster_threshold, double threshold,
                                  std::vector<uint32_t>* words) {
  const std::array<bool, kMaxColumns> dupe_search = options_.dupe_search;
  std::vector<uint32_t>& listed = listed_;
  for (uint32_t row = first; row < end; ++row) {
    listed.clear();
    uint32_t last = 0;
    bool last_misses = false;
    const int64_t depth = MatchRecord(table, row, limit, cluster_threshold,
                                      threshold, [&](uint32_t p, bool reaches) {
                                        if (reaches) listed.push_back(p);
                                        last = p;
                                        last_misses = !reaches;
                                        return true;
                                      });
    if (options_.dupe_search != dupe_search) {
      // The labelling process meets that change itself, and from then on
      // finds every record's candidates on its own.
      words->insert(words->end(), end - row, 0);
      break;
    }
    if (last_misses) listed.push_back(last);
    words->push_back(
        FoundHeader(static_cast<uint32_t>(listed.size()), last_misses));
    words->push_back(static_cast<uint32_t>(depth));
    words->insert(words->end(), listed.begin(), listed.end());
  }
  options_.dupe_search = dupe_search;
  RefreshColumns();
}

bool MatchStages::ReadFound(Ahead& ahead) {
  const std::span<const uint32_t> words = found_->words;
  if (found_at_ >= words.size()) return false;
  const uint32_t header = words[found_at_];
  const size_t listed = header >> 2;
  ahead.partial = true;
  ahead.rows.clear();
  ahead.verdicts.clear();
  ahead.verdicts_found =
      (header & kFoundRecord) != 0 && words.size() - found_at_ - 1 > listed;
  ++found_row_;
  if (!ahead.verdicts_found) {
    // A record not found elsewhere, or words cut short.
    found_at_ = (header & kFoundRecord) != 0 ? words.size() : found_at_ + 1;
    return true;
  }
  ahead.depth = words[found_at_ + 1];
  const uint32_t* rows = words.data() + found_at_ + 2;
  ahead.rows.assign(rows, rows + listed);
  ahead.verdicts.assign(listed, 1);
  if ((header & kFoundLastMisses) != 0 && listed > 0) ahead.verdicts.back() = 0;
  found_at_ += 2 + listed;
  return true;
}

void MatchStages::FindPairs(uint32_t first, uint32_t end,
                            double cluster_threshold, double threshold,
                            std::vector<uint32_t>* words) {
  generator_->Prepare();
  if (thread_queries_.empty()) thread_queries_.resize(1);
  // Batches of rows bound the memory of candidate lists held at once.
  constexpr uint32_t kBatchRows = 256;
  AheadRows batch;
  batch.cluster.assign(columns_, 0);
  for (uint32_t c = 0; c < columns_; ++c)
    batch.cluster[c] = options_.cluster[c];
  batch.cluster_threshold = cluster_threshold;
  TakeVerdictState(batch, threshold);
  FindJob job{this, &batch};
  for (uint32_t at = first; at < end;) {
    batch.first = at;
    batch.end = end - at > kBatchRows ? at + kBatchRows : end;
    batch.rows.resize(batch.end - at);
    batch.searches.assign(batch.end - at, 1);
    for (uint32_t i = 0; i < batch.end - at; ++i) job(i, 0);
    for (const Ahead& ahead : batch.rows) {
      // A record that has no candidate is settled without a comparison.
      const bool none =
          ahead.need.kind == CandidateNeed::kNone ||
          (ahead.need.kind == CandidateNeed::kAtLeast && ahead.rows.empty());
      if (!none && !ahead.verdicts_found) {
        words->push_back(0);
        continue;
      }
      if (none) {
        words->push_back(FoundHeader(0, false));
        words->push_back(0);
        continue;
      }
      uint32_t listed = 0;
      for (uint8_t v : ahead.verdicts) listed += v;
      const bool last_misses =
          !ahead.verdicts.empty() && !ahead.verdicts.back();
      words->push_back(
          FoundHeader(listed + (last_misses ? 1 : 0), last_misses));
      words->push_back(static_cast<uint32_t>(ahead.rows.size()));
      for (size_t i = 0; i < ahead.rows.size(); ++i) {
        if (ahead.verdicts[i] != 0) words->push_back(ahead.rows[i]);
      }
      if (last_misses) words->push_back(ahead.rows.back());
    }
    at = batch.end;
  }
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
  return appended_->Take(need);
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
  return generator_->Take(need);
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

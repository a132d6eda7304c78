#include "vexlor/tables/methods/master_match.h"

#include <algorithm>

#include "vexlor/tables/column_options.h"
#include "vexlor/tables/scoring/fs_estimation.h"
#include "vexlor/tables/string_ids.h"

namespace vexlor {

MasterMatch::MasterMatch(BatchRun& run, const TablePair& tables,
                         const Call& call, const Kind& kind,
                         const MatchOptions& options)
    : run_(run),
      ctx_(run.ctx()),
      master_(*tables.first()),
      second_(*tables.second()),
      shape_(tables.shape()),
      threshold_(call.threshold),
      cluster_threshold_(call.cluster_threshold),
      options_(options),
      stages_(run.ctx(), call.scan),
      kind_(kind),
      logs_(run.ctx(), call.log_encoding),
      figures_(shape_.second_rows) {
  stages_.SetCandidateRule(options.candidates);
}

MasterMatch::~MasterMatch() = default;

bool MasterMatch::Run(bool show_progress, int32_t id_column,
                      std::u16string_view first_log,
                      std::u16string_view second_log) {
  run_.Guarded(
      [&] { IndexMaster(show_progress, id_column, first_log, second_log); });
  if (run_.Stopped()) return false;
  run_.Guarded([&] { MatchRecords(); });
  stages_.Free();
  logs_.Close();
  if (run_.Stopped()) return false;
  figures_.Finish();
  return run_.CloseReport(figures_.fields(), kStrCleaningUp);
}

void MasterMatch::NameResultColumn(int64_t column, std::u16string_view name) {
  if (ColumnOptions::InRange(column)) {
    ctx_.options().Set(static_cast<int>(column), false, false, 0.0, false,
                       name);
  }
}

void MasterMatch::IndexMaster(bool show_progress, int32_t id_column,
                              std::u16string_view first_log,
                              std::u16string_view second_log) {
  logs_.Open(first_log, second_log, int64_t{shape_.second_columns} - 1);
  NameResultColumns();
  run_.OpenProgress(show_progress, kind_.title_id, kind_.found_label_id);
  run_.BeginIndexing(kStrComputingClusters);
  CreateIndex();
  run_.SwitchOffIdColumn(id_column);
  stages_.IndexRows(master_, shape_.first_rows, shape_.first_columns,
                    [this](uint32_t r) { AfterIndexedRow(r); });
}

void MasterMatch::MatchRecords() {
  ProgressSink& progress = ctx_.progress();
  const uint32_t records = shape_.second_rows;
  progress.BeginStage(kind_.matching_status_id,
                      ProgressEvent::kProgressDupeSearch, figures_.fields());
  BeforeMatching();
  stages_.SetSwap(options_.swap_first, options_.swap_second);
  if (kind_.takes_found_pairs) stages_.SetFoundPairs(options_.found_pairs);
  stages_.BeginMatching(shape_.first_rows, shape_.common_columns);
  BeginScoring(options_, stages_, &model_, &scorer_, [&](FsModel* fit) {
    EstimateAgainstMaster(ctx_.options(), shape_.common_columns, stages_,
                          shape_.first_rows, second_, records,
                          cluster_threshold_, threshold_, options_.swap_first,
                          options_.swap_second, fit);
  });
  for (uint32_t s = 0; s < records; ++s) {
    // Up to the next report no host code runs.
    if (s % kMatchCadence == 0) {
      const uint32_t end = std::min(s + kMatchCadence, records);
      stages_.FindRecordsAhead(second_, s, end,
                               std::min(end + kMatchCadence, records),
                               cluster_threshold_, threshold_);
    }
    bool matched = false;
    const int64_t candidates = MatchRecord(s, &matched);
    if (matched) ++found_;
    logs_.Write(matched == kind_.first_log_when_matched, second_, s);
    AfterLogged(s, matched);
    if (figures_.AfterRecord(progress, s, candidates, found_, found2_)) {
      stages_.RefreshColumns();  // host code may have changed them
    }
    if (progress.IsCanceled()) break;
  }
}

}  // namespace vexlor

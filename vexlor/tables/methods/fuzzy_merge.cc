#include "vexlor/tables/methods/fuzzy_merge.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "vexlor/return_results.h"
#include "vexlor/tables/candidates/index_size.h"
#include "vexlor/tables/candidates/ll_hash.h"
#include "vexlor/tables/cell_text.h"
#include "vexlor/tables/grouping/copy_groups.h"
#include "vexlor/tables/methods/record_logs.h"
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

constexpr int16_t kReturnImport = MRR_IMPORT;
constexpr int16_t kReturnAll = MRR_ALL;
constexpr int16_t kReturnDupes = MRR_DUPES;
constexpr int16_t kReturnCleanMerged = MRR_CLEANMERGED;
constexpr int kTitle = kStrFuzzyMerge;
constexpr int kFoundLabel = kStrRejected;
constexpr int kStatusClusters = kStrComputingClusters;
constexpr int kStatusMerging = kStrMergeData;
constexpr int kStatusCleaningUp = kStrCleaningUp;

void SetResultColumn(ColumnOptions& options, int64_t column,
                     std::u16string_view name) {
  if (ColumnOptions::InRange(column)) {
    options.Set(static_cast<int>(column), false, false, 0.0, false, name);
  }
}

}  // namespace

Variant FuzzyMerge(BatchContext& ctx, const Variant& varArray,
                   const Variant& varImport, int32_t IDColumnIndex,
                   double Threshold, double ClusterThreshold,
                   int16_t ReturnResults, bool ShowProgress,
                   std::u16string_view LogFilenameImported,
                   std::u16string_view LogFilenameRejected,
                   TextEncoding log_encoding, CandidateScan scan,
                   const MatchOptions& options) {
  ctx.ClearLastError();
  ctx.canceled() = false;
  const TablePair tables(varArray, varImport);
  if (!tables.ok()) return Variant();
  VariantArray* master = tables.first();
  VariantArray* import = tables.second();
  const auto [master_rows, import_rows, master_columns, import_columns,
              common_columns] = tables.shape();
  const uint32_t id_column = master->columns();
  const uint32_t source_column = id_column + 1;
  const uint64_t all_rows = uint64_t{master_rows} + import_rows;
  // What StandardIndexSize gets: the last master row index plus the last
  // import row index.
  const uint32_t size_for =
      all_rows >= 2 ? static_cast<uint32_t>(std::min<uint64_t>(
                          all_rows - 2, std::numeric_limits<uint32_t>::max()))
                    : 0;

  // Room for every master row followed by every import row.
  Variant work;
  try {
    if (all_rows > std::numeric_limits<uint32_t>::max() ||
        id_column >= std::numeric_limits<uint32_t>::max() - 2) {
      throw std::bad_alloc();
    }
    work = CreateResultTable(*master, source_column + 1,
                             static_cast<uint32_t>(all_rows));
  } catch (const std::bad_alloc&) {
    ctx.SetOutOfMemoryError();
    return Variant::Array(nullptr);
  }
  VariantArray& w = *work.AsArray();
  const uint32_t total_rows = static_cast<uint32_t>(all_rows);
  std::optional<ArrayLock> work_lock(std::in_place, &w);

  ProgressSink& progress = ctx.progress();
  ReporterScope reporter(progress);
  RecordLogs logs(ctx, log_encoding);
  MatchStages stages(ctx, scan);
  stages.SetCandidateRule(options.candidates);
  // The import row of each appended working row, in order.
  std::vector<uint32_t> appended;

  // Stage 1: the master rows indexed, each with an identifier of its own.
  try {
    logs.Open(LogFilenameImported, LogFilenameRejected,
              int64_t{import_columns} - 1);
    SetResultColumn(ctx.options(), id_column, u"FuzzyDupesID");
    SetResultColumn(ctx.options(), source_column, u"Source");
    reporter.Open(ShowProgress, kTitle, kFoundLabel);
    progress.BeginStage(kStatusClusters, ProgressEvent::kProgress,
                        ProgressFields{1, 0, 0.0, -1, -1, -1, -1});
    stages.CreateIndex(size_for, total_rows);
    appended.reserve(import_rows);
    if (ColumnOptions::InRange(IDColumnIndex)) {
      ctx.options().cluster[IDColumnIndex] = false;
      ctx.options().dupe_search[IDColumnIndex] = false;
    }
    stages.IndexRows(*master, master_rows, master_columns, [&](uint32_t r) {
      w.cell(id_column, r) = Variant::AnsiString(ctx.NewGuidString());
    });
  } catch (const std::bad_alloc&) {
    ctx.SetOutOfMemoryError();
  }
  if (ctx.canceled() || ctx.HasError()) return Variant();

  // Stage 2: the import records against the master and the records
  // merged before them.
  const bool stop_at_first =
      ReturnResults == kReturnImport || ReturnResults == kReturnCleanMerged;
  const bool merge_rejected =
      ReturnResults == kReturnAll || ReturnResults == kReturnDupes;
  uint32_t rows_in_use = master_rows;
  PairObserver* const observer = options.pair_observer;
  int64_t rejected = 0;
  int64_t found2 = 0;
  MatchProgress figures(import_rows);
  // Scoring=Estimated: the model that scores.
  FsModel model;
  FsModelScorer scorer(model);
  try {
    progress.BeginStage(kStatusMerging, ProgressEvent::kProgressDupeSearch,
                        figures.fields());
    stages.SetSwap(options.swap_first, options.swap_second);
    stages.BeginMatching(master_rows, common_columns);
    // Named copies: lambdas may not capture structured bindings everywhere.
    const uint32_t compared = common_columns, masters = master_rows,
                   seconds = import_rows;
    BeginScoring(options, stages, &model, &scorer, [&](FsModel* fit) {
      EstimateAgainstMaster(ctx.options(), compared, stages, masters, *import,
                            seconds, ClusterThreshold, Threshold,
                            options.swap_first, options.swap_second, fit);
    });
    for (uint32_t s = 0; s < import_rows; ++s) {
      // Up to the next report no host code runs.
      if (s % kMatchCadence == 0) {
        const uint32_t end = std::min(s + kMatchCadence, import_rows);
        stages.FindRecordsAhead(*import, s, end,
                                std::min(end + kMatchCadence, import_rows),
                                ClusterThreshold, Threshold);
      }
      const Variant id = Variant::AnsiString(ctx.NewGuidString());
      bool matched = false;
      const int64_t candidates = stages.MatchRecord(
          *import, s, rows_in_use, ClusterThreshold, Threshold,
          [&](uint32_t m, bool reaches) {
            if (!reaches) return true;
            matched = true;
            if (observer != nullptr) {
              const bool imported = m >= masters;
              observer->OnPair({s, imported ? appended[m - masters] : m,
                                imported, stages.Similarity(m)});
            }
            if (stop_at_first) {
              ++found2;
              return false;
            }
            Variant& cell = w.cell(id_column, m);
            if (cell.IsEmpty() || cell.IsNull() ||
                (cell.IsString() && cell.AsString() != id.AsString())) {
              cell = id;
              ++found2;
            }
            return true;
          });
      if (matched) ++rejected;
      logs.Write(!matched, *import, s);
      if (!matched || merge_rejected) {
        const uint32_t row = rows_in_use++;
        stages.FileRow(*import, s, row, common_columns, true);
        w.cell(id_column, row) =
            matched ? id : Variant::AnsiString(ctx.NewGuidString());
        appended.push_back(s);
      }
      if (figures.AfterRecord(progress, s, candidates, rejected, found2)) {
        stages.RefreshColumns();  // host code may have changed them
      }
      if (progress.IsCanceled()) break;
    }
  } catch (const std::bad_alloc&) {
    ctx.SetOutOfMemoryError();
  }
  stages.Free();
  logs.Close();
  if (ctx.canceled() || ctx.HasError()) return Variant();
  figures.Finish();
  try {
    progress.ReportAgain(100.0, figures.fields(), kStatusCleaningUp);
  } catch (const std::bad_alloc&) {
    ctx.SetOutOfMemoryError();
    return Variant();
  }
  // The working table holds only the identifiers so far:
  // nothing a caller could use.
  if (ReturnResults < kReturnImport || ReturnResults > kReturnCleanMerged) {
    return Variant();
  }

  work_lock.reset();
  try {
    if (!w.ResizeLast(rows_in_use)) throw std::bad_alloc();
  } catch (const std::bad_alloc&) {
    ctx.SetOutOfMemoryError();
    return Variant();
  }

  if (ReturnResults == kReturnImport) {
    Variant result;
    try {
      result = CreateResultTable(*import, common_columns,
                                 static_cast<uint32_t>(appended.size()));
    } catch (const std::bad_alloc&) {
      ctx.SetOutOfMemoryError();
      return Variant::Array(nullptr);
    }
    VariantArray& out = *result.AsArray();
    // Copies share strings: nothing here can fail.
    for (uint32_t k = 0; k < appended.size(); ++k) {
      for (uint32_t c = 0; c < common_columns; ++c) {
        out.cell(c, k) = import->cell(c, appended[k]);
      }
    }
    return result;
  }

  // The caller's cells beside the identifiers.
  for (uint32_t r = 0; r < rows_in_use; ++r) {
    if (r < master_rows) {
      for (uint32_t c = 0; c < master_columns; ++c) {
        w.cell(c, r) = master->cell(c, r);
      }
      w.cell(source_column, r) = Variant::I4(0);
    } else {
      const uint32_t v = appended[r - master_rows];
      for (uint32_t c = 0; c < common_columns; ++c) {
        w.cell(c, r) = import->cell(c, v);
      }
      w.cell(source_column, r) = Variant::I4(1);
    }
  }
  if (ReturnResults != kReturnDupes) return work;

  // Groups: rows sharing an identifier, gathered through an identifier
  // index.
  std::unique_ptr<LLHash> ids;
  try {
    IndexSize size = StandardIndexSize(size_for);
    ids = std::make_unique<LLHash>();
    ids->Init(size.buckets, size.node_block, 0);
  } catch (const std::bad_alloc&) {
    ctx.SetOutOfMemoryError();
    return Variant();
  }
  try {
    std::string key;
    for (uint32_t r = 0; r < rows_in_use; ++r) {
      CellText(w.cell(id_column, r), &key);
      ids->Add(key, r);
    }
  } catch (const std::bad_alloc&) {
    // The groups of the rows entered so far are still returned.
    ctx.SetOutOfMemoryError();
  }
  return CopyGroups(ctx, *ids, w, source_column + 1, total_rows / 10 + 500);
}

}  // namespace vexlor

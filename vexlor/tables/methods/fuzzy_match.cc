#include "vexlor/tables/methods/fuzzy_match.h"

#include <algorithm>
#include <limits>
#include <new>
#include <vector>

#include "vexlor/tables/methods/record_logs.h"
#include "vexlor/tables/scoring/fs_estimation.h"
#include "vexlor/tables/scoring/fs_model.h"
#include "vexlor/tables/stages/match_progress.h"
#include "vexlor/tables/stages/match_results.h"
#include "vexlor/tables/stages/match_stages.h"
#include "vexlor/tables/table_model.h"
#include "vexlor/variant_array.h"

namespace vexlor {

using platform::ArrayLock;
using platform::Variant;
using platform::VariantArray;

Variant FuzzyMatch(BatchContext& ctx, const Variant& varArray,
                   const Variant& varMatch, int32_t IDColumnIndex,
                   double Threshold, double ClusterThreshold,
                   int16_t ReturnResults, bool ShowProgress,
                   std::u16string_view LogFilenamePositive,
                   std::u16string_view LogFilenameNegative,
                   TextEncoding log_encoding, CandidateScan scan,
                   const MatchOptions& options) {
  ctx.ClearLastError();
  ctx.canceled() = false;
  const TablePair tables(varArray, varMatch);
  if (!tables.ok()) return Variant();
  VariantArray* master = tables.first();
  VariantArray* match = tables.second();
  const auto [master_rows, match_rows, master_columns, match_columns,
              common_columns] = tables.shape();
  const int64_t match_column = master->columns();

  ProgressSink& progress = ctx.progress();
  ReporterScope reporter(progress);
  RecordLogs logs(ctx, log_encoding);
  MatchStages stages(ctx, scan);
  stages.SetCandidateRule(options.candidates);
  std::vector<int32_t> match_of;

  // Stage 1: the master rows indexed.
  try {
    logs.Open(LogFilenamePositive, LogFilenameNegative,
              int64_t{match_columns} - 1);
    if (ColumnOptions::InRange(match_column)) {
      ctx.options().Set(static_cast<int>(match_column), false, false, 0.0,
                        false, u"Match");
    }
    if (options.scores && ColumnOptions::InRange(match_column + 1)) {
      ctx.options().Set(static_cast<int>(match_column + 1), false, false, 0.0,
                        false, u"Similarity");
    }
    reporter.Open(ShowProgress, kMatchTitle, kMatchFoundLabel);
    progress.BeginStage(kMatchStatusClusters, ProgressEvent::kProgress,
                        ProgressFields{1, 0, 0.0, -1, -1, -1, -1});
    stages.CreateIndex(master_rows > 0 ? master_rows - 1 : 0, master_rows);
    match_of.assign(master_rows, 0);
    if (ColumnOptions::InRange(IDColumnIndex)) {
      ctx.options().cluster[IDColumnIndex] = false;
      ctx.options().dupe_search[IDColumnIndex] = false;
    }
    stages.IndexRows(*master, master_rows, master_columns, [](uint32_t) {});
  } catch (const std::bad_alloc&) {
    ctx.SetOutOfMemoryError();
  }
  if (ctx.canceled() || ctx.HasError()) return Variant();

  // Stage 2: the match records compared with their candidates.
  int64_t matched_records = 0;
  int64_t match_pairs = 0;
  const bool best = options.match == MatchChoice::kBest;
  const bool similarities =
      best || options.scores || options.pair_observer != nullptr;
  // The similarity of each master row's kept record.
  std::vector<double> score_of;
  MatchProgress figures(match_rows);
  // Scoring=Estimated: the model that scores.
  FsModel model;
  FsModelScorer scorer(model);
  try {
    progress.BeginStage(kMatchStatusMatching,
                        ProgressEvent::kProgressDupeSearch, figures.fields());
    if (best || options.scores) score_of.assign(master_rows, 0.0);
    stages.SetSwap(options.swap_first, options.swap_second);
    stages.SetFoundPairs(options.found_pairs);
    stages.BeginMatching(master_rows, common_columns);
    // Named copies: lambdas may not capture structured bindings everywhere.
    const uint32_t compared = common_columns, masters = master_rows,
                   seconds = match_rows;
    BeginScoring(options, stages, &model, &scorer, [&](FsModel* fit) {
      EstimateAgainstMaster(ctx.options(), compared, stages, masters, *match,
                            seconds, ClusterThreshold, Threshold,
                            options.swap_first, options.swap_second, fit);
    });
    for (uint32_t s = 0; s < match_rows; ++s) {
      // Up to the next report no host code runs.
      if (s % kMatchCadence == 0) {
        const uint32_t end = std::min(s + kMatchCadence, match_rows);
        stages.FindRecordsAhead(*match, s, end,
                                std::min(end + kMatchCadence, match_rows),
                                ClusterThreshold, Threshold);
      }
      bool matched = false;
      const int32_t mark = ClampToInt32(int64_t{s} + 1);
      const int64_t candidates = stages.MatchRecord(
          *match, s, master_rows, ClusterThreshold, Threshold,
          [&](uint32_t m, bool reaches) {
            if (!reaches) return true;
            ++match_pairs;
            matched = true;
            const double similarity = similarities ? stages.Similarity(m) : 0.0;
            if (options.pair_observer != nullptr) {
              options.pair_observer->OnPair({s, m, false, similarity});
            }
            if (match_of[m] == 0 || (best && similarity > score_of[m])) {
              match_of[m] = mark;
              if (!score_of.empty()) score_of[m] = similarity;
            }
            return true;
          });
      if (matched) ++matched_records;
      logs.Write(matched, *match, s);
      if (figures.AfterRecord(progress, s, candidates, matched_records,
                              match_pairs)) {
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
    progress.ReportAgain(100.0, figures.fields(), kMatchStatusCleaningUp);
  } catch (const std::bad_alloc&) {
    ctx.SetOutOfMemoryError();
    return Variant();
  }

  // The result is made at the size of the selection, so it never needs
  // cutting.
  uint32_t selected = 0;
  for (int32_t v : match_of) selected += MatchSelected(ReturnResults, v != 0);
  if (selected == 0) return Variant();
  const uint32_t added = options.scores ? 2 : 1;
  Variant result;
  try {
    if (match_column > std::numeric_limits<uint32_t>::max() - added) {
      throw std::bad_alloc();
    }
    result = CreateResultTable(*master, master->columns() + added, selected);
  } catch (const std::bad_alloc&) {
    ctx.SetOutOfMemoryError();
    return Variant::Array(nullptr);
  }
  VariantArray& out = *result.AsArray();
  uint32_t written = 0;
  for (uint32_t r = 0; r < master_rows; ++r) {
    if (!MatchSelected(ReturnResults, match_of[r] != 0)) continue;
    // Copies share strings: nothing here can fail.
    for (uint32_t c = 0; c < master_columns; ++c) {
      out.cell(c, written) = master->cell(c, r);
    }
    out.cell(master->columns(), written) = Variant::I4(match_of[r]);
    if (options.scores && match_of[r] != 0) {
      out.cell(master->columns() + 1, written) = Variant::R8(score_of[r]);
    }
    ++written;
  }
  return result;
}

}  // namespace vexlor

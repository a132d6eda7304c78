#include "vexlor/tables/methods/exact_match.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "vexlor/platform/column_limits.h"
#include "vexlor/tables/candidates/index_size.h"
#include "vexlor/tables/candidates/ll_hash.h"
#include "vexlor/tables/cell_text.h"
#include "vexlor/tables/methods/batch_run.h"
#include "vexlor/tables/stages/match_progress.h"
#include "vexlor/tables/stages/match_results.h"
#include "vexlor/tables/table_model.h"
#include "vexlor/variant_array.h"

namespace vexlor {

using platform::Variant;
using platform::VariantArray;

namespace {

// The key of row r in `column`: false when the row has none, so that no
// cell outside the table is read.
bool RowKey(const VariantArray& table, int32_t column, uint32_t r,
            std::string* key) {
  if (column < 0 || static_cast<uint32_t>(column) >= table.columns()) {
    return false;
  }
  return CellText(table.cell(static_cast<uint32_t>(column), r), key) &&
         !key->empty();
}

}  // namespace

Variant ExactMatchByColumn(BatchContext& ctx, const Variant& varArray,
                           const Variant& varMatch, int32_t MatchColumnIndex,
                           int16_t ReturnResults, bool ShowProgress) {
  BatchRun run(ctx);
  const TablePair* tables = run.TakeTables(varArray, varMatch);
  if (tables == nullptr) return Variant();
  VariantArray* master = tables->first();
  VariantArray* match = tables->second();
  const uint32_t master_rows = master->rows();
  const uint32_t match_rows = match->rows();
  ProgressSink& progress = run.progress();
  std::vector<uint8_t> matched;
  std::unique_ptr<LLHash> index;
  std::string key;

  // Stage 1: the master rows by key.
  run.Guarded([&] {
    matched.assign(master_rows, 0);
    run.OpenProgress(ShowProgress, kMatchTitle, kMatchFoundLabel);
    run.BeginIndexing(kMatchStatusClusters);
    IndexSize size = StandardIndexSize(master_rows > 0 ? master_rows - 1 : 0);
    index = std::make_unique<LLHash>();
    index->Init(size.buckets, size.node_block, size.node_block);
    const double last_row = static_cast<double>(master_rows) - 1;
    for (uint32_t r = 0; r < master_rows; ++r) {
      if (RowKey(*master, MatchColumnIndex, r, &key)) index->Add(key, r);
      if ((r + 1) % kIndexCadence == 0) {
        progress.Report(r * 100.0 / last_row, ProgressFields{});
      }
      if (progress.IsCanceled()) break;
    }
  });
  if (run.Stopped()) return Variant();

  // Stage 2: the match rows looked up.
  int64_t matches = 0;
  ProgressFields fields{0, 0, 0.0, 0, ClampToInt32(match_rows), 0, 0};
  run.Guarded([&] {
    progress.BeginStage(kMatchStatusMatching,
                        ProgressEvent::kProgressDupeSearch, fields);
    const double last_row = static_cast<double>(match_rows) - 1;
    for (uint32_t r = 0; r < match_rows; ++r) {
      if (RowKey(*match, MatchColumnIndex, r, &key)) {
        std::span<const uint32_t> rows = index->Find(key);
        if (!rows.empty()) {
          ++matches;
          // Filed in ascending order: the first is the lowest row.
          matched[rows.front()] = 1;
        }
      }
      if ((r + 1) % kMatchCadence == 0) {
        fields.record_no = ClampToInt32(int64_t{r} + 1);
        fields.found2 = ClampToInt32(matches);
        progress.Report((r + 1.0) * 100.0 / last_row, fields);
      }
      if (progress.IsCanceled()) break;
    }
  });
  index.reset();
  if (run.Stopped()) return Variant();
  fields.record_no = ClampToInt32(match_rows);
  fields.found2 = ClampToInt32(matches);
  if (!run.CloseReport(fields, kMatchStatusCleaningUp)) return Variant();

  // The result is made at the size of the selection, so it never needs
  // cutting.
  uint32_t selected = 0;
  for (uint32_t r = 0; r < master_rows; ++r) {
    selected += MatchSelected(ReturnResults, matched[r] != 0);
  }
  if (selected == 0) return Variant();
  Variant result;
  try {
    result = CreateResultTable(*master, master->columns(), selected);
  } catch (const std::bad_alloc&) {
    return run.OutOfMemory();
  }
  VariantArray& out = *result.AsArray();
  const uint32_t copied =
      std::min<uint32_t>(master->columns(), kLastCopiedColumn + 1);
  uint32_t written = 0;
  for (uint32_t r = 0; r < master_rows; ++r) {
    if (!MatchSelected(ReturnResults, matched[r] != 0)) continue;
    // Copies share strings: nothing here can fail.
    for (uint32_t c = 0; c < copied; ++c) {
      out.cell(c, written) = master->cell(c, r);
    }
    ++written;
  }
  return result;
}

}  // namespace vexlor

#include "vexlor/tables/methods/delete_dupes.h"

#include <algorithm>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vexlor/output/log_file.h"
#include "vexlor/return_results.h"
#include "vexlor/tables/candidates/index_size.h"
#include "vexlor/tables/candidates/ll_hash.h"
#include "vexlor/tables/cell_text.h"
#include "vexlor/tables/methods/batch_run.h"
#include "vexlor/tables/stages/match_progress.h"
#include "vexlor/tables/string_ids.h"
#include "vexlor/tables/table_model.h"
#include "vexlor/text.h"

namespace vexlor {

using platform::ArrayLock;
using platform::Variant;
using platform::VariantArray;

namespace {

constexpr int16_t kKeepFirst = DO_KEEP_FIRST;
constexpr int16_t kKeepLast = DO_KEEP_LAST;
constexpr int16_t kReturnClean = DER_CLEAN;
constexpr int16_t kReturnDeleted = DER_DELETED;
constexpr int kTitle = kStrDeleteDuplicates;
constexpr int kStatusDeleting = kStrDeletingDuplicates;
constexpr size_t kLabelLength = 38;

// What becomes of a row.
enum Fate : uint8_t { kNoGroup, kKeep, kDelete };

// The group key of a row: only a non-empty string cell has one.
bool GroupKey(const VariantArray& table, int64_t column, uint32_t r,
              std::string* key) {
  if (column >= table.columns()) return false;
  const Variant& cell = table.cell(static_cast<uint32_t>(column), r);
  if (!cell.IsString() || cell.AsString().empty()) return false;
  CellText(cell, key);
  return true;
}

}  // namespace

int64_t FindFidColumn(const VariantArray& table) {
  if (table.rows() == 0) return -1;
  for (int64_t c = static_cast<int64_t>(table.columns()) - 1; c >= 0; --c) {
    const Variant& cell = table.cell(static_cast<uint32_t>(c), 0);
    if (!cell.IsString()) continue;
    std::u16string_view text = cell.AsString();
    if (text.size() == kLabelLength && text.front() == u'{' &&
        text.back() == u'}') {
      return c;
    }
  }
  return -1;
}

Variant DeleteDupes(BatchContext& ctx, const Variant& varArray,
                    int32_t FIDColumnIndex, int32_t MaxColumnIndex,
                    int16_t DeleteOrder, int16_t ReturnResults,
                    bool ShowProgress, std::u16string_view LogFilenameDeleted,
                    TextEncoding log_encoding) {
  BatchRun run(ctx);
  VariantArray* input = run.TakeTable(varArray, true);
  if (input == nullptr) return Variant();

  const uint32_t rows = input->rows();
  const int64_t last_column = MaxColumnIndex >= 0
                                  ? int64_t{MaxColumnIndex}
                                  : static_cast<int64_t>(input->columns()) - 1;
  // Columns beyond the table stay Empty.
  const uint32_t copied = static_cast<uint32_t>(
      std::min<int64_t>(last_column + 1, input->columns()));
  Variant result;
  try {
    result =
        CreateResultTable(*input, static_cast<uint32_t>(last_column + 1), rows);
  } catch (const std::bad_alloc&) {
    return run.OutOfMemory();
  }

  // The log exists from here on, even when no row is ever taken.
  CLogFile log;
  std::optional<CsvFormatter> formatter;
  std::string line;
  if (!LogFilenameDeleted.empty()) {
    try {
      const CsvSettings& csv = ctx.csv();
      formatter.emplace(csv.LogFormat(log_encoding));
      if (csv.column_headers) {
        formatter->AppendHeaderLine(last_column, ctx.options().names, &line);
      }
      // Linux file names are bytes, read as UTF-8.
      if (log.Open(platform::Utf16ToUtf8(LogFilenameDeleted)) &&
          csv.column_headers) {
        log.WriteLine(line);
      }
    } catch (const std::bad_alloc&) {
      return run.OutOfMemory();
    }
  }

  const int64_t fid_column =
      FIDColumnIndex >= 0 ? int64_t{FIDColumnIndex} : FindFidColumn(*input);
  if (fid_column < 0) return Variant();

  ProgressSink& progress = run.progress();
  std::string key;

  // Index pass: the rows of every group, in ascending order. Each row's
  // fate follows from its group alone, so it is settled here, group by
  // group, and the decision pass needs neither keys nor lookups.
  std::vector<uint8_t> fate;
  try {
    run.OpenProgress(ShowProgress, kTitle, 0, ProgressWindowKind::kWait);
    fate.assign(rows, kNoGroup);
    IndexSize size = StandardIndexSize(rows > 0 ? rows - 1 : 0);
    auto index = std::make_unique<LLHash>();
    // Growth step 0 keeps the table's default.
    index->Init(size.buckets, size.node_block, 0);
    for (uint32_t r = 0; r < rows; ++r) {
      if (GroupKey(*input, fid_column, r, &key)) index->Add(key, r);
    }
    const bool keep_one = DeleteOrder == kKeepFirst || DeleteOrder == kKeepLast;
    index->ForEach([&](std::string_view, std::span<const uint32_t> group) {
      if (group.size() == 1 || !keep_one) {
        for (uint32_t r : group) fate[r] = kKeep;
        return;
      }
      for (uint32_t r : group) fate[r] = kDelete;
      fate[DeleteOrder == kKeepFirst ? group.front() : group.back()] = kKeep;
    });
  } catch (const std::bad_alloc&) {
    return run.OutOfMemory();
  }

  // Decision pass: rows in order, with the log and the copy.
  VariantArray& out = *result.AsArray();
  uint32_t written = 0;
  run.Guarded([&] {
    ArrayLock result_lock(&out);
    progress.BeginStage(kStatusDeleting, ProgressEvent::kProgress,
                        ProgressFields{});
    const double last_row = static_cast<double>(rows) - 1;
    for (uint32_t r = 0; r < rows; ++r) {
      if (fate[r] != kNoGroup) {
        const bool keep = fate[r] == kKeep;
        if (!keep && log.IsOpen()) {
          line.clear();
          formatter->AppendRowLine(*input, r, last_column, &line);
          log.WriteLine(line);
        }
        if ((keep && ReturnResults == kReturnClean) ||
            (!keep && ReturnResults == kReturnDeleted)) {
          // Copies share strings: nothing here can fail.
          for (uint32_t c = 0; c < copied; ++c) {
            out.cell(c, written) = input->cell(c, r);
          }
          ++written;
        }
      }
      if ((r + 1) % kIndexCadence == 0) {
        progress.Report(r * 100.0 / last_row, ProgressFields{});
      }
      if (progress.IsCanceled()) break;
    }
  });
  // Out of memory or cancelled, the rows decided so far stand.
  log.Close();
  run.CloseProgress();

  if (written == 0) return Variant();
  if (!TrimResultRows(&result, written)) {
    // Rows of Empty cells past the copied ones would read as records.
    return run.OutOfMemory();
  }
  return result;
}

}  // namespace vexlor

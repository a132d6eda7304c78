#include "vexlor/tables/methods/fuzzy_merge.h"

#include <algorithm>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "vexlor/return_results.h"
#include "vexlor/tables/cell_text.h"
#include "vexlor/tables/grouping/label_groups.h"
#include "vexlor/tables/methods/batch_run.h"
#include "vexlor/tables/methods/master_match.h"
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
constexpr MasterMatch::Kind kFuzzyMergeKind{kStrFuzzyMerge, kStrRejected,
                                            kStrMergeData, false, false};

// Appends the import records that resemble nothing to a working table
// after the master rows, and rejects (or groups) the others.
class Merge : public MasterMatch {
 public:
  // `work` has room for every master row followed by every import row,
  // and a column each for the identifiers and the sources after the
  // master's.
  Merge(BatchRun& run, const TablePair& tables, const Call& call,
        const MatchOptions& options, int16_t return_results, VariantArray& work)
      : MasterMatch(run, tables, call, kFuzzyMergeKind, options),
        id_column_(master_.columns()),
        source_column_(id_column_ + 1),
        total_rows_(work.rows()),
        stop_at_first_(return_results == kReturnImport ||
                       return_results == kReturnCleanMerged),
        merge_rejected_(return_results == kReturnAll ||
                        return_results == kReturnDupes),
        work_(work),
        rows_in_use_(shape_.first_rows) {}

  // What StandardIndexSize gets: the last master row index plus the last
  // import row index.
  uint32_t size_for() const { return total_rows_ >= 2 ? total_rows_ - 2 : 0; }

  // The working table cut to the rows in use. False when out of memory
  // (error state set).
  bool CutWork() {
    try {
      if (!work_.ResizeLast(rows_in_use_)) throw std::bad_alloc();
    } catch (const std::bad_alloc&) {
      ctx_.SetOutOfMemoryError();
      return false;
    }
    return true;
  }

  // The import records appended, with the columns both tables have.
  Variant ImportResult() const {
    Variant result;
    try {
      result = CreateResultTable(second_, shape_.common_columns,
                                 static_cast<uint32_t>(appended_.size()));
    } catch (const std::bad_alloc&) {
      return run_.OutOfMemory(Variant::Array(nullptr));
    }
    VariantArray& out = *result.AsArray();
    // Copies share strings: nothing here can fail.
    for (uint32_t k = 0; k < appended_.size(); ++k) {
      for (uint32_t c = 0; c < shape_.common_columns; ++c) {
        out.cell(c, k) = second_.cell(c, appended_[k]);
      }
    }
    return result;
  }

  // Puts the caller's cells and the sources beside the identifiers.
  void FillWork() {
    for (uint32_t r = 0; r < rows_in_use_; ++r) {
      if (r < shape_.first_rows) {
        for (uint32_t c = 0; c < shape_.first_columns; ++c) {
          work_.cell(c, r) = master_.cell(c, r);
        }
        work_.cell(source_column_, r) = Variant::I4(0);
      } else {
        const uint32_t v = appended_[r - shape_.first_rows];
        for (uint32_t c = 0; c < shape_.common_columns; ++c) {
          work_.cell(c, r) = second_.cell(c, v);
        }
        work_.cell(source_column_, r) = Variant::I4(1);
      }
    }
  }

  // The rows that share an identifier, grouped.
  Variant Groups() {
    std::optional<LabelGroups> groups;
    try {
      groups.emplace(size_for(), total_rows_);
    } catch (const std::bad_alloc&) {
      return run_.OutOfMemory();
    }
    try {
      std::string key;
      for (uint32_t r = 0; r < rows_in_use_; ++r) {
        CellText(work_.cell(id_column_, r), &key);
        groups->Add(key, r);
      }
    } catch (const std::bad_alloc&) {
      // The groups of the rows entered so far are still returned.
      ctx_.SetOutOfMemoryError();
    }
    return groups->Copy(ctx_, work_, source_column_ + 1);
  }

 private:
  void NameResultColumns() override {
    NameResultColumn(id_column_, u"FuzzyDupesID");
    NameResultColumn(source_column_, u"Source");
  }

  void CreateIndex() override {
    stages_.CreateIndex(size_for(), total_rows_);
    appended_.reserve(shape_.second_rows);
  }

  // Every master row has an identifier of its own.
  void AfterIndexedRow(uint32_t r) override {
    work_.cell(id_column_, r) = NewId();
  }

  int64_t MatchRecord(uint32_t s, bool* matched) override {
    id_ = NewId();
    const uint32_t masters = shape_.first_rows;
    PairObserver* const observer = options_.pair_observer;
    return stages_.MatchRecord(
        second_, s, rows_in_use_, cluster_threshold_, threshold_,
        [&](uint32_t m, bool reaches) {
          if (!reaches) return true;
          *matched = true;
          if (observer != nullptr) {
            const bool imported = m >= masters;
            observer->OnPair({s, imported ? appended_[m - masters] : m,
                              imported, stages_.Similarity(m)});
          }
          if (stop_at_first_) {
            ++found2_;
            return false;
          }
          Variant& cell = work_.cell(id_column_, m);
          if (cell.IsEmpty() || cell.IsNull() ||
              (cell.IsString() && cell.AsString() != id_.AsString())) {
            cell = id_;
            ++found2_;
          }
          return true;
        });
  }

  // A record that resembles nothing, or that is merged though rejected, is
  // appended and at once a candidate of the records after it.
  void AfterLogged(uint32_t s, bool matched) override {
    if (matched && !merge_rejected_) return;
    const uint32_t row = rows_in_use_++;
    stages_.FileRow(second_, s, row, shape_.common_columns, true);
    work_.cell(id_column_, row) = matched ? id_ : NewId();
    appended_.push_back(s);
  }

  Variant NewId() { return Variant::AnsiString(ctx_.NewGuidString()); }

  const uint32_t id_column_;
  const uint32_t source_column_;
  const uint32_t total_rows_;
  const bool stop_at_first_;
  const bool merge_rejected_;
  VariantArray& work_;
  uint32_t rows_in_use_;
  // The import row of each appended working row, in order.
  std::vector<uint32_t> appended_;
  // The identifier the current record hands out.
  Variant id_;
};

}  // namespace

Variant FuzzyMerge(BatchContext& ctx, const Variant& varArray,
                   const Variant& varImport, int32_t IDColumnIndex,
                   double Threshold, double ClusterThreshold,
                   int16_t ReturnResults, bool ShowProgress,
                   std::u16string_view LogFilenameImported,
                   std::u16string_view LogFilenameRejected,
                   TextEncoding log_encoding, CandidateScan scan,
                   const MatchOptions& options) {
  BatchRun run(ctx);
  const TablePair* tables = run.TakeTables(varArray, varImport);
  if (tables == nullptr) return Variant();
  const VariantArray& master = *tables->first();
  const uint32_t id_column = master.columns();
  const uint64_t all_rows = uint64_t{master.rows()} + tables->second()->rows();

  // Room for every master row followed by every import row.
  Variant work;
  try {
    if (all_rows > std::numeric_limits<uint32_t>::max() ||
        id_column >= std::numeric_limits<uint32_t>::max() - 2) {
      throw std::bad_alloc();
    }
    work = CreateResultTable(master, id_column + 2,
                             static_cast<uint32_t>(all_rows));
  } catch (const std::bad_alloc&) {
    return run.OutOfMemory(Variant::Array(nullptr));
  }
  VariantArray& w = *work.AsArray();
  std::optional<ArrayLock> work_lock(std::in_place, &w);
  Merge merge(run, *tables,
              {Threshold, ClusterThreshold, log_encoding, std::move(scan)},
              options, ReturnResults, w);
  if (!merge.Run(ShowProgress, IDColumnIndex, LogFilenameImported,
                 LogFilenameRejected)) {
    return Variant();
  }
  // The working table holds only the identifiers so far:
  // nothing a caller could use.
  if (ReturnResults < kReturnImport || ReturnResults > kReturnCleanMerged) {
    return Variant();
  }
  work_lock.reset();
  if (!merge.CutWork()) return Variant();
  if (ReturnResults == kReturnImport) return merge.ImportResult();
  merge.FillWork();
  if (ReturnResults != kReturnDupes) return work;
  return merge.Groups();
}

}  // namespace vexlor

#include "vexlor/tables/methods/fuzzy_match.h"

#include <limits>
#include <new>
#include <vector>

#include "vexlor/tables/methods/batch_run.h"
#include "vexlor/tables/methods/master_match.h"
#include "vexlor/tables/stages/match_results.h"
#include "vexlor/tables/table_model.h"
#include "vexlor/variant_array.h"

namespace vexlor {

using platform::Variant;
using platform::VariantArray;

namespace {

constexpr MasterMatch::Kind kFuzzyMatchKind{kMatchTitle, kMatchFoundLabel,
                                            kMatchStatusMatching, true, true};

// Marks every master row with the first (or best) match record that
// reaches the threshold with it.
class Match : public MasterMatch {
 public:
  Match(BatchRun& run, const TablePair& tables, const Call& call,
        const MatchOptions& options)
      : MasterMatch(run, tables, call, kFuzzyMatchKind, options),
        match_column_(master_.columns()),
        best_(options.match == MatchChoice::kBest),
        similarities_(best_ || options.scores ||
                      options.pair_observer != nullptr) {}

  // The master rows selected by `return_results`, each with its mark (and
  // similarity); Empty when none is.
  Variant Result(int16_t return_results) {
    // The result is made at the size of the selection, so it never needs
    // cutting.
    uint32_t selected = 0;
    for (int32_t v : match_of_)
      selected += MatchSelected(return_results, v != 0);
    if (selected == 0) return Variant();
    const uint32_t added = options_.scores ? 2 : 1;
    Variant result;
    try {
      if (match_column_ > std::numeric_limits<uint32_t>::max() - added) {
        throw std::bad_alloc();
      }
      result = CreateResultTable(master_, master_.columns() + added, selected);
    } catch (const std::bad_alloc&) {
      return run_.OutOfMemory(Variant::Array(nullptr));
    }
    VariantArray& out = *result.AsArray();
    uint32_t written = 0;
    for (uint32_t r = 0; r < shape_.first_rows; ++r) {
      if (!MatchSelected(return_results, match_of_[r] != 0)) continue;
      // Copies share strings: nothing here can fail.
      for (uint32_t c = 0; c < shape_.first_columns; ++c) {
        out.cell(c, written) = master_.cell(c, r);
      }
      out.cell(master_.columns(), written) = Variant::I4(match_of_[r]);
      if (options_.scores && match_of_[r] != 0) {
        out.cell(master_.columns() + 1, written) = Variant::R8(score_of_[r]);
      }
      ++written;
    }
    return result;
  }

 private:
  void NameResultColumns() override {
    NameResultColumn(match_column_, u"Match");
    if (options_.scores) NameResultColumn(match_column_ + 1, u"Similarity");
  }

  void CreateIndex() override {
    const uint32_t rows = shape_.first_rows;
    stages_.CreateIndex(rows > 0 ? rows - 1 : 0, rows);
    match_of_.assign(rows, 0);
  }

  void BeforeMatching() override {
    if (best_ || options_.scores) score_of_.assign(shape_.first_rows, 0.0);
  }

  int64_t MatchRecord(uint32_t s, bool* matched) override {
    const int32_t mark = ClampToInt32(int64_t{s} + 1);
    return stages_.MatchRecord(
        second_, s, shape_.first_rows, cluster_threshold_, threshold_,
        [&](uint32_t m, bool reaches) {
          if (!reaches) return true;
          ++found2_;
          *matched = true;
          const double similarity = similarities_ ? stages_.Similarity(m) : 0.0;
          if (options_.pair_observer != nullptr) {
            options_.pair_observer->OnPair({s, m, false, similarity});
          }
          if (match_of_[m] == 0 || (best_ && similarity > score_of_[m])) {
            match_of_[m] = mark;
            if (!score_of_.empty()) score_of_[m] = similarity;
          }
          return true;
        });
  }

  const int64_t match_column_;
  const bool best_;
  const bool similarities_;
  // Per master row: the row number plus one of its match record, 0 for
  // none, and the similarity of that record.
  std::vector<int32_t> match_of_;
  std::vector<double> score_of_;
};

}  // namespace

Variant FuzzyMatch(BatchContext& ctx, const Variant& varArray,
                   const Variant& varMatch, int32_t IDColumnIndex,
                   double Threshold, double ClusterThreshold,
                   int16_t ReturnResults, bool ShowProgress,
                   std::u16string_view LogFilenamePositive,
                   std::u16string_view LogFilenameNegative,
                   TextEncoding log_encoding, CandidateScan scan,
                   const MatchOptions& options) {
  BatchRun run(ctx);
  const TablePair* tables = run.TakeTables(varArray, varMatch);
  if (tables == nullptr) return Variant();
  Match match(run, *tables,
              {Threshold, ClusterThreshold, log_encoding, std::move(scan)},
              options);
  if (!match.Run(ShowProgress, IDColumnIndex, LogFilenamePositive,
                 LogFilenameNegative)) {
    return Variant();
  }
  return match.Result(ReturnResults);
}

}  // namespace vexlor

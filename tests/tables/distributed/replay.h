// Labelling from found words, as the Python layer and `vexlor dupes
// --workers` do through the control's members: the methods themselves with
// MatchOptions::found_pairs. Kept for the tests, which call the methods
// without a control.
#ifndef VEXLOR_TESTS_TABLES_DISTRIBUTED_REPLAY_H_
#define VEXLOR_TESTS_TABLES_DISTRIBUTED_REPLAY_H_

#include <cstdint>
#include <string_view>

#include "vexlor/match_options.h"
#include "vexlor/output/csv_format.h"
#include "vexlor/tables/batch_context.h"
#include "vexlor/tables/distributed/found_pairs.h"
#include "vexlor/tables/methods/dupe_search.h"
#include "vexlor/tables/methods/fuzzy_match.h"
#include "vexlor/variant.h"

namespace vexlor::testing {

// DupeSearch labelling from `found`, the words of every range concatenated
// in record order. The model's estimation matches sampled records of its
// own, which the words do not follow, so Scoring=Estimated runs unreplayed.
inline platform::Variant ReplayDupeSearch(
    BatchContext& ctx, const platform::Variant& table, int32_t id_column,
    double threshold, double cluster_threshold, int16_t return_results,
    bool show_progress, const MatchOptions& options, FoundPairs& found) {
  MatchOptions replay = options;
  if (options.scoring != Scoring::kEstimated) replay.found_pairs = &found;
  found.missed = false;
  return DupeSearch(ctx, table, id_column, threshold, cluster_threshold,
                    return_results, show_progress, CandidateScan{}, replay);
}

// FuzzyMatch labelling from the words of every range of `second` in order.
inline platform::Variant ReplayFuzzyMatch(
    BatchContext& ctx, const platform::Variant& master,
    const platform::Variant& second, int32_t id_column, double threshold,
    double cluster_threshold, int16_t return_results, bool show_progress,
    std::u16string_view log_positive, std::u16string_view log_negative,
    TextEncoding log_encoding, const MatchOptions& options, FoundPairs& found) {
  MatchOptions replay = options;
  if (options.scoring != Scoring::kEstimated) replay.found_pairs = &found;
  found.missed = false;
  return FuzzyMatch(ctx, master, second, id_column, threshold,
                    cluster_threshold, return_results, show_progress,
                    log_positive, log_negative, log_encoding, CandidateScan{},
                    replay);
}

}  // namespace vexlor::testing

#endif  // VEXLOR_TESTS_TABLES_DISTRIBUTED_REPLAY_H_

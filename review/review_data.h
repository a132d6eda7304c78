// What the review page shows: the groups of a duplicate search with their
// records and the similarities of the pairs inside them, or the matches of
// `vexlor match`, each MASTER record with the FILE records paired with it.
// Taken from the output of `dupes` / `match` with its --pairs file (and its
// --explain file for per-column evidence), or from a search run here with
// the options of `dupes` (one FILE) or `match` (MASTER and FILE).
#ifndef VEXLOR_REVIEW_REVIEW_DATA_H_
#define VEXLOR_REVIEW_REVIEW_DATA_H_

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "cli/arguments.h"
#include "cli/command.h"
#include "cli/table_io.h"
#include "review/review_decisions.h"

namespace vexlor::cli {

// Groups: rows from 1 of one group, a < b. Match: a MASTER row, b a FILE
// row.
struct ReviewPair {
  uint32_t a, b;
  double similarity;
};

// Estimated scoring's evidence: per pair, each model column's level and
// match weight.
struct ReviewEvidence {
  std::vector<std::string> columns;
  std::unordered_map<uint64_t, size_t> index_of;  // (a << 32 | b) -> slot
  std::vector<std::string> levels;                // columns.size() a slot
  std::vector<double> weights;
};

struct ReviewData {
  InputTable input;   // the table of groups, or the MASTER of a match
  InputTable second;  // a match's FILE, its columns lined up with input's
  double threshold = 80;
  std::vector<uint32_t> shown_columns;  // all but labels and match columns
  int id_column = -1;                   // the --id-column, if any
  ReviewState state;                    // kind, rows and groups
  std::vector<ReviewPair> pairs;        // ordered by (a, b), each once
  ReviewEvidence evidence;              // empty without estimated scoring
  // Similarities are match probabilities (estimated scoring), so pairs
  // can be uncertain (FsUncertain).
  bool probabilities = false;
  // By OrderGroups: the groups in the order shown (indexes into
  // state.groups), each group's pairs (indexes into pairs) and the
  // similarity down to which its pairs tie it together (0: never).
  std::vector<uint32_t> order;
  std::vector<std::vector<uint32_t>> group_pairs;
  std::vector<double> holds;
  std::vector<uint32_t> uncertain;  // per group, its uncertain pairs
};

// The options of `vexlor review`: those of `dupes` and `match`, --pairs
// and --explain naming the files of an earlier search to read,
// --fid-column and --decisions.
std::vector<OptionSpec> ReviewSpecs();

// Reads the positional files. One FILE: a review of groups; with --pairs,
// FILE is a result of `dupes` whose label column (--fid-column, else
// FuzzyDupesID) makes the groups. Two, MASTER and FILE: a review of
// matches; with --pairs, MASTER is a result of `match` (its Match column
// names the FILE rows). The ids of --pairs and --explain files are
// --id-column cells, else row numbers. Without --pairs the search runs
// here. Ends with OrderGroups. False after printing the message, with
// *status set.
bool LoadReviewData(const Arguments& args, Io io, ReviewData* data,
                    int* status);

// Fills order, group_pairs, holds and uncertain: groups with uncertain
// pairs first, then the largest, then the least certain (lowest holds),
// then by key. Cost: sorting each group's pairs.
void OrderGroups(ReviewData* data);

// What the page needs first: {"file", "kind", "threshold", "columns",
// "id_column" (index among columns or -1), "evidence": [column names],
// "histogram": {"low", "counts"} (pairs per whole percent from low to 100),
// "probabilities" (similarities are match probabilities), "uncertain" (the
// uncertain pairs in all), "groups": [[key, records, holds, pairs,
// uncertain pairs], ...] in the order shown}.
std::string ReviewSummaryJson(const ReviewData& data);

// The groups shown at positions [from, to): [{"records": [[row, cell,
// ...], ...], "pairs": [[a, b, similarity], ...], "evidence": [[level,
// weight, ...] per pair]}, ...]. A match group's first record is the
// MASTER's, the next the matched FILE record; FILE rows are negative, so
// that they never meet MASTER rows. Cost: the cells of those groups.
std::string ReviewGroupsJson(const ReviewData& data, size_t from, size_t to);

// Every group's rows and pairs in the order shown, for recounting groups
// at another threshold: [[[row, ...], [[a, b, similarity], ...]], ...].
std::string ReviewPairsJson(const ReviewData& data);

}  // namespace vexlor::cli

#endif  // VEXLOR_REVIEW_REVIEW_DATA_H_

// What the review page shows: the groups of a duplicate search with their
// records and the similarities of the pairs inside them. Taken from the
// output of `vexlor dupes` with its --pairs file, or from a search run here
// with the options of `dupes`.
#ifndef VEXLOR_CLI_REVIEW_DATA_H_
#define VEXLOR_CLI_REVIEW_DATA_H_

#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/command.h"
#include "cli/review_decisions.h"
#include "cli/table_io.h"

namespace vexlor::cli {

struct ReviewPair {
  uint32_t a, b;  // rows from 1 of one group, a < b
  double similarity;
};

struct ReviewData {
  InputTable input;
  double threshold = 80;
  std::vector<uint32_t> shown_columns;  // all but the label column
  int id_column = -1;                   // the --id-column, if any
  ReviewState state;                    // rows and groups, no decisions
  std::vector<ReviewPair> pairs;        // ordered by (a, b), each once
};

// The options of `vexlor review`: those of `dupes`, --pairs naming the
// pairs file to read, --fid-column and --decisions.
std::vector<OptionSpec> ReviewSpecs();

// Reads FILE (positional 0). With --pairs, FILE is a result of `dupes`:
// its label column (--fid-column, else FuzzyDupesID) makes the groups, and
// the pairs file's ids are --id-column cells, else row numbers. Without,
// the search runs here as `dupes` would run it. False after printing the
// message, with *status set.
bool LoadReviewData(const Arguments& args, Io io, ReviewData* data,
                    int* status);

// The page's data as JSON: {"file", "threshold", "columns": [names],
// "id_column": its index among them or -1,
// "groups": [[[row, cell, ...], ...], ...], "pairs": [[a, b, similarity],
// ...]}, groups in the order of `state.groups`. Cost: one pass over the
// grouped rows' cells.
std::string ReviewDataJson(const ReviewData& data);

}  // namespace vexlor::cli

#endif  // VEXLOR_CLI_REVIEW_DATA_H_

// The command line's side of the settings the fuzzy batch methods read from
// their Options text (include/vexlor/match_options.h): flags that make the
// settings, the pairs file (--pairs), and what the commands add to a
// result for people to review it: label numbers, group sizes, matched ids.
#ifndef VEXLOR_CLI_GROUP_SETTINGS_H_
#define VEXLOR_CLI_GROUP_SETTINGS_H_

#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/table_io.h"
#include "vexlor/match_options.h"
#include "vexlor/variant.h"

namespace vexlor::cli {

// The flags of a command whose batch method is `reader`: for all three
// --candidates; for DupeSearch --grouping, --member-threshold, --swap,
// --scores, --pairs, --labels, --group-size; for FuzzyMatch --swap,
// --match, --scores, --pairs, --match-id; for FuzzyMerge --swap and --pairs.
std::vector<OptionSpec> SettingSpecs(OptionsReader reader);

// Checks the values of those flags before any file is read; false with a
// message (a usage error) for a value not of the flag's form, or for
// --match-id without --id-column.
bool CheckSettings(const Arguments& args, std::string* error);

// The settings the flags ask for, the --swap columns found in `table` by
// header name or index. False with a message for a column the table does
// not have (bad input).
bool ReadSettings(const Arguments& args, const InputTable& table,
                  OptionsReader reader, MatchOptions* options,
                  std::string* error);

// Collects the pairs of a run for --pairs and writes them as CSV.
class PairRecorder : public PairObserver {
 public:
  void OnPair(const MatchedPair& pair) override { pairs_.push_back(pair); }

  // Scores are match probabilities (Scoring=Estimated): the file gets an
  // "uncertain" column and UncertainPairs counts.
  void set_probabilities(bool probabilities) { probabilities_ = probabilities; }
  bool probabilities() const { return probabilities_; }

  // Writes one line per pair, in the order found, to the --pairs file with
  // the output's delimiter and encoding: the record's id (its --id-column
  // cell, else its row number from 1) in `records`, the other's in
  // `others` (or, for a merge's imported other, in `records`), for a merge
  // the other's source (0 MASTER, 1 IMPORT), the similarity and, with
  // probabilities, 1 for an uncertain pair (FsUncertain), else 0. Does
  // nothing without --pairs. False with a message on a failed write.
  bool Write(const Arguments& args, const InputTable& records,
             const InputTable& others, int id_column, bool merge,
             std::string* error) const;

  // The pairs whose match probability leaves them in doubt; 0 when the
  // scores are no probabilities.
  size_t UncertainPairs() const;

 private:
  std::vector<MatchedPair> pairs_;
  bool probabilities_ = false;
};

// ", N uncertain pairs (match probability 0.2 to 0.8)" for the summary
// line when the recorder's scores are probabilities, else "".
std::string UncertainSummary(const PairRecorder& pairs);

// Shapes the DRR_ALL result of `dupes` as the flags ask: --labels number
// replaces each label by its number (1, 2, ... in order of first
// appearance); --group-size appends a GroupSize column; `groups_only`
// keeps the rows of shared labels, group after group in order of their
// first row, each in input order. `names` gets the added column's name.
void ShapeDupes(const Arguments& args, int label_column, bool groups_only,
                platform::Variant* result, std::vector<std::u16string>* names);

// With --match-id, appends to a `match` result a MatchID column: the
// --id-column cell of the FILE row in the Match column `match_column`,
// Empty for none (CheckSettings makes sure there is an --id-column).
void AddMatchIds(const Arguments& args, const InputTable& file, int id_column,
                 int match_column, platform::Variant* result,
                 std::vector<std::u16string>* names);

}  // namespace vexlor::cli

#endif  // VEXLOR_CLI_GROUP_SETTINGS_H_

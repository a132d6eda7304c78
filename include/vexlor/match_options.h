// The settings that the fuzzy batch methods read from their Options text,
// and the pair observer that C++ callers can hand them besides.
//
// The text is a list of settings `Name=Value` separated by ';'. Blanks
// around names and values are ignored, and names and values are compared
// without regard to letter case; a later setting of a name replaces an
// earlier one. The methods never fail because of the text: a name they do
// not read, or a value not of the name's form, is skipped, so that an empty
// text (or one without these names) leaves every result as it has always
// been. Layers that talk to people (the command line, Python) ask the
// parser for what it skipped and refuse it instead.
//
//   Grouping=Chain|Center|Clique   DupeSearch: how labels form groups
//   MemberThreshold=N              DupeSearch, Clique: the least similarity
//                                  of a joining record with each member
//   Swap=A,B                       all three: also compare the texts of
//                                  columns A and B exchanged
//   Match=First|Best               FuzzyMatch: which record a master row
//                                  keeps
//   Scores=0|1                     DupeSearch, FuzzyMatch: a "Similarity"
//                                  column after the label or Match column
//   Scoring=Mean|Estimated         all three: a pair's score is the weighted
//                                  mean of its field similarities, or the
//                                  match probability of a model estimated
//                                  from the data (fs_model.h)
//   Candidates=Exact|Bounded       all three: which rows a record is
//                                  compared with (candidate_rule.h)
//
// Ownership: MatchOptions is a value; the observer, the model and the found
// pairs it points to are the caller's and must outlive the batch call that
// reads them. Errors: parsing never fails (see above). Threads: the
// observer is called on the thread of the batch call, in record order.
#ifndef VEXLOR_MATCH_OPTIONS_H_
#define VEXLOR_MATCH_OPTIONS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vexlor/candidate_rule.h"

namespace vexlor {

// How the duplicate search turns matching pairs into groups.
enum class Grouping {
  // A record takes its matches into its group, and joins the group of a
  // match that already has one: labels are handed on along chains.
  kChain,
  // A record that already has a group searches nothing; one that has none
  // opens a group and takes in its matches that have none.
  kCenter,
  // A record's match that has no group joins the record's group only if it
  // also matches every other member.
  kClique,
};

class FsModel;
struct FoundPairs;

// What a record pair's score, the one compared with Threshold, is.
enum class Scoring {
  // The weighted mean of the field similarities.
  kMean,
  // The match probability in percent under a Fellegi–Sunter model that is
  // estimated from the table (or given by a C++ caller).
  kEstimated,
};

// Which record of the second table a master row keeps in the fuzzy match.
enum class MatchChoice { kFirst, kBest };

// The method whose Options text is read: each reads only its own names.
enum class OptionsReader { kDupeSearch, kFuzzyMatch, kFuzzyMerge };

// One pair of records whose similarity reached Threshold, as the method
// compared it. Rows are 0-based offsets into the tables.
struct MatchedPair {
  // The record whose turn it was: a row of the table searched
  // (DupeSearch) or of the second table (FuzzyMatch, FuzzyMerge).
  uint32_t record;
  // The row it was compared with: of the same table (DupeSearch), of the
  // master table, or, in FuzzyMerge when `other_imported`, of the import
  // table (a record merged before).
  uint32_t other;
  bool other_imported;
  // The similarity in percent (the larger of both ways with Swap).
  double similarity;
};

// Receives every pair that reached Threshold while a batch method runs, in
// the order of comparison; a pair compared from both sides comes twice. It
// runs inside the method's loop, so it should be quick and must not call
// back into the control.
class PairObserver {
 public:
  virtual ~PairObserver() = default;
  virtual void OnPair(const MatchedPair& pair) = 0;
};

// Chained groups grow by one pair at a time, so past some fifty records a
// group has most likely joined different entities (a household, namesakes)
// rather than found one entity's copies: the faces then point to the
// setting advised for large tables, kAdvisedLargeTableOptions (id, first
// name, last name in columns 0, 1, 2).
inline constexpr size_t kLargeChainedGroup = 50;
inline constexpr char kAdvisedLargeTableOptions[] =
    "Grouping=Clique;Scoring=Estimated;Swap=1,2";

struct MatchOptions {
  Grouping grouping = Grouping::kChain;
  // Unset: Threshold.
  std::optional<double> member_threshold;
  // Column indexes, or -1 for no swap.
  int swap_first = -1;
  int swap_second = -1;
  MatchChoice match = MatchChoice::kFirst;
  bool scores = false;
  Scoring scoring = Scoring::kMean;
  CandidateRule candidates = CandidateRule::kExact;
  // Set by C++ callers only, never by the text; not owned.
  PairObserver* pair_observer = nullptr;
  // DupeSearch and FuzzyMatch, set by C++ callers only: the candidates and
  // verdicts of the records as other processes found them (found_pairs.h). Not
  // owned.
  FoundPairs* found_pairs = nullptr;
  // With kEstimated: the model to score with instead of estimating one.
  const FsModel* model = nullptr;
  // With kEstimated: receives the model that scored (estimated or given).
  FsModel* model_out = nullptr;

  bool HasSwap() const { return swap_first >= 0 && swap_second >= 0; }
};

// Returns the settings of `text` that `reader` reads. When `skipped` is
// given, every setting that was not taken gets one line there (UTF-8) that
// says why: an unknown name, a name that this method does not read, or a
// value not of the name's form. Values: Scoring mean or estimated; Grouping
// chain, center or clique;
// MemberThreshold a finite decimal number; Swap two different column
// indexes 0 to 399 separated by ','; Match first or best; Scores 0 or 1;
// Candidates exact or bounded.
// Empty settings (";;") are not reported. Cost: linear in the text.
MatchOptions ParseMatchOptions(std::u16string_view text, OptionsReader reader,
                               std::vector<std::string>* skipped = nullptr);

}  // namespace vexlor

#endif  // VEXLOR_MATCH_OPTIONS_H_

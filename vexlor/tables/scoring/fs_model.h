// Scores estimated from the data: a Fellegi–Sunter model of record pairs.
//
// Each compared column's pair of texts falls into a comparison level that
// suits what the column holds (fs_column_kind.h). Names and free text:
//   equal    the texts are the same bytes
//   >=92     gestalt similarity of at least 92 percent
//   >=80     at least 80
//   >=60     at least 60
//   initial  below 60, and one text is initials only (`K.`, `H.-P.`) that
//            begin words of the other, in order (`KATRIN`, `HANS-PETER`)
//   lower    below 60 otherwise
//   missing  either text is empty: the column says nothing about the pair
// Codes: equal, one edit, unequal; numbers and dates: equal, near, unequal
// (in the slots of equal, >=92 and lower). A column of Weight above 1 is
// compared exactly and has only the levels equal, unequal and missing.
//
// For each column and level the model holds m, the chance of the level
// among pairs of the same entity, and u, its chance among pairs of
// different entities; the match weight of a level is log2(m / u) (0 for
// missing). The weight of `equal` is adjusted by how common the shared value
// is in the column (fs_term_frequencies.h): agreeing on a rare surname says
// more than agreeing on "Smith". With the prior p, the chance that a
// candidate pair is a match before its columns are looked at, a pair's score
// is the match probability in percent: 100 / (1 + 2^-(log2(p / (1 - p)) +
// sum of the weights of its levels)). Scores are symmetric: each column's
// similarity is taken with its two texts in byte order.
//
// Estimation (FitFsModel): u is counted from pairs drawn by a fixed rule
// (see FsRandomPair), each level's count plus one half over the non-missing
// total plus one half per level, so no u is 0. m and the prior come from
// expectation maximisation over the level patterns of the candidate pairs,
// which are the pairs that get scored; u is re-estimated there too, starting
// from the drawn pairs, because candidates share trigrams and their
// non-matches agree far more often than drawn pairs do (with u held at the
// drawn pairs' values the fit takes nearly every candidate for a match).
// The first round counts as matches the patterns that look alike: their
// levels' typical similarities (equal 100, >=92 96, >=80 86, >=60 70,
// initial 50, lower 30) average 80 or more, so the fit begins where the
// weighted mean stands and stays in the mode that separates entities. It
// stops after 200 rounds or once no m, u and no prior moves by more than
// 1e-9. Every m, u and the prior are clamped to [1e-6, 1 - 1e-6], so weights
// stay finite and no score is NaN. Degenerate data: without candidate pairs
// m and the prior keep their start (u: from the drawn pairs); without drawn
// pairs (fewer than two records) u starts uniform over the column's
// non-missing levels; a column that is missing in every candidate pair of a
// class keeps its start there; with every value missing every score is the
// prior.
//
// Related entities. Model files of version 1 may hold a third class,
// related pairs (prior q, per level r), scored as the match probability
// among the three: 100 * p M / (p M + q R + (1 - p - q) U), M, R and U the
// products of the levels' m, r and u. Such files still score as they did;
// FitFsModel fits two classes only (households are told apart by the
// term-frequency-adjusted first names instead).
#ifndef VEXLOR_TABLES_SCORING_FS_MODEL_H_
#define VEXLOR_TABLES_SCORING_FS_MODEL_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "vexlor/records/field_coll.h"
#include "vexlor/tables/column_options.h"
#include "vexlor/tables/scoring/fs_column_kind.h"
#include "vexlor/tables/scoring/fs_term_frequencies.h"
#include "vexlor/tables/scoring/pair_scorer.h"

namespace vexlor {

enum FsLevel : uint8_t {
  kFsEqual = 0,
  kFsAbove92 = 1,
  kFsAbove80 = 2,
  kFsAbove60 = 3,
  kFsInitial = 4,
  kFsLower = 5,  // "unequal" for exact columns
  kFsMissing = 6,
};
inline constexpr int kFsLevels = 7;

// The level of a pair of texts of a text column (exact: of Weight above
// 1). Symmetric in a and b.
FsLevel FsLevelOf(std::string_view a, std::string_view b, bool exact);

// The name of a level in the model file: "equal", ">=92", ">=80", ">=60",
// "initial", "lower" ("unequal" when exact), "missing".
const char* FsLevelName(int level, bool exact);

struct FsColumn {
  int column = 0;               // index in the table, 0 to 399
  bool exact = false;           // Weight above 1: equal or unequal
  FsKind kind = FsKind::kText;  // what it holds, when not exact
  std::string name;             // UTF-8, for people; may be empty
  std::array<double, kFsLevels> m{};
  std::array<double, kFsLevels> u{};
  std::array<double, kFsLevels> r{};  // read only when the model's related > 0
  FsTermFrequencies frequencies;      // empty: no adjustment

  // The level of a pair of its texts. Symmetric in a and b.
  FsLevel LevelOf(std::string_view a, std::string_view b) const;
  // Whether the column's comparison can give `level` (never missing).
  bool Uses(int level) const;
  // The level's name in the model file and the explanation: equal, >=92,
  // >=80, >=60, initial, lower; one edit or near; unequal; missing.
  const char* LevelName(int level) const;
  // log2(m / u) of `level`; 0 for missing.
  double Weight(int level) const;
  // Weight(level), for equal adjusted by how common `value` is.
  double WeightOf(int level, std::string_view value) const {
    return level == kFsEqual ? Weight(level) + frequencies.Adjustment(value)
                             : Weight(level);
  }
  // log2(r / u) of `level`; 0 for missing.
  double RelatedWeight(int level) const;
};

class FsModel {
 public:
  double prior = 0.1;
  double related = 0.0;  // q: the prior of related pairs; 0 for two classes
  std::vector<FsColumn> columns;  // ascending column index, each once

  // Must be called after `columns` or any m, u changed: builds the lookup
  // by column and the table of weights that scoring reads.
  void Index();

  // The slot of column `column` in `columns`, or -1.
  int SlotOf(int column) const {
    return column >= 0 && column < kMaxColumns ? slot_of_[column] : -1;
  }

  // The level of each model column for the pair in `fields` (kFsMissing
  // where the column is not compared: flag off, above max_column or above
  // the list). `levels` has columns.size() entries. No allocation for
  // texts of up to 64 bytes on one side (gestalt_similarity.h).
  void Levels(const FieldColl& fields, int max_column, const bool* dupe_search,
              uint8_t* levels) const;

  // The match probability in percent of a level pattern, without the
  // term-frequency adjustment (which needs the texts).
  double ScoreOfLevels(const uint8_t* levels) const;

  // Levels, then ScoreOfLevels, without a buffer.
  double Score(const FieldColl& fields, int max_column,
               const bool* dupe_search) const;

  // Score(...) >= threshold, the same verdict, but it stops comparing texts
  // once the columns left cannot lift the score to `threshold` even at
  // their best levels. Columns are compared in the order of their weights'
  // span (widest first), which ends most non-matches early.
  bool Reaches(const FieldColl& fields, int max_column, const bool* dupe_search,
               double threshold) const;

  // The model as JSON, version 2: prior (and related, when above 0), then
  // per column its index, name, comparison ("gestalt", "code", "number",
  // "date" or "exact"), per level m, u (r) and weight, and the frequencies
  // of its commonest values. Numbers are the shortest texts that read back
  // to the same doubles.
  std::string ToJson() const;

 private:
  std::array<int, kMaxColumns> slot_of_{};
  // The score from the two sums of weights of a pair's levels.
  double ScoreOfSums(double weights, double related_weights) const;

  // The weight of slot i's pair of texts.
  double WeightOfPair(size_t i, std::string_view a, std::string_view b,
                      int* level) const;

  // weights_[i][level]: columns[i].Weight(level), related_weights_ the
  // RelatedWeight, so that scoring a pair takes no logarithm.
  std::vector<std::array<double, kFsLevels>> weights_;
  std::vector<std::array<double, kFsLevels>> related_weights_;
  // Reaches: the slots by their weights' span, widest first, and per
  // position in that order the sum of the best weights from there on.
  std::vector<int> order_;
  std::vector<double> best_after_;
};

// Reads what ToJson wrote (the weights are recomputed, not read), and the
// files of version 1 (no "version": text and exact columns, no
// frequencies, perhaps a related class). Returns false with a one-line
// reason in *error for text that is not such a model (bad JSON, a
// probability outside (0, 1], a column out of range or twice, a version
// this build does not know).
bool ParseFsModelJson(std::string_view text, FsModel* model,
                      std::string* error);

// Scores with a model that outlives it. Stateless: safe on any thread.
class FsModelScorer : public PairScorer {
 public:
  explicit FsModelScorer(const FsModel& model) : model_(model) {}
  double Score(const FieldColl& fields, int max_column,
               const bool* dupe_search) override {
    return model_.Score(fields, max_column, dupe_search);
  }
  bool Reaches(const FieldColl& fields, int max_column, const bool* dupe_search,
               double threshold) override {
    return model_.Reaches(fields, max_column, dupe_search, threshold);
  }
  bool SafeOnAnyThread() const override { return true; }

 private:
  const FsModel& model_;
};

// How often each level pattern (one level per model column) was seen.
class FsPatternCounts {
 public:
  explicit FsPatternCounts(size_t columns) : key_(columns, 0) {}
  // Counts the pattern `levels` once. Allocates only for a new pattern.
  void Add(const uint8_t* levels);
  // The patterns in byte order of their levels, with their counts.
  std::vector<std::pair<std::string, uint64_t>> Sorted() const;
  uint64_t total() const { return total_; }

 private:
  std::string key_;
  std::unordered_map<std::string, uint64_t> counts_;
  uint64_t total_ = 0;
};

// A scorer that only counts the level patterns of the pairs it is asked
// about, under the columns of `model`, and scores each 0. Not for use on
// more than one thread.
// With two swap columns set, a pair whose two columns compare better
// exchanged (FsSwapIsBetter) is counted with its exchanged levels, as the
// swap would score it.
class FsLevelCollector : public PairScorer {
 public:
  FsLevelCollector(const FsModel& model, FsPatternCounts* counts)
      : model_(model), counts_(counts), levels_(model.columns.size()) {}
  double Score(const FieldColl& fields, int max_column,
               const bool* dupe_search) override;
  void set_counts(FsPatternCounts* counts) { counts_ = counts; }
  // Columns (table indexes) whose texts may be exchanged; -1 for none.
  void set_swap(int first, int second) {
    swap_first_ = first;
    swap_second_ = second;
  }

 private:
  const FsModel& model_;
  FsPatternCounts* counts_;
  std::vector<uint8_t> levels_;
  int swap_first_ = -1;
  int swap_second_ = -1;
};

// Whether the levels (swapped_a, swapped_b) of two columns compared with
// their texts exchanged beat the straight levels (a, b): by the mean of the
// levels' typical similarities (equal 100, >=92 96, >=80 86, >=60 70,
// initial 50, lower 30, missing 50), as the weighted mean would choose.
bool FsSwapIsBetter(int a, int b, int swapped_a, int swapped_b);

// Whether a score of Scoring=Estimated (a match probability in percent)
// leaves the pair in doubt: between 20 and 80, both included. These are the
// pairs worth a person's look; the rest the model is sure about.
inline bool FsUncertain(double score) { return score >= 20 && score <= 80; }

// The j-th drawn pair of a table of n records (n >= 2): record j mod n with
// record (j x 1000003 + 7) mod n, the second moved on by one when both are
// the same. Used for j = 0 to FsRandomPairCount(n) - 1.
std::pair<uint32_t, uint32_t> FsRandomPair(uint64_t j, uint32_t n);
uint64_t FsRandomPairCount(uint32_t n);

// Fills m, u and the prior of `model`, whose columns (index, exact, kind,
// name, frequencies) are set, from the patterns of the drawn pairs and of
// the candidate pairs (header comment). Cost: O(rounds x patterns x columns).
void FitFsModel(const FsPatternCounts& drawn, const FsPatternCounts& candidates,
                FsModel* model);

}  // namespace vexlor

#endif  // VEXLOR_TABLES_SCORING_FS_MODEL_H_

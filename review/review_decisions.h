// What a person decided while reviewing groups of records: kept in a JSON
// file next to the input, so that a review can stop and resume without
// losing anything, and turned into labels by `vexlor apply`.
//
// Rows are numbered from 1 in input order. A group is named by its first
// row (its key). A decision may accept a group, split rows off it (each
// split row then stands alone) and merge what is left of it into another
// group; merges follow one another (A into B, B into C puts A in C).
//
// A review of `match` output has other groups: each is a MASTER row and
// the FILE row its Match column names; a decision accepts or rejects that
// match and neither splits nor merges.
#ifndef VEXLOR_REVIEW_REVIEW_DECISIONS_H_
#define VEXLOR_REVIEW_REVIEW_DECISIONS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vexlor::cli {

enum class ReviewKind { kGroups, kMatch };

struct GroupDecision {
  uint32_t group = 0;           // the key of the group decided on
  bool reviewed = false;        // a person has looked at it
  bool reject = false;          // a match review's match is wrong
  std::vector<uint32_t> split;  // rows that leave the group, ascending
  uint32_t merge_into = 0;      // the key of another group, or 0
};

struct ReviewState {
  ReviewKind kind = ReviewKind::kGroups;
  uint32_t rows = 0;        // data rows of the table (the MASTER's)
  uint32_t other_rows = 0;  // a match review's FILE rows
  // Groups of two rows or more, each ascending, ordered by first row; in a
  // match review {MASTER row, FILE row}, ordered by MASTER row.
  std::vector<std::vector<uint32_t>> groups;
  // At most one per group, ordered by key.
  std::vector<GroupDecision> decisions;
};

// The file's JSON text: {"format": "vexlor-review", "version": 2, "kind":
// "groups", "rows": N, "groups": [[1, 4], ...], "decisions": [{"group": 1,
// "reviewed": true, "split": [4], "merge_into": 0}, ...]}. A match review
// has "kind": "match", "other_rows" and decisions {"group", "reviewed",
// "reject"}. Version 1 files (groups, no "kind") still read.
std::string ReviewStateJson(const ReviewState& state);

// Only the decisions: {"decisions": [...]}, as the page reads them back.
std::string DecisionListJson(const ReviewState& state);

// Reads and checks a whole file's text (CheckReviewState). False with a
// message for malformed JSON or a state that does not hold together.
bool ParseReviewState(std::string_view text, ReviewState* state,
                      std::string* error);

// Reads a decisions list ({"decisions": [...]}, as the page sends it) for
// the groups of `state`, replacing its decisions when it checks out.
bool ParseDecisions(std::string_view text, ReviewState* state,
                    std::string* error);

// Checks that rows lie in 1..rows and belong to one group at most, groups
// are ordered and hold two rows or more, and every decision names a group,
// splits rows of that group only and merges into another group without a
// cycle. False with a message naming the first fault.
bool CheckReviewState(const ReviewState& state, std::string* error);

// Each row's reviewed group number (1, 2, ... in order of first
// appearance) for a checked state; `final_keys`, when given, gets each
// row's group after merges as the key of the group it ends in (0 for a row
// alone or split off). Cost: linear in rows and decisions.
std::vector<int32_t> ReviewedGroupNumbers(
    const ReviewState& state, std::vector<uint32_t>* final_keys = nullptr);

// Reads / writes a decisions file; writing goes through a temporary file in
// the same folder and a rename, so a crash leaves the old file or the new
// one, never part of one.
bool ReadReviewState(const std::string& path, ReviewState* state,
                     std::string* error);
bool WriteReviewState(const std::string& path, const ReviewState& state,
                      std::string* error);

}  // namespace vexlor::cli

#endif  // VEXLOR_REVIEW_REVIEW_DECISIONS_H_

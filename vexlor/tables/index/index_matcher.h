// The search side of a persisted index: the stored records in comparison
// form with their trigram index, and their groups, in memory; a call's
// records searched against them and against the call's records before them,
// each placed in a group by the index's grouping rule.
//
// A record's matches are the stored records and earlier records of the call
// that reach Threshold, found by the candidate search and scoring of the
// duplicate search (match_stages.h) with the index's settings, so that a
// search asks what a batch run would. The stored groups never change: a
// record joins one or opens its own.
//   Chain:  the group of its last match in record order, which is the label
//           a record placed last in a batch run ends with.
//   Center: the group of its first match that opened its group (a center),
//           as the first center to reach a record claims it in a batch run.
//   Clique: the group of its first match whose every member it reaches with
//           MemberThreshold (members it has no candidate pair with miss).
// A record with no match opens a group.
//
// Not thread-safe: one call at a time.
#ifndef VEXLOR_TABLES_INDEX_INDEX_MATCHER_H_
#define VEXLOR_TABLES_INDEX_INDEX_MATCHER_H_

#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <vector>

#include "vexlor/tables/index/index_settings.h"
#include "vexlor/tables/index/index_store.h"
#include "vexlor/variant_array.h"

namespace vexlor {

inline constexpr uint32_t kNoGroup = std::numeric_limits<uint32_t>::max();

// A record a searched one reached Threshold with: a stored record's number,
// or rows() + i for the call's i-th record.
struct IndexMatch {
  uint32_t row;
  double similarity;
};

// Where a searched record goes: an existing group, or a new one (numbered
// groups() and on, in the order the call opens them), with the similarity
// of the match that placed it (NaN when it opens a group), and its matches
// best first in answer.matches[matches_begin, matches_end).
struct IndexPlacement {
  uint32_t group;
  bool opens;
  double similarity;
  uint32_t matches_begin;
  uint32_t matches_end;
};

struct IndexAnswer {
  std::vector<IndexPlacement> records;
  std::vector<IndexMatch> matches;
};

class IndexMatcher {
 public:
  // Throws std::invalid_argument for an estimated model that does not
  // parse, std::bad_alloc.
  explicit IndexMatcher(const IndexSettings& settings);
  ~IndexMatcher();
  IndexMatcher(const IndexMatcher&) = delete;
  IndexMatcher& operator=(const IndexMatcher&) = delete;

  uint32_t rows() const { return static_cast<uint32_t>(group_of_.size()); }
  uint32_t groups() const { return static_cast<uint32_t>(opener_.size()); }
  uint32_t GroupOf(uint32_t row) const { return group_of_[row]; }

  // Files stored records rows(), rows() + 1, ... in order (their columns
  // those of the settings), with the groups they are in; groups are
  // numbered densely from 0. Throws std::bad_alloc.
  void File(const platform::VariantArray& records,
            std::span<const StoredPlace> places);

  // Searches the records of `records` in order and places each; at most
  // `max_matches` matches per record are listed. Changes nothing that a
  // later search sees. Throws std::bad_alloc.
  void Search(const platform::VariantArray& records, uint32_t max_matches,
              IndexAnswer* answer);

  // Files the records a Search placed, in their places. Throws
  // std::bad_alloc.
  void Keep(const platform::VariantArray& records, const IndexAnswer& answer);

 private:
  class Context;
  struct CallState;
  // The search threshold and the one a member must reach in a clique.
  double SearchThreshold() const;
  // The group a record with `matches` (ascending rows, each at least the
  // search threshold) joins, and through which match; kNoGroup to open one.
  uint32_t Choose(const CallState& call, std::span<const IndexMatch> matches,
                  double* similarity) const;
  uint32_t GroupOfRow(const CallState& call, uint32_t row) const;
  bool FitsEveryMember(const CallState& call, uint32_t group,
                       std::span<const IndexMatch> matches) const;
  void Join(uint32_t row, uint32_t group, bool opens);
  // The settings' column options again: a comparison switches DupeSearch
  // off for a column in which a cell has no text, and that must not outlive
  // one search.
  void RestoreColumns();

  IndexSettings settings_;
  uint32_t columns_;
  std::unique_ptr<Context> ctx_;
  struct Stages;
  std::unique_ptr<Stages> stages_;
  std::vector<uint32_t> group_of_;    // per row
  std::vector<uint32_t> opener_;      // per group: its first row
  std::vector<uint32_t> group_size_;  // per group
  // Clique: per row the next member of its group, per group its last.
  std::vector<uint32_t> next_member_;
  std::vector<uint32_t> last_member_;
};

}  // namespace vexlor

#endif  // VEXLOR_TABLES_INDEX_INDEX_MATCHER_H_

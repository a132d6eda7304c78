// The duplicate search's labelling straight from its rules, for checking
// the batch unit on random tables: every record's candidates counted from
// scratch, a fresh field list for every compared pair, groups as plain
// numbers, and the reports' figures after every tenth record, where host
// code may change the column options. No cancellation, no result table.
#ifndef VEXLOR_TESTS_REFERENCE_DUPE_SEARCH_REFERENCE_H_
#define VEXLOR_TESTS_REFERENCE_DUPE_SEARCH_REFERENCE_H_

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <tuple>
#include <vector>

#include "tests/reference/fuzzy_match_reference.h"
#include "vexlor/match_options.h"
#include "vexlor/tables/batch_context.h"
#include "vexlor/tables/column_options.h"
#include "vexlor/variant_array.h"

namespace vexlor::reference {

struct DupeOutcome {
  std::vector<int64_t> group;  // per row: the number of its group
  std::vector<double> score;   // per row: NaN when it opened its group
  // (record, other, similarity) of every pair that reached Threshold.
  std::vector<std::tuple<uint32_t, uint32_t, double>> pairs;
  std::vector<ProgressFields> reports;  // every tenth record, then the last
  ColumnOptions options;                // after the call
};

// `options` as they stand when stage 2 starts; `host(record_no, options)`
// runs after every tenth record, as a report would.
inline DupeOutcome ReferenceDupeSearch(
    const platform::VariantArray& table, const ColumnOptions& options,
    double threshold, double cluster_threshold, const MatchOptions& mo,
    const std::function<void(int32_t, ColumnOptions&)>& host) {
  const uint32_t rows = table.rows();
  const uint32_t columns = std::min<uint32_t>(table.columns(), 400);
  const double member_threshold = mo.member_threshold.value_or(threshold);
  FuzzyReference ref(options, threshold, cluster_threshold);
  ref.SetSwap(mo.swap_first, mo.swap_second);
  if (mo.scoring == Scoring::kEstimated) ref.SetModel(mo.model);
  for (uint32_t r = 0; r < rows; ++r) ref.File(table, r, columns, false);

  DupeOutcome out;
  out.group.assign(rows, -1);
  out.score.assign(rows, std::nan(""));
  std::vector<std::vector<uint32_t>> members;  // per group, in join order
  int64_t found = 0, found2 = 0, depth_max = 0, depth_total = 0;
  ProgressFields f{0, 0, 0.0, 0, static_cast<int32_t>(rows), 0, 0};
  auto open = [&](uint32_t r) {
    out.group[r] = static_cast<int64_t>(members.size());
    members.push_back({r});
    return out.group[r];
  };
  auto join = [&](uint32_t p, int64_t g, double s) {
    out.group[p] = g;
    out.score[p] = s;
    members[g].push_back(p);
    ++found2;
  };
  for (uint32_t r = 0; r < rows; ++r) {
    int64_t depth = 0;
    bool gained = false;
    const bool searches = mo.grouping != Grouping::kCenter || out.group[r] < 0;
    int64_t g = out.group[r] >= 0 ? out.group[r] : open(r);
    for (uint32_t p :
         searches ? ref.FiledCandidates(r, columns) : std::vector<uint32_t>()) {
      ++depth;
      const double s = ref.FiledSimilarity(r, p, columns);
      if (!(s >= threshold)) continue;
      if (p != r) out.pairs.emplace_back(r, p, s);
      if (mo.grouping == Grouping::kChain) {
        if (out.group[p] == g) continue;
        if (out.group[p] < 0) {
          join(p, g, s);
        } else {
          g = out.group[p];
          out.group[r] = g;
          out.score[r] = s;
          ++found2;
        }
        gained = true;
        continue;
      }
      if (out.group[p] >= 0) continue;
      bool fits = true;
      if (mo.grouping == Grouping::kClique) {
        for (uint32_t m : members[g]) {
          if (m != r &&
              !(ref.FiledSimilarity(m, p, columns) >= member_threshold)) {
            fits = false;
            break;
          }
        }
      }
      if (fits) {
        join(p, g, s);
        gained = true;
      }
    }
    found += gained;
    depth_max = std::max(depth_max, depth);
    depth_total += depth;
    f = {static_cast<int32_t>(depth),
         static_cast<int32_t>(depth_max),
         static_cast<double>(depth_total) / (r + 1.0),
         static_cast<int32_t>(r + 1),
         static_cast<int32_t>(rows),
         static_cast<int32_t>(found),
         static_cast<int32_t>(found2)};
    if ((r + 1) % 10 == 0) {
      out.reports.push_back(f);
      host(static_cast<int32_t>(r + 1), ref.mutable_options());
    }
  }
  f.record_no = static_cast<int32_t>(rows);
  out.reports.push_back(f);
  out.options = ref.options();
  return out;
}

// Each row's group as the first row that shares it, so that groupings
// named differently (labels, numbers) compare equal when they partition
// the rows alike.
template <typename Key>
std::vector<uint32_t> Canonical(const std::vector<Key>& keys) {
  std::map<Key, uint32_t> first;
  std::vector<uint32_t> out;
  out.reserve(keys.size());
  for (uint32_t r = 0; r < keys.size(); ++r) {
    out.push_back(first.emplace(keys[r], r).first->second);
  }
  return out;
}

}  // namespace vexlor::reference

#endif  // VEXLOR_TESTS_REFERENCE_DUPE_SEARCH_REFERENCE_H_

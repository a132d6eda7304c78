// Straightforward oracles for the exact match and the deletion of marked
// duplicates, over keys given per row (std::nullopt: the row has no key):
// ordered maps and linear scans instead of a hash index.
#ifndef VEXLOR_TESTS_REFERENCE_EXACT_DELETE_REFERENCE_H_
#define VEXLOR_TESTS_REFERENCE_EXACT_DELETE_REFERENCE_H_

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vexlor::reference {

using RowKeys = std::vector<std::optional<std::string>>;

struct DeleteOutcome {
  std::vector<uint32_t> returned;  // rows of the result, in order
  std::vector<uint32_t> logged;    // rows written to the log, in order
};

// order 0 keeps the lowest row of a group, 1 the highest, others all;
// return_results 0 returns the kept rows, 1 the deleted ones, others none.
inline DeleteOutcome DeleteDupesRows(const RowKeys& keys, int order,
                                     int return_results) {
  std::map<std::string, std::vector<uint32_t>> groups;
  for (uint32_t r = 0; r < keys.size(); ++r) {
    if (keys[r]) groups[*keys[r]].push_back(r);
  }
  DeleteOutcome outcome;
  for (uint32_t r = 0; r < keys.size(); ++r) {
    if (!keys[r]) continue;
    const std::vector<uint32_t>& group = groups[*keys[r]];
    bool keep = true;
    if (group.size() > 1 && order == 0) {
      keep = r == *std::min_element(group.begin(), group.end());
    } else if (group.size() > 1 && order == 1) {
      keep = r == *std::max_element(group.begin(), group.end());
    }
    if (!keep) outcome.logged.push_back(r);
    if ((keep && return_results == 0) || (!keep && return_results == 1)) {
      outcome.returned.push_back(r);
    }
  }
  return outcome;
}

// The master rows selected: return_results 0 all, 1 those whose key some
// match row has and that are the first master row with that key, 2 the
// others; any other value none.
inline std::vector<uint32_t> ExactMatchRows(const RowKeys& master,
                                            const RowKeys& match,
                                            int return_results) {
  std::vector<bool> marked(master.size(), false);
  for (const std::optional<std::string>& key : match) {
    if (!key) continue;
    for (uint32_t r = 0; r < master.size(); ++r) {
      if (master[r] == key) {
        marked[r] = true;
        break;
      }
    }
  }
  std::vector<uint32_t> rows;
  for (uint32_t r = 0; r < master.size(); ++r) {
    if (return_results == 0 || (return_results == 1 && marked[r]) ||
        (return_results == 2 && !marked[r])) {
      rows.push_back(r);
    }
  }
  return rows;
}

}  // namespace vexlor::reference

#endif  // VEXLOR_TESTS_REFERENCE_EXACT_DELETE_REFERENCE_H_

#include "review/review_decisions.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/output_target.h"

namespace vexlor::cli {

namespace {

using nlohmann::json;

constexpr const char* kFormat = "vexlor-review";
constexpr int kVersion = 2;

json DecisionsJson(const ReviewState& state) {
  json list = json::array();
  for (const GroupDecision& d : state.decisions) {
    if (state.kind == ReviewKind::kMatch) {
      list.push_back(
          {{"group", d.group}, {"reviewed", d.reviewed}, {"reject", d.reject}});
    } else {
      list.push_back({{"group", d.group},
                      {"reviewed", d.reviewed},
                      {"split", d.split},
                      {"merge_into", d.merge_into}});
    }
  }
  return list;
}

bool RowNumber(const json& value, uint32_t* row) {
  if (!value.is_number_unsigned()) return false;
  const uint64_t n = value.get<uint64_t>();
  if (n > UINT32_MAX) return false;
  *row = static_cast<uint32_t>(n);
  return true;
}

bool RowList(const json& value, std::vector<uint32_t>* rows) {
  if (!value.is_array()) return false;
  rows->clear();
  for (const json& item : value) {
    uint32_t row;
    if (!RowNumber(item, &row)) return false;
    rows->push_back(row);
  }
  return true;
}

bool ReadDecisions(const json& list, std::vector<GroupDecision>* decisions,
                   std::string* error) {
  if (!list.is_array()) {
    *error = "\"decisions\" is not a list";
    return false;
  }
  decisions->clear();
  for (const json& item : list) {
    GroupDecision d;
    const bool ok = item.is_object() && item.contains("group") &&
                    RowNumber(item["group"], &d.group);
    bool fields = ok;
    if (ok && item.contains("reviewed")) {
      fields = item["reviewed"].is_boolean();
      if (fields) d.reviewed = item["reviewed"].get<bool>();
    }
    if (fields && item.contains("reject")) {
      fields = item["reject"].is_boolean();
      if (fields) d.reject = item["reject"].get<bool>();
    }
    if (fields && item.contains("split")) {
      fields = RowList(item["split"], &d.split);
    }
    if (fields && item.contains("merge_into")) {
      fields = RowNumber(item["merge_into"], &d.merge_into);
    }
    if (!fields) {
      *error =
          "a decision is not {\"group\": ROW, \"reviewed\": true|false, "
          "\"split\": [ROW, ...], \"merge_into\": ROW, \"reject\": "
          "true|false}";
      return false;
    }
    std::sort(d.split.begin(), d.split.end());
    d.split.erase(std::unique(d.split.begin(), d.split.end()), d.split.end());
    decisions->push_back(std::move(d));
  }
  std::sort(decisions->begin(), decisions->end(),
            [](const GroupDecision& a, const GroupDecision& b) {
              return a.group < b.group;
            });
  return true;
}

// The group each row belongs to, by index into state.groups (-1: none).
std::vector<int32_t> GroupOfRow(const ReviewState& state) {
  std::vector<int32_t> group_of(state.rows + size_t{1}, -1);
  for (size_t g = 0; g < state.groups.size(); ++g) {
    for (uint32_t row : state.groups[g]) {
      if (row >= 1 && row <= state.rows) {
        group_of[row] = static_cast<int32_t>(g);
      }
    }
  }
  return group_of;
}

}  // namespace

std::string ReviewStateJson(const ReviewState& state) {
  const bool match = state.kind == ReviewKind::kMatch;
  json doc = {{"format", kFormat},
              {"version", kVersion},
              {"kind", match ? "match" : "groups"},
              {"rows", state.rows}};
  if (match) doc["other_rows"] = state.other_rows;
  doc["groups"] = state.groups;
  doc["decisions"] = DecisionsJson(state);
  return doc.dump() + "\n";
}

std::string DecisionListJson(const ReviewState& state) {
  return json{{"decisions", DecisionsJson(state)}}.dump();
}

bool ParseReviewState(std::string_view text, ReviewState* state,
                      std::string* error) {
  const json doc = json::parse(text, nullptr, false);
  if (doc.is_discarded() || !doc.is_object()) {
    *error = "not a JSON object";
    return false;
  }
  const bool ours = doc.contains("format") && doc["format"].is_string() &&
                    doc["format"] == kFormat && doc.contains("version") &&
                    (doc["version"] == 1 || doc["version"] == kVersion);
  if (!ours) {
    *error = "not a decisions file of vexlor review (version 1 or 2)";
    return false;
  }
  ReviewState read;
  // Version 1 knew groups only and had no "kind".
  const json kind = doc.value("kind", json("groups"));
  if (kind == "match") {
    read.kind = ReviewKind::kMatch;
  } else if (kind != "groups") {
    *error = "\"kind\" is neither \"groups\" nor \"match\"";
    return false;
  }
  bool ok = doc.contains("rows") && RowNumber(doc["rows"], &read.rows) &&
            doc.contains("groups") && doc["groups"].is_array() &&
            (read.kind != ReviewKind::kMatch ||
             (doc.contains("other_rows") &&
              RowNumber(doc["other_rows"], &read.other_rows)));
  if (ok) {
    for (const json& g : doc["groups"]) {
      read.groups.emplace_back();
      if (!RowList(g, &read.groups.back())) ok = false;
    }
  }
  if (!ok) {
    *error = "\"rows\" or \"groups\" missing or not numbers";
    return false;
  }
  if (doc.contains("decisions") &&
      !ReadDecisions(doc["decisions"], &read.decisions, error)) {
    return false;
  }
  if (!CheckReviewState(read, error)) return false;
  *state = std::move(read);
  return true;
}

bool ParseDecisions(std::string_view text, ReviewState* state,
                    std::string* error) {
  const json doc = json::parse(text, nullptr, false);
  if (doc.is_discarded() || !doc.is_object() || !doc.contains("decisions")) {
    *error = "not a JSON object with \"decisions\"";
    return false;
  }
  ReviewState changed;
  changed.kind = state->kind;
  changed.rows = state->rows;
  changed.other_rows = state->other_rows;
  if (!ReadDecisions(doc["decisions"], &changed.decisions, error)) {
    return false;
  }
  changed.groups = std::move(state->groups);
  const bool ok = CheckReviewState(changed, error);
  state->groups = std::move(changed.groups);
  if (ok) state->decisions = std::move(changed.decisions);
  return ok;
}

namespace {

// A match review's groups are {MASTER row, FILE row}, one per MASTER row,
// and its decisions neither split nor merge.
bool CheckMatchState(const ReviewState& state, std::string* error) {
  uint32_t previous = 0;
  for (const std::vector<uint32_t>& g : state.groups) {
    if (g.size() != 2 || g[0] <= previous || g[0] > state.rows || g[1] < 1 ||
        g[1] > state.other_rows) {
      *error =
          "a match is not {MASTER row, FILE row} within the tables' rows, "
          "ordered by MASTER row";
      return false;
    }
    previous = g[0];
  }
  uint32_t previous_key = 0;
  for (const GroupDecision& d : state.decisions) {
    const auto at =
        std::lower_bound(state.groups.begin(), state.groups.end(), d.group,
                         [](const std::vector<uint32_t>& g, uint32_t key) {
                           return g[0] < key;
                         });
    const bool known = at != state.groups.end() && (*at)[0] == d.group;
    if (!known || d.group == previous_key || !d.split.empty() ||
        d.merge_into != 0) {
      *error = "a decision on row " + std::to_string(d.group) +
               " names no match, names it twice, or splits or merges";
      return false;
    }
    previous_key = d.group;
  }
  return true;
}

}  // namespace

bool CheckReviewState(const ReviewState& state, std::string* error) {
  if (state.kind == ReviewKind::kMatch) return CheckMatchState(state, error);
  std::vector<bool> seen(state.rows + size_t{1}, false);
  uint32_t previous_first = 0;
  for (const std::vector<uint32_t>& g : state.groups) {
    if (g.size() < 2 || !std::is_sorted(g.begin(), g.end()) ||
        g.front() <= previous_first) {
      *error =
          "groups must hold two rows or more, ascending, ordered by "
          "their first row";
      return false;
    }
    previous_first = g.front();
    for (uint32_t row : g) {
      if (row < 1 || row > state.rows || seen[row]) {
        *error = "row " + std::to_string(row) +
                 (row < 1 || row > state.rows
                      ? " lies outside the table's " +
                            std::to_string(state.rows) + " rows"
                      : " belongs to two groups");
        return false;
      }
      seen[row] = true;
    }
  }
  const std::vector<int32_t> group_of = GroupOfRow(state);
  auto key_index = [&](uint32_t key) -> int32_t {
    if (key < 1 || key > state.rows) return -1;
    const int32_t g = group_of[key];
    return g >= 0 && state.groups[g].front() == key ? g : -1;
  };
  std::vector<int32_t> merge_to(state.groups.size(), -1);
  uint32_t previous_key = 0;
  for (const GroupDecision& d : state.decisions) {
    const int32_t g = key_index(d.group);
    if (d.reject) {
      *error = "a review of groups rejects no match";
      return false;
    }
    if (g < 0 || d.group == previous_key) {
      *error = "a decision names row " + std::to_string(d.group) +
               (g < 0 ? ", which starts no group" : " twice");
      return false;
    }
    previous_key = d.group;
    for (uint32_t row : d.split) {
      if (row < 1 || row > state.rows || group_of[row] != g) {
        *error = "row " + std::to_string(row) + " split off group " +
                 std::to_string(d.group) + " is not one of its rows";
        return false;
      }
    }
    if (d.merge_into != 0) {
      const int32_t target = key_index(d.merge_into);
      if (target < 0 || target == g) {
        *error = "group " + std::to_string(d.group) + " merges into row " +
                 std::to_string(d.merge_into) + ", which starts no other group";
        return false;
      }
      merge_to[g] = target;
    }
  }
  // A walk along merges that meets a group twice has found a cycle.
  std::vector<int> mark(state.groups.size(), 0);  // 1 on the walk, 2 done
  for (size_t start = 0; start < state.groups.size(); ++start) {
    std::vector<int32_t> walk;
    int32_t g = static_cast<int32_t>(start);
    while (g >= 0 && mark[g] == 0) {
      mark[g] = 1;
      walk.push_back(g);
      g = merge_to[g];
    }
    if (g >= 0 && mark[g] == 1) {
      *error = "group " + std::to_string(state.groups[g].front()) +
               " is merged into itself through other groups";
      return false;
    }
    for (int32_t w : walk) mark[w] = 2;
  }
  return true;
}

std::vector<int32_t> ReviewedGroupNumbers(const ReviewState& state,
                                          std::vector<uint32_t>* final_keys) {
  const std::vector<int32_t> group_of = GroupOfRow(state);
  // Each group's final group, following merges (checked: no cycles).
  std::vector<int32_t> merge_to(state.groups.size(), -1);
  std::vector<bool> split(state.rows + size_t{1}, false);
  for (const GroupDecision& d : state.decisions) {
    const int32_t g = group_of[d.group];
    if (d.merge_into != 0) merge_to[g] = group_of[d.merge_into];
    for (uint32_t row : d.split) split[row] = true;
  }
  auto final_group = [&](int32_t g) {
    while (merge_to[g] >= 0) g = merge_to[g];
    return g;
  };
  // Group numbers in order of first appearance; a row alone gets its own.
  std::vector<int32_t> number_of_group(state.groups.size(), 0);
  std::vector<int32_t> numbers(state.rows, 0);
  if (final_keys != nullptr) final_keys->assign(state.rows, 0);
  int32_t next = 0;
  for (uint32_t row = 1; row <= state.rows; ++row) {
    const int32_t g = group_of[row];
    if (g < 0 || split[row]) {
      numbers[row - 1] = ++next;
      continue;
    }
    const int32_t last = final_group(g);
    int32_t& number = number_of_group[last];
    if (number == 0) number = ++next;
    numbers[row - 1] = number;
    if (final_keys != nullptr) (*final_keys)[row - 1] = state.groups[last][0];
  }
  return numbers;
}

bool ReadReviewState(const std::string& path, ReviewState* state,
                     std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot read " + path;
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) {
    *error = "cannot read " + path;
    return false;
  }
  if (!ParseReviewState(text.str(), state, error)) {
    *error = path + ": " + *error;
    return false;
  }
  return true;
}

bool WriteReviewState(const std::string& path, const ReviewState& state,
                      std::string* error) {
  const std::string text = ReviewStateJson(state);
  return WriteOutput(
      path, [&](const ByteWriter& write) { return write(text); }, error);
}

}  // namespace vexlor::cli

#include "cli/review_data.h"

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>
#include <unordered_map>

#include "cli/column_flags.h"
#include "cli/group_settings.h"
#include "cli/progress_session.h"
#include "vexlor/platform/text.h"
#include "vexlor/platform/variant_array.h"

namespace vexlor::cli {

using platform::Variant;
using platform::VariantArray;

namespace {

constexpr const char* kLabelName = "FuzzyDupesID";

std::u16string Text(const Variant& cell) {
  return cell.IsString() ? std::u16string(cell.AsString()) : std::u16string();
}

// Groups of two rows or more by shared non-empty label, ordered by first row.
std::vector<std::vector<uint32_t>> GroupsByLabel(const VariantArray& table,
                                                 uint32_t column) {
  std::map<std::u16string, size_t> index_of;
  std::vector<std::vector<uint32_t>> groups;
  for (uint32_t r = 0; r < table.rows(); ++r) {
    std::u16string label = Text(table.cell(column, r));
    if (label.empty()) continue;
    auto [it, added] = index_of.emplace(std::move(label), groups.size());
    if (added) groups.emplace_back();
    groups[it->second].push_back(r + 1);
  }
  std::erase_if(groups,
                [](const std::vector<uint32_t>& g) { return g.size() < 2; });
  return groups;
}

// Keeps the pairs inside one group, each once (a pair compared from both
// sides keeps its larger similarity), ordered by rows.
std::vector<ReviewPair> PairsInGroups(std::vector<ReviewPair> pairs,
                                      const ReviewState& state) {
  std::vector<uint32_t> group_of(state.rows + size_t{1}, 0);
  for (size_t g = 0; g < state.groups.size(); ++g) {
    for (uint32_t row : state.groups[g]) group_of[row] = g + 1;
  }
  std::erase_if(pairs, [&](const ReviewPair& p) {
    return p.a == p.b || group_of[p.a] == 0 || group_of[p.a] != group_of[p.b];
  });
  for (ReviewPair& p : pairs) {
    if (p.a > p.b) std::swap(p.a, p.b);
  }
  std::sort(pairs.begin(), pairs.end(),
            [](const ReviewPair& x, const ReviewPair& y) {
              if (x.a != y.a) return x.a < y.a;
              if (x.b != y.b) return x.b < y.b;
              return x.similarity > y.similarity;
            });
  pairs.erase(std::unique(pairs.begin(), pairs.end(),
                          [](const ReviewPair& x, const ReviewPair& y) {
                            return x.a == y.a && x.b == y.b;
                          }),
              pairs.end());
  return pairs;
}

class PairCollector : public PairObserver {
 public:
  void OnPair(const MatchedPair& pair) override {
    pairs_.push_back({pair.record + 1, pair.other + 1, pair.similarity});
  }
  std::vector<ReviewPair> Take() { return std::move(pairs_); }

 private:
  std::vector<ReviewPair> pairs_;
};

// Reads the --pairs file of a `dupes` run over `input`.
bool ReadPairs(const Arguments& args, const InputTable& input, int id_column,
               std::vector<ReviewPair>* pairs, std::string* error) {
  const Arguments plain({}, InputOptionSpecs());
  InputTable file;
  if (!LoadTable(args.Get("pairs", ""), plain, &file, error)) return false;
  if (file.rows > 0 && file.columns != 3) {
    *error =
        file.path + ": not a pairs file of dupes (record, other, similarity)";
    return false;
  }
  std::unordered_map<std::u16string, uint32_t> row_of;
  if (id_column >= 0) {
    const VariantArray& t = *input.table.AsArray();
    for (uint32_t r = t.rows(); r-- > 0;) {
      row_of[Text(t.cell(static_cast<uint32_t>(id_column), r))] = r + 1;
    }
  }
  auto find_row = [&](const Variant& cell, uint32_t* row) {
    const std::u16string id = Text(cell);
    if (id_column >= 0) {
      auto it = row_of.find(id);
      if (it == row_of.end()) return false;
      *row = it->second;
      return true;
    }
    long long n;
    if (!ParseInt(platform::Utf16ToUtf8(id), 1,
                  static_cast<long long>(input.rows), &n)) {
      return false;
    }
    *row = static_cast<uint32_t>(n);
    return true;
  };
  const VariantArray& t = *file.table.AsArray();
  for (uint32_t r = 0; r < file.rows; ++r) {
    ReviewPair p;
    if (!find_row(t.cell(0, r), &p.a) || !find_row(t.cell(1, r), &p.b) ||
        !ParseDouble(platform::Utf16ToUtf8(Text(t.cell(2, r))),
                     &p.similarity)) {
      *error = file.path + ": pair " + std::to_string(r + 1) +
               " names no record of " + input.path +
               (id_column < 0 ? " (give the --id-column the search had)" : "") +
               " or has no similarity";
      return false;
    }
    pairs->push_back(p);
  }
  return true;
}

// Runs the duplicate search as `vexlor dupes` does; the labels come back in
// the column after the input's.
bool Search(const Arguments& a, Io io, ReviewData* data, int* status) {
  std::string error, warning;
  double cluster_threshold;
  if (!CheckLateOptions(a, &error) || !CheckSettings(a, &error) ||
      !Thresholds(a, &data->threshold, &cluster_threshold, &warning, &error)) {
    *status = Complain(io, kExitUsage, "review: " + error);
    return false;
  }
  if (!warning.empty()) io.err << "vexlor: warning: " << warning << "\n";
  std::unique_ptr<CVexlorCtrl> control = MakeControl(a, &error);
  if (!control) {
    *status = Complain(io, kExitUsage, "review: " + error);
    return false;
  }
  InputTable& input = data->input;
  if (!LoadOne(a, 0, &input, io, status)) return false;
  if (FindColumn(input, kLabelName) >= 0) {
    *status = Complain(io, kExitBadInput,
                       input.path +
                           " holds labels already: give the --pairs "
                           "file of its search to review them");
    return false;
  }
  int& id_column = data->id_column;
  MatchOptions options;
  if (!IdColumn(input, a, &id_column, &error) ||
      !ApplyColumnOptions(input, a, control.get(), &error) ||
      !ReadSettings(a, input, OptionsReader::kDupeSearch, &options, &error)) {
    *status = Complain(io, kExitBadInput, error);
    return false;
  }
  PairCollector pairs;
  options.pair_observer = &pairs;
  std::unique_ptr<ProgressSession> session =
      ProgressSession::Start(a, control.get(), io.err, &error);
  if (!session) {
    *status = Complain(io, kExitUsage, "review: " + error);
    return false;
  }
  const Variant result = control->DupeSearch(
      input.table, id_column, data->threshold, cluster_threshold, options,
      DRR_ALL, session->show_progress());
  session.reset();
  *status = FinishBatch(*control, io);
  if (*status != kExitOk) return false;
  data->state.rows = static_cast<uint32_t>(input.rows);
  if (const VariantArray* labelled = result.AsArray()) {
    data->state.groups =
        GroupsByLabel(*labelled, static_cast<uint32_t>(input.columns));
  }
  data->pairs = PairsInGroups(pairs.Take(), data->state);
  for (uint32_t c = 0; c < input.columns; ++c) {
    data->shown_columns.push_back(c);
  }
  return true;
}

}  // namespace

std::vector<OptionSpec> ReviewSpecs() {
  std::vector<OptionSpec> specs = InputOptionSpecs();
  for (auto& s : MatchingOptionSpecs()) specs.push_back(s);
  for (auto& s : SettingSpecs(OptionsReader::kDupeSearch)) specs.push_back(s);
  specs.push_back({"fid-column", true});
  specs.push_back({"decisions", true});
  return specs;
}

bool LoadReviewData(const Arguments& a, Io io, ReviewData* data, int* status) {
  if (!a.Has("pairs")) return Search(a, io, data, status);
  std::string error, warning;
  double cluster_threshold;
  if (!Thresholds(a, &data->threshold, &cluster_threshold, &warning, &error)) {
    *status = Complain(io, kExitUsage, "review: " + error);
    return false;
  }
  InputTable& input = data->input;
  if (!LoadOne(a, 0, &input, io, status, SIZE_MAX)) return false;
  const std::string fid_name = a.Get("fid-column", kLabelName);
  const int fid_column = FindColumn(input, fid_name);
  int& id_column = data->id_column;
  if (fid_column < 0) {
    error = NoColumnError(input, fid_name);
  } else if (IdColumn(input, a, &id_column, &error) &&
             ReadPairs(a, input, id_column, &data->pairs, &error)) {
    error.clear();
  }
  if (!error.empty()) {
    *status = Complain(io, kExitBadInput, error);
    return false;
  }
  data->state.rows = static_cast<uint32_t>(input.rows);
  data->state.groups =
      GroupsByLabel(*input.table.AsArray(), static_cast<uint32_t>(fid_column));
  data->pairs = PairsInGroups(std::move(data->pairs), data->state);
  for (uint32_t c = 0; c < input.columns; ++c) {
    if (c != static_cast<uint32_t>(fid_column))
      data->shown_columns.push_back(c);
  }
  return true;
}

std::string ReviewDataJson(const ReviewData& data) {
  using nlohmann::json;
  const VariantArray& table = *data.input.table.AsArray();
  json columns = json::array();
  int id_column = -1;
  for (uint32_t c : data.shown_columns) {
    if (static_cast<int>(c) == data.id_column) {
      id_column = static_cast<int>(columns.size());
    }
    columns.push_back(platform::Utf16ToUtf8(data.input.names[c]));
  }
  json groups = json::array();
  for (const std::vector<uint32_t>& g : data.state.groups) {
    json records = json::array();
    for (uint32_t row : g) {
      json record = json::array({row});
      for (uint32_t c : data.shown_columns) {
        record.push_back(platform::Utf16ToUtf8(Text(table.cell(c, row - 1))));
      }
      records.push_back(std::move(record));
    }
    groups.push_back(std::move(records));
  }
  json pairs = json::array();
  for (const ReviewPair& p : data.pairs) {
    pairs.push_back(json::array({p.a, p.b, p.similarity}));
  }
  const std::string path = data.input.path;
  json doc = {{"file", path.substr(path.find_last_of('/') + 1)},
              {"threshold", data.threshold},
              {"columns", std::move(columns)},
              {"id_column", id_column},
              {"groups", std::move(groups)},
              {"pairs", std::move(pairs)}};
  return doc.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace vexlor::cli

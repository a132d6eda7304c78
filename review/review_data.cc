#include "review/review_data.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <nlohmann/json.hpp>
#include <unordered_map>

#include "cli/column_flags.h"
#include "cli/group_settings.h"
#include "cli/model_options.h"
#include "cli/progress_session.h"
#include "cli/summary.h"
#include "cli/table_command.h"
#include "vexlor/tables/cell_text.h"
#include "vexlor/tables/scoring/fs_model.h"
#include "vexlor/text.h"
#include "vexlor/variant_array.h"

namespace vexlor::cli {

using platform::Variant;
using platform::VariantArray;

namespace {

constexpr const char* kLabelName = "FuzzyDupesID";
constexpr const char* kMatchName = "Match";

std::u16string Text(const Variant& cell) {
  return cell.IsString() ? std::u16string(cell.AsString()) : std::u16string();
}

// A cell as UTF-8: texts as they are, numbers as the search saw them.
std::string Utf8(const Variant& cell) {
  if (cell.IsString()) return platform::Utf16ToUtf8(cell.AsString());
  std::string text;
  CellText(cell, &text);
  return text;
}

uint64_t PairKey(uint32_t a, uint32_t b) {
  return (static_cast<uint64_t>(a) << 32) | b;
}

bool IsMatch(const ReviewData& data) {
  return data.state.kind == ReviewKind::kMatch;
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

// {MASTER row, FILE row} of every row whose Match cell names a FILE row.
bool MatchesByColumn(const VariantArray& table, uint32_t column,
                     uint32_t file_rows,
                     std::vector<std::vector<uint32_t>>* groups,
                     std::string* error) {
  for (uint32_t r = 0; r < table.rows(); ++r) {
    const std::string text = Utf8(table.cell(column, r));
    long long row = 0;
    if (!text.empty() && !ParseInt(text, 0, file_rows, &row)) {
      *error = "row " + std::to_string(r + 1) + ": Match " + text +
               " is no row of FILE's " + std::to_string(file_rows);
      return false;
    }
    if (row > 0) groups->push_back({r + 1, static_cast<uint32_t>(row)});
  }
  return true;
}

// Keeps the pairs inside one group (a match review: of a matched MASTER
// row), each once (a pair compared from both sides keeps its larger
// similarity), ordered by rows.
std::vector<ReviewPair> PairsInGroups(std::vector<ReviewPair> pairs,
                                      const ReviewState& state) {
  std::vector<uint32_t> group_of(state.rows + size_t{1}, 0);
  const bool match = state.kind == ReviewKind::kMatch;
  for (size_t g = 0; g < state.groups.size(); ++g) {
    for (uint32_t row : state.groups[g]) {
      group_of[row] = static_cast<uint32_t>(g + 1);
      if (match) break;  // the second is a FILE row
    }
  }
  if (!match) {
    for (ReviewPair& p : pairs) {
      if (p.a > p.b) std::swap(p.a, p.b);
    }
  }
  std::erase_if(pairs, [&](const ReviewPair& p) {
    if (match) return group_of[p.a] == 0;
    return p.a == p.b || group_of[p.a] == 0 || group_of[p.a] != group_of[p.b];
  });
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

// Finds the row of a pairs or explain file's id: an --id-column cell, else
// a row number from 1.
class RowFinder {
 public:
  RowFinder(const InputTable& table, int id_column)
      : rows_(table.rows), by_id_(id_column >= 0) {
    if (!by_id_) return;
    const VariantArray& t = *table.table.AsArray();
    for (uint32_t r = t.rows(); r-- > 0;) {
      row_of_[Utf8(t.cell(static_cast<uint32_t>(id_column), r))] = r + 1;
    }
  }

  bool Find(const Variant& cell, uint32_t* row) const {
    const std::string id = Utf8(cell);
    if (by_id_) {
      auto it = row_of_.find(id);
      if (it == row_of_.end()) return false;
      *row = it->second;
      return true;
    }
    long long n;
    if (!ParseInt(id, 1, static_cast<long long>(rows_), &n)) return false;
    *row = static_cast<uint32_t>(n);
    return true;
  }

 private:
  size_t rows_;
  bool by_id_;
  std::unordered_map<std::string, uint32_t> row_of_;
};

// The records and others of the pairs and explain files: a match's
// records are FILE rows and its others MASTER rows.
struct PairRows {
  RowFinder records;
  RowFinder others;
  bool match;
  // The pair as the review keeps it (a MASTER row first in a match).
  ReviewPair Make(uint32_t record, uint32_t other, double similarity) const {
    return match ? ReviewPair{other, record, similarity}
                 : ReviewPair{std::min(record, other), std::max(record, other),
                              similarity};
  }
};

// An estimated search's pairs file has a fourth column, "uncertain": its
// similarities are match probabilities (*probabilities).
bool ReadPairs(const Arguments& args, const PairRows& rows,
               std::vector<ReviewPair>* pairs, bool* probabilities,
               std::string* error) {
  const Arguments plain({}, InputOptionSpecs());
  InputTable file;
  if (!LoadTable(args.Get("pairs", ""), plain, &file, error)) return false;
  if (file.rows > 0 && file.columns != 3 && file.columns != 4) {
    *error = file.path +
             ": not a pairs file of dupes or match (record, other, "
             "similarity, perhaps uncertain)";
    return false;
  }
  *probabilities = file.columns == 4;
  const VariantArray& t = *file.table.AsArray();
  for (uint32_t r = 0; r < file.rows; ++r) {
    uint32_t record, other;
    double similarity;
    if (!rows.records.Find(t.cell(0, r), &record) ||
        !rows.others.Find(t.cell(1, r), &other) ||
        !ParseDouble(Utf8(t.cell(2, r)), &similarity)) {
      *error = file.path + ": pair " + std::to_string(r + 1) +
               " names no record of the input (give the --id-column the "
               "search had) or has no similarity";
      return false;
    }
    pairs->push_back(rows.Make(record, other, similarity));
  }
  return true;
}

// Reads an explain table (record, other, score, then a level and a weight
// per model column) into `evidence`.
bool ReadEvidence(const VariantArray& t,
                  const std::vector<std::u16string>& names,
                  const std::string& what, const PairRows& rows,
                  ReviewEvidence* evidence, std::string* error) {
  const size_t columns = t.columns();
  if (columns < 3 || (columns - 3) % 2 != 0) {
    *error = what +
             ": not an explain file (record, other, score, then a level "
             "and a weight per column)";
    return false;
  }
  for (size_t c = 3; c < columns && c < names.size(); c += 2) {
    std::string name = platform::Utf16ToUtf8(names[c]);
    if (name.ends_with(" level")) name.resize(name.size() - 6);
    evidence->columns.push_back(name);
  }
  evidence->columns.resize((columns - 3) / 2);
  if (evidence->columns.empty()) return true;
  for (uint32_t r = 0; r < t.rows(); ++r) {
    uint32_t record, other;
    if (!rows.records.Find(t.cell(0, r), &record) ||
        !rows.others.Find(t.cell(1, r), &other)) {
      *error = what + ": pair " + std::to_string(r + 1) +
               " names no record of the input";
      return false;
    }
    const ReviewPair p = rows.Make(record, other, 0);
    const size_t slot = evidence->index_of.size();
    if (!evidence->index_of.emplace(PairKey(p.a, p.b), slot).second) continue;
    for (uint32_t c = 3; c + 1 < columns; c += 2) {
      double weight = 0;
      if (!ParseDouble(Utf8(t.cell(c + 1, r)), &weight)) weight = NAN;
      evidence->levels.push_back(Utf8(t.cell(c, r)));
      evidence->weights.push_back(weight);
    }
  }
  return true;
}

class PairCollector : public PairObserver {
 public:
  explicit PairCollector(bool match) : match_(match) {}
  void OnPair(const MatchedPair& pair) override {
    pairs_.push_back(
        match_ ? ReviewPair{pair.other + 1, pair.record + 1, pair.similarity}
               : ReviewPair{pair.record + 1, pair.other + 1, pair.similarity});
  }
  std::vector<ReviewPair> Take() { return std::move(pairs_); }

 private:
  bool match_;
  std::vector<ReviewPair> pairs_;
};

// The columns shown: all of the input's before `first_hidden` but
// `skipped`.
void ShowColumns(ReviewData* data, size_t first_hidden, int skipped) {
  for (uint32_t c = 0; c < first_hidden && c < data->input.columns; ++c) {
    if (static_cast<int>(c) != skipped) data->shown_columns.push_back(c);
  }
}

// Runs the duplicate search or the match on the road of `vexlor dupes` /
// `vexlor match`; the labels or matches come back in the column after the
// input's, and the result fills the review's data instead of a file.
class ReviewSearch : public TableCommand {
 public:
  explicit ReviewSearch(ReviewData* data)
      : data_(data),
        match_(IsMatch(*data)),
        reader_(match_ ? OptionsReader::kFuzzyMatch
                       : OptionsReader::kDupeSearch),
        pairs_(match_) {}

  const char* name() const override { return "review"; }
  std::vector<OptionSpec> Specs() const override { return ReviewSpecs(); }
  const char* FilesUsage() const override {
    return "takes FILE, or MASTER and FILE of a match";
  }
  size_t files() const override { return match_ ? 2 : 1; }

  bool CheckFlags(const Arguments& a, std::string* warning,
                  std::string* error) override {
    if (a.Has("explain")) {
      *error =
          "--explain names the file of an earlier search, given with its "
          "--pairs";
      return false;
    }
    return CheckLateOptions(a, error) && CheckSettings(a, error) &&
           Thresholds(a, &data_->threshold, &cluster_threshold_, warning,
                      error);
  }

  int Prepare(TableRun& run) override {
    InputTable& input = run.tables[0];
    if (!match_ && FindColumn(input, kLabelName) >= 0) {
      return Complain(run.io, kExitBadInput,
                      input.path +
                          " holds labels already: give the --pairs "
                          "file of its search to review them");
    }
    std::string error;
    if (!IdColumn(input, run.args, &data_->id_column, &error) ||
        !ApplyColumnOptions(input, run.args, run.control.get(), &error) ||
        !ReadSettings(run.args, input, reader_, &options_, &error)) {
      return Complain(run.io, kExitBadInput, error);
    }
    if (match_) LineUpColumns(run.args, input, &run.tables[1], run.io);
    options_.pair_observer = &pairs_;
    if (!model_.Read(run.args, &options_, &error)) {
      return Complain(run.io, kExitUsage, "review: " + error);
    }
    if (options_.scoring == Scoring::kEstimated) model_.KeepPairs();
    return kExitOk;
  }

  Variant Call(TableRun& run, bool show_progress) override {
    const Variant& first = run.tables[0].table;
    if (match_) {
      return run.control->FuzzyMatch(
          first, run.tables[1].table, data_->id_column, data_->threshold,
          cluster_threshold_, options_, MAR_ALL, show_progress, u"", u"");
    }
    return run.control->DupeSearch(first, data_->id_column, data_->threshold,
                                   cluster_threshold_, options_, DRR_ALL,
                                   show_progress);
  }

  bool Write(TableRun& run, Variant result, std::string* summary,
             std::string* error) override {
    data_->input = std::move(run.tables[0]);
    if (match_) data_->second = std::move(run.tables[1]);
    const InputTable& input = data_->input;
    ReviewState& state = data_->state;
    state.rows = static_cast<uint32_t>(input.rows);
    state.other_rows = static_cast<uint32_t>(data_->second.rows);
    const uint32_t added = static_cast<uint32_t>(input.columns);
    if (const VariantArray* out = result.AsArray()) {
      if (!match_) {
        state.groups = GroupsByLabel(*out, added);
      } else if (!MatchesByColumn(*out, added, state.other_rows, &state.groups,
                                  error)) {
        return false;
      }
    }
    data_->pairs = PairsInGroups(pairs_.Take(), state);
    const InputTable& records = match_ ? data_->second : input;
    if (!model_.Write(run.args, records, input, data_->id_column,
                      error)) {  // --model-out
      return false;
    }
    data_->probabilities = options_.scoring == Scoring::kEstimated;
    if (data_->probabilities) {
      Variant table;
      std::vector<std::u16string> names;
      model_.ExplainTable(records, input, -1, &table, &names);
      const PairRows rows{RowFinder(records, -1), RowFinder(input, -1), match_};
      if (!ReadEvidence(*table.AsArray(), names, "the search", rows,
                        &data_->evidence, error)) {
        return false;
      }
    }
    ShowColumns(data_, input.columns, -1);
    *summary = (match_ ? RecordsRead(input.rows, data_->second.rows)
                       : RecordsRead(input.rows)) +
               ", " + std::to_string(state.groups.size()) +
               (match_ ? " matches" : " groups") + " to review";
    return true;
  }

 private:
  ReviewData* data_;
  bool match_;
  OptionsReader reader_;
  double cluster_threshold_ = 0.5;
  MatchOptions options_;
  PairCollector pairs_;
  ModelSettings model_;
};

bool Search(const Arguments& a, Io io, ReviewData* data, int* status) {
  ReviewSearch search(data);
  *status = RunTableCommand(search, a, io);
  return *status == kExitOk;
}

// Every match of a `match` result reached the threshold, so its pair is in
// the pairs file of the same run; one that is not tells of another run, or
// of row numbers that no longer fit (--return positive without an
// --id-column).
bool MatchesArePaired(const ReviewData& data, std::string* error) {
  for (const std::vector<uint32_t>& g : data.state.groups) {
    const bool found = std::binary_search(
        data.pairs.begin(), data.pairs.end(), ReviewPair{g[0], g[1], 0},
        [](const ReviewPair& x, const ReviewPair& y) {
          return x.a != y.a ? x.a < y.a : x.b < y.b;
        });
    if (!found) {
      *error = data.input.path + ": row " + std::to_string(g[0]) +
               " matched FILE row " + std::to_string(g[1]) +
               ", a pair the pairs file lacks (another run? with --return "
               "positive or negative give the --id-column)";
      return false;
    }
  }
  return true;
}

// Reads a `dupes` result (one FILE) or a `match` result and its FILE, with
// the --pairs and --explain files of that search.
bool ReadResult(const Arguments& a, Io io, ReviewData* data, int* status) {
  const bool match = IsMatch(*data);
  std::string error, warning;
  double cluster_threshold;
  if (!Thresholds(a, &data->threshold, &cluster_threshold, &warning, &error)) {
    *status = Complain(io, kExitUsage, "review: " + error);
    return false;
  }
  InputTable& input = data->input;
  if (!LoadOne(a, 0, &input, io, status, SIZE_MAX) ||
      (match && !LoadOne(a, 1, &data->second, io, status, SIZE_MAX))) {
    return false;
  }
  const std::string label_name =
      match ? kMatchName : a.Get("fid-column", kLabelName);
  const int label_column = FindColumn(input, label_name);
  int& id_column = data->id_column;
  ReviewState& state = data->state;
  state.rows = static_cast<uint32_t>(input.rows);
  state.other_rows = static_cast<uint32_t>(data->second.rows);
  if (label_column < 0) {
    error = NoColumnError(input, label_name);
  } else if (IdColumn(input, a, &id_column, &error)) {
    if (match) LineUpColumns(a, input, &data->second, io);
    const InputTable& records = match ? data->second : input;
    const PairRows rows{RowFinder(records, id_column),
                        RowFinder(input, id_column), match};
    const Arguments plain({}, InputOptionSpecs());
    InputTable explain;
    if (ReadPairs(a, rows, &data->pairs, &data->probabilities, &error) &&
        (!a.Has("explain") ||
         (LoadTable(a.Get("explain", ""), plain, &explain, &error) &&
          ReadEvidence(*explain.table.AsArray(), explain.names, explain.path,
                       rows, &data->evidence, &error))) &&
        (!match || MatchesByColumn(*input.table.AsArray(),
                                   static_cast<uint32_t>(label_column),
                                   state.other_rows, &state.groups, &error))) {
      error.clear();
    } else if (match) {
      error = input.path + ": " + error;
    }
  }
  if (!error.empty()) {
    *status = Complain(io, kExitBadInput, error);
    return false;
  }
  if (!match) {
    state.groups = GroupsByLabel(*input.table.AsArray(),
                                 static_cast<uint32_t>(label_column));
  }
  data->pairs = PairsInGroups(std::move(data->pairs), state);
  if (match && !MatchesArePaired(*data, &error)) {
    *status = Complain(io, kExitBadInput, error);
    return false;
  }
  // A match result's own columns (Match, then Similarity or MatchID) end
  // it; a label column may stand anywhere.
  ShowColumns(data, match ? label_column : input.columns,
              match ? -1 : label_column);
  return true;
}

// The rows a group shows, as the page numbers them (FILE rows negative).
void GroupRows(const ReviewData& data, size_t g, std::vector<int64_t>* rows) {
  rows->clear();
  const std::vector<uint32_t>& group = data.state.groups[g];
  if (!IsMatch(data)) {
    rows->assign(group.begin(), group.end());
    return;
  }
  rows->push_back(group[0]);
  rows->push_back(-static_cast<int64_t>(group[1]));
  std::vector<uint32_t> others;
  for (uint32_t p : data.group_pairs[g]) {
    if (data.pairs[p].b != group[1]) others.push_back(p);
  }
  std::stable_sort(others.begin(), others.end(), [&](uint32_t x, uint32_t y) {
    return data.pairs[x].similarity > data.pairs[y].similarity;
  });
  for (uint32_t p : others) rows->push_back(-int64_t{data.pairs[p].b});
}

int64_t PageRow(const ReviewData& data, uint32_t row, bool file) {
  return file && IsMatch(data) ? -int64_t{row} : int64_t{row};
}

// The weakest link of the strongest spanning tree of the group's pairs
// (Kruskal), 0 when they never tie all its rows together.
double HoldsTo(const ReviewData& data, const std::vector<int64_t>& rows,
               const std::vector<uint32_t>& pair_indexes) {
  std::vector<uint32_t> sorted = pair_indexes;
  std::stable_sort(sorted.begin(), sorted.end(), [&](uint32_t x, uint32_t y) {
    return data.pairs[x].similarity > data.pairs[y].similarity;
  });
  std::vector<size_t> parent(rows.size());
  for (size_t i = 0; i < parent.size(); ++i) parent[i] = i;
  auto slot = [&](int64_t row) {
    return static_cast<size_t>(std::find(rows.begin(), rows.end(), row) -
                               rows.begin());
  };
  auto find = [&](size_t x) {
    while (parent[x] != x) x = parent[x] = parent[parent[x]];
    return x;
  };
  size_t joined = 1;
  for (uint32_t p : sorted) {
    const ReviewPair& pair = data.pairs[p];
    const size_t a = slot(PageRow(data, pair.a, false));
    const size_t b = slot(PageRow(data, pair.b, true));
    if (a >= rows.size() || b >= rows.size()) continue;
    const size_t ra = find(a), rb = find(b);
    if (ra == rb) continue;
    parent[ra] = rb;
    if (++joined == rows.size()) return pair.similarity;
  }
  return 0;
}

nlohmann::json RecordJson(const ReviewData& data, int64_t row) {
  nlohmann::json record = nlohmann::json::array({row});
  const bool file = row < 0;
  const InputTable& t = file ? data.second : data.input;
  const uint32_t r = static_cast<uint32_t>((file ? -row : row) - 1);
  for (uint32_t c : data.shown_columns) {
    record.push_back(c < t.columns ? Utf8(t.table.AsArray()->cell(c, r))
                                   : std::string());
  }
  return record;
}

std::string Dump(const nlohmann::json& doc) {
  return doc.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

std::vector<OptionSpec> ReviewSpecs() {
  std::vector<OptionSpec> specs = InputOptionSpecs();
  for (auto& s : TwoFileInputSpecs()) specs.push_back(s);
  for (auto& s : MatchingOptionSpecs()) specs.push_back(s);
  for (auto& s : SettingSpecs(OptionsReader::kDupeSearch)) specs.push_back(s);
  for (auto& s : SettingSpecs(OptionsReader::kFuzzyMatch)) specs.push_back(s);
  for (auto& s : ModelOptionSpecs()) specs.push_back(s);
  specs.push_back({"fid-column", true});
  specs.push_back({"decisions", true});
  // The two commands share some flags; each is known once.
  std::vector<OptionSpec> unique;
  for (OptionSpec& s : specs) {
    if (std::none_of(unique.begin(), unique.end(),
                     [&](const OptionSpec& u) { return u.name == s.name; })) {
      unique.push_back(std::move(s));
    }
  }
  return unique;
}

bool LoadReviewData(const Arguments& a, Io io, ReviewData* data, int* status) {
  if (a.positional().size() == 2) data->state.kind = ReviewKind::kMatch;
  const bool ok = a.Has("pairs") ? ReadResult(a, io, data, status)
                                 : Search(a, io, data, status);
  if (ok) OrderGroups(data);
  return ok;
}

void OrderGroups(ReviewData* data) {
  const ReviewState& state = data->state;
  const size_t count = state.groups.size();
  data->group_pairs.assign(count, {});
  // Pairs are ordered by a, so each group's are found by its rows.
  std::vector<uint32_t> group_of(state.rows + size_t{1}, UINT32_MAX);
  for (size_t g = 0; g < count; ++g) {
    group_of[state.groups[g][0]] = static_cast<uint32_t>(g);
    if (IsMatch(*data)) continue;
    for (uint32_t row : state.groups[g]) {
      group_of[row] = static_cast<uint32_t>(g);
    }
  }
  for (size_t p = 0; p < data->pairs.size(); ++p) {
    const uint32_t g = group_of[data->pairs[p].a];
    if (g != UINT32_MAX) {
      data->group_pairs[g].push_back(static_cast<uint32_t>(p));
    }
  }
  data->holds.assign(count, 0);
  data->uncertain.assign(count, 0);
  std::vector<int64_t> rows;
  std::vector<size_t> sizes(count);
  for (size_t g = 0; g < count; ++g) {
    GroupRows(*data, g, &rows);
    sizes[g] = rows.size();
    data->holds[g] = HoldsTo(*data, rows, data->group_pairs[g]);
    for (uint32_t p : data->group_pairs[g]) {
      if (data->probabilities && FsUncertain(data->pairs[p].similarity)) {
        ++data->uncertain[g];
      }
    }
  }
  data->order.resize(count);
  for (size_t g = 0; g < count; ++g) data->order[g] = static_cast<uint32_t>(g);
  // The groups where the model is unsure come first: there a person's look
  // decides most.
  std::sort(data->order.begin(), data->order.end(),
            [&](uint32_t x, uint32_t y) {
              const bool unsure_x = data->uncertain[x] > 0;
              const bool unsure_y = data->uncertain[y] > 0;
              if (unsure_x != unsure_y) return unsure_x;
              if (sizes[x] != sizes[y]) return sizes[x] > sizes[y];
              if (data->holds[x] != data->holds[y]) {
                return data->holds[x] < data->holds[y];
              }
              return state.groups[x][0] < state.groups[y][0];
            });
}

std::string ReviewSummaryJson(const ReviewData& data) {
  using nlohmann::json;
  json columns = json::array();
  int id_column = -1;
  for (uint32_t c : data.shown_columns) {
    if (static_cast<int>(c) == data.id_column) {
      id_column = static_cast<int>(columns.size());
    }
    columns.push_back(platform::Utf16ToUtf8(data.input.names[c]));
  }
  // Pairs per whole percent, from the lowest similarity (or Threshold) on.
  double lowest = data.threshold;
  for (const ReviewPair& p : data.pairs) {
    lowest = std::min(lowest, p.similarity);
  }
  const int low = static_cast<int>(std::floor(std::max(0.0, lowest)));
  std::vector<uint64_t> counts(static_cast<size_t>(std::max(1, 101 - low)), 0);
  for (const ReviewPair& p : data.pairs) {
    const double bin = std::floor(p.similarity) - low;
    const size_t at = bin <= 0 ? 0 : static_cast<size_t>(bin);
    ++counts[std::min(at, counts.size() - 1)];
  }
  json groups = json::array();
  std::vector<int64_t> rows;
  uint64_t uncertain = 0;
  for (uint32_t g : data.order) {
    GroupRows(data, g, &rows);
    groups.push_back(
        json::array({data.state.groups[g][0], rows.size(), data.holds[g],
                     data.group_pairs[g].size(), data.uncertain[g]}));
    uncertain += data.uncertain[g];
  }
  const std::string path = data.input.path;
  json doc = {{"file", path.substr(path.find_last_of('/') + 1)},
              {"kind", IsMatch(data) ? "match" : "groups"},
              {"threshold", data.threshold},
              {"columns", std::move(columns)},
              {"id_column", id_column},
              {"evidence", data.evidence.columns},
              {"histogram", {{"low", low}, {"counts", std::move(counts)}}},
              {"probabilities", data.probabilities},
              {"uncertain", uncertain},
              {"groups", std::move(groups)}};
  return Dump(doc);
}

std::string ReviewGroupsJson(const ReviewData& data, size_t from, size_t to) {
  using nlohmann::json;
  json list = json::array();
  std::vector<int64_t> rows;
  const ReviewEvidence& evidence = data.evidence;
  const size_t width = evidence.columns.size();
  to = std::min(to, data.order.size());
  for (size_t at = from; at < to; ++at) {
    const uint32_t g = data.order[at];
    GroupRows(data, g, &rows);
    json records = json::array();
    for (int64_t row : rows) records.push_back(RecordJson(data, row));
    json pairs = json::array();
    json explained = json::array();
    for (uint32_t p : data.group_pairs[g]) {
      const ReviewPair& pair = data.pairs[p];
      pairs.push_back(
          json::array({PageRow(data, pair.a, false),
                       PageRow(data, pair.b, true), pair.similarity}));
      if (width == 0) continue;
      json cells = json::array();
      auto it = evidence.index_of.find(PairKey(pair.a, pair.b));
      for (size_t c = 0; c < width; ++c) {
        if (it == evidence.index_of.end()) {
          cells.push_back(nullptr);
          cells.push_back(nullptr);
          continue;
        }
        const size_t slot = it->second * width + c;
        cells.push_back(evidence.levels[slot]);
        const double w = evidence.weights[slot];
        cells.push_back(std::isfinite(w) ? json(w) : json(nullptr));
      }
      explained.push_back(std::move(cells));
    }
    json group = {{"records", std::move(records)}, {"pairs", std::move(pairs)}};
    if (width > 0) group["evidence"] = std::move(explained);
    list.push_back(std::move(group));
  }
  return Dump(list);
}

std::string ReviewPairsJson(const ReviewData& data) {
  using nlohmann::json;
  json list = json::array();
  std::vector<int64_t> rows;
  for (uint32_t g : data.order) {
    GroupRows(data, g, &rows);
    json pairs = json::array();
    for (uint32_t p : data.group_pairs[g]) {
      const ReviewPair& pair = data.pairs[p];
      pairs.push_back(
          json::array({PageRow(data, pair.a, false),
                       PageRow(data, pair.b, true), pair.similarity}));
    }
    list.push_back(json::array({rows, std::move(pairs)}));
  }
  return Dump(list);
}

}  // namespace vexlor::cli

#include "cli/group_settings.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <string_view>

#include "vexlor/output/csv_export.h"
#include "vexlor/output/csv_format.h"
#include "vexlor/tables/scoring/fs_model.h"
#include "vexlor/text.h"
#include "vexlor/variant_array.h"

namespace vexlor::cli {

using platform::Variant;
using platform::VariantArray;

namespace {

bool OneOf(const std::string& value, std::initializer_list<const char*> words) {
  return std::any_of(words.begin(), words.end(),
                     [&](const char* w) { return value == w; });
}

// The two columns of --swap, as given.
bool SwapColumns(const Arguments& args, std::string* first,
                 std::string* second) {
  const std::string value = args.Get("swap", "");
  const size_t comma = value.find(',');
  if (comma == std::string::npos) return false;
  *first = value.substr(0, comma);
  *second = value.substr(comma + 1);
  return !first->empty() && !second->empty() && *first != *second;
}

// A table as wide as `table` plus one column, which gets `cells`.
Variant WithColumn(const Variant& table, std::vector<Variant> cells) {
  const VariantArray& in = *table.AsArray();
  Variant out = VariantArray::NewTable(in.columns() + 1, in.rows());
  VariantArray& o = *out.AsArray();
  for (uint32_t r = 0; r < in.rows(); ++r) {
    for (uint32_t c = 0; c < in.columns(); ++c) o.cell(c, r) = in.cell(c, r);
    o.cell(in.columns(), r) = std::move(cells[r]);
  }
  return out;
}

std::u16string LabelKey(const Variant& cell) {
  return cell.IsString() ? std::u16string(cell.AsString()) : std::u16string();
}

}  // namespace

std::vector<OptionSpec> SettingSpecs(OptionsReader reader) {
  std::vector<OptionSpec> specs = {
      {"swap", true}, {"pairs", true}, {"candidates", true}};
  if (reader == OptionsReader::kDupeSearch) {
    for (const char* name : {"grouping", "member-threshold", "labels"}) {
      specs.push_back({name, true});
    }
    specs.push_back({"scores", false});
    specs.push_back({"group-size", false});
  } else if (reader == OptionsReader::kFuzzyMatch) {
    specs.push_back({"match", true});
    specs.push_back({"scores", false});
    specs.push_back({"match-id", false});
  }
  return specs;
}

bool CheckSettings(const Arguments& args, std::string* error) {
  double number;
  std::string first, second;
  if (args.Has("grouping") &&
      !OneOf(args.Get("grouping", ""), {"chain", "center", "clique"})) {
    *error = "--grouping takes chain, center or clique";
  } else if (args.Has("member-threshold") &&
             (!ParseDouble(args.Get("member-threshold", ""), &number) ||
              !std::isfinite(number))) {
    *error = "--member-threshold takes a number (percent)";
  } else if (args.Has("swap") && !SwapColumns(args, &first, &second)) {
    *error = "--swap takes two different columns: COL,COL";
  } else if (args.Has("candidates") &&
             !OneOf(args.Get("candidates", ""), {"exact", "bounded"})) {
    *error = "--candidates takes exact or bounded";
  } else if (args.Has("match") &&
             !OneOf(args.Get("match", ""), {"first", "best"})) {
    *error = "--match takes first or best";
  } else if (args.Has("labels") &&
             !OneOf(args.Get("labels", ""), {"guid", "number"})) {
    *error = "--labels takes guid or number";
  } else if (args.Has("pairs") && args.Get("pairs", "").empty()) {
    *error = "--pairs takes a file name";
  } else if (args.Has("match-id") && !args.Has("id-column")) {
    *error = "--match-id needs --id-column";
  } else {
    return true;
  }
  return false;
}

bool ReadSettings(const Arguments& args, const InputTable& table,
                  OptionsReader reader, MatchOptions* options,
                  std::string* error) {
  // The flags become an Options text, read as the control reads it.
  std::string text;
  if (args.Has("grouping"))
    text += "Grouping=" + args.Get("grouping", "") + ";";
  if (args.Has("member-threshold")) {
    text += "MemberThreshold=" + args.Get("member-threshold", "") + ";";
  }
  if (args.Has("match")) text += "Match=" + args.Get("match", "") + ";";
  if (args.Has("scores")) text += "Scores=1;";
  if (args.Has("candidates")) {
    text += "Candidates=" + args.Get("candidates", "") + ";";
  }
  std::string first, second;
  if (args.Has("swap") && SwapColumns(args, &first, &second)) {
    const int a = FindColumn(table, first);
    const int b = FindColumn(table, second);
    if (a < 0 || b < 0) {
      *error = NoColumnError(table, a < 0 ? first : second);
      return false;
    }
    text += "Swap=" + std::to_string(a) + "," + std::to_string(b) + ";";
  }
  std::vector<std::string> skipped;
  *options = ParseMatchOptions(platform::Utf8ToUtf16(text), reader, &skipped);
  if (!skipped.empty()) {
    *error = skipped.front();  // a column beyond the 400 compared ones
    return false;
  }
  return true;
}

bool PairRecorder::Write(const Arguments& args, const InputTable& records,
                         const InputTable& others, int id_column, bool merge,
                         std::string* error) const {
  if (!args.Has("pairs")) return true;
  // Written as the output is, so that an id column's cells read back as
  // they were.
  CsvFormat format;
  if (!OutputFormat(args, &format, error)) return false;
  std::vector<std::u16string> names =
      merge ? std::vector<std::u16string>{u"record", u"other", u"source",
                                          u"similarity"}
            : std::vector<std::u16string>{u"record", u"other", u"similarity"};
  if (probabilities_) names.push_back(u"uncertain");
  auto id = [&](const InputTable& t, uint32_t row) {
    if (id_column >= 0 && static_cast<size_t>(id_column) < t.columns) {
      return t.table.AsArray()->cell(static_cast<uint32_t>(id_column), row);
    }
    return Variant::I4(static_cast<int32_t>(row + 1));
  };
  Variant table = VariantArray::NewTable(static_cast<uint32_t>(names.size()),
                                         static_cast<uint32_t>(pairs_.size()));
  VariantArray& out = *table.AsArray();
  for (uint32_t k = 0; k < pairs_.size(); ++k) {
    const MatchedPair& p = pairs_[k];
    uint32_t c = 0;
    out.cell(c++, k) = id(records, p.record);
    out.cell(c++, k) = id(p.other_imported ? records : others, p.other);
    if (merge) out.cell(c++, k) = Variant::I4(p.other_imported ? 1 : 0);
    out.cell(c++, k) = Variant::R8(p.similarity);
    if (probabilities_) {
      out.cell(c, k) = Variant::I4(FsUncertain(p.similarity) ? 1 : 0);
    }
  }
  return WriteCsvTableToPath(out, format, names, out.UpperBound(0),
                             args.Get("pairs", ""), error);
}

size_t PairRecorder::UncertainPairs() const {
  if (!probabilities_) return 0;
  return static_cast<size_t>(std::count_if(
      pairs_.begin(), pairs_.end(),
      [](const MatchedPair& p) { return FsUncertain(p.similarity); }));
}

std::string UncertainSummary(const PairRecorder& pairs) {
  if (!pairs.probabilities()) return "";
  const size_t count = pairs.UncertainPairs();
  return ", " + std::to_string(count) + " uncertain pair" +
         (count == 1 ? "" : "s") + " (match probability 0.2 to 0.8)";
}

void ShapeDupes(const Arguments& args, int label_column, bool groups_only,
                Variant* result, std::vector<std::u16string>* names) {
  VariantArray* table = result->AsArray();
  if (table == nullptr) return;
  const uint32_t rows = table->rows();
  const uint32_t at = static_cast<uint32_t>(label_column);
  // Each row's group, numbered in order of first appearance.
  std::map<std::u16string, int32_t> number_of;
  std::vector<int32_t> group(rows);
  std::vector<uint32_t> size;
  for (uint32_t r = 0; r < rows; ++r) {
    auto [it, added] = number_of.emplace(
        LabelKey(table->cell(at, r)), static_cast<int32_t>(number_of.size()));
    group[r] = it->second;
    if (added) size.push_back(0);
    ++size[it->second];
  }
  if (args.Get("labels", "guid") == "number") {
    for (uint32_t r = 0; r < rows; ++r) {
      table->cell(at, r) = Variant::I4(group[r] + 1);
    }
  }
  if (args.Has("group-size")) {
    std::vector<Variant> sizes;
    for (uint32_t r = 0; r < rows; ++r) {
      sizes.push_back(Variant::I4(static_cast<int32_t>(size[group[r]])));
    }
    *result = WithColumn(*result, std::move(sizes));
    names->push_back(u"GroupSize");
  }
  if (!groups_only) return;
  // Rows of shared labels, by group in order of the group's first row.
  std::vector<uint32_t> order;
  for (uint32_t r = 0; r < rows; ++r) {
    if (size[group[r]] > 1) order.push_back(r);
  }
  std::stable_sort(order.begin(), order.end(),
                   [&](uint32_t a, uint32_t b) { return group[a] < group[b]; });
  if (order.empty()) {
    *result = Variant();
    return;
  }
  const VariantArray& all = *result->AsArray();
  Variant kept = VariantArray::NewTable(all.columns(),
                                        static_cast<uint32_t>(order.size()));
  for (uint32_t k = 0; k < order.size(); ++k) {
    for (uint32_t c = 0; c < all.columns(); ++c) {
      kept.AsArray()->cell(c, k) = all.cell(c, order[k]);
    }
  }
  *result = kept;
}

void AddMatchIds(const Arguments& args, const InputTable& file, int id_column,
                 int match_column, Variant* result,
                 std::vector<std::u16string>* names) {
  if (!args.Has("match-id")) return;
  names->push_back(u"MatchID");
  const VariantArray* table = result->AsArray();
  if (table == nullptr) return;
  std::vector<Variant> ids;
  const VariantArray& second = *file.table.AsArray();
  for (uint32_t r = 0; r < table->rows(); ++r) {
    const int32_t match =
        table->cell(static_cast<uint32_t>(match_column), r).AsInt32();
    const bool found = match > 0 &&
                       static_cast<size_t>(id_column) < file.columns &&
                       static_cast<uint32_t>(match) <= second.rows();
    ids.push_back(found ? second.cell(static_cast<uint32_t>(id_column),
                                      static_cast<uint32_t>(match - 1))
                        : Variant());
  }
  *result = WithColumn(*result, std::move(ids));
}

}  // namespace vexlor::cli

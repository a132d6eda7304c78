#include "cli/model_options.h"

#include <fstream>
#include <sstream>

#include "vexlor/output/csv_export.h"
#include "vexlor/strings/normalize.h"
#include "vexlor/tables/cell_text.h"
#include "vexlor/text.h"
#include "vexlor/variant_array.h"

namespace vexlor::cli {

using platform::Variant;
using platform::VariantArray;

std::vector<OptionSpec> ModelOptionSpecs() {
  return {{"scoring", true},
          {"model", true},
          {"model-out", true},
          {"explain", true}};
}

bool ModelSettings::Read(const Arguments& args, MatchOptions* options,
                         std::string* error) {
  if (args.Has("scoring")) {
    const std::string value = args.Get("scoring", "");
    if (value == "mean") {
      options->scoring = Scoring::kMean;
    } else if (value == "estimated") {
      options->scoring = Scoring::kEstimated;
    } else {
      *error = "--scoring takes mean or estimated";
      return false;
    }
  }
  if (args.Has("model")) {
    const std::string path = args.Get("model", "");
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) {
      *error = "cannot read " + path;
      return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (!ParseFsModelJson(text.str(), &given_, error)) {
      *error = path + ": " + *error;
      return false;
    }
    if (args.Has("scoring") && options->scoring == Scoring::kMean) {
      *error = "--model scores with the model: not with --scoring mean";
      return false;
    }
    options->scoring = Scoring::kEstimated;
    options->model = &given_;
  }
  if ((args.Has("model-out") || args.Has("explain")) &&
      options->scoring != Scoring::kEstimated) {
    *error = "--model-out and --explain need --scoring estimated (or --model)";
    return false;
  }
  if (options->scoring == Scoring::kEstimated) options->model_out = &used_;
  explain_ = args.Has("explain");
  next_ = options->pair_observer;
  options->pair_observer = this;
  return true;
}

void ModelSettings::OnPair(const MatchedPair& pair) {
  if (explain_) pairs_.push_back(pair);
  if (next_ != nullptr) next_->OnPair(pair);
}

bool ModelSettings::Write(const Arguments& args, const InputTable& records,
                          const InputTable& others, int id_column,
                          std::string* error) {
  if (args.Has("model-out")) {
    const std::string path = args.Get("model-out", "");
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << used_.ToJson();
    out.close();
    if (!out) {
      *error = "cannot write " + path;
      return false;
    }
  }
  if (!explain_ || !args.Has("explain")) return true;
  Variant table;
  std::vector<std::u16string> names;
  ExplainTable(records, others, id_column, &table, &names);
  const VariantArray& out = *table.AsArray();
  CsvFormat format;
  if (!OutputFormat(args, &format, error)) return false;
  return WriteCsvTableToPath(out, format, names, out.UpperBound(0),
                             args.Get("explain", ""), error);
}

void ModelSettings::ExplainTable(const InputTable& records,
                                 const InputTable& others, int id_column,
                                 Variant* table,
                                 std::vector<std::u16string>* names) const {
  // The texts in the form the comparison saw them: upper-case keys for the
  // fuzzy columns.
  auto level = [&](const FsColumn& col, const InputTable& t, uint32_t row,
                   const InputTable& u, uint32_t other) {
    std::string a, b;
    const uint32_t c = static_cast<uint32_t>(col.column);
    if (c >= t.columns || c >= u.columns) {
      return std::pair<FsLevel, std::string>(kFsMissing, "");
    }
    CellText(t.table.AsArray()->cell(c, row), &a);
    CellText(u.table.AsArray()->cell(c, other), &b);
    if (!col.exact) {
      a = NormalizeText(a, true);
      b = NormalizeText(b, true);
    }
    return std::pair<FsLevel, std::string>(col.LevelOf(a, b), a);
  };
  auto id = [&](const InputTable& t, uint32_t row) {
    if (id_column >= 0 && static_cast<size_t>(id_column) < t.columns) {
      return t.table.AsArray()->cell(static_cast<uint32_t>(id_column), row);
    }
    return Variant::I4(static_cast<int32_t>(row + 1));
  };
  *names = {u"record", u"other", u"score"};
  for (const FsColumn& col : used_.columns) {
    const std::u16string name =
        col.name.empty()
            ? u"Column" + platform::Utf8ToUtf16(std::to_string(col.column + 1))
            : platform::Utf8ToUtf16(col.name);
    names->push_back(name + u" level");
    names->push_back(name + u" weight");
  }
  *table = VariantArray::NewTable(static_cast<uint32_t>(names->size()),
                                  static_cast<uint32_t>(pairs_.size()));
  VariantArray& out = *table->AsArray();
  for (uint32_t k = 0; k < pairs_.size(); ++k) {
    const MatchedPair& p = pairs_[k];
    const InputTable& other = p.other_imported ? records : others;
    uint32_t c = 0;
    out.cell(c++, k) = id(records, p.record);
    out.cell(c++, k) = id(other, p.other);
    out.cell(c++, k) = Variant::R8(p.similarity);
    for (const FsColumn& col : used_.columns) {
      const auto [l, text] = level(col, records, p.record, other, p.other);
      out.cell(c++, k) =
          Variant::String(platform::Utf8ToUtf16(col.LevelName(l)));
      out.cell(c++, k) = Variant::R8(col.WeightOf(l, text));
    }
  }
}

}  // namespace vexlor::cli

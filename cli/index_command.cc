// `vexlor index add|match|export|info`, and the helpers the index commands
// share.
#include "cli/index_command.h"

#include <cmath>
#include <optional>
#include <set>

#include "cli/summary.h"
#include "vexlor/text.h"
#include "vexlor/variant_array.h"

namespace vexlor::cli {

using platform::Variant;
using platform::VariantArray;

size_t CountLabels(const std::vector<std::string>& labels) {
  return std::set<std::string>(labels.begin(), labels.end()).size();
}

bool WriteLabelled(const InputTable& input,
                   const std::vector<std::string>& labels,
                   const Arguments& args, std::string* error) {
  const uint32_t columns = static_cast<uint32_t>(input.columns);
  const uint32_t rows = static_cast<uint32_t>(input.rows);
  Variant out = VariantArray::NewTable(columns + 1, rows);
  for (uint32_t r = 0; r < rows; ++r) {
    for (uint32_t c = 0; c < columns; ++c) {
      out.AsArray()->cell(c, r) = input.table.AsArray()->cell(c, r);
    }
    out.AsArray()->cell(columns, r) =
        Variant::String(platform::Utf8ToUtf16(labels[r]));
  }
  std::vector<std::u16string> names = input.names;
  names.push_back(u"FuzzyDupesID");
  return WriteResult(out, names, args, error);
}

bool IndexColumnsOf(const IndexSettings& settings,
                    const std::vector<std::u16string>& names,
                    std::vector<int>* index_columns, std::string* error) {
  index_columns->clear();
  for (const std::u16string& name : names) {
    int found = -1;
    for (size_t c = 0; c < settings.names.size(); ++c) {
      if (settings.names[c] == name) found = static_cast<int>(c);
    }
    if (found < 0) {
      std::string known;
      for (const std::u16string& n : settings.names) {
        known += (known.empty() ? "" : ", ") + platform::Utf16ToUtf8(n);
      }
      *error = "unknown column '" + platform::Utf16ToUtf8(name) +
               "'; the index's columns are: " + known;
      return false;
    }
    index_columns->push_back(found);
  }
  return true;
}

Variant IndexRecords(const IndexSettings& settings, const Variant& table,
                     size_t rows, const std::vector<int>& index_columns) {
  const uint32_t columns = static_cast<uint32_t>(settings.names.size());
  Variant records =
      VariantArray::NewTable(columns, static_cast<uint32_t>(rows));
  VariantArray& to = *records.AsArray();
  for (uint32_t r = 0; r < rows; ++r) {
    for (uint32_t c = 0; c < columns; ++c) to.cell(c, r) = Variant::Null();
    for (size_t c = 0; c < index_columns.size(); ++c) {
      to.cell(static_cast<uint32_t>(index_columns[c]), r) =
          table.AsArray()->cell(static_cast<uint32_t>(c), r);
    }
  }
  return records;
}

namespace {

std::vector<OptionSpec> SearchSpecs() {
  std::vector<OptionSpec> specs = InputOptionSpecs();
  for (auto& s : OutputOptionSpecs()) specs.push_back(s);
  specs.push_back({"label-seed", true});
  return specs;
}

// Opens the index named by the first positional argument; null after
// printing why.
std::unique_ptr<RecordIndex> OpenIndex(const Arguments& a, Io io, int* status) {
  std::optional<uint64_t> seed;
  if (a.Has("label-seed")) {
    long long value;
    if (!ParseInt(a.Get("label-seed", ""), 0, INT64_MAX, &value)) {
      *status = Complain(io, kExitUsage, "--label-seed takes a whole number");
      return nullptr;
    }
    seed = static_cast<uint64_t>(value);
  }
  std::string error;
  std::unique_ptr<RecordIndex> index =
      RecordIndex::Open(a.positional()[0], seed, &error);
  if (index == nullptr) *status = Complain(io, kExitBadInput, error);
  return index;
}

// FILE with the group each record joined (or would join) and the
// similarity that placed it.
Variant ResultTable(const InputTable& input,
                    const std::vector<RecordResult>& results) {
  const uint32_t columns = static_cast<uint32_t>(input.columns);
  Variant out =
      VariantArray::NewTable(columns + 2, static_cast<uint32_t>(input.rows));
  VariantArray& to = *out.AsArray();
  for (uint32_t r = 0; r < input.rows; ++r) {
    for (uint32_t c = 0; c < columns; ++c) {
      to.cell(c, r) = input.table.AsArray()->cell(c, r);
    }
    const RecordResult& result = results[r];
    if (!result.group.empty()) {
      to.cell(columns, r) =
          Variant::String(platform::Utf8ToUtf16(result.group));
    }
    if (!std::isnan(result.similarity)) {
      to.cell(columns + 1, r) = Variant::R8(result.similarity);
    }
  }
  return out;
}

int RunSearch(const std::string& name, bool store,
              const std::vector<std::string>& args, Io io) {
  const Arguments a(args, SearchSpecs());
  if (!a.ok()) return Complain(io, kExitUsage, name + ": " + a.error());
  if (a.positional().size() != 2) {
    return Complain(io, kExitUsage,
                    name + " takes INDEX and one FILE (or - for stdin)");
  }
  Summary summary(a);
  int status = kExitOk;
  std::unique_ptr<RecordIndex> index = OpenIndex(a, io, &status);
  if (index == nullptr) return status;
  InputTable input;
  std::string error;
  if (!LoadTable(a.positional()[1], a, &input, &error)) {
    return Complain(io, kExitBadInput, error);
  }
  std::vector<int> columns;
  if (!IndexColumnsOf(index->settings(), input.names, &columns, &error)) {
    return Complain(io, kExitBadInput, input.path + ": " + error);
  }
  const Variant records =
      IndexRecords(index->settings(), input.table, input.rows, columns);
  summary.Lap();
  std::vector<RecordResult> results;
  const bool done = store ? index->Add(*records.AsArray(), &results, &error)
                          : index->Match(*records.AsArray(), &results, &error);
  if (!done) return Complain(io, kExitBadInput, error);
  summary.Lap();
  std::vector<std::u16string> names = input.names;
  names.push_back(u"FuzzyDupesID");
  names.push_back(u"Similarity");
  if (!WriteResult(ResultTable(input, results), names, a, &error)) {
    return Complain(io, kExitBadInput, error);
  }
  size_t joined = 0;
  for (const RecordResult& r : results) joined += r.new_group ? 0 : 1;
  summary.Print(io.err, name,
                RecordsRead(input.rows) + ", " + std::to_string(joined) +
                    (store ? " joined" : " would join") + " a stored group");
  return kExitOk;
}

int RunExport(const std::vector<std::string>& args, Io io) {
  std::vector<OptionSpec> specs = OutputOptionSpecs();
  const Arguments a(args, specs);
  if (!a.ok()) return Complain(io, kExitUsage, "index export: " + a.error());
  if (a.positional().size() != 1) {
    return Complain(io, kExitUsage, "index export takes INDEX");
  }
  int status = kExitOk;
  std::unique_ptr<RecordIndex> index = OpenIndex(a, io, &status);
  if (index == nullptr) return status;
  const IndexSettings& settings = index->settings();
  const uint32_t columns = static_cast<uint32_t>(settings.names.size());
  Variant out = VariantArray::NewTable(columns + 1, index->Info().records);
  VariantArray& to = *out.AsArray();
  uint32_t row = 0;
  std::string error;
  const bool read = index->Export(
      8192,
      [&](const VariantArray& rows,
          std::span<const std::string* const> groups) {
        for (uint32_t r = 0; r < rows.rows(); ++r, ++row) {
          for (uint32_t c = 0; c < columns; ++c)
            to.cell(c, row) = rows.cell(c, r);
          to.cell(columns, row) =
              Variant::String(platform::Utf8ToUtf16(*groups[r]));
        }
      },
      &error);
  if (!read) return Complain(io, kExitBadInput, error);
  std::vector<std::u16string> names = settings.names;
  names.push_back(u"FuzzyDupesID");
  if (!WriteResult(out, names, a, &error)) {
    return Complain(io, kExitBadInput, error);
  }
  return kExitOk;
}

std::string ColumnLine(const IndexSettings& s, size_t c) {
  std::string line = "  " + platform::Utf16ToUtf8(s.names[c]) + ":";
  if (static_cast<int>(c) == s.id_column) return line + " id";
  if (s.columns.cluster[c]) line += " cluster";
  if (s.columns.dupe_search[c]) {
    line += " compare, weight " + ShortestNumberText(s.columns.weight[c]);
  }
  if (s.columns.compare_null[c]) line += ", compare-null";
  if (!s.columns.cluster[c] && !s.columns.dupe_search[c]) line += " stored";
  return line;
}

int RunInfo(const std::vector<std::string>& args, Io io) {
  const Arguments a(args, {});
  if (!a.ok()) return Complain(io, kExitUsage, "index info: " + a.error());
  if (a.positional().size() != 1) {
    return Complain(io, kExitUsage, "index info takes INDEX");
  }
  int status = kExitOk;
  std::unique_ptr<RecordIndex> index = OpenIndex(a, io, &status);
  if (index == nullptr) return status;
  const IndexInfo info = index->Info();
  const IndexSettings& s = index->settings();
  const std::string options = SettingsOptionsText(s);
  io.out << "index: " << a.positional()[0] << " (format " << kIndexFormatVersion
         << ")\n"
         << "records: " << info.records << "\n"
         << "groups: " << info.groups << "\n"
         << "size: " << info.file_bytes << " bytes\n"
         << "threshold: " << ShortestNumberText(s.threshold) << "\n"
         << "cluster threshold: " << ShortestNumberText(s.cluster_threshold)
         << "\n"
         << "options: " << (options.empty() ? "(none)" : options) << "\n"
         << "columns:\n";
  for (size_t c = 0; c < s.names.size(); ++c) {
    io.out << ColumnLine(s, c) << "\n";
  }
  return kExitOk;
}

}  // namespace

int RunIndex(const std::vector<std::string>& args, Io io) {
  const std::string what = args.empty() ? "" : args[0];
  const std::vector<std::string> rest =
      args.empty() ? args
                   : std::vector<std::string>(args.begin() + 1, args.end());
  if (what == "create") return RunIndexCreate(rest, io);
  if (what == "add") return RunSearch("index add", true, rest, io);
  if (what == "match") return RunSearch("index match", false, rest, io);
  if (what == "export") return RunExport(rest, io);
  if (what == "info") return RunInfo(rest, io);
  return Complain(io, kExitUsage,
                  "index takes create, add, match, export or info");
}

}  // namespace vexlor::cli

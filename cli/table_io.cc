#include "cli/table_io.h"

#include <map>
#include <ostream>
#include <string_view>

#include "cli/csv_writer.h"
#include "cli/interrupts.h"
#include "cli/output_target.h"
#include "vexlor/text.h"
#include "vexlor/variant_array.h"

namespace vexlor::cli {

using platform::Variant;
using platform::VariantArray;

std::vector<OptionSpec> InputOptionSpecs() {
  return {{"no-header", false, false, "H"},
          {"delimiter", true, false, "d"},
          {"encoding", true, false, "e"},
          {"allow-ragged", false}};
}

std::vector<OptionSpec> TwoFileInputSpecs() {
  return {{"master-delimiter", true},
          {"master-encoding", true},
          {"file-delimiter", true},
          {"file-encoding", true},
          {"by-position", false}};
}

std::vector<OptionSpec> OutputOptionSpecs() {
  return {{"output", true, false, "o"},
          {"out-delimiter", true},
          {"out-encoding", true},
          {"summary", false}};
}

namespace {

bool ParseEncoding(const std::string& text, bool* cp1252) {
  if (text == "utf8" || text == "utf-8" || text == "UTF-8") {
    *cp1252 = false;
    return true;
  }
  if (text == "cp1252" || text == "windows-1252") {
    *cp1252 = true;
    return true;
  }
  return false;
}

std::string Unescape(const std::string& delimiter) {
  if (delimiter == "\\t" || delimiter == "tab") return "\t";
  return delimiter;
}

// True when no option names a column other than by its 0-based index; then
// a header that uses one name twice is harmless.
bool ColumnsNamedByIndex(const Arguments& args) {
  for (const char* option :
       {"id-column", "cluster", "compare", "compare-null", "weight", "column",
        "fid-column", "max-column", "swap"}) {
    for (const std::string& value : args.All(option)) {
      std::string list = value;
      if (std::string(option) == "weight")
        list = list.substr(0, list.rfind('='));
      size_t start = 0;
      while (start <= list.size()) {
        size_t end = list.find(',', start);
        if (end == std::string::npos) end = list.size();
        const std::string item = list.substr(start, end - start);
        long long ignored;
        if (!item.empty() && !ParseInt(item, 0, INT32_MAX, &ignored)) {
          return false;
        }
        start = end + 1;
      }
    }
  }
  return true;
}

// Refuses a header that names two columns alike, since a column named by
// that name could be either.
bool CheckHeader(const std::string& path,
                 const std::vector<std::string>& header, const Arguments& args,
                 std::string* error) {
  std::map<std::string_view, size_t> seen;
  for (size_t c = 0; c < header.size(); ++c) {
    if (header[c].empty()) continue;
    auto [it, added] = seen.emplace(header[c], c);
    if (added || ColumnsNamedByIndex(args)) continue;
    *error = path + ": columns " + std::to_string(it->second) + " and " +
             std::to_string(c) + " (from 0) are both named '" + header[c] +
             "'; rename one, or name columns by index";
    return false;
  }
  return true;
}

}  // namespace

bool LoadTable(const std::string& path, const Arguments& args,
               InputTable* input, std::string* error, const std::string& role) {
  // The file's own option where given, else the one for every file.
  auto option = [&](const std::string& name) {
    return !role.empty() && args.Has(role + "-" + name) ? role + "-" + name
                                                        : name;
  };
  CsvOptions options;
  options.header = !args.Has("no-header");
  options.delimiter = Unescape(args.Get(option("delimiter"), ""));
  options.allow_ragged = args.Has("allow-ragged");
  bool cp1252 = false;
  const std::string encoding = option("encoding");
  if (!ParseEncoding(args.Get(encoding, "utf8"), &cp1252)) {
    *error = "--" + encoding + " takes utf8 or cp1252";
    return false;
  }
  options.encoding = cp1252 ? Encoding::kCp1252 : Encoding::kUtf8;
  std::string data;
  if (!ReadInput(path, &data, error) || Interrupted()) return false;
  CsvTable csv;
  std::string parse_error;
  if (!ParseCsv(data, options, &csv, &parse_error)) {
    *error = (path == "-" ? std::string("standard input") : path) + ": " +
             parse_error;
    return false;
  }
  std::string().swap(data);
  if (Interrupted()) return false;
  const std::string shown = path == "-" ? std::string("standard input") : path;
  if (!CheckHeader(shown, csv.header, args, error)) return false;
  input->path = path;
  input->rows = csv.rows.size();
  input->columns = csv.columns;
  input->names.clear();
  for (size_t c = 0; c < csv.columns; ++c) {
    if (c < csv.header.size() && !csv.header[c].empty()) {
      input->names.push_back(platform::Utf8ToUtf16(csv.header[c]));
    } else {
      input->names.push_back(
          platform::Utf8ToUtf16("Column" + std::to_string(c + 1)));
    }
  }
  input->table = VariantArray::NewTable(static_cast<uint32_t>(csv.columns),
                                        static_cast<uint32_t>(csv.rows.size()));
  VariantArray* array = input->table.AsArray();
  for (size_t r = 0; r < csv.rows.size(); ++r) {
    if (Interrupted()) return false;
    std::vector<std::string>& row = csv.rows[r];
    for (size_t c = 0; c < csv.columns; ++c) {
      // A short row's missing fields are empty texts, like empty fields.
      array->cell(static_cast<uint32_t>(c), static_cast<uint32_t>(r)) =
          Variant::Utf8String(c < row.size() ? row[c] : std::string());
    }
    std::vector<std::string>().swap(row);
  }
  return true;
}

bool OutputEncoding(const Arguments& args, bool* cp1252, std::string* error) {
  if (ParseEncoding(args.Get("out-encoding", "utf8"), cp1252)) return true;
  *error = "--out-encoding takes utf8 or cp1252";
  return false;
}

bool OutputFormat(const Arguments& args, CsvFormat* format,
                  std::string* error) {
  bool cp1252 = false;
  if (!OutputEncoding(args, &cp1252, error)) return false;
  *format = LosslessFormat(Unescape(args.Get("out-delimiter", ",")), cp1252);
  return true;
}

bool WriteResult(const Variant& result,
                 const std::vector<std::u16string>& names,
                 const Arguments& args, std::string* error) {
  CsvFormat format;
  if (!OutputFormat(args, &format, error)) return false;
  CsvFormatter formatter(format);
  Variant empty_table;
  const VariantArray* table = result.AsArray();
  if (table == nullptr) {
    // Nothing found: the header alone, so that the output is still a table.
    empty_table =
        VariantArray::NewTable(static_cast<uint32_t>(names.size()), 0);
    table = empty_table.AsArray();
  }
  const int64_t last_column = table->UpperBound(0);
  return WriteOutput(
      args.Get("output", "-"),
      [&](const ByteWriter& write) {
        return WriteCsv(*table, names, last_column, &formatter, write);
      },
      error);
}

void LineUpColumns(const Arguments& args, const InputTable& master,
                   InputTable* second, Io io) {
  if (args.Has("no-header") || args.Has("by-position")) return;
  // For each column of the result, the second table's column (or -1).
  std::vector<int> source;
  std::vector<bool> taken(second->columns, false);
  size_t shared = 0;
  for (const std::u16string& name : master.names) {
    int found = -1;
    for (size_t c = 0; c < second->columns && found < 0; ++c) {
      if (!taken[c] && second->names[c] == name) found = static_cast<int>(c);
    }
    if (found >= 0) {
      taken[found] = true;
      ++shared;
    }
    source.push_back(found);
  }
  if (shared == 0) {
    io.err << "vexlor: warning: " << second->path << " has no column named as "
           << "one of " << master.path
           << "; columns are compared by position\n";
    return;
  }
  std::vector<std::u16string> names = master.names;
  for (size_t c = 0; c < second->columns; ++c) {
    if (taken[c]) continue;
    source.push_back(static_cast<int>(c));
    names.push_back(second->names[c]);
  }
  Variant table = VariantArray::NewTable(static_cast<uint32_t>(source.size()),
                                         static_cast<uint32_t>(second->rows));
  VariantArray* to = table.AsArray();
  VariantArray* from = second->table.AsArray();
  for (uint32_t r = 0; r < second->rows; ++r) {
    for (uint32_t c = 0; c < source.size(); ++c) {
      if (source[c] >= 0) {
        to->cell(c, r).Swap(from->cell(static_cast<uint32_t>(source[c]), r));
      } else {
        // Like the missing fields of a short row.
        to->cell(c, r) = Variant::Utf8String("");
      }
    }
  }
  second->table = std::move(table);
  second->names = std::move(names);
  second->columns = source.size();
}

int FindColumn(const InputTable& input, const std::string& name_or_index) {
  std::u16string name = platform::Utf8ToUtf16(name_or_index);
  for (size_t c = 0; c < input.names.size(); ++c) {
    if (input.names[c] == name) return static_cast<int>(c);
  }
  long long index;
  if (ParseInt(name_or_index, 0, static_cast<long long>(input.columns) - 1,
               &index)) {
    return static_cast<int>(index);
  }
  return -1;
}

std::string NoColumnError(const InputTable& input, const std::string& name) {
  constexpr size_t kListed = 30;
  std::string message =
      input.path + ": no column '" + name + "'; the columns are: ";
  for (size_t c = 0; c < input.names.size() && c < kListed; ++c) {
    if (c > 0) message += ", ";
    message += platform::Utf16ToUtf8(input.names[c]);
  }
  if (input.names.size() > kListed) {
    message += ", ... (" + std::to_string(input.names.size()) + " in all)";
  }
  return message + " (or 0-based indexes)";
}

}  // namespace vexlor::cli

// sources: cli/csv_reader.cc cli/gzip.cc cli/interrupts.cc vexlor/platform/text.cc
// sources: vexlor/platform/text_icu.cc
// libs: -licui18n -licuuc -lz
//
// Input: one flag byte (bit 0: header row, bit 1: Windows-1252, bits 2-3:
// the delimiter: detected, ',', ';' or "||"), then the file's bytes. Checks
// that parsing ends with a table or a one-line message naming a line, that
// the table is consistent and all UTF-8, and that writing the table back
// with every field quoted and reading it again gives the same cells.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "cli/csv_reader.h"
#include "vexlor/text.h"

namespace {

using vexlor::cli::CsvOptions;
using vexlor::cli::CsvTable;
using vexlor::cli::Encoding;
using vexlor::cli::ParseCsv;

void Check(bool ok) {
  if (!ok) std::abort();
}

void AppendRecord(const std::vector<std::string>& record,
                  const std::string& delimiter, std::string* out) {
  for (size_t i = 0; i < record.size(); ++i) {
    if (i > 0) out->append(delimiter);
    out->push_back('"');
    for (char c : record[i]) {
      if (c == '"') out->push_back('"');
      out->push_back(c);
    }
    out->push_back('"');
  }
  out->append("\r\n");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  CsvOptions options;
  options.header = (data[0] & 1) != 0;
  options.encoding = (data[0] & 2) != 0 ? Encoding::kCp1252 : Encoding::kUtf8;
  static const char* const kDelimiters[] = {"", ",", ";", "||"};
  options.delimiter = kDelimiters[(data[0] >> 2) & 3];
  const std::string_view file(reinterpret_cast<const char*>(data + 1),
                              size - 1);

  CsvTable table;
  std::string error;
  if (!ParseCsv(file, options, &table, &error)) {
    Check(error.rfind("line ", 0) == 0);
    Check(error.find('\n') == std::string::npos);
    return 0;
  }
  Check(error.empty());
  Check(!table.delimiter.empty());
  if (!options.delimiter.empty()) Check(table.delimiter == options.delimiter);
  size_t widest = table.header.size();
  for (const auto& row : table.rows) {
    Check(!row.empty());
    widest = std::max(widest, row.size());
    for (const std::string& cell : row) {
      Check(vexlor::platform::IsValidUtf8(cell));
    }
  }
  Check(table.columns == widest);

  // Written back with every field quoted, the same cells come back.
  std::string written;
  if (!table.header.empty())
    AppendRecord(table.header, table.delimiter, &written);
  for (const auto& row : table.rows)
    AppendRecord(row, table.delimiter, &written);
  CsvOptions again;
  again.header = !table.header.empty();
  again.delimiter = table.delimiter;
  CsvTable reread;
  Check(ParseCsv(written, again, &reread, &error));
  Check(reread.header == table.header);
  Check(reread.rows == table.rows);
  return 0;
}

// The command line's own delimited-text output. Unlike the library's
// export, which puts every text on one line, this writer must give back
// every cell as it was read, so that `vexlor dupes ... | vexlor
// delete-dupes -` changes no data: a field is quoted only when it holds the
// delimiter, a double quote, CR or LF (quotes doubled inside), and line
// breaks inside a field are written as they are. Lines end in CR LF.
#ifndef VEXLOR_CLI_CSV_WRITER_H_
#define VEXLOR_CLI_CSV_WRITER_H_

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "vexlor/output/csv_format.h"
#include "vexlor/platform/variant_array.h"

namespace vexlor::cli {

// Receives the output in pieces; false when a write failed (errno set).
using ByteWriter = std::function<bool(std::string_view)>;

class CsvWriter {
 public:
  // `delimiter` is UTF-8 (any length but empty); text leaves as UTF-8 from
  // the cells' wide strings, or as Windows-1252 with `cp1252`.
  CsvWriter(std::string delimiter, bool cp1252);

  // Appends the header line for the columns 0 to `last_column` (a missing
  // or empty name is ColumnN), with CR LF.
  void AppendHeader(int64_t last_column, std::span<const std::u16string> names,
                    std::string* out);

  // Appends the line of `row` for the column indexes 0 to `last_column`
  // (a column outside the table's bounds gives an empty field), with CR LF.
  // Strings are encoded from their wide text; other cells as the library's
  // export writes them (numbers, True/False, locale dates and currency).
  void AppendRow(const platform::VariantArray& table, uint32_t row,
                 int64_t last_column, std::string* out);

 private:
  // Appends the field text in `field_` to `out`, quoted when it must be.
  void AppendEscaped(std::string* out);
  void AppendWide(std::u16string_view text);

  std::string delimiter_;
  bool cp1252_;
  CsvFormatter formatter_;
  std::string field_;
};

// Writes the header and every row of `table` through `write` in pieces of
// about 64 KiB. False as soon as a write fails. Cost: linear in the output.
bool WriteCsv(const platform::VariantArray& table,
              std::span<const std::u16string> names, int64_t last_column,
              CsvWriter* writer, const ByteWriter& write);

}  // namespace vexlor::cli

#endif  // VEXLOR_CLI_CSV_WRITER_H_

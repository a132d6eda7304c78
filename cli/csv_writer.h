// The command line's own delimited-text output. Unlike the library's
// export, which puts every text on one line, the command line must give
// back every cell as it was read, so that `vexlor dupes ... | vexlor
// delete-dupes -` changes no data: it writes with CsvRule::kRfc4180 (a
// field is quoted only when it holds the delimiter, a double quote, CR or
// LF, and line breaks inside a field are written as they are). Its log
// files follow the same rule, so they read back as data too. Lines end in
// CR LF.
#ifndef VEXLOR_CLI_CSV_WRITER_H_
#define VEXLOR_CLI_CSV_WRITER_H_

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "vexlor/output/csv_format.h"
#include "vexlor/variant_array.h"

namespace vexlor::cli {

// Receives the output in pieces; false when a write failed (errno set).
using ByteWriter = std::function<bool(std::string_view)>;

// The lossless format with `delimiter` (UTF-8, any length but empty), in
// UTF-8 encoded from the cells' wide strings, or in Windows-1252 with
// `cp1252` (the delimiter too). Strings are written from their wide text;
// other cells as the library's export writes them (numbers, True/False,
// locale dates and currency), quoted by the same rule.
CsvFormat LosslessFormat(std::string_view delimiter, bool cp1252);

// Writes the header line (a missing or empty name is ColumnN) and every row
// of `table` for the column indexes 0 to `last_column` (a column outside
// the table's bounds gives an empty field) through `write`, in pieces of
// about 64 KiB. False as soon as a write fails. Cost: linear in the output.
bool WriteCsv(const platform::VariantArray& table,
              std::span<const std::u16string> names, int64_t last_column,
              CsvFormatter* formatter, const ByteWriter& write);

}  // namespace vexlor::cli

#endif  // VEXLOR_CLI_CSV_WRITER_H_

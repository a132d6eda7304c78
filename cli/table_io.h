// Tables in and out of the command line: a CSV file becomes a table of
// string cells with its column names; a result table is written as
// lossless CSV (csv_writer.h), to a file (replaced only when complete) or
// to standard output.
#ifndef VEXLOR_CLI_TABLE_IO_H_
#define VEXLOR_CLI_TABLE_IO_H_

#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/command.h"
#include "cli/csv_reader.h"
#include "vexlor/output/csv_format.h"
#include "vexlor/variant.h"

namespace vexlor::cli {

struct InputTable {
  std::string path;
  platform::Variant table;            // VT_ARRAY|VT_VARIANT, string cells
  std::vector<std::u16string> names;  // one per column: header or ColumnN
  size_t rows = 0;
  size_t columns = 0;
};

// The options every table command shares.
std::vector<OptionSpec> InputOptionSpecs();
// The two-file commands' options for one file: --master-delimiter,
// --master-encoding, --file-delimiter, --file-encoding (the second file,
// FILE or IMPORT).
std::vector<OptionSpec> TwoFileInputSpecs();
std::vector<OptionSpec> OutputOptionSpecs();

// Reads `path` ("-": standard input) with the input options of `args`;
// a `role` ("master" or "file") takes --ROLE-delimiter and --ROLE-encoding
// before --delimiter and --encoding. False with a message naming the file
// (and line) on failure.
bool LoadTable(const std::string& path, const Arguments& args,
               InputTable* input, std::string* error,
               const std::string& role = "");

// Reads --out-encoding (utf8, the default, or cp1252); false with a
// message for another value.
bool OutputEncoding(const Arguments& args, bool* cp1252, std::string* error);

// The format of the output and of the command's log files: lossless
// (csv_writer.h), with --out-delimiter (default ',', "tab" or "\t" for a
// tab) and --out-encoding. False with a message for an unknown encoding.
bool OutputFormat(const Arguments& args, CsvFormat* format, std::string* error);

// Writes `result` with a header line of `names` (a column without a name is
// headed ColumnN) to -o FILE or standard output. An Empty result writes the
// header line alone. False with a message on a failed write.
bool WriteResult(const platform::Variant& result,
                 const std::vector<std::u16string>& names,
                 const Arguments& args, std::string* error);

// Reorders the columns of `second` to stand where the master's columns of
// the same header name stand, as the two-file commands compare them by
// index: a master column the second table lacks becomes a column of empty
// texts, and the second table's other columns follow the master's, so
// they still reach the logs. Without headers, with --by-position, or when
// the two headers share no name (a warning then says so), the columns stay
// as they are. Cost: one pass over the second table's cells.
void LineUpColumns(const Arguments& args, const InputTable& master,
                   InputTable* second, Io io);

// Finds a column by header name or 0-based index; -1 when there is none.
int FindColumn(const InputTable& input, const std::string& name_or_index);

// The message for a column `input` does not have, listing those it has
// ("in.csv: no column 'kunden nr'; the columns are: id, name, city").
std::string NoColumnError(const InputTable& input, const std::string& name);

}  // namespace vexlor::cli

#endif  // VEXLOR_CLI_TABLE_IO_H_

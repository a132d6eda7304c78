// Writing whole tables as delimited text (csv_format.h): to a file through
// CLogFile, line by line, as the control's export does; and, for the
// command line, through a large buffer to a descriptor or to a path that is
// replaced only once the new content is complete.
//
// Every line ends with CR LF. A header line comes first when the format
// asks for one; then one line per row, in storage order (the rows from the
// lower to the upper bound). The tables are only read.
#ifndef VEXLOR_OUTPUT_CSV_EXPORT_H_
#define VEXLOR_OUTPUT_CSV_EXPORT_H_

#include <cstdint>
#include <span>
#include <string>

#include "vexlor/output/csv_format.h"
#include "vexlor/platform/locale_text.h"
#include "vexlor/variant_array.h"

namespace vexlor {

// Writes `table` to the file at `path` (file-system bytes) with CLogFile,
// over the column indexes 0 to ExportLastColumn(table), the names of the
// header line taken from `column_names` by column index. An existing file is
// replaced. Returns true when the file was opened and every line, the flush
// and the close succeeded. Returns false when the file cannot be opened (a
// missing folder, no permission, a directory, another writer holds it),
// and then nothing is created; and false when any write, the flush or the
// close failed, and then the file keeps the lines that were written (a full
// disk loses only the lines that did not fit). `locale` formats dates and
// currency (nullptr: the environment's). Throws std::bad_alloc when memory
// runs out (the file is closed and keeps what was written). Cost: one
// system call per line, linear in the output.
bool ExportCsvFile(const platform::VariantArray& table, const CsvFormat& format,
                   std::span<const std::u16string> column_names,
                   const std::string& path,
                   const platform::LocaleText* locale = nullptr);

// Writes `table` as delimited text to the open descriptor `fd` (standard
// output, a pipe, a file), over the column indexes 0 to `last_column`
// (table.UpperBound(0) for all of them), through a 64 KiB buffer. Returns
// false at the first failed write, with errno telling why; what was written
// before stays. Throws std::bad_alloc. Cost: linear in the output, one
// system call per 64 KiB.
bool WriteCsvTable(const platform::VariantArray& table, const CsvFormat& format,
                   std::span<const std::u16string> column_names,
                   int64_t last_column, int fd,
                   const platform::LocaleText* locale = nullptr);

// Writes `table` as WriteCsvTable does to the file at `path`. A regular
// file, or a path that does not exist yet, is written under a temporary
// name in the same folder, flushed to the device and renamed over `path`
// only when complete, so a reader never sees a partial table and a failure
// leaves the previous file as it was and no temporary file behind. A
// replaced file keeps its permission bits. Anything else (a device, a FIFO)
// is written directly. Returns false with a one-line `*error` ("cannot write
// out.csv: No space left on device") on failure. Throws std::bad_alloc.
bool WriteCsvTableToPath(const platform::VariantArray& table,
                         const CsvFormat& format,
                         std::span<const std::u16string> column_names,
                         int64_t last_column, const std::string& path,
                         std::string* error,
                         const platform::LocaleText* locale = nullptr);

}  // namespace vexlor

#endif  // VEXLOR_OUTPUT_CSV_EXPORT_H_

// The logs of the records of a second table: which were taken, which not.
#ifndef VEXLOR_TABLES_METHODS_RECORD_LOGS_H_
#define VEXLOR_TABLES_METHODS_RECORD_LOGS_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "vexlor/output/csv_format.h"
#include "vexlor/output/log_file.h"
#include "vexlor/tables/batch_context.h"
#include "vexlor/variant_array.h"

namespace vexlor {

// The two logs of a fuzzy match or merge: every record of the second table
// goes to one of them as a delimited line of its columns.
class RecordLogs {
 public:
  // Lines in `encoding`, with the context's delimiter and quoting.
  RecordLogs(BatchContext& ctx, TextEncoding encoding);
  ~RecordLogs();
  RecordLogs(const RecordLogs&) = delete;
  RecordLogs& operator=(const RecordLogs&) = delete;

  // Opens the log of each name that is not empty (UTF-8 file-system bytes;
  // an existing file is replaced) and, when the CSV settings ask for
  // headers, writes the header line over columns 0 to last_column with the
  // column names of the options. A log that cannot be created is skipped
  // without a word. Throws std::bad_alloc.
  void Open(std::u16string_view first_name, std::u16string_view second_name,
            int64_t last_column);

  // Writes row `row` of `table`, columns 0 to last_column counted from the
  // table's first column, to the first or the second log, when that one is
  // open. Throws std::bad_alloc.
  void Write(bool first, const platform::VariantArray& table, uint32_t row);

  // Flushes and closes both logs.
  void Close();

 private:
  BatchContext& ctx_;
  TextEncoding encoding_;
  std::unique_ptr<CsvFormatter> formatter_;
  int64_t last_column_ = -1;
  CLogFile logs_[2];
  std::string line_;
};

}  // namespace vexlor

#endif  // VEXLOR_TABLES_METHODS_RECORD_LOGS_H_

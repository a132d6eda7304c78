#include "vexlor/tables/methods/record_logs.h"

#include "vexlor/text.h"

namespace vexlor {

using platform::VariantArray;

RecordLogs::RecordLogs(BatchContext& ctx, TextEncoding encoding)
    : ctx_(ctx), encoding_(encoding) {}

RecordLogs::~RecordLogs() = default;

void RecordLogs::Open(std::u16string_view first_name,
                      std::u16string_view second_name, int64_t last_column) {
  if (first_name.empty() && second_name.empty()) return;
  const CsvSettings& csv = ctx_.csv();
  formatter_ = std::make_unique<CsvFormatter>(csv.LogFormat(encoding_));
  last_column_ = last_column;
  line_.clear();
  if (csv.column_headers) {
    formatter_->AppendHeaderLine(last_column, ctx_.options().names, &line_);
  }
  const std::u16string_view names[2] = {first_name, second_name};
  for (int i = 0; i < 2; ++i) {
    if (names[i].empty()) continue;
    // Linux file names are bytes, read as UTF-8.
    if (logs_[i].Open(platform::Utf16ToUtf8(names[i])) && csv.column_headers) {
      logs_[i].WriteLine(line_);
    }
  }
}

void RecordLogs::Write(bool first, const VariantArray& table, uint32_t row) {
  CLogFile& log = logs_[first ? 0 : 1];
  if (!log.IsOpen()) return;
  line_.clear();
  formatter_->AppendRowLineByOffset(table, row, last_column_, &line_);
  log.WriteLine(line_);
}

void RecordLogs::Close() {
  logs_[0].Close();
  logs_[1].Close();
}

}  // namespace vexlor

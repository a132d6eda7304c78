#include "cli/csv_writer.h"

#include "vexlor/text.h"

namespace vexlor::cli {

using platform::VariantArray;

namespace {

constexpr size_t kPieceSize = 64 * 1024;

}  // namespace

CsvFormat LosslessFormat(std::string_view delimiter, bool cp1252) {
  CsvFormat format;
  format.delimiter = platform::Utf8ToUtf16(delimiter);
  format.rule = CsvRule::kRfc4180;
  format.encoding = cp1252 ? TextEncoding::kWindows1252 : TextEncoding::kUtf8;
  return format;
}

bool WriteCsv(const VariantArray& table, std::span<const std::u16string> names,
              int64_t last_column, CsvFormatter* formatter,
              const ByteWriter& write) {
  std::string buffer;
  buffer.reserve(kPieceSize + 4096);
  formatter->AppendHeaderLine(last_column, names, &buffer);
  buffer.append("\r\n", 2);
  const uint32_t rows = table.dims() >= 2 ? table.rows() : 0;
  for (uint32_t row = 0; row < rows; ++row) {
    if (buffer.size() >= kPieceSize) {
      if (!write(buffer)) return false;
      buffer.clear();
    }
    formatter->AppendRowLine(table, row, last_column, &buffer);
    buffer.append("\r\n", 2);
  }
  return write(buffer);
}

}  // namespace vexlor::cli

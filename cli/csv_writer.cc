#include "cli/csv_writer.h"

#include <utility>

#include "vexlor/platform/text.h"

namespace vexlor::cli {

using platform::Variant;
using platform::VariantArray;

namespace {

constexpr size_t kPieceSize = 64 * 1024;

CsvFormat PlainFormat(bool cp1252) {
  CsvFormat format;
  format.text_in_quotes = false;
  format.encoding = cp1252 ? TextEncoding::kWindows1252 : TextEncoding::kUtf8;
  return format;
}

}  // namespace

CsvWriter::CsvWriter(std::string delimiter, bool cp1252)
    : delimiter_(std::move(delimiter)),
      cp1252_(cp1252),
      formatter_(PlainFormat(cp1252)) {}

void CsvWriter::AppendWide(std::u16string_view text) {
  if (cp1252_) {
    platform::Utf16ToAnsiInto(text, &field_);
  } else {
    AppendUtf8(text, &field_);
  }
}

void CsvWriter::AppendEscaped(std::string* out) {
  bool quote = field_.find_first_of("\"\r\n") != std::string::npos ||
               field_.find(delimiter_) != std::string::npos;
  if (!quote) {
    out->append(field_);
    return;
  }
  out->push_back('"');
  for (char c : field_) {
    if (c == '"') out->push_back('"');
    out->push_back(c);
  }
  out->push_back('"');
}

void CsvWriter::AppendHeader(int64_t last_column,
                             std::span<const std::u16string> names,
                             std::string* out) {
  for (int64_t c = 0; c <= last_column; ++c) {
    if (c > 0) out->append(delimiter_);
    field_.clear();
    if (static_cast<uint64_t>(c) < names.size() && !names[c].empty()) {
      AppendWide(names[c]);
    } else {
      field_ = "Column" + std::to_string(c + 1);
    }
    AppendEscaped(out);
  }
  // A lone empty name would make a blank line, which readers skip.
  if (last_column == 0 && field_.empty()) out->append("\"\"");
  out->append("\r\n");
}

void CsvWriter::AppendRow(const VariantArray& table, uint32_t row,
                          int64_t last_column, std::string* out) {
  const int64_t lower = table.LowerBound(0);
  const int64_t upper = table.UpperBound(0);
  for (int64_t c = 0; c <= last_column; ++c) {
    if (c > 0) out->append(delimiter_);
    field_.clear();
    if (c >= lower && c <= upper) {
      const Variant& cell = table.cell(static_cast<uint32_t>(c - lower), row);
      if (cell.IsString()) {
        AppendWide(cell.AsString());
      } else {
        formatter_.AppendField(cell, &field_);
      }
    }
    AppendEscaped(out);
  }
  // A row of one empty field is quoted, or it would read as a blank line.
  if (last_column == 0 && field_.empty()) out->append("\"\"");
  out->append("\r\n");
}

bool WriteCsv(const VariantArray& table, std::span<const std::u16string> names,
              int64_t last_column, CsvWriter* writer, const ByteWriter& write) {
  std::string buffer;
  buffer.reserve(kPieceSize + 4096);
  writer->AppendHeader(last_column, names, &buffer);
  const uint32_t rows = table.dims() >= 2 ? table.rows() : 0;
  for (uint32_t row = 0; row < rows; ++row) {
    if (buffer.size() >= kPieceSize) {
      if (!write(buffer)) return false;
      buffer.clear();
    }
    writer->AppendRow(table, row, last_column, &buffer);
  }
  return write(buffer);
}

}  // namespace vexlor::cli

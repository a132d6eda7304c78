#include "vexlor/output/csv_format.h"

#include <algorithm>
#include <charconv>
#include <system_error>

#include "vexlor/text.h"

namespace vexlor {

using platform::LocaleText;
using platform::Variant;
using platform::VariantArray;

namespace {

template <typename Int>
void AppendInteger(Int value, std::string* out) {
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out->append(buffer, result.ptr);
}

// "%.8f", then the zeros that end the fraction and a point left bare. The
// conversion is locale-independent, so the point stays a point even when
// the process runs under a locale with a decimal comma.
void AppendReal(double value, std::string* out) {
  // The widest fixed form of a double: 309 integer digits, sign, point, 8.
  char buffer[336];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                              std::chars_format::fixed, 8);
  if (result.ec != std::errc()) return;
  char* end = result.ptr;
  if (std::find(buffer, end, '.') != end) {
    while (end[-1] == '0') --end;
    if (end[-1] == '.') --end;
  }
  out->append(buffer, end);
}

}  // namespace

void AppendUtf8(std::u16string_view text, std::string* out) {
  size_t n = text.size();
  for (size_t i = 0; i < n; ++i) {
    char32_t c = text[i];
    if (c < 0x80) {
      out->push_back(static_cast<char>(c));
      continue;
    }
    if (c >= 0xD800 && c <= 0xDFFF) {
      if (c <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 &&
          text[i + 1] <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
        ++i;
      } else {
        c = 0xFFFD;
      }
    }
    if (c < 0x800) {
      out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    } else {
      if (c < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (c >> 12)));
      } else {
        out->push_back(static_cast<char>(0xF0 | (c >> 18)));
        out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      }
      out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    }
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

int64_t ExportLastColumn(const VariantArray& table) {
  return std::min(table.UpperBound(0), kMaxExportColumn);
}

CsvFormatter::CsvFormatter(const CsvFormat& format, const LocaleText* locale)
    : format_(format), locale_(locale) {
  AppendEncoded(format_.delimiter, &delimiter_);
}

CsvFormatter::~CsvFormatter() = default;

const LocaleText& CsvFormatter::Locale() {
  if (locale_ == nullptr) {
    own_locale_ = LocaleText::FromEnvironment();
    locale_ = own_locale_.get();
  }
  return *locale_;
}

void CsvFormatter::AppendEncoded(std::u16string_view text, std::string* out) {
  if (format_.encoding == TextEncoding::kUtf8) {
    AppendUtf8(text, out);
  } else {
    platform::Utf16ToAnsiInto(text, &bytes_);
    out->append(bytes_);
  }
}

void CsvFormatter::AppendStringField(std::u16string_view text, bool keep_breaks,
                                     std::string* out) {
  // Line breaks and quotes are ASCII in both encodings, so they are dealt
  // with on the encoded bytes.
  bytes_.clear();
  if (format_.encoding == TextEncoding::kUtf8) {
    AppendUtf8(text, &bytes_);
  } else {
    platform::Utf16ToAnsiInto(text, &bytes_);
  }
  const bool quote = format_.text_in_quotes;
  if (quote) out->push_back('"');
  const size_t n = bytes_.size();
  for (size_t i = 0; i < n; ++i) {
    char c = bytes_[i];
    if (!keep_breaks && c == '\r' && i + 1 < n && bytes_[i + 1] == '\n') {
      out->push_back(' ');
      ++i;
    } else if (!keep_breaks && c == '\n') {
      out->push_back(' ');
    } else if (quote && c == '"') {
      out->append("\"\"", 2);
    } else {
      out->push_back(c);
    }
  }
  if (quote) out->push_back('"');
}

void CsvFormatter::AppendRfc4180(std::string_view field,
                                 std::string* out) const {
  const bool quote =
      field.find_first_of("\"\r\n") != std::string_view::npos ||
      (!delimiter_.empty() && field.find(delimiter_) != std::string_view::npos);
  if (!quote) {
    out->append(field);
    return;
  }
  out->push_back('"');
  for (char c : field) {
    if (c == '"') out->push_back('"');
    out->push_back(c);
  }
  out->push_back('"');
}

void CsvFormatter::AppendField(const Variant& cell, std::string* out) {
  if (format_.rule == CsvRule::kOneLine) {
    AppendPlainField(cell, out);
    return;
  }
  // The field is escaped as a whole: a date or currency text may hold the
  // delimiter as well as any string.
  field_.clear();
  if (cell.vt() == platform::VT_BSTR) {
    AppendEncoded(cell.AsString(), &field_);
  } else {
    AppendPlainField(cell, &field_);
  }
  AppendRfc4180(field_, out);
}

void CsvFormatter::AppendPlainField(const Variant& cell, std::string* out) {
  switch (cell.vt()) {
    case platform::VT_I2:
      AppendInteger(cell.AsInt16(), out);
      break;
    case platform::VT_I4:
      AppendInteger(cell.AsInt32(), out);
      break;
    case platform::VT_I8:
      AppendInteger(cell.AsInt64(), out);
      break;
    case platform::VT_UI1:
      AppendInteger(static_cast<unsigned>(cell.AsUInt64() & 0xFF), out);
      break;
    case platform::VT_R4:
      AppendReal(static_cast<double>(cell.AsFloat()), out);
      break;
    case platform::VT_R8:
      AppendReal(cell.AsDouble(), out);
      break;
    case platform::VT_BOOL:
      out->append(cell.AsBool() ? "True" : "False");
      break;
    case platform::VT_BSTR:
      AppendStringField(cell.AsString(), /*keep_breaks=*/false, out);
      break;
    case platform::VT_CY:
      wide_.clear();
      Locale().AppendCurrency(cell.AsCurrency(), &wide_);
      AppendEncoded(wide_, out);
      break;
    case platform::VT_DATE:
      wide_.clear();
      if (Locale().AppendDate(cell.AsDate(), &wide_)) AppendEncoded(wide_, out);
      break;
    default:
      break;
  }
}

void CsvFormatter::AppendHeaderLine(int64_t last_column,
                                    std::span<const std::u16string> names,
                                    std::string* out) {
  const bool rfc4180 = format_.rule == CsvRule::kRfc4180;
  for (int64_t c = 0; c <= last_column; ++c) {
    if (c > 0) out->append(delimiter_);
    if (static_cast<uint64_t>(c) < names.size() && !names[c].empty()) {
      if (rfc4180) {
        field_.clear();
        AppendEncoded(names[c], &field_);
        AppendRfc4180(field_, out);
      } else {
        AppendStringField(names[c], /*keep_breaks=*/true, out);
      }
    } else {
      // A generated name holds no quote or break, but it may hold a
      // delimiter made of letters or digits.
      char name[32] = "Column";
      auto result = std::to_chars(name + 6, name + sizeof name, c + 1);
      if (rfc4180) {
        AppendRfc4180(std::string_view(name, result.ptr - name), out);
        continue;
      }
      if (format_.text_in_quotes) out->push_back('"');
      out->append(name, result.ptr);
      if (format_.text_in_quotes) out->push_back('"');
    }
  }
}

void CsvFormatter::AppendFields(const VariantArray& table, uint32_t row,
                                int64_t first, int64_t last_column,
                                std::string* out) {
  const size_t start = out->size();
  const int64_t columns = table.columns();
  for (int64_t c = 0; c <= last_column; ++c) {
    if (c > 0) out->append(delimiter_);
    const int64_t offset = c - first;
    if (offset >= 0 && offset < columns) {
      AppendField(table.cell(static_cast<uint32_t>(offset), row), out);
    }
  }
  // A blank line would read as no record at all.
  if (format_.rule == CsvRule::kRfc4180 && last_column == 0 &&
      out->size() == start) {
    out->append("\"\"", 2);
  }
}

void CsvFormatter::AppendRowLine(const VariantArray& table, uint32_t row,
                                 int64_t last_column, std::string* out) {
  AppendFields(table, row, table.LowerBound(0), last_column, out);
}

void CsvFormatter::AppendRowLineByOffset(const VariantArray& table,
                                         uint32_t row, int64_t last_column,
                                         std::string* out) {
  AppendFields(table, row, 0, last_column, out);
}

std::string CsvFormatter::Field(const Variant& cell) {
  std::string out;
  AppendField(cell, &out);
  return out;
}

std::string CsvFormatter::HeaderLine(int64_t last_column,
                                     std::span<const std::u16string> names) {
  std::string out;
  AppendHeaderLine(last_column, names, &out);
  return out;
}

std::string CsvFormatter::RowLine(const VariantArray& table, uint32_t row,
                                  int64_t last_column) {
  std::string out;
  AppendRowLine(table, row, last_column, &out);
  return out;
}

}  // namespace vexlor

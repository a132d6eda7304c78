// The delimited-text format of exported tables and batch logs: the text of
// one cell, the header line and the line of one table row.
//
// A file cell text differs from the comparison text of tables/cell_text.h:
// booleans are "True"/"False", 64-bit integers are written, dates and
// currency get locale-aware text (platform/locale_text.h), and strings are
// put on one line (CR LF and LF become one blank each) and, when the format
// says so, enclosed in double quotes with inner quotes doubled. Only string
// cells and header names are ever quoted. Reals are "%.8f" without trailing
// zeros, always with a '.' whatever the locale.
//
// That is the library's rule. A format may ask for the lossless rule
// instead (CsvRule::kRfc4180), which gives back every cell as it was:
// nothing is folded, and a field of any type is quoted only where RFC 4180
// needs it.
//
// Text leaves in Windows-1252 by default, or in UTF-8, which is encoded from
// the cells' original wide strings, so nothing the host passed is lost.
// Lines carry no line end: the writer adds it.
#ifndef VEXLOR_OUTPUT_CSV_FORMAT_H_
#define VEXLOR_OUTPUT_CSV_FORMAT_H_

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "vexlor/log_format.h"
#include "vexlor/platform/column_limits.h"
#include "vexlor/platform/locale_text.h"
#include "vexlor/variant.h"
#include "vexlor/variant_array.h"

namespace vexlor {

// The highest column index an exported table writes: 401 fields at most.
inline constexpr int64_t kMaxExportColumn = kLastCopiedColumn;

struct CsvFormat {
  // Placed between fields unchanged; any length, empty joins the fields.
  std::u16string delimiter = u";";
  // String cells and header names in double quotes, inner quotes doubled.
  bool text_in_quotes = true;
  // A header line precedes the rows.
  bool column_headers = true;
  TextEncoding encoding = TextEncoding::kWindows1252;
  CsvRule rule = CsvRule::kOneLine;
};

// Formats the fields and lines of one format. Holds the encoded delimiter,
// scratch buffers and the locale formatters, so one formatter should serve
// a whole file: then no cell allocates once the buffers have grown. Not
// thread-safe. Any append may throw std::bad_alloc.
class CsvFormatter {
 public:
  // `locale` formats date and currency cells; it is not owned and must
  // outlive the formatter. Without one, the environment's locale is used,
  // looked up at the first date or currency cell.
  explicit CsvFormatter(const CsvFormat& format,
                        const platform::LocaleText* locale = nullptr);
  ~CsvFormatter();
  CsvFormatter(const CsvFormatter&) = delete;
  CsvFormatter& operator=(const CsvFormatter&) = delete;

  const CsvFormat& format() const { return format_; }

  // Appends the field text of `cell` to `out`. Empty and Null cells, cells
  // held by reference, and every type other than I2, I4, I8, UI1, R4, R8,
  // CY, DATE, BSTR and BOOL give an empty field (a date outside the years
  // 100 to 9999 too). Cost: linear in a string's length; ICU's formatters
  // for dates and currency (a microsecond or so).
  void AppendField(const platform::Variant& cell, std::string* out);

  // Appends the header line for the columns 0 to `last_column`: the
  // delimiter between names; the name of column c is names[c] when that
  // exists and is not empty, else "Column<c + 1>". A `last_column` below 0
  // gives an empty line. Cost: linear in the output.
  void AppendHeaderLine(int64_t last_column,
                        std::span<const std::u16string> names,
                        std::string* out);

  // Appends the line of the row at 0-based offset `row` of `table` for the
  // column indexes 0 to `last_column`. Column index c is the index in the
  // table's own bounds, so a column that the table does not have (below its
  // lower bound or above its upper one) gives an empty field; the delimiter
  // is written all the same. `row` must be below table.rows(). Cost: linear
  // in the output.
  void AppendRowLine(const platform::VariantArray& table, uint32_t row,
                     int64_t last_column, std::string* out);

  // Appends the line of the row at 0-based offset `row` of `table` for the
  // columns at 0-based offsets 0 to `last_column`, counted from the table's
  // first column whatever its bounds, as the batch methods read every
  // table; a column past the table gives an empty field. `row` must be
  // below table.rows(). Cost: linear in the output.
  void AppendRowLineByOffset(const platform::VariantArray& table, uint32_t row,
                             int64_t last_column, std::string* out);

  // The same as new strings, for callers that write a few lines.
  std::string Field(const platform::Variant& cell);
  std::string HeaderLine(int64_t last_column,
                         std::span<const std::u16string> names);
  std::string RowLine(const platform::VariantArray& table, uint32_t row,
                      int64_t last_column);

 private:
  // Appends `text` in the output encoding.
  void AppendEncoded(std::u16string_view text, std::string* out);
  // Appends a string cell or header name: on one line unless `keep_breaks`,
  // quoted as the format says.
  void AppendStringField(std::u16string_view text, bool keep_breaks,
                         std::string* out);
  // The field text of `cell` under kOneLine, to `out`.
  void AppendPlainField(const platform::Variant& cell, std::string* out);
  // Appends `field` to `out` under kRfc4180: quoted when it must be.
  void AppendRfc4180(std::string_view field, std::string* out) const;
  // The row line of columns 0 to `last_column`, column c read at offset
  // c - `first` when that lies within the table.
  void AppendFields(const platform::VariantArray& table, uint32_t row,
                    int64_t first, int64_t last_column, std::string* out);
  const platform::LocaleText& Locale();

  CsvFormat format_;
  std::string delimiter_;
  const platform::LocaleText* locale_;
  std::unique_ptr<platform::LocaleText> own_locale_;
  std::string bytes_;
  std::u16string wide_;
  // One field's text before kRfc4180 quotes it.
  std::string field_;
};

// Returns the last column index that an exported table writes: the smaller
// of the column dimension's upper bound and kMaxExportColumn (-1 and below
// when the table has no column index 0 or above). O(1).
int64_t ExportLastColumn(const platform::VariantArray& table);

// Appends UTF-16 text as UTF-8; an unpaired surrogate becomes U+FFFD. No
// allocation beyond the growth of `out`.
void AppendUtf8(std::u16string_view text, std::string* out);

}  // namespace vexlor

#endif  // VEXLOR_OUTPUT_CSV_FORMAT_H_

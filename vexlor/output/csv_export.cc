#include "vexlor/output/csv_export.h"

#include <cerrno>
#include <cstring>

#include "vexlor/output/log_file.h"
#include "vexlor/platform/file.h"
#include "vexlor/platform/temporary_file.h"

namespace vexlor {

using platform::LocaleText;
using platform::OutputFile;
using platform::PathInfo;
using platform::TemporaryFile;
using platform::VariantArray;

namespace {

constexpr size_t kBufferSize = 64 * 1024;

// Writes the delimited text of a table through a buffer to `write`, a
// callable taking a string_view and returning false on failure.
template <typename Writer>
bool WriteCsvTableWith(const VariantArray& table, const CsvFormat& format,
                       std::span<const std::u16string> column_names,
                       int64_t last_column, const LocaleText* locale,
                       Writer write) {
  CsvFormatter formatter(format, locale);
  std::string buffer;
  buffer.reserve(kBufferSize + 4096);
  if (format.column_headers) {
    formatter.AppendHeaderLine(last_column, column_names, &buffer);
    buffer.append("\r\n", 2);
  }
  const uint32_t rows = table.dims() >= 2 ? table.rows() : 0;
  for (uint32_t row = 0; row < rows; ++row) {
    if (buffer.size() >= kBufferSize) {
      if (!write(std::string_view(buffer))) return false;
      buffer.clear();
    }
    formatter.AppendRowLine(table, row, last_column, &buffer);
    buffer.append("\r\n", 2);
  }
  return write(std::string_view(buffer));
}

bool WriteCsvTableToFile(const VariantArray& table, const CsvFormat& format,
                         std::span<const std::u16string> column_names,
                         int64_t last_column, OutputFile& file,
                         const LocaleText* locale) {
  return WriteCsvTableWith(
      table, format, column_names, last_column, locale,
      [&file](std::string_view bytes) { return file.Write(bytes); });
}

std::string ErrorText(const std::string& path) {
  return "cannot write " + path + ": " + std::strerror(errno);
}

}  // namespace

bool ExportCsvFile(const VariantArray& table, const CsvFormat& format,
                   std::span<const std::u16string> column_names,
                   const std::string& path, const LocaleText* locale) {
  CLogFile file;
  if (!file.Open(path)) return false;
  CsvFormatter formatter(format, locale);
  const int64_t last_column = ExportLastColumn(table);
  std::string line;
  if (format.column_headers) {
    formatter.AppendHeaderLine(last_column, column_names, &line);
    file.WriteLine(line);
  }
  const uint32_t rows = table.dims() >= 2 ? table.rows() : 0;
  for (uint32_t row = 0; row < rows; ++row) {
    line.clear();
    formatter.AppendRowLine(table, row, last_column, &line);
    file.WriteLine(line);
  }
  file.Close();
  return file.error_count() == 0;
}

bool WriteCsvTable(const VariantArray& table, const CsvFormat& format,
                   std::span<const std::u16string> column_names,
                   int64_t last_column, int fd, const LocaleText* locale) {
  return WriteCsvTableWith(table, format, column_names, last_column, locale,
                           [fd](std::string_view bytes) {
                             return platform::WriteToDescriptor(fd, bytes);
                           });
}

bool WriteCsvTableToPath(const VariantArray& table, const CsvFormat& format,
                         std::span<const std::u16string> column_names,
                         int64_t last_column, const std::string& path,
                         std::string* error, const LocaleText* locale) {
  const PathInfo info = platform::InspectPath(path);
  if (info.kind == PathInfo::Kind::kDirectory) {
    errno = EISDIR;
    *error = ErrorText(path);
    return false;
  }
  if (info.kind == PathInfo::Kind::kOther) {
    OutputFile file;
    if (!file.Open(info.target, OutputFile::Mode::kExisting)) {
      *error = ErrorText(path);
      return false;
    }
    bool ok = WriteCsvTableToFile(table, format, column_names, last_column,
                                  file, locale);
    int saved = errno;
    if (!file.Close() && ok) {
      ok = false;
      saved = errno;
    }
    if (!ok) {
      errno = saved;
      *error = ErrorText(path);
    }
    return ok;
  }
  TemporaryFile temporary;
  if (!temporary.Create(info.target)) {
    *error = ErrorText(path);
    return false;
  }
  if (info.kind == PathInfo::Kind::kRegular) {
    temporary.file().SetPermissions(info.permissions);
  }
  if (!WriteCsvTableToFile(table, format, column_names, last_column,
                           temporary.file(), locale) ||
      !temporary.Commit(info.target)) {
    *error = ErrorText(path);
    return false;
  }
  return true;
}

}  // namespace vexlor

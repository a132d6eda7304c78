// Reading delimited text files for the command line (RFC 4180).
//
// Quoted fields may hold delimiters, doubled quotes and line breaks; lines
// end in LF, CR LF or a lone CR, mixed as they come (inside a quoted field
// every line break is kept as it is). Blank lines are skipped. The
// delimiter is detected among ',', ';' and tab from the first line unless
// given. Text is UTF-8 (a byte-order mark is skipped; invalid sequences are
// an error naming the line) or Windows-1252.
#ifndef VEXLOR_CLI_CSV_READER_H_
#define VEXLOR_CLI_CSV_READER_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vexlor::cli {

enum class Encoding { kUtf8, kCp1252 };

struct CsvOptions {
  bool header = true;
  // Empty: detect.
  std::string delimiter;
  Encoding encoding = Encoding::kUtf8;
  // Accept rows longer than the header; their extra fields get columns of
  // their own. Otherwise such a row is an error naming its line.
  bool allow_ragged = false;
};

struct CsvTable {
  std::vector<std::string> header;  // empty without a header row
  // Cells as UTF-8 texts, row by row; rows may differ in length.
  std::vector<std::vector<std::string>> rows;
  size_t columns = 0;  // the widest row or header
  std::string delimiter;
};

// Parses `data`. On failure returns false with `*error` saying what is
// wrong and on which line ("line 12: unterminated quoted field").
bool ParseCsv(std::string_view data, const CsvOptions& options, CsvTable* table,
              std::string* error);

// Reads a whole file, or standard input for "-", uncompressed when it is
// gzip data (gzip.h). False with a message naming the file when it cannot
// be read or uncompressed, or when a signal handler interrupts the wait
// for input (Ctrl-C).
bool ReadInput(const std::string& path, std::string* data, std::string* error);

}  // namespace vexlor::cli

#endif  // VEXLOR_CLI_CSV_READER_H_

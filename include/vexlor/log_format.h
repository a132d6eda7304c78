// How the batch methods write their log files, and the two choices that
// make it up: the text encoding and the rule that puts a field into a line.
//
// Plain values: copied freely, no ownership, no errors, usable from any
// thread.
#ifndef VEXLOR_LOG_FORMAT_H_
#define VEXLOR_LOG_FORMAT_H_

namespace vexlor {

enum class TextEncoding { kWindows1252, kUtf8 };

// How a field's text is put into a line.
enum class CsvRule {
  // String cells on one line (CR LF and LF become one blank each), string
  // cells and header names quoted when text_in_quotes says so, other cells
  // never.
  kOneLine,
  // Every field as it is, line breaks included, enclosed in double quotes
  // (inner quotes doubled) exactly when it holds the delimiter, a double
  // quote, CR or LF, whatever its type; text_in_quotes is not read. A line
  // of one empty field is written as "" so that it does not read as a blank
  // line.
  kRfc4180,
};

// The default is the rule the automation interface documents: Windows-1252
// text, each string on one line, quoted as CSVTextInQuotes says. A C++ host
// that reads its logs back as data (the command line) can ask for lossless
// lines instead: CsvRule::kRfc4180 in the encoding it writes its own files
// in. Delimiter and header line follow the control's CSV properties under
// either rule.
struct LogFormat {
  CsvRule rule = CsvRule::kOneLine;
  TextEncoding encoding = TextEncoding::kWindows1252;
};

}  // namespace vexlor

#endif  // VEXLOR_LOG_FORMAT_H_

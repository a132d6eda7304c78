#include "cli/csv_reader.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/gzip.h"
#include "cli/interrupts.h"
#include "vexlor/text.h"

namespace vexlor::cli {

namespace {

// The delimiter of the first line: the most frequent of ',', ';' and tab
// outside quotes (',' when none occurs).
std::string DetectDelimiter(std::string_view data) {
  size_t counts[3] = {0, 0, 0};
  const char candidates[3] = {',', ';', '\t'};
  bool quoted = false;
  for (char c : data) {
    if (c == '"') quoted = !quoted;
    if (!quoted && (c == '\n' || c == '\r')) break;
    if (quoted) continue;
    for (int i = 0; i < 3; ++i) counts[i] += c == candidates[i];
  }
  int best = 0;
  for (int i = 1; i < 3; ++i) {
    if (counts[i] > counts[best]) best = i;
  }
  return std::string(1, candidates[best]);
}

class Parser {
 public:
  Parser(std::string_view data, std::string_view delimiter)
      : data_(data), delimiter_(delimiter) {}

  // Reads the next record; false at the end of the data or on an error.
  bool Next(std::vector<std::string>* record, std::string* error) {
    record->clear();
    // Blank lines hold no record: exports often end in several, and an
    // empty record would survive as an empty row into the output.
    while (pos_ < data_.size() &&
           (data_[pos_] == '\n' || data_[pos_] == '\r')) {
      ++line_;
      SkipLineEnd();
    }
    if (pos_ >= data_.size()) return false;
    ++line_;
    record_line_ = line_;
    std::string field;
    while (true) {
      if (pos_ < data_.size() && data_[pos_] == '"') {
        if (!ReadQuoted(&field, error)) return false;
      } else {
        ReadPlain(&field);
      }
      record->push_back(std::move(field));
      field.clear();
      if (pos_ >= data_.size()) return true;
      if (data_.compare(pos_, delimiter_.size(), delimiter_) == 0) {
        pos_ += delimiter_.size();
        continue;
      }
      SkipLineEnd();
      return true;
    }
  }

  size_t record_line() const { return record_line_; }

 private:
  bool AtDelimiterOrEnd() const {
    return pos_ >= data_.size() || data_[pos_] == '\n' || data_[pos_] == '\r' ||
           data_.compare(pos_, delimiter_.size(), delimiter_) == 0;
  }

  void ReadPlain(std::string* field) {
    size_t start = pos_;
    while (!AtDelimiterOrEnd()) ++pos_;
    field->assign(data_.substr(start, pos_ - start));
  }

  bool ReadQuoted(std::string* field, std::string* error) {
    size_t opened = line_;
    ++pos_;
    while (true) {
      if (pos_ >= data_.size()) {
        *error = "line " + std::to_string(opened) +
                 ": quoted field is not closed before the end of the file";
        return false;
      }
      char c = data_[pos_++];
      if (c == '"') {
        if (pos_ < data_.size() && data_[pos_] == '"') {
          field->push_back('"');
          ++pos_;
          continue;
        }
        if (!AtDelimiterOrEnd()) {
          *error = "line " + std::to_string(line_) +
                   ": unexpected text after a closing quote";
          return false;
        }
        return true;
      }
      if (c == '\n' ||
          (c == '\r' && (pos_ >= data_.size() || data_[pos_] != '\n'))) {
        ++line_;
      }
      field->push_back(c);
    }
  }

  void SkipLineEnd() {
    if (pos_ < data_.size() && data_[pos_] == '\r') ++pos_;
    if (pos_ < data_.size() && data_[pos_] == '\n') ++pos_;
  }

  std::string_view data_;
  std::string_view delimiter_;
  size_t pos_ = 0;
  size_t line_ = 0;
  size_t record_line_ = 0;
};

// Compressed input is recognised by its first bytes, since a pipe or a
// downloaded file may not say so in its name.
bool Uncompress(const std::string& name, std::string* data,
                std::string* error) {
  if (!IsGzip(*data) || Gunzip(data, error)) return true;
  *error = name + ": " + *error;
  return false;
}

}  // namespace

bool ParseCsv(std::string_view data, const CsvOptions& options, CsvTable* table,
              std::string* error) {
  *table = CsvTable();
  std::string converted;
  if (options.encoding == Encoding::kUtf8) {
    if (data.substr(0, 3) == "\xEF\xBB\xBF") data.remove_prefix(3);
  } else {
    converted = platform::AnsiToUtf8(data);
    data = converted;
  }
  table->delimiter =
      options.delimiter.empty() ? DetectDelimiter(data) : options.delimiter;
  Parser parser(data, table->delimiter);
  std::vector<std::string> record;
  bool first = true;
  error->clear();
  while (parser.Next(&record, error)) {
    if (options.encoding == Encoding::kUtf8) {
      for (const std::string& cell : record) {
        if (!platform::IsValidUtf8(cell)) {
          *error = "line " + std::to_string(parser.record_line()) +
                   ": text is not valid UTF-8 (try --encoding cp1252)";
          return false;
        }
      }
    }
    if (!first && options.header && !options.allow_ragged &&
        record.size() > table->header.size()) {
      *error = "line " + std::to_string(parser.record_line()) + ": " +
               std::to_string(record.size()) + " fields, but the header has " +
               std::to_string(table->header.size()) +
               " (--allow-ragged takes such rows)";
      return false;
    }
    table->columns = std::max(table->columns, record.size());
    if (first && options.header) {
      table->header = record;
    } else {
      table->rows.push_back(record);
    }
    first = false;
  }
  return error->empty();
}

bool ReadInput(const std::string& path, std::string* data, std::string* error) {
  if (path == "-") {
    // Read directly rather than through std::cin, which would retry an
    // interrupted read and so keep waiting after Ctrl-C. A Ctrl-C that
    // comes between two reads interrupts neither, so the wait for input
    // wakes now and then to look for it.
    data->clear();
    char buffer[1 << 16];
    while (true) {
      if (Interrupted()) return false;
      pollfd input{STDIN_FILENO, POLLIN, 0};
      const int ready = ::poll(&input, 1, 100);
      if (ready == 0 || (ready < 0 && errno == EINTR)) continue;
      ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
      if (n > 0) {
        data->append(buffer, static_cast<size_t>(n));
      } else if (n == 0) {
        return Uncompress("standard input", data, error);
      } else {
        *error = std::string("standard input: ") + std::strerror(errno);
        return false;
      }
    }
  }
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) {
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  data->clear();
  char buffer[1 << 16];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
    data->append(buffer, n);
  }
  bool failed = std::ferror(f) != 0;
  int saved = errno;
  std::fclose(f);
  if (failed) {
    *error = path + ": " + std::strerror(saved);
    return false;
  }
  return Uncompress(path, data, error);
}

}  // namespace vexlor::cli

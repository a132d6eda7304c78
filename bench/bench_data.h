// Reading the sample data of the end-to-end benchmarks: whole files (gzip
// ones through gzip), the simple CSV of the data folder, tables of string
// cells, and the resource figures of a run.
#ifndef VEXLOR_BENCH_BENCH_DATA_H_
#define VEXLOR_BENCH_BENCH_DATA_H_

#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "vexlor/variant.h"
#include "vexlor/variant_array.h"

#ifndef VEXLOR_DATA_DIR
#define VEXLOR_DATA_DIR "/work/shared/data"
#endif

namespace vexlor::bench {

// Reads a whole file, through gzip when the name ends in .gz.
inline bool ReadAll(const std::string& path, std::string* out) {
  const bool gz =
      path.size() > 3 && path.compare(path.size() - 3, 3, ".gz") == 0;
  std::FILE* f = gz ? popen(("gzip -dc '" + path + "'").c_str(), "r")
                    : std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  char buffer[1 << 16];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
    out->append(buffer, n);
  const int status = gz ? pclose(f) : std::fclose(f);
  return status == 0;
}

// The simple CSV of the sample data: comma-separated, RFC 4180 quotes, CR
// LF line ends, no line breaks inside fields.
inline std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  size_t i = 0;
  while (i < text.size()) {
    std::vector<std::string> row;
    std::string field;
    bool quoted = false;
    for (; i < text.size(); ++i) {
      const char c = text[i];
      if (quoted) {
        if (c == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            field.push_back('"');
            ++i;
          } else {
            quoted = false;
          }
        } else {
          field.push_back(c);
        }
      } else if (c == '"') {
        quoted = true;
      } else if (c == ',') {
        row.push_back(std::move(field));
        field.clear();
      } else if (c == '\r') {
      } else if (c == '\n') {
        ++i;
        break;
      } else {
        field.push_back(c);
      }
    }
    row.push_back(std::move(field));
    rows.push_back(std::move(row));
  }
  return rows;
}

// A CSV file as rows of fields, the header row first; empty on failure.
inline std::vector<std::vector<std::string>> ReadCsv(const std::string& path) {
  std::string text;
  if (!ReadAll(path, &text)) return {};
  return ParseCsv(text);
}

// The rows after the header as a table of UTF-8 string cells.
inline platform::Variant ToTable(
    const std::vector<std::vector<std::string>>& rows) {
  if (rows.empty()) return platform::Variant();
  const uint32_t columns = static_cast<uint32_t>(rows[0].size());
  const uint32_t records = static_cast<uint32_t>(rows.size() - 1);
  platform::Variant table = platform::VariantArray::NewTable(columns, records);
  for (uint32_t r = 0; r < records; ++r) {
    const std::vector<std::string>& row = rows[r + 1];
    for (uint32_t c = 0; c < columns && c < row.size(); ++c) {
      table.AsArray()->cell(c, r) = platform::Variant::Utf8String(row[c]);
    }
  }
  return table;
}

inline long PeakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

inline double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 +
         usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
}

inline double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since)
      .count();
}

}  // namespace vexlor::bench

#endif  // VEXLOR_BENCH_BENCH_DATA_H_

// End-to-end duplicate search over the sample customer tables, with the
// fixed benchmark settings of the data folder: id (column 0) as the
// identifier column; first_name, last_name, company, street, postcode and
// city as Cluster and DupeSearch columns of Weight 1.0; phone and email
// off; Threshold 80; ClusterThreshold 0.5 and 0.3; progress as events;
// labels from a fixed seed.
//
// Each configuration runs in a child process of its own, so that its peak
// resident set size is its own. Reported: the time to read the table, the
// wall time of DupeSearch, the peak RSS, and pairwise precision, recall and
// F1 against the truth file (two records with the same label form a
// predicted pair; two with the same entity a true pair).
//
// A plain program rather than a Google Benchmark loop: one run of the
// larger table takes seconds and the peak memory of a run is a figure of
// its own. Usage: dupe_search_bench [--full-scan] [--1m] [--only TEXT]
// [DATA_DIR]; --only keeps the configurations whose table name contains
// TEXT.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "vexlor/control/control_context.h"
#include "vexlor/control/event_sink.h"
#include "vexlor/control/vexlor_ctrl.h"
#include "vexlor/platform/text.h"
#include "vexlor/platform/variant_array.h"
#include "vexlor/tables/dupe_search.h"

namespace {

using vexlor::platform::Variant;
using vexlor::platform::VariantArray;

#ifndef VEXLOR_DATA_DIR
#define VEXLOR_DATA_DIR "/work/shared/data"
#endif

// Reads a whole file, through gzip when the name ends in .gz.
bool ReadAll(const std::string& path, std::string* out) {
  const bool gz = path.size() > 3 && path.compare(path.size() - 3, 3, ".gz") == 0;
  std::FILE* f = gz ? popen(("gzip -dc '" + path + "'").c_str(), "r")
                    : std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  char buffer[1 << 16];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out->append(buffer, n);
  int status = gz ? pclose(f) : std::fclose(f);
  return status == 0;
}

// The simple CSV of the sample data: comma-separated, RFC 4180 quotes, CR
// LF line ends, no line breaks inside fields.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  size_t i = 0;
  while (i < text.size()) {
    std::vector<std::string> row;
    std::string field;
    bool quoted = false;
    for (; i < text.size(); ++i) {
      char c = text[i];
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

class QuietEvents : public vexlor::EventSink {
 public:
  void ProgressDupeSearch(double, int32_t, double, int32_t, int32_t depth_max,
                          double depth_avg, int32_t, int32_t, int32_t,
                          std::u16string_view, int32_t,
                          std::u16string_view) override {
    ++events;
    last_depth_max = depth_max;
    last_depth_avg = depth_avg;
  }
  void Progress(int16_t, double, int32_t, std::u16string_view, int32_t,
                std::u16string_view) override {
    ++events;
  }
  long events = 0;
  int32_t last_depth_max = 0;
  double last_depth_avg = 0;
};

long PeakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since)
      .count();
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 +
         usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
}

int64_t Pairs(int64_t n) { return n * (n - 1) / 2; }

struct Config {
  const char* table;
  const char* truth;
  double cluster_threshold;
  bool full_scan;
};

// Runs one configuration and prints one line. Returns false on an error.
bool Run(const std::string& dir, const Config& config) {
  auto start = std::chrono::steady_clock::now();
  std::string text;
  if (!ReadAll(dir + "/" + config.table, &text)) {
    std::fprintf(stderr, "cannot read %s\n", config.table);
    return false;
  }
  std::vector<std::vector<std::string>> rows = ParseCsv(text);
  std::string().swap(text);
  if (rows.size() < 2) return false;
  const uint32_t columns = static_cast<uint32_t>(rows[0].size());
  const uint32_t records = static_cast<uint32_t>(rows.size() - 1);
  Variant table = VariantArray::NewTable(columns, records);
  std::vector<std::string> ids(records);
  for (uint32_t r = 0; r < records; ++r) {
    const std::vector<std::string>& row = rows[r + 1];
    for (uint32_t c = 0; c < columns && c < row.size(); ++c) {
      table.AsArray()->cell(c, r) = Variant::Utf8String(row[c]);
    }
    ids[r] = row[0];
  }
  std::vector<std::vector<std::string>>().swap(rows);

  std::string truth_text;
  if (!ReadAll(dir + "/" + config.truth, &truth_text)) return false;
  std::unordered_map<std::string, std::string> entity_of;
  {
    std::vector<std::vector<std::string>> truth = ParseCsv(truth_text);
    for (size_t i = 1; i < truth.size(); ++i) {
      if (truth[i].size() >= 2) entity_of[truth[i][0]] = truth[i][1];
    }
  }
  const double load_seconds = Seconds(start);
  const long rss_before = PeakRssKb();

  vexlor::CVexlorCtrl control(uint64_t{20240611});
  QuietEvents events;
  control.Advise(&events);
  for (int c = 1; c <= 6; ++c) control.SetColumnOption(c, true, true, 1.0, false, u"");
  control.SetColumnOption(7, false, false, 1.0, false, u"");
  control.SetColumnOption(8, false, false, 1.0, false, u"");

  start = std::chrono::steady_clock::now();
  const double cpu_start = CpuSeconds();
  Variant result;
  if (config.full_scan) {
    vexlor::ControlContext context(control);
    result = vexlor::DupeSearch(context, table, 0, 80.0,
                                config.cluster_threshold, vexlor::DRR_ALL,
                                false, vexlor::CandidateScan::kFullCounters);
  } else {
    result = control.DupeSearch(table, 0, 80.0, config.cluster_threshold, u"",
                                vexlor::DRR_ALL, false);
  }
  const double search_seconds = Seconds(start);
  const double search_cpu = CpuSeconds() - cpu_start;
  const long rss_peak = PeakRssKb();
  if (result.AsArray() == nullptr || control.LastError() != 0) {
    std::fprintf(stderr, "DupeSearch failed (LastError %d)\n",
                 control.LastError());
    return false;
  }

  // Pairwise counts over labels, entities and (label, entity) cells.
  std::unordered_map<std::u16string, int64_t> by_label;
  std::unordered_map<std::string, int64_t> by_entity;
  std::unordered_map<std::u16string, int64_t> by_both;
  for (uint32_t r = 0; r < records; ++r) {
    std::u16string label(result.AsArray()->cell(columns, r).AsString());
    auto it = entity_of.find(ids[r]);
    std::string entity = it != entity_of.end() ? it->second : "?" + ids[r];
    ++by_label[label];
    ++by_entity[entity];
    ++by_both[label + u"|" + vexlor::platform::Utf8ToUtf16(entity)];
  }
  int64_t predicted = 0, truth_pairs = 0, correct = 0;
  int64_t largest = 0;
  for (const auto& [k, n] : by_label) {
    predicted += Pairs(n);
    largest = std::max(largest, n);
  }
  for (const auto& [k, n] : by_entity) truth_pairs += Pairs(n);
  for (const auto& [k, n] : by_both) correct += Pairs(n);
  const double precision = predicted ? double(correct) / predicted : 0;
  const double recall = truth_pairs ? double(correct) / truth_pairs : 0;
  const double f1 = precision + recall > 0
                        ? 2 * precision * recall / (precision + recall)
                        : 0;
  std::printf(
      "%-22s CT %.1f %-9s rows %7u  load %6.2f s  search %7.2f s (cpu %7.2f s)  "
      "peak RSS %7.1f MB (before search %7.1f MB)  pairs %7lld/%7lld  "
      "P %.4f R %.4f F1 %.4f  candidates avg %.1f max %d  largest group %lld\n",
      config.table, config.cluster_threshold,
      config.full_scan ? "full-scan" : "hit-list", records, load_seconds,
      search_seconds, search_cpu, rss_peak / 1024.0, rss_before / 1024.0,
      static_cast<long long>(correct), static_cast<long long>(predicted),
      precision, recall, f1, events.last_depth_avg, events.last_depth_max,
      static_cast<long long>(largest));
  std::fflush(stdout);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = VEXLOR_DATA_DIR;
  bool full_scan = false;
  bool million = false;
  std::string only;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
      only = argv[++i];
    } else if (std::strcmp(argv[i], "--full-scan") == 0) {
      full_scan = true;
    } else if (std::strcmp(argv[i], "--1m") == 0) {
      million = true;
    } else if (argv[i][0] != '-') {
      dir = argv[i];
    }
  }
  std::vector<Config> configs;
  for (double ct : {0.5, 0.3}) {
    configs.push_back({"customers-10k.csv", "customers-10k.truth.csv", ct, false});
    configs.push_back(
        {"customers-100k.csv.gz", "customers-100k.truth.csv.gz", ct, false});
    if (million) {
      configs.push_back(
          {"customers-1m.csv.gz", "customers-1m.truth.csv.gz", ct, false});
    }
  }
  if (full_scan) {
    configs.push_back({"customers-10k.csv", "customers-10k.truth.csv", 0.5, true});
    configs.push_back(
        {"customers-100k.csv.gz", "customers-100k.truth.csv.gz", 0.5, true});
  }
  int failures = 0;
  for (const Config& config : configs) {
    if (!only.empty() && std::string(config.table).find(only) == std::string::npos) {
      continue;
    }
    pid_t child = fork();
    if (child == 0) _exit(Run(dir, config) ? 0 : 1);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) < 0 || status != 0) ++failures;
  }
  return failures == 0 ? 0 : 1;
}

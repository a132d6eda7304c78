// End-to-end fuzzy match and fuzzy merge of the sample pair: incoming-10k
// against master-50k, with the fixed benchmark settings of the data folder:
// id (column 0) as the identifier column; first_name, last_name, company,
// street, postcode and city as Cluster and DupeSearch columns of Weight
// 1.0; phone and email off; Threshold 80; ClusterThreshold 0.5 and 0.3;
// progress as events; labels from a fixed seed; both logs written.
//
// Each configuration runs in a child process of its own, so that its peak
// resident set size is its own. Reported: the time to read the tables, the
// wall and CPU time of the call, the peak RSS, and against the truth files:
//  - match: pair precision and recall of the (incoming, master) pairs the
//    Match column shows (each master row with the first incoming record
//    that matched it), and per record of the incoming records the positive
//    log holds (of the 4,000 that have a master record);
//  - merge, MRR_CLEANMERGED: precision and recall of the rejected records
//    (the rejected log), a record being rightly rejected when it has a
//    master record or an earlier incoming record of the same customer;
//  - merge, MRR_ALL: pairwise precision and recall of the grouping by
//    FuzzyDupesID over master and incoming records (two records of one
//    customer form a true pair).
//
// A plain program: one run takes seconds, and its peak memory is a figure
// of its own. Usage: match_merge_bench [--only TEXT] [DATA_DIR]; --only
// keeps the configurations whose name contains TEXT.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "bench/bench_data.h"
#include "vexlor/event_sink.h"
#include "vexlor/text.h"
#include "vexlor/variant.h"
#include "vexlor/variant_array.h"
#include "vexlor/vexlor_ctrl.h"

namespace {

using vexlor::platform::Variant;
using vexlor::platform::VariantArray;
namespace bench = vexlor::bench;

class QuietEvents : public vexlor::EventSink {
 public:
  void ProgressDupeSearch(double, int32_t, double, int32_t, int32_t depth_max,
                          double depth_avg, int32_t found, int32_t found2,
                          int32_t, std::u16string_view, int32_t,
                          std::u16string_view) override {
    last_depth_max = depth_max;
    last_depth_avg = depth_avg;
    last_found = found;
    last_found2 = found2;
  }
  void Progress(int16_t, double, int32_t, std::u16string_view, int32_t,
                std::u16string_view) override {}
  int32_t last_depth_max = 0;
  double last_depth_avg = 0;
  int32_t last_found = 0;
  int32_t last_found2 = 0;
};

enum class Method { kMatch, kMergeClean, kMergeAll };

struct Config {
  const char* name;
  Method method;
  double cluster_threshold;
};

int64_t Pairs(int64_t n) { return n * (n - 1) / 2; }

double Ratio(int64_t a, int64_t b) { return b > 0 ? double(a) / b : 0; }

// The first field of every line of a log after its header.
std::vector<std::string> LoggedIds(const std::string& path) {
  std::vector<std::string> ids;
  std::vector<std::vector<std::string>> rows = bench::ReadCsv(path);
  for (size_t i = 1; i < rows.size(); ++i) {
    if (!rows[i].empty() && !rows[i][0].empty()) ids.push_back(rows[i][0]);
  }
  return ids;
}

bool Run(const std::string& dir, const Config& config) {
  auto start = std::chrono::steady_clock::now();
  const std::vector<std::vector<std::string>> master_rows =
      bench::ReadCsv(dir + "/master-50k.csv.gz");
  const std::vector<std::vector<std::string>> incoming_rows =
      bench::ReadCsv(dir + "/incoming-10k.csv.gz");
  const std::vector<std::vector<std::string>> master_truth =
      bench::ReadCsv(dir + "/master-50k.truth.csv.gz");
  const std::vector<std::vector<std::string>> incoming_truth =
      bench::ReadCsv(dir + "/incoming-10k.truth.csv.gz");
  if (master_rows.size() < 2 || incoming_rows.size() < 2 ||
      master_truth.size() < 2 || incoming_truth.size() < 2) {
    std::fprintf(stderr, "cannot read the sample data in %s\n", dir.c_str());
    return false;
  }
  Variant master = bench::ToTable(master_rows);
  Variant incoming = bench::ToTable(incoming_rows);
  const uint32_t master_count = master.AsArray()->rows();
  const uint32_t incoming_count = incoming.AsArray()->rows();
  const uint32_t columns = master.AsArray()->columns();
  std::vector<std::string> master_ids, incoming_ids;
  for (size_t i = 1; i < master_rows.size(); ++i) {
    master_ids.push_back(master_rows[i][0]);
  }
  for (size_t i = 1; i < incoming_rows.size(); ++i) {
    incoming_ids.push_back(incoming_rows[i][0]);
  }
  std::unordered_map<std::string, std::string> entity_of, master_of;
  for (size_t i = 1; i < master_truth.size(); ++i) {
    entity_of[master_truth[i][0]] = master_truth[i][1];
  }
  for (size_t i = 1; i < incoming_truth.size(); ++i) {
    entity_of[incoming_truth[i][0]] = incoming_truth[i][1];
    master_of[incoming_truth[i][0]] = incoming_truth[i][2];
  }
  const double load_seconds = bench::Seconds(start);
  const long rss_before = bench::PeakRssKb();

  vexlor::CVexlorCtrl control(uint64_t{20240611});
  QuietEvents events;
  control.Advise(&events);
  control.SetCSVDelimiter(u",");
  for (int c = 1; c <= 6; ++c) {
    control.SetColumnOption(c, true, true, 1.0, false, u"");
  }
  control.SetColumnOption(7, false, false, 1.0, false, u"");
  control.SetColumnOption(8, false, false, 1.0, false, u"");
  char folder[] = "/tmp/vexlor_bench_XXXXXX";
  if (mkdtemp(folder) == nullptr) return false;
  const std::string first_log = std::string(folder) + "/first.csv";
  const std::string second_log = std::string(folder) + "/second.csv";
  const std::u16string first = vexlor::platform::Utf8ToUtf16(first_log);
  const std::u16string second = vexlor::platform::Utf8ToUtf16(second_log);

  start = std::chrono::steady_clock::now();
  const double cpu_start = bench::CpuSeconds();
  Variant result;
  if (config.method == Method::kMatch) {
    result =
        control.FuzzyMatch(master, incoming, 0, 80.0, config.cluster_threshold,
                           u"", vexlor::MAR_ALL, false, first, second);
  } else {
    result = control.FuzzyMerge(
        master, incoming, 0, 80.0, config.cluster_threshold, u"",
        config.method == Method::kMergeAll ? vexlor::MRR_ALL
                                           : vexlor::MRR_CLEANMERGED,
        false, first, second);
  }
  const double call_seconds = bench::Seconds(start);
  const double call_cpu = bench::CpuSeconds() - cpu_start;
  const long rss_peak = bench::PeakRssKb();
  if (result.AsArray() == nullptr || control.LastError() != 0) {
    std::fprintf(stderr, "%s failed (LastError %d)\n", config.name,
                 control.LastError());
    return false;
  }
  const std::vector<std::string> first_ids = LoggedIds(first_log);
  const std::vector<std::string> second_ids = LoggedIds(second_log);
  std::remove(first_log.c_str());
  std::remove(second_log.c_str());
  rmdir(folder);

  int64_t true_links = 0;  // incoming records with a master record
  for (const std::string& id : incoming_ids)
    true_links += !master_of[id].empty();

  char figures[512];
  if (config.method == Method::kMatch) {
    // Pairs shown by the Match column.
    int64_t predicted = 0, correct = 0;
    const VariantArray& a = *result.AsArray();
    for (uint32_t m = 0; m < master_count; ++m) {
      const int32_t match = a.cell(columns, m).AsInt32();
      if (match == 0) continue;
      ++predicted;
      correct += master_of[incoming_ids[match - 1]] == master_ids[m];
    }
    // Records judged to have a master record: the positive log.
    int64_t right = 0;
    for (const std::string& id : first_ids) right += !master_of[id].empty();
    std::snprintf(figures, sizeof figures,
                  "pairs %lld/%lld P %.4f R %.4f | records %lld/%zu P %.4f "
                  "R %.4f",
                  static_cast<long long>(correct),
                  static_cast<long long>(predicted), Ratio(correct, predicted),
                  Ratio(correct, true_links), static_cast<long long>(right),
                  first_ids.size(),
                  Ratio(right, static_cast<int64_t>(first_ids.size())),
                  Ratio(right, true_links));
  } else if (config.method == Method::kMergeClean) {
    // Should be rejected: a master record, or an earlier incoming record of
    // the same customer.
    std::unordered_set<std::string> seen, should;
    for (const std::string& id : incoming_ids) {
      const std::string& entity = entity_of[id];
      if (!master_of[id].empty() || seen.count(entity)) should.insert(id);
      seen.insert(entity);
    }
    int64_t right = 0;
    for (const std::string& id : second_ids) right += should.count(id);
    std::snprintf(
        figures, sizeof figures,
        "rejected %lld/%zu (should %zu) P %.4f R %.4f  merged rows %u",
        static_cast<long long>(right), second_ids.size(), should.size(),
        Ratio(right, static_cast<int64_t>(second_ids.size())),
        Ratio(right, static_cast<int64_t>(should.size())),
        result.AsArray()->rows());
  } else {
    // Pairwise over the labels of master and incoming records.
    const VariantArray& a = *result.AsArray();
    std::unordered_map<std::u16string, int64_t> by_label;
    std::unordered_map<std::string, int64_t> by_entity;
    std::unordered_map<std::u16string, int64_t> by_both;
    for (uint32_t r = 0; r < a.rows(); ++r) {
      const std::string id =
          vexlor::platform::Utf16ToUtf8(a.cell(0, r).AsString());
      const std::u16string label(a.cell(columns, r).AsString());
      const std::string& entity = entity_of[id];
      ++by_label[label];
      ++by_entity[entity];
      ++by_both[label + u"|" + vexlor::platform::Utf8ToUtf16(entity)];
    }
    int64_t predicted = 0, truth = 0, correct = 0;
    for (const auto& [k, n] : by_label) predicted += Pairs(n);
    for (const auto& [k, n] : by_entity) truth += Pairs(n);
    for (const auto& [k, n] : by_both) correct += Pairs(n);
    std::snprintf(figures, sizeof figures,
                  "pairs %lld/%lld (true %lld) P %.4f R %.4f  rejected %zu",
                  static_cast<long long>(correct),
                  static_cast<long long>(predicted),
                  static_cast<long long>(truth), Ratio(correct, predicted),
                  Ratio(correct, truth), second_ids.size());
  }
  std::printf(
      "%-12s CT %.1f  %u x %u  load %5.2f s  call %6.2f s (cpu %6.2f s)  "
      "peak RSS %6.1f MB (before %6.1f MB)  candidates avg %.1f max %d  %s\n",
      config.name, config.cluster_threshold, incoming_count, master_count,
      load_seconds, call_seconds, call_cpu, rss_peak / 1024.0,
      rss_before / 1024.0, events.last_depth_avg, events.last_depth_max,
      figures);
  std::fflush(stdout);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = VEXLOR_DATA_DIR;
  std::string only;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
      only = argv[++i];
    } else if (argv[i][0] != '-') {
      dir = argv[i];
    }
  }
  std::vector<Config> configs;
  for (double ct : {0.5, 0.3}) {
    configs.push_back({"match", Method::kMatch, ct});
    configs.push_back({"merge-clean", Method::kMergeClean, ct});
    configs.push_back({"merge-all", Method::kMergeAll, ct});
  }
  int failures = 0;
  for (const Config& config : configs) {
    if (!only.empty() &&
        std::string(config.name).find(only) == std::string::npos) {
      continue;
    }
    pid_t child = fork();
    if (child == 0) _exit(Run(dir, config) ? 0 : 1);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) < 0 || status != 0) ++failures;
  }
  return failures == 0 ? 0 : 1;
}

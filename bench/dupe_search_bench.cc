// End-to-end benchmark of the fuzzy batch methods over the sample customer
// tables, with the fixed benchmark settings of the data folder: id (column 0)
// as the identifier column; first_name, last_name, company, street,
// postcode and city as Cluster and DupeSearch columns of Weight 1.0; phone
// and email off; Threshold 80; ClusterThreshold 0.5 and 0.3; progress as
// events; labels from a fixed seed.
//
// Methods: DupeSearch on customers-10k, -100k (and -1m with --1m);
// FuzzyMatch and FuzzyMerge (MRR_ALL, both logs) of incoming-10k against
// master-50k. Each runs twice, each time in a child process of its own so
// that its peak resident set size is its own: with the straightforward
// candidate scan (every posting of every trigram walked, every candidate's
// similarity computed in full) and with the fast one (prefix filtering,
// verdicts from bounds). Reported per run: wall and CPU time of the call,
// peak RSS, a digest of everything the call leaves (result cells, event
// arguments apart from the times, log files, the field list), pairwise
// precision, recall and F1 against the truth files; per pair of runs the
// ratio of the times and whether the digests agree.
//
// A plain program rather than a Google Benchmark loop: one run takes
// seconds to minutes and the peak memory of a run is a figure of its own.
// Usage: dupe_search_bench [--1m] [--skip-slow-1m] [--fast-only] [--only
// TEXT] [--ct X] [DATA_DIR]; --only keeps the configurations whose name
// contains TEXT, --ct one ClusterThreshold; --skip-slow-1m leaves out the
// straightforward scan on customers-1m, which takes over half an hour;
// --fast-only leaves it out everywhere.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "bench/bench_data.h"
#include "tests/reference/candidate_strategies.h"
#include "vexlor/control/control_context.h"
#include "vexlor/event_sink.h"
#include "vexlor/records/field_coll.h"
#include "vexlor/tables/methods/dupe_search.h"
#include "vexlor/tables/methods/fuzzy_match.h"
#include "vexlor/tables/methods/fuzzy_merge.h"
#include "vexlor/tables/stages/match_stages.h"
#include "vexlor/text.h"
#include "vexlor/variant_array.h"
#include "vexlor/vexlor_ctrl.h"

namespace {

using vexlor::CandidateScan;
using vexlor::bench::ParseCsv;
using vexlor::bench::ReadAll;
using vexlor::platform::Variant;
using vexlor::platform::VariantArray;

#ifndef VEXLOR_DATA_DIR
#define VEXLOR_DATA_DIR "/work/shared/data"
#endif

// FNV-1a over bytes, for the digest of a run.
struct Digest {
  uint64_t h = 1469598103934665603ull;
  void Add(const void* data, size_t n) {
    const auto* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
  }
  template <class T>
  void AddValue(T v) {
    Add(&v, sizeof v);
  }
  void AddText(std::u16string_view s) {
    AddValue(s.size());
    Add(s.data(), s.size() * sizeof(char16_t));
  }
};

// The events' arguments apart from the clock go into the digest.
class DigestEvents : public vexlor::EventSink {
 public:
  explicit DigestEvents(Digest* digest) : digest_(digest) {}
  void ProgressDupeSearch(double percent, int32_t record_no,
                          double record_count, int32_t depth, int32_t depth_max,
                          double depth_avg, int32_t found, int32_t found2,
                          int32_t, std::u16string_view, int32_t,
                          std::u16string_view) override {
    digest_->AddValue(percent);
    digest_->AddValue(record_no);
    digest_->AddValue(record_count);
    digest_->AddValue(depth);
    digest_->AddValue(depth_max);
    digest_->AddValue(depth_avg);
    digest_->AddValue(found);
    digest_->AddValue(found2);
    last_depth_max = depth_max;
    last_depth_avg = depth_avg;
  }
  void Progress(int16_t action, double percent, int32_t, std::u16string_view,
                int32_t, std::u16string_view) override {
    digest_->AddValue(action);
    digest_->AddValue(percent);
  }
  int32_t last_depth_max = 0;
  double last_depth_avg = 0;

 private:
  Digest* digest_;
};

void DigestTable(const Variant& v, Digest* digest) {
  digest->AddValue(static_cast<int>(v.vt()));
  const VariantArray* a = v.AsArray();
  if (a == nullptr) return;
  digest->AddValue(a->columns());
  digest->AddValue(a->rows());
  for (uint32_t r = 0; r < a->rows(); ++r) {
    for (uint32_t c = 0; c < a->columns(); ++c) {
      const Variant& cell = a->cell(c, r);
      digest->AddValue(static_cast<int>(cell.vt()));
      if (cell.IsString()) {
        digest->AddText(cell.AsString());
      } else if (cell.vt() == vexlor::platform::VT_I4) {
        digest->AddValue(cell.AsInt32());
      }
    }
  }
}

void DigestFile(const std::string& path, Digest* digest) {
  std::string text;
  ReadAll(path, &text);
  digest->AddValue(text.size());
  digest->Add(text.data(), text.size());
}

long PeakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 +
         usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
}

// The processor time of the calling thread alone: on a machine whose other
// cores are busy, the wall time the call would take with the workers
// keeping up.
double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

int64_t Pairs(int64_t n) { return n * (n - 1) / 2; }

struct Table {
  Variant cells;
  std::vector<std::string> ids;
};

Table LoadTable(const std::string& path) {
  Table t;
  std::string text;
  if (!ReadAll(path, &text)) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    std::exit(1);
  }
  std::vector<std::vector<std::string>> rows = ParseCsv(text);
  std::string().swap(text);
  const uint32_t columns = static_cast<uint32_t>(rows[0].size());
  const uint32_t records = static_cast<uint32_t>(rows.size() - 1);
  t.cells = VariantArray::NewTable(columns, records);
  t.ids.resize(records);
  for (uint32_t r = 0; r < records; ++r) {
    const std::vector<std::string>& row = rows[r + 1];
    for (uint32_t c = 0; c < columns && c < row.size(); ++c) {
      t.cells.AsArray()->cell(c, r) = Variant::Utf8String(row[c]);
    }
    t.ids[r] = row[0];
  }
  return t;
}

// Column `column` of a truth file by the id in column 0.
std::unordered_map<std::string, std::string> LoadTruth(const std::string& path,
                                                       size_t column) {
  std::string text;
  if (!ReadAll(path, &text)) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    std::exit(1);
  }
  std::unordered_map<std::string, std::string> out;
  std::vector<std::vector<std::string>> truth = ParseCsv(text);
  for (size_t i = 1; i < truth.size(); ++i) {
    if (truth[i].size() > column) out[truth[i][0]] = truth[i][column];
  }
  return out;
}

// Pairwise scores of a labelling against entities.
struct Scores {
  int64_t correct = 0, predicted = 0, truth = 0;
  double precision() const {
    return predicted ? double(correct) / predicted : 0;
  }
  double recall() const { return truth ? double(correct) / truth : 0; }
};

Scores ScoreLabels(const std::vector<std::u16string>& labels,
                   const std::vector<std::string>& entities) {
  std::unordered_map<std::u16string, int64_t> by_label;
  std::unordered_map<std::string, int64_t> by_entity;
  std::unordered_map<std::u16string, int64_t> by_both;
  for (size_t r = 0; r < labels.size(); ++r) {
    ++by_label[labels[r]];
    ++by_entity[entities[r]];
    ++by_both[labels[r] + u"|" + vexlor::platform::Utf8ToUtf16(entities[r])];
  }
  Scores s;
  for (const auto& [k, n] : by_label) s.predicted += Pairs(n);
  for (const auto& [k, n] : by_entity) s.truth += Pairs(n);
  for (const auto& [k, n] : by_both) s.correct += Pairs(n);
  return s;
}

enum class Method { kDupeSearch, kFuzzyMatch, kFuzzyMerge };

struct Config {
  Method method;
  const char* name;    // table, or the master table
  const char* second;  // the second table, or null
  double cluster_threshold;
  CandidateScan scan;
};

// What a child reports to the parent.
struct Outcome {
  bool ok = false;
  double wall = 0, cpu = 0, caller = 0;
  long peak_kb = 0;
  uint64_t digest = 0;
};

Outcome Run(const std::string& dir, const Config& config) {
  Outcome out;
  const std::string base = std::string(config.name);
  const std::string stem = base.substr(0, base.find('.'));
  Table table = LoadTable(dir + "/" + base);
  Table second;
  std::unordered_map<std::string, std::string> entity_of = LoadTruth(
      dir + "/" + stem + ".truth.csv" + (base.ends_with(".gz") ? ".gz" : ""),
      1);
  std::unordered_map<std::string, std::string> master_of;
  if (config.second != nullptr) {
    const std::string s = config.second;
    second = LoadTable(dir + "/" + s);
    const std::string truth = dir + "/" + s.substr(0, s.find('.')) +
                              ".truth.csv" + (s.ends_with(".gz") ? ".gz" : "");
    for (auto& [id, e] : LoadTruth(truth, 1)) entity_of[id] = e;
    master_of = LoadTruth(truth, 2);
  }

  vexlor::CVexlorCtrl control(uint64_t{20240611});
  Digest digest;
  DigestEvents events(&digest);
  control.Advise(&events);
  for (int c = 1; c <= 6; ++c) {
    control.SetColumnOption(c, true, true, 1.0, false, u"");
  }
  control.SetColumnOption(7, false, false, 1.0, false, u"");
  control.SetColumnOption(8, false, false, 1.0, false, u"");
  const std::string log_stem = "/tmp/vexlor-bench-" + std::to_string(getpid());
  const std::u16string log1 =
      vexlor::platform::Utf8ToUtf16(log_stem + "-1.log");
  const std::u16string log2 =
      vexlor::platform::Utf8ToUtf16(log_stem + "-2.log");

  const auto start = std::chrono::steady_clock::now();
  const double cpu_start = CpuSeconds();
  const double caller_start = ThreadCpuSeconds();
  Variant result;
  {
    vexlor::ControlContext context(control);
    switch (config.method) {
      case Method::kDupeSearch:
        result = vexlor::DupeSearch(context, table.cells, 0, 80.0,
                                    config.cluster_threshold, vexlor::DRR_ALL,
                                    false, config.scan);
        break;
      case Method::kFuzzyMatch:
        result = vexlor::FuzzyMatch(
            context, table.cells, second.cells, 0, 80.0,
            config.cluster_threshold, vexlor::MAR_ALL, false, log1, log2,
            vexlor::TextEncoding::kWindows1252, config.scan);
        break;
      case Method::kFuzzyMerge:
        result = vexlor::FuzzyMerge(
            context, table.cells, second.cells, 0, 80.0,
            config.cluster_threshold, vexlor::MRR_ALL, false, log1, log2,
            vexlor::TextEncoding::kWindows1252, config.scan);
        break;
    }
  }
  out.wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
          .count();
  out.cpu = CpuSeconds() - cpu_start;
  out.caller = ThreadCpuSeconds() - caller_start;
  out.peak_kb = PeakRssKb();
  const VariantArray* a = result.AsArray();
  if (a == nullptr || control.LastError() != 0) {
    std::fprintf(stderr, "%s failed (LastError %d)\n", config.name,
                 control.LastError());
    return out;
  }
  DigestTable(result, &digest);
  if (config.method != Method::kDupeSearch) {
    DigestFile(log_stem + "-1.log", &digest);
    DigestFile(log_stem + "-2.log", &digest);
    std::remove((log_stem + "-1.log").c_str());
    std::remove((log_stem + "-2.log").c_str());
  }
  // The last compared pair stays in the field list.
  for (int i = 0; i < 10; ++i) {
    const vexlor::FieldEntry* e = control.field_list().entry(i);
    if (e == nullptr) break;
    digest.Add(e->value.data(), e->value.size());
    digest.Add(e->compare_value.data(), e->compare_value.size());
  }
  out.digest = digest.h;

  // Truth scores.
  const uint32_t label_column =
      a->columns() - (config.method == Method::kFuzzyMerge ? 2 : 1);
  Scores scores;
  if (config.method == Method::kFuzzyMatch) {
    // (incoming, master) pairs: the first incoming record that matched a
    // master row.
    int64_t truth_pairs = 0;
    for (const auto& [id, m] : master_of) truth_pairs += !m.empty();
    scores.truth = truth_pairs;
    for (uint32_t r = 0; r < a->rows(); ++r) {
      const int32_t match = a->cell(label_column, r).AsInt32();
      if (match == 0) continue;
      ++scores.predicted;
      scores.correct += master_of[second.ids[match - 1]] == table.ids[r];
    }
  } else {
    std::vector<std::u16string> labels;
    std::vector<std::string> entities;
    auto entity = [&](const std::string& id) {
      auto it = entity_of.find(id);
      return it != entity_of.end() ? it->second : "?" + id;
    };
    for (uint32_t r = 0; r < a->rows(); ++r) {
      labels.emplace_back(a->cell(label_column, r).AsString());
      const std::vector<std::string>& ids =
          r < table.ids.size() ? table.ids : second.ids;
      entities.push_back(
          entity(ids[r < table.ids.size() ? r : r - table.ids.size()]));
    }
    scores = ScoreLabels(labels, entities);
  }
  const char* kind = config.scan.compare_in_full ? "straight" : "fast";
  const double f1 = scores.precision() + scores.recall() > 0
                        ? 2 * scores.precision() * scores.recall() /
                              (scores.precision() + scores.recall())
                        : 0;
  std::printf(
      "  %-8s wall %8.2f s  cpu %8.2f s (calling thread %.2f s)  peak RSS "
      "%7.1f MB  digest %016llx  "
      "pairs %lld/%lld (truth %lld)  P %.4f R %.4f F1 %.4f  candidates avg "
      "%.1f max %d\n",
      kind, out.wall, out.cpu, out.caller, out.peak_kb / 1024.0,
      static_cast<unsigned long long>(out.digest),
      static_cast<long long>(scores.correct),
      static_cast<long long>(scores.predicted),
      static_cast<long long>(scores.truth), scores.precision(), scores.recall(),
      f1, events.last_depth_avg, events.last_depth_max);
  std::fflush(stdout);
  out.ok = true;
  return out;
}

// Runs one configuration in a child process.
Outcome RunChild(const std::string& dir, const Config& config) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    Outcome out = Run(dir, config);
    (void)!write(fds[1], &out, sizeof out);
    _exit(out.ok ? 0 : 1);
  }
  close(fds[1]);
  Outcome out;
  if (child < 0 || read(fds[0], &out, sizeof out) != sizeof out) out.ok = false;
  close(fds[0]);
  int status = 0;
  if (child > 0) waitpid(child, &status, 0);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = VEXLOR_DATA_DIR;
  bool million = false;
  bool skip_slow_million = false;
  bool fast_only = false;
  double only_ct = -1;
  std::string only;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
      only = argv[++i];
    } else if (std::strcmp(argv[i], "--ct") == 0 && i + 1 < argc) {
      only_ct = std::atof(argv[++i]);
    } else if (std::strcmp(argv[i], "--1m") == 0) {
      million = true;
    } else if (std::strcmp(argv[i], "--skip-slow-1m") == 0) {
      skip_slow_million = true;
    } else if (std::strcmp(argv[i], "--fast-only") == 0) {
      fast_only = true;
    } else if (argv[i][0] != '-') {
      dir = argv[i];
    }
  }
  struct Case {
    Method method;
    const char* name;
    const char* second;
    const char* label;
  };
  std::vector<Case> cases = {
      {Method::kDupeSearch, "customers-10k.csv", nullptr,
       "DupeSearch customers-10k"},
      {Method::kDupeSearch, "customers-100k.csv.gz", nullptr,
       "DupeSearch customers-100k"},
      {Method::kFuzzyMatch, "master-50k.csv.gz", "incoming-10k.csv.gz",
       "FuzzyMatch master-50k / incoming-10k"},
      {Method::kFuzzyMerge, "master-50k.csv.gz", "incoming-10k.csv.gz",
       "FuzzyMerge master-50k / incoming-10k (MRR_ALL)"},
  };
  if (million) {
    cases.push_back({Method::kDupeSearch, "customers-1m.csv.gz", nullptr,
                     "DupeSearch customers-1m"});
  }
  int failures = 0;
  for (double ct : {0.5, 0.3}) {
    if (only_ct >= 0 && ct != only_ct) continue;
    for (const Case& c : cases) {
      if (!only.empty() &&
          std::string(c.label).find(only) == std::string::npos) {
        continue;
      }
      std::printf("%s, ClusterThreshold %.1f\n", c.label, ct);
      std::fflush(stdout);
      const bool is_million =
          std::string(c.name).find("1m") != std::string::npos;
      Outcome slow;
      if (fast_only) {
        std::printf("  straight not run (--fast-only)\n");
        std::fflush(stdout);
      } else if (is_million && skip_slow_million) {
        std::printf("  straight skipped (would take over 30 minutes)\n");
        std::fflush(stdout);
      } else {
        slow = RunChild(dir, {c.method, c.name, c.second, ct,
                              vexlor::reference::HitListScan()});
        failures += !slow.ok;
      }
      Outcome fast =
          RunChild(dir, {c.method, c.name, c.second, ct, CandidateScan{}});
      failures += !fast.ok;
      if (slow.ok && fast.ok) {
        std::printf("  ratio    wall %.1fx  cpu %.1fx  results %s\n",
                    slow.wall / fast.wall, slow.cpu / fast.cpu,
                    slow.digest == fast.digest ? "identical" : "DIFFER");
        failures += slow.digest != fast.digest;
      }
      std::fflush(stdout);
    }
  }
  return failures == 0 ? 0 : 1;
}

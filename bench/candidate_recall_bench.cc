// The candidates of the exact and the bounded rule (candidate_rule.h) side
// by side on a table with a truth file: how many true pairs each finds,
// how many candidates a record gets, and what the search alone costs.
//
// The rows are put into comparison form as the batch methods do with the
// benchmark settings of the data folder's README (first_name to city
// clustered, weight 1, so normalised in upper case) and filed in a
// generator for each rule. Times are processor time of the one thread:
// this shared machine's wall clock says more about its load. A pair of
// records of the same entity is found by a rule when either record has the
// other among its candidates, as the duplicate search compares them. Records are sampled (every STRIDE-th, with every
// record of its entity) since the exact rule takes minutes a million rows.
//
// Each rule's candidates also give a digest, so that two builds can be
// shown to find the same ones; RULES (exact, bounded or both, the default)
// runs one rule alone, to time or profile it.
//
// Usage: candidate_recall_bench TABLE.csv[.gz] TRUTH.csv[.gz] [STRIDE]
//        [CLUSTER_THRESHOLD] [RULES]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_map>
#include <vector>

#include "bench/bench_data.h"
#include "vexlor/strings/normalize.h"
#include "vexlor/tables/candidates/candidate_generator.h"
#include "vexlor/tables/candidates/candidate_need.h"
#include "vexlor/text.h"

namespace {

using vexlor::CandidateGenerator;
using vexlor::CandidateNeed;

constexpr int kFirstCluster = 1;  // first_name
constexpr int kLastCluster = 6;   // city

struct Rule {
  const char* name;
  bool bounded;
  std::vector<std::vector<uint32_t>> found;  // per queried record
  double seconds = 0;
  double index_seconds = 0;
  uint64_t candidates = 0;
  uint64_t most = 0;
  uint64_t digest = 14695981039346656037ull;  // FNV-1a
  bool run = true;
};

void Mix(uint64_t& digest, uint32_t value) {
  for (int b = 0; b < 4; ++b) {
    digest = (digest ^ ((value >> (8 * b)) & 0xFF)) * 1099511628211ull;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: candidate_recall_bench TABLE TRUTH [STRIDE] [CT] "
                 "[exact|bounded|both]\n");
    return 2;
  }
  const uint32_t stride = argc > 3 ? std::atoi(argv[3]) : 1;
  const double ct = argc > 4 ? std::atof(argv[4]) : 0.5;
  const std::string which = argc > 5 ? argv[5] : "both";
  const auto rows = vexlor::bench::ReadCsv(argv[1]);
  const auto truth = vexlor::bench::ReadCsv(argv[2]);
  if (rows.size() < 2 || truth.size() != rows.size()) {
    std::fprintf(stderr, "cannot read the table and its truth\n");
    return 1;
  }
  const uint32_t n = static_cast<uint32_t>(rows.size() - 1);
  std::vector<std::vector<std::string>> texts(n);
  std::string normalized;
  for (uint32_t r = 0; r < n; ++r) {
    for (int c = kFirstCluster; c <= kLastCluster; ++c) {
      vexlor::NormalizeTextInto(vexlor::platform::Utf8ToAnsi(rows[r + 1][c]),
                                true, &normalized);
      texts[r].push_back(normalized);
    }
  }

  std::unordered_map<std::string, std::vector<uint32_t>> entity;
  std::vector<const std::string*> entity_of(n);
  for (uint32_t r = 0; r < n; ++r) {
    auto& members = entity[truth[r + 1][1]];
    members.push_back(r);
  }
  for (auto& [id, members] : entity) {
    for (uint32_t r : members) entity_of[r] = &id;
  }
  // The sampled records with every record of their entity.
  std::vector<uint32_t> queried;
  std::vector<int32_t> slot(n, -1);
  for (uint32_t r = 0; r < n; r += stride) {
    for (uint32_t m : entity[*entity_of[r]]) {
      if (slot[m] < 0) {
        slot[m] = static_cast<int32_t>(queried.size());
        queried.push_back(m);
      }
    }
  }

  Rule rules[] = {{"exact", false, {}}, {"bounded", true, {}}};
  rules[0].run = which != "bounded";
  rules[1].run = which != "exact";
  for (Rule& rule : rules) {
    if (!rule.run) continue;
    rule.found.resize(queried.size());
    const double filing = vexlor::bench::CpuSeconds();
    CandidateGenerator generator(rule.bounded ? vexlor::CandidateRule::kBounded
                                              : vexlor::CandidateRule::kExact);
    for (uint32_t r = 0; r < n; ++r) {
      for (const std::string& t : texts[r]) generator.File(t, r);
    }
    generator.Prepare();
    rule.index_seconds = vexlor::bench::CpuSeconds() - filing;
    const double start = vexlor::bench::CpuSeconds();
    for (size_t i = 0; i < queried.size(); ++i) {
      const uint32_t r = queried[i];
      generator.BeginQuery(r);
      int64_t length = 0;
      for (const std::string& t : texts[r]) {
        generator.AddQueryText(t);
        length += static_cast<int64_t>(t.size());
      }
      const CandidateNeed need = vexlor::NeedFor(length, ct);
      if (need.kind != CandidateNeed::kAtLeast) continue;
      const std::vector<uint32_t>& found =
          rule.bounded
              ? generator.TakeBounded(need.hits, vexlor::kBoundedLimits)
              : generator.Take(need.hits);
      rule.found[i] = found;
    }
    rule.seconds = vexlor::bench::CpuSeconds() - start;
    for (size_t i = 0; i < queried.size(); ++i) {
      const auto& f = rule.found[i];
      Mix(rule.digest, queried[i]);
      Mix(rule.digest, static_cast<uint32_t>(f.size()));
      for (uint32_t c : f) Mix(rule.digest, c);
      rule.candidates += f.size();
      rule.most = std::max<uint64_t>(rule.most, f.size());
    }
  }

  auto has = [&](const Rule& rule, uint32_t a, uint32_t b) {
    if (!rule.run) return false;
    const auto& f = rule.found[slot[a]];
    return std::binary_search(f.begin(), f.end(), b);
  };
  uint64_t true_pairs = 0, exact_pairs = 0, bounded_pairs = 0, both = 0;
  for (uint32_t r = 0; r < n; r += stride) {
    for (uint32_t t : entity[*entity_of[r]]) {
      if (t == r) continue;
      ++true_pairs;
      const bool exact = has(rules[0], r, t) || has(rules[0], t, r);
      const bool bounded = has(rules[1], r, t) || has(rules[1], t, r);
      exact_pairs += exact;
      bounded_pairs += bounded;
      both += exact && bounded;
    }
  }
  std::printf("table %s: %u rows, %zu records queried (stride %u), CT %g\n",
              argv[1], n, queried.size(), stride, ct);
  std::printf(
      "| rule | index s | search s | us/record | candidates avg | max | "
      "digest |\n");
  for (const Rule& rule : rules) {
    if (!rule.run) continue;
    std::printf("| %s | %.2f | %.2f | %.1f | %.2f | %llu | %016llx |\n",
                rule.name, rule.index_seconds, rule.seconds,
                rule.seconds * 1e6 / queried.size(),
                static_cast<double>(rule.candidates) / queried.size(),
                static_cast<unsigned long long>(rule.most),
                static_cast<unsigned long long>(rule.digest));
  }
  std::printf(
      "true pairs (sampled record, other record of its entity): %llu; "
      "found by exact %llu, bounded %llu, both %llu\n",
      static_cast<unsigned long long>(true_pairs),
      static_cast<unsigned long long>(exact_pairs),
      static_cast<unsigned long long>(bounded_pairs),
      static_cast<unsigned long long>(both));
  std::printf("recall of exact's true pairs under bounded: %.4f\n",
              exact_pairs > 0 ? static_cast<double>(both) / exact_pairs : 1.0);
  std::printf("peak RSS %.0f MB\n", vexlor::bench::PeakRssKb() / 1024.0);
  return 0;
}

// The bounded candidate rule of include/vexlor/candidate_rule.h
// taken straight from its steps, for checking the generator's TakeBounded:
// every row's band keys and count are made from its trigrams, and a band's
// rows are found by comparing every row's key.

#ifndef VEXLOR_TESTS_REFERENCE_BOUNDED_CANDIDATES_REFERENCE_H_
#define VEXLOR_TESTS_REFERENCE_BOUNDED_CANDIDATES_REFERENCE_H_

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "tests/reference/trigram_reference.h"
#include "vexlor/candidate_rule.h"
#include "vexlor/tables/candidates/min_hash.h"

namespace vexlor::reference {

class BoundedCandidatesReference {
 public:
  // records[v] holds every text filed for row v.
  explicit BoundedCandidatesReference(
      const std::vector<std::vector<std::string>>& records) {
    for (const std::vector<std::string>& texts : records) {
      std::map<std::string, long>& filed = filed_.emplace_back();
      for (const std::string& text : texts) {
        for (const std::string& t : Trigrams(text)) ++filed[t];
      }
      bands_.push_back(BandsOf(filed));
    }
  }

  // The candidates of the record with cluster texts `query` (row `self`, or
  // none), ascending, with their counts in *counts.
  std::vector<uint32_t> Candidates(const std::vector<std::string>& query,
                                   uint32_t self, long need,
                                   const BoundedLimits& limits,
                                   std::vector<long>* counts) const {
    std::map<std::string, long> multiplicity;
    for (const std::string& text : query) {
      for (const std::string& t : Trigrams(text)) ++multiplicity[t];
    }
    counts->clear();
    if (multiplicity.empty()) return {};
    const std::vector<uint32_t> keys = BandsOf(multiplicity);
    // Rows met: sharing a band's key that at most `bucket` rows have; in
    // how many bands.
    std::vector<long> met(filed_.size(), 0);
    for (uint32_t b = 0; b < kMinHashBands; ++b) {
      uint32_t sharing = 0;
      for (uint32_t v = 0; v < filed_.size(); ++v) {
        sharing += !bands_[v].empty() && bands_[v][b] == keys[b];
      }
      if (sharing > limits.bucket) continue;
      for (uint32_t v = 0; v < filed_.size(); ++v) {
        if (v != self && !bands_[v].empty() && bands_[v][b] == keys[b]) {
          ++met[v];
        }
      }
    }
    std::vector<std::tuple<long, uint32_t>> shortlist;  // (-bands, row)
    for (uint32_t v = 0; v < filed_.size(); ++v) {
      if (met[v] > 0) shortlist.push_back({-met[v], v});
    }
    std::sort(shortlist.begin(), shortlist.end());
    if (shortlist.size() > std::max(limits.shortlist, limits.top)) {
      shortlist.resize(std::max(limits.shortlist, limits.top));
    }
    std::vector<std::tuple<long, uint32_t>> reaching;  // (-count, row)
    for (const auto& [minus, v] : shortlist) {
      long total = 0;
      for (const auto& [t, m] : multiplicity) {
        auto it = filed_[v].find(t);
        if (it != filed_[v].end()) total += m * it->second;
      }
      total = std::min(total, 255L);
      if (total >= need) reaching.push_back({-total, v});
    }
    std::sort(reaching.begin(), reaching.end());
    if (reaching.size() > limits.top) reaching.resize(limits.top);
    std::sort(reaching.begin(), reaching.end(),
              [](const auto& a, const auto& b) {
                return std::get<1>(a) < std::get<1>(b);
              });
    std::vector<uint32_t> rows;
    for (const auto& [minus, v] : reaching) {
      rows.push_back(v);
      counts->push_back(-minus);
    }
    return rows;
  }

 private:
  // The band keys of a set of trigrams (none for the empty set), each
  // trigram's key as trigram_keys.h makes it.
  static std::vector<uint32_t> BandsOf(
      const std::map<std::string, long>& trigrams) {
    if (trigrams.empty()) return {};
    std::vector<uint32_t> keys;
    for (const auto& [t, m] : trigrams) {
      const auto byte = [&](size_t i) {
        return static_cast<uint32_t>(static_cast<unsigned char>(t[i]));
      };
      keys.push_back((byte(0) << 16 | byte(1) << 8 | byte(2)) + 1);
    }
    std::vector<uint32_t> out(kMinHashBands);
    MinHashBandKeys(keys, out.data());
    return out;
  }

  std::vector<std::map<std::string, long>> filed_;  // trigram -> occurrences
  std::vector<std::vector<uint32_t>> bands_;
};

}  // namespace vexlor::reference

#endif  // VEXLOR_TESTS_REFERENCE_BOUNDED_CANDIDATES_REFERENCE_H_

// Trigram counting straight from its definition, for checking the index
// routines: every trigram occurrence of the query against every trigram
// occurrence of every other record, saturated at 255.

#ifndef VEXLOR_TESTS_REFERENCE_TRIGRAM_REFERENCE_H_
#define VEXLOR_TESTS_REFERENCE_TRIGRAM_REFERENCE_H_

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vexlor::reference {

inline std::vector<std::string> Trigrams(const std::string& text) {
  const std::string padded = "_" + text.substr(0, 255) + "_";
  std::vector<std::string> out;
  for (size_t i = 0; i + 2 < padded.size(); ++i) {
    out.push_back(padded.substr(i, 3));
  }
  return out;
}

// records[v] holds every text filed for record v. Returns the counters that
// querying `queries` for record `self` produces from zero.
inline std::vector<uint8_t> CountHits(
    const std::vector<std::string>& queries, uint32_t self,
    const std::vector<std::vector<std::string>>& records) {
  std::vector<uint8_t> counters(records.size(), 0);
  for (uint32_t v = 0; v < records.size(); ++v) {
    if (v == self) continue;
    std::map<std::string, long> filed;  // trigram -> occurrences in record v
    for (const std::string& text : records[v]) {
      for (const std::string& t : Trigrams(text)) ++filed[t];
    }
    long total = 0;
    for (const std::string& query : queries) {
      for (const std::string& q : Trigrams(query)) {
        auto it = filed.find(q);
        if (it != filed.end()) total += it->second;
      }
    }
    counters[v] = static_cast<uint8_t>(std::min<long>(total, 255));
  }
  return counters;
}

}  // namespace vexlor::reference

#endif  // VEXLOR_TESTS_REFERENCE_TRIGRAM_REFERENCE_H_

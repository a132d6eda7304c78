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

// records[v] holds every text filed for record v. CountHits returns the
// counters that querying `queries` for record `self` produces from zero.
class TrigramHitsReference {
 public:
  explicit TrigramHitsReference(
      const std::vector<std::vector<std::string>>& records) {
    for (const std::vector<std::string>& texts : records) {
      std::map<std::string, long>& filed = filed_.emplace_back();
      for (const std::string& text : texts) {
        for (const std::string& t : Trigrams(text)) ++filed[t];
      }
    }
  }

  std::vector<uint8_t> CountHits(const std::vector<std::string>& queries,
                                 uint32_t self) const {
    std::vector<std::string> wanted;  // every trigram occurrence of the query
    for (const std::string& query : queries) {
      for (const std::string& q : Trigrams(query)) wanted.push_back(q);
    }
    std::vector<uint8_t> counters(filed_.size(), 0);
    for (uint32_t v = 0; v < filed_.size(); ++v) {
      if (v == self) continue;
      long total = 0;
      for (const std::string& q : wanted) {
        auto it = filed_[v].find(q);
        if (it != filed_[v].end()) total += it->second;
      }
      counters[v] = static_cast<uint8_t>(std::min<long>(total, 255));
    }
    return counters;
  }

 private:
  std::vector<std::map<std::string, long>> filed_;  // trigram -> occurrences
};

}  // namespace vexlor::reference

#endif  // VEXLOR_TESTS_REFERENCE_TRIGRAM_REFERENCE_H_

// A plain model of the keyed index for checking LLHash: keys in order of
// first filing, each with its values, and the walk order derived from the
// definition (by bucket of the key's hash, then first-filing order).

#ifndef VEXLOR_TESTS_REFERENCE_CHAINED_INDEX_REFERENCE_H_
#define VEXLOR_TESTS_REFERENCE_CHAINED_INDEX_REFERENCE_H_

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tests/reference/lookup2_reference.h"

namespace vexlor::reference {

class ChainedIndexReference {
 public:
  using Entry = std::pair<std::string, std::vector<uint32_t>>;

  void Add(const std::string& key, uint32_t value) {
    if (key.empty()) return;
    for (Entry& e : entries_) {
      if (e.first == key) {
        e.second.push_back(value);
        return;
      }
    }
    entries_.push_back({key, {value}});
  }

  const std::vector<uint32_t>* Find(const std::string& key) const {
    for (const Entry& e : entries_) {
      if (e.first == key) return &e.second;
    }
    return nullptr;
  }

  std::vector<Entry> Walk(uint32_t buckets) const {
    std::vector<Entry> walk = entries_;
    std::stable_sort(walk.begin(), walk.end(),
                     [buckets](const Entry& x, const Entry& y) {
                       return Lookup2(x.first, 23) % buckets <
                              Lookup2(y.first, 23) % buckets;
                     });
    return walk;
  }

  size_t size() const { return entries_.size(); }

 private:
  std::vector<Entry> entries_;
};

}  // namespace vexlor::reference

#endif  // VEXLOR_TESTS_REFERENCE_CHAINED_INDEX_REFERENCE_H_

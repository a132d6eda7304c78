// Test oracle: Ratcliff/Obershelp similarity by the plain cubic scan, with an
// explicit last-in-first-out work stack of inclusive ranges, nothing clever
// in it. Only for short strings in tests.

#ifndef VEXLOR_TESTS_REFERENCE_NAIVE_GESTALT_H_
#define VEXLOR_TESTS_REFERENCE_NAIVE_GESTALT_H_

#include <cstdint>
#include <string_view>
#include <vector>

namespace vexlor::reference {

inline int64_t NaiveGestaltMatchCount(std::string_view t1,
                                      std::string_view t2) {
  const int64_t n = static_cast<int64_t>(t1.size());
  const int64_t m = static_cast<int64_t>(t2.size());
  if (n == 0 || m == 0) return 0;
  struct Range {
    int64_t s1, e1, s2, e2;  // Both ends inclusive.
  };
  std::vector<Range> stack = {{0, n - 1, 0, m - 1}};
  int64_t matched = 0;
  while (!stack.empty()) {
    const Range r = stack.back();
    stack.pop_back();
    int64_t best = 0;
    int64_t p1 = 0;
    int64_t p2 = 0;
    for (int64_t i = r.s1; i <= r.e1; ++i) {
      for (int64_t j = r.s2; j <= r.e2; ++j) {
        int64_t k = 0;
        while (i + k <= r.e1 && j + k <= r.e2 && t1[i + k] == t2[j + k]) ++k;
        if (k > best) {
          best = k;
          p1 = i;
          p2 = j;
        }
      }
    }
    if (best == 0) continue;
    matched += best;
    stack.push_back({p1 + best, r.e1, p2 + best, r.e2});
    stack.push_back({r.s1, p1 - 1, r.s2, p2 - 1});
  }
  return matched;
}

inline double NaiveGestaltSimilarity(std::string_view t1, std::string_view t2) {
  if (t1.empty() && t2.empty()) return 100.0;
  if (t1.empty() || t2.empty()) return 0.0;
  const int64_t matched = NaiveGestaltMatchCount(t1, t2);
  return static_cast<double>(matched) /
         static_cast<double>(t1.size() + t2.size()) * 2.0 * 100.0;
}

}  // namespace vexlor::reference

#endif  // VEXLOR_TESTS_REFERENCE_NAIVE_GESTALT_H_

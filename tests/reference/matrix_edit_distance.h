// Test oracle: Levenshtein distance by the full (n+1) x (m+1) matrix, the
// textbook dynamic programme with nothing clever in it. Only for short
// strings in tests.

#ifndef VEXLOR_TESTS_REFERENCE_MATRIX_EDIT_DISTANCE_H_
#define VEXLOR_TESTS_REFERENCE_MATRIX_EDIT_DISTANCE_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace vexlor::reference {

inline int32_t MatrixEditDistance(std::string_view s1, std::string_view s2) {
  const size_t n = s1.size();
  const size_t m = s2.size();
  if (n == 0) return static_cast<int32_t>(m);
  if (m == 0) return static_cast<int32_t>(n);
  std::vector<int32_t> d((n + 1) * (m + 1));
  auto at = [&](size_t i, size_t j) -> int32_t& { return d[i * (m + 1) + j]; };
  for (size_t i = 0; i <= n; ++i) at(i, 0) = static_cast<int32_t>(i);
  for (size_t j = 0; j <= m; ++j) at(0, j) = static_cast<int32_t>(j);
  for (size_t i = 1; i <= n; ++i) {
    for (size_t j = 1; j <= m; ++j) {
      const int32_t cost = s1[i - 1] == s2[j - 1] ? 0 : 1;
      at(i, j) = std::min(
          {at(i - 1, j) + 1, at(i, j - 1) + 1, at(i - 1, j - 1) + cost});
    }
  }
  return at(n, m);
}

}  // namespace vexlor::reference

#endif  // VEXLOR_TESTS_REFERENCE_MATRIX_EDIT_DISTANCE_H_

// A deliberately plain approximate pattern search for checking the
// bit-parallel one: a cost table over the pattern's positions, one
// alternative at a time, with integer costs instead of bit masks and no
// early exit. It takes the pattern already broken into positions, so it also
// checks the parser when a test renders the same positions as pattern text.

#ifndef VEXLOR_TESTS_REFERENCE_PATTERN_COMPARE_REFERENCE_H_
#define VEXLOR_TESTS_REFERENCE_PATTERN_COMPARE_REFERENCE_H_

#include <algorithm>
#include <bitset>
#include <string_view>
#include <vector>

namespace vexlor::reference {

struct PatternPosition {
  std::bitset<256> accepts;  // the text bytes this position accepts
  bool exact = false;        // inside braces: takes no error
  bool persistent = false;   // a * stands before it (not first in alternative)
};

using PatternAlternative = std::vector<PatternPosition>;

// Least cost with which one of `alternatives` matches a stretch of `text`
// ending anywhere, capped at 8; 8 also when no alternative has a position.
//
// cost[j] is the least cost of matching positions 0..j of the alternative
// against a stretch of text that ends at the byte just read:
//   - position j takes the byte:         cost[j-1] before the byte
//                                         (0 for j = 0)
//   - position j takes the byte wrongly,
//     or is missing from the text:       1 + min(cost[j-1] before and after
//                                         the byte) (1 for j = 0)
//   - a * before j lets the text run on: cost[j] before the byte
// An extra text byte inside the stretch is thus a wrong byte plus a missing
// position, 2 in all. Exact positions allow only the first and third rule.
inline int PatternSearch(std::string_view text,
                         const std::vector<PatternAlternative>& alternatives) {
  constexpr int kInfinity = 1 << 20;
  int best = 8;
  for (const PatternAlternative& alt : alternatives) {
    if (alt.empty()) continue;
    std::vector<int> before(alt.size(), kInfinity);
    std::vector<int> after(alt.size(), kInfinity);
    for (char ch : text) {
      const unsigned char c = static_cast<unsigned char>(ch);
      for (size_t j = 0; j < alt.size(); ++j) {
        const PatternPosition& p = alt[j];
        int cost = kInfinity;
        if (p.accepts[c]) cost = j == 0 ? 0 : before[j - 1];
        if (!p.exact) {
          const int lead = j == 0 ? 0 : std::min(before[j - 1], after[j - 1]);
          cost = std::min(cost, 1 + lead);
        }
        if (p.persistent) cost = std::min(cost, before[j]);
        after[j] = cost;
      }
      best = std::min(best, after.back());
      std::swap(before, after);
    }
  }
  return best;
}

}  // namespace vexlor::reference

#endif  // VEXLOR_TESTS_REFERENCE_PATTERN_COMPARE_REFERENCE_H_

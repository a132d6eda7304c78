#include "vexlor/strings/edit_distance.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

namespace vexlor {
namespace {

constexpr int kWordBits = 64;

// Bits set in a word, without depending on a population-count instruction
// being enabled for the build.
inline int32_t PopCount(uint64_t x) {
  x = x - ((x >> 1) & 0x5555555555555555ull);
  x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Full;
  return static_cast<int32_t>((x * 0x0101010101010101ull) >> 56);
}

// The distance is computed column by column over `text`, keeping the
// vertical deltas of one column of the (pattern x text) matrix as two bit
// vectors: vp marks rows where D[i][j] - D[i-1][j] = +1, vn where it is -1.
// This is the bit-parallel recurrence of G. Myers, "A fast bit-vector
// algorithm for approximate string matching based on dynamic programming"
// (JACM 1999), in the formulation of H. Hyyrö, "Explaining and extending the
// bit-parallel approximate string matching algorithm of Myers" (2001). It
// yields exactly the values of the full matrix, one machine word per 64
// pattern bytes.

// Pattern of at most 64 bytes: one word per column.
int32_t DistanceOneWord(std::string_view pattern, std::string_view text) {
  // Only the entries of bytes that occur are ever read, so only those are
  // cleared: cheaper than clearing all 256 words for a short name.
  std::array<uint64_t, 256> peq;
  for (char c : text) peq[static_cast<unsigned char>(c)] = 0;
  for (char c : pattern) peq[static_cast<unsigned char>(c)] = 0;
  uint64_t bit = 1;
  for (char c : pattern) {
    peq[static_cast<unsigned char>(c)] |= bit;
    bit <<= 1;
  }

  uint64_t vp = ~uint64_t{0};  // First column: D[i][0] = i.
  uint64_t vn = 0;
  for (char c : text) {
    const uint64_t eq = peq[static_cast<unsigned char>(c)];
    const uint64_t d0 = (((eq & vp) + vp) ^ vp) | eq | vn;
    uint64_t hp = vn | ~(d0 | vp);
    const uint64_t hn = (d0 & vp) << 1;
    // The top row D[0][j] = j grows by one per column: a +1 enters at row 0.
    hp = (hp << 1) | 1;
    vp = hn | ~(d0 | hp);
    vn = hp & d0;
  }
  // The last column's vertical deltas add up from D[0][n] = n to the
  // distance, so no running score is kept along the columns.
  const uint64_t rows = pattern.size() == kWordBits
                            ? ~uint64_t{0}
                            : (uint64_t{1} << pattern.size()) - 1;
  return static_cast<int32_t>(text.size()) + PopCount(vp & rows) -
         PopCount(vn & rows);
}

// Longer pattern: the column is split into blocks of 64 rows, processed top
// to bottom; the horizontal delta leaving the bottom row of one block enters
// the next (Hyyrö, "A bit-vector algorithm for computing Levenshtein and
// Damerau edit distances", 2003). A -1 entering a block acts like a match in
// its first row; the entering delta is shifted in where the one-word version
// shifts in the +1 of the top row.
class BlockedColumns {
 public:
  explicit BlockedColumns(std::string_view pattern)
      : pattern_size_(static_cast<int32_t>(pattern.size())),
        blocks_((pattern.size() + kWordBits - 1) / kWordBits),
        last_row_(uint64_t{1} << ((pattern.size() - 1) % kWordBits)) {
    // Bytes of the pattern get dense codes 1..sigma; every other byte is 0,
    // whose match vectors are all zero. Keeps the table small.
    uint32_t sigma = 1;
    for (char c : pattern) {
      uint32_t& slot = code_[static_cast<unsigned char>(c)];
      if (slot == 0) slot = sigma++;
    }
    peq_.assign(static_cast<size_t>(sigma) * blocks_, 0);
    for (size_t i = 0; i < pattern.size(); ++i) {
      const uint32_t a = code_[static_cast<unsigned char>(pattern[i])];
      peq_[a * blocks_ + i / kWordBits] |= uint64_t{1} << (i % kWordBits);
    }
    vp_.assign(blocks_, ~uint64_t{0});
    vn_.assign(blocks_, 0);
  }

  // Returns the distance of the pattern and `text`. Call once.
  int32_t Run(std::string_view text) {
    int32_t score = pattern_size_;  // D[m][0]
    // Two columns at a time, the second one block behind the first: the
    // carry chains of the two are independent, so the processor overlaps
    // them instead of waiting on one long chain per column.
    size_t j = 0;
    for (; j + 1 < text.size(); j += 2) {
      Column a(Row(text[j]));
      Column b(Row(text[j + 1]));
      Step(a, 0);
      for (size_t k = 1; k < blocks_; ++k) {
        Step(a, k);
        Step(b, k - 1);
      }
      Step(b, last_block());
      score += a.Delta() + b.Delta();
    }
    if (j < text.size()) {
      Column a(Row(text[j]));
      for (size_t k = 0; k < blocks_; ++k) Step(a, k);
      score += a.Delta();
    }
    return score;
  }

 private:
  // The horizontal deltas travelling down one column.
  struct Column {
    explicit Column(const uint64_t* eq_row) : eq(eq_row) {}
    int32_t Delta() const {
      return static_cast<int32_t>(hp) - static_cast<int32_t>(hn);
    }
    const uint64_t* eq;
    uint64_t hp = 1;  // The top row D[0][j] = j: +1 per column.
    uint64_t hn = 0;
  };

  size_t last_block() const { return blocks_ - 1; }
  const uint64_t* Row(char c) const {
    return peq_.data() + code_[static_cast<unsigned char>(c)] * blocks_;
  }

  void Step(Column& col, size_t k) {
    const uint64_t out_bit = k == last_block() ? last_row_ : uint64_t{1} << 63;
    const uint64_t eq = col.eq[k] | col.hn;
    const uint64_t v_p = vp_[k];
    const uint64_t v_n = vn_[k];
    const uint64_t d0 = (((eq & v_p) + v_p) ^ v_p) | eq | v_n;
    uint64_t hp = v_n | ~(d0 | v_p);
    uint64_t hn = d0 & v_p;
    const uint64_t hp_out = (hp & out_bit) != 0;
    const uint64_t hn_out = (hn & out_bit) != 0;
    hp = (hp << 1) | col.hp;
    hn = (hn << 1) | col.hn;
    vp_[k] = hn | ~(d0 | hp);
    vn_[k] = hp & d0;
    col.hp = hp_out;
    col.hn = hn_out;
  }

  const int32_t pattern_size_;
  const size_t blocks_;
  const uint64_t last_row_;
  std::array<uint32_t, 256> code_{};
  std::vector<uint64_t> peq_;
  std::vector<uint64_t> vp_;
  std::vector<uint64_t> vn_;
};

}  // namespace

int32_t EditDistance(std::string_view s1, std::string_view s2) {
  // A common prefix or suffix never changes the distance; names that share
  // most of their text shrink to a few bytes here.
  size_t prefix = 0;
  const size_t shorter = s1.size() < s2.size() ? s1.size() : s2.size();
  while (prefix < shorter && s1[prefix] == s2[prefix]) ++prefix;
  s1.remove_prefix(prefix);
  s2.remove_prefix(prefix);
  while (!s1.empty() && !s2.empty() && s1.back() == s2.back()) {
    s1.remove_suffix(1);
    s2.remove_suffix(1);
  }

  // The distance is symmetric. The time goes into one dependent chain of
  // word operations per text byte, so when both strings fit a word the
  // longer one is the pattern and the shorter one is walked; otherwise the
  // shorter one is the pattern, to need the fewest words.
  if (s1.size() > s2.size()) std::swap(s1, s2);
  if (s1.empty()) return static_cast<int32_t>(s2.size());
  if (s2.size() <= kWordBits) return DistanceOneWord(s2, s1);
  if (s1.size() <= kWordBits) return DistanceOneWord(s1, s2);
  try {
    BlockedColumns columns(s1);
    return columns.Run(s2);
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

}  // namespace vexlor

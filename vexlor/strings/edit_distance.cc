#include "vexlor/strings/edit_distance.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

inline uint64_t Load64(const char* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Equal leading bytes of `a` and `b`, eight at a time: the first differing
// byte is the lowest nonzero byte of the difference of two words.
size_t CommonPrefix(std::string_view a, std::string_view b) {
  const size_t shorter = std::min(a.size(), b.size());
  size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    for (; i + 8 <= shorter; i += 8) {
      const uint64_t diff = Load64(a.data() + i) ^ Load64(b.data() + i);
      if (diff != 0) return i + std::countr_zero(diff) / 8;
    }
  }
  while (i < shorter && a[i] == b[i]) ++i;
  return i;
}

// Equal trailing bytes of `a` and `b`, eight at a time from the end.
size_t CommonSuffix(std::string_view a, std::string_view b) {
  const size_t shorter = std::min(a.size(), b.size());
  const char* a_end = a.data() + a.size();
  const char* b_end = b.data() + b.size();
  size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    for (; i + 8 <= shorter; i += 8) {
      const uint64_t diff = Load64(a_end - i - 8) ^ Load64(b_end - i - 8);
      if (diff != 0) return i + std::countl_zero(diff) / 8;
    }
  }
  while (i < shorter && a_end[-1 - static_cast<ptrdiff_t>(i)] ==
                            b_end[-1 - static_cast<ptrdiff_t>(i)]) {
    ++i;
  }
  return i;
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

// One column of a pattern of at most 64 rows. The textbook step,
//   d0 = (((eq & vp) + vp) ^ vp) | eq | vn
//   hp = (vn | ~(d0 | vp)) << 1 | 1   (the top row D[0][j] = j: +1 enters)
//   hn = (d0 & vp) << 1
//   vp' = hn | ~(d0 | hp),  vn' = hp & d0,
// runs eleven dependent operations from vp to the next vp. Kept as vp and
// ~vn instead, with sum = (eq & vp) + vp and x = (sum ^ vp) | eq, so that
// d0 = x | vn and d0 | vp = sum | vp | eq (vp and vn never overlap):
//   ~d0 = ~x & ~vn,  ~hp = ((sum | (vp | eq)) & ~vn) << 1,
//   vp' = hn | (~d0 & ~hp),  ~vn' = ~d0 | ~hp,
// the same values from as many operations, with a chain of seven. Bits above
// the pattern only ever move upwards (carries, left shifts), so they never
// disturb the rows below and need no masking until the end.
class Column {
 public:
  void Advance(uint64_t eq) {
    const uint64_t sum = (eq & vp_) + vp_;
    const uint64_t x = (sum ^ vp_) | eq;
    const uint64_t hn = (x & vp_) << 1;
    const uint64_t not_d0 = ~x & not_vn_;
    const uint64_t not_hp = ((sum | (vp_ | eq)) & not_vn_) << 1;
    vp_ = hn | (not_d0 & not_hp);
    not_vn_ = not_d0 | not_hp;
  }

  // D[m][n] after n columns: the vertical deltas of the last column add up
  // from D[0][n] = n, so no running score is kept along the way.
  int32_t Distance(size_t pattern_size, size_t columns) const {
    const uint64_t rows = pattern_size == kWordBits
                              ? ~uint64_t{0}
                              : (uint64_t{1} << pattern_size) - 1;
    return static_cast<int32_t>(columns) + PopCount(vp_ & rows) -
           PopCount(~not_vn_ & rows);
  }

 private:
  uint64_t vp_ = ~uint64_t{0};  // First column: D[i][0] = i.
  uint64_t not_vn_ = ~uint64_t{0};
};

// Pattern of at most 64 bytes, the match vectors looked up in a table.
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
  Column column;
  for (char c : text) column.Advance(peq[static_cast<unsigned char>(c)]);
  return column.Distance(pattern.size(), text.size());
}

#if defined(__SSE2__)
// Both strings short: the match vector of a text byte is computed by
// comparing it with the pattern held in registers, 16 bytes per compare.
// For names this beats the table, whose set-up (clearing and filling
// entries, a loop per string with an exit the branch predictor misses) costs
// more than the comparisons.

// The `size` (1 to 16) bytes at `p` in the low lanes, zeros above. Reads
// nothing outside them.
inline __m128i LoadShort(const char* p, size_t size) {
  uint64_t lo = 0;
  uint64_t hi = 0;
  if (size >= 8) {
    std::memcpy(&lo, p, 8);
    if (size > 8) {
      // The last 8 bytes, shifted so that byte 8 lands in lane 8.
      std::memcpy(&hi, p + size - 8, 8);
      hi >>= 8 * (16 - size);
    }
  } else if (size >= 4) {
    uint32_t head;
    uint32_t tail;
    std::memcpy(&head, p, 4);
    std::memcpy(&tail, p + size - 4, 4);
    // The two halves overlap on equal bytes, so or-ing them is exact.
    lo = head | (uint64_t{tail} << (8 * (size - 4)));
  } else {
    const auto byte = [p](size_t i) {
      return uint64_t{static_cast<unsigned char>(p[i])} << (8 * i);
    };
    lo = byte(0) | byte(size / 2) | byte(size - 1);
  }
  return _mm_set_epi64x(static_cast<int64_t>(hi), static_cast<int64_t>(lo));
}

// `kChunks` 16-byte pieces hold the pattern (bytes past its end are zero;
// their match bits lie above the pattern and are masked off at the end).
template <int kChunks>
int32_t DistanceInRegisters(std::string_view pattern, std::string_view text) {
  __m128i chunk[kChunks];
  for (int k = 0; k + 1 < kChunks; ++k) {
    chunk[k] = _mm_loadu_si128(
        reinterpret_cast<const __m128i*>(pattern.data() + 16 * k));
  }
  chunk[kChunks - 1] = LoadShort(pattern.data() + 16 * (kChunks - 1),
                                 pattern.size() - 16 * (kChunks - 1));
  Column column;
  for (char c : text) {
    const __m128i b = _mm_set1_epi64x(static_cast<int64_t>(
        uint64_t{static_cast<unsigned char>(c)} * 0x0101010101010101ull));
    uint64_t eq = 0;
    for (int k = 0; k < kChunks; ++k) {
      const uint64_t bits =
          static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk[k], b)));
      eq |= bits << (16 * k);
    }
    column.Advance(eq);
  }
  return column.Distance(pattern.size(), text.size());
}
#endif  // __SSE2__

// Pattern of 1 to 64 bytes.
int32_t DistanceShortPattern(std::string_view pattern, std::string_view text) {
#if defined(__SSE2__)
  if (text.size() <= kWordBits) {
    switch ((pattern.size() - 1) / 16) {
      case 0:
        return DistanceInRegisters<1>(pattern, text);
      case 1:
        return DistanceInRegisters<2>(pattern, text);
      case 2:
        return DistanceInRegisters<3>(pattern, text);
      default:
        return DistanceInRegisters<4>(pattern, text);
    }
  }
#endif
  return DistanceOneWord(pattern, text);
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
  const size_t prefix = CommonPrefix(s1, s2);
  s1.remove_prefix(prefix);
  s2.remove_prefix(prefix);
  const size_t suffix = CommonSuffix(s1, s2);
  s1.remove_suffix(suffix);
  s2.remove_suffix(suffix);

  // The distance is symmetric. The time goes into one dependent chain of
  // word operations per text byte, so when both strings fit a word the
  // longer one is the pattern and the shorter one is walked; otherwise the
  // shorter one is the pattern, to need the fewest words.
  if (s1.size() > s2.size()) std::swap(s1, s2);
  if (s1.empty()) return static_cast<int32_t>(s2.size());
  if (s2.size() <= kWordBits) return DistanceShortPattern(s2, s1);
  if (s1.size() <= kWordBits) return DistanceShortPattern(s1, s2);
  try {
    BlockedColumns columns(s1);
    return columns.Run(s2);
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

}  // namespace vexlor

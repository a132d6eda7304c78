#include "vexlor/strings/gestalt_similarity.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string_view>
#include <vector>

namespace vexlor {
namespace {

constexpr size_t kWordBits = 64;
// Rows of the bit-parallel search that live on the stack; longer row ranges
// spill to one heap buffer per call.
constexpr size_t kInlineRows = 256;
// Work-stack entries on the stack. The stack never holds more ranges than
// the shorter text has bytes (see GestaltMatchCount).
constexpr size_t kInlineRanges = 64;
constexpr size_t kNone = std::numeric_limits<size_t>::max();

inline unsigned char Byte(std::string_view s, size_t i) {
  return static_cast<unsigned char>(s[i]);
}

// Half-open ranges [b1, e1) of text 1 and [b2, e2) of text 2.
struct Range {
  size_t b1, e1, b2, e2;
};

// A common block: text1[p1, p1 + length) == text2[p2, p2 + length).
struct Block {
  size_t length = 0;
  size_t p1 = 0;
  size_t p2 = 0;
};

// The last-in-first-out list of ranges still to be matched.
class RangeStack {
 public:
  bool empty() const { return size_ == 0; }
  void Push(const Range& r) {
    if (size_ < kInlineRanges) {
      inline_[size_] = r;
    } else {
      spill_.push_back(r);
    }
    ++size_;
  }
  Range Pop() {
    --size_;
    if (size_ < kInlineRanges) return inline_[size_];
    const Range r = spill_.back();
    spill_.pop_back();
    return r;
  }

 private:
  size_t size_ = 0;
  std::array<Range, kInlineRanges> inline_;
  std::vector<Range> spill_;
};

// Match words of a bit side: for each byte value, the bits c such that
// bits_text[bit_begin + c] is that byte. Only the entries of bytes that occur
// in either range are written, and only those are ever read: far cheaper
// than clearing all 256 words for a short name.
using MatchWords = std::array<uint64_t, 256>;

void BuildMatchWords(std::string_view rows_text, size_t row_begin,
                     size_t row_end, std::string_view bits_text,
                     size_t bit_begin, size_t bit_end, MatchWords& peq) {
  for (size_t r = row_begin; r < row_end; ++r) peq[Byte(rows_text, r)] = 0;
  for (size_t c = bit_begin; c < bit_end; ++c) peq[Byte(bits_text, c)] = 0;
  for (size_t c = bit_begin; c < bit_end; ++c) {
    peq[Byte(bits_text, c)] |= uint64_t{1} << (c - bit_begin);
  }
}

// Longest common block when one side of the range has at most 64 bytes.
//
// That side is the bit side: bit c of a word stands for its byte c. Each
// byte of the other side (a row) gets the word of bit positions holding the
// same byte. Level k keeps, per row r, the bits c such that a common block
// of length k ends at (r, c); level k+1 is level k shifted by one row and
// one bit, masked by the row's own matches. The last non-empty level is the
// block length, and among its bits the earliest end gives the earliest start
// since all blocks of that level have the same length.
//
// `peq` holds match words whose bit `shift` is the range's first bit-side
// byte; `bits` is the range's length on that side. kBitsAreText1 says which
// text is the bit side; it decides which of the two coordinates the tie is
// broken on first.
template <bool kBitsAreText1>
Block LongestByBits(std::string_view rows_text, size_t row_begin,
                    size_t row_end, const MatchWords& peq, size_t shift,
                    size_t bits, size_t bit_begin, uint64_t* level) {
  const uint64_t range_mask =
      bits == kWordBits ? ~uint64_t{0} : (uint64_t{1} << bits) - 1;
  const unsigned char* row_bytes =
      reinterpret_cast<const unsigned char*>(rows_text.data()) + row_begin;
  auto matches = [&](size_t r) {
    return (peq[row_bytes[r]] >> shift) & range_mask;
  };
  const size_t rows = row_end - row_begin;

  // Rows are visited from the last to the first so that each level can be
  // computed in place from the previous one. The end kept for a level is
  // the smallest (row, bit) or (bit, row), as the tie rule asks.
  size_t best_row = 0;
  size_t best_bit = 0;
  auto consider = [&](size_t r, uint64_t x) {
    const size_t bit = static_cast<size_t>(std::countr_zero(x));
    if (!kBitsAreText1 || bit <= best_bit) {
      best_row = r;
      best_bit = bit;
    }
  };

  // Level 1. [low, high] bounds the rows that are non-zero: a block of
  // length k+1 can only end one row below a row that ends one of length k.
  size_t low = kNone;
  size_t high = kNone;
  best_bit = kWordBits;
  for (size_t r = rows; r-- > 0;) {
    const uint64_t x = matches(r);
    level[r] = x;
    if (x != 0) {
      if (high == kNone) high = r;
      low = r;
      consider(r, x);
    }
  }
  if (low == kNone) return {};

  size_t length = 1;
  size_t end_row = best_row;
  size_t end_bit = best_bit;
  while (true) {
    const size_t top = high + 1 < rows ? high + 1 : rows - 1;
    size_t next_low = kNone;
    size_t next_high = kNone;
    best_bit = kWordBits;
    for (size_t r = top; r > low; --r) {
      const uint64_t x = (level[r - 1] << 1) & matches(r);
      level[r] = x;
      if (x != 0) {
        if (next_high == kNone) next_high = r;
        next_low = r;
        consider(r, x);
      }
    }
    if (next_low == kNone) break;
    ++length;
    low = next_low;
    high = next_high;
    end_row = best_row;
    end_bit = best_bit;
  }

  const size_t row_start = row_begin + end_row + 1 - length;
  const size_t bit_start = bit_begin + end_bit + 1 - length;
  if (kBitsAreText1) return {length, bit_start, row_start};
  return {length, row_start, bit_start};
}

// Longest common block when both sides of the range are long: a suffix
// automaton of one side, over which the other side is run once (the
// matching-statistics walk). Each automaton state records the first end
// position of its strings in the indexed side, which gives the earliest
// occurrence there; the scan over the other side goes from left to right.
// Construction after Blumer et al., "The smallest automaton recognizing the
// subwords of a text" (1985).
class SuffixAutomaton {
 public:
  // Indexes text[begin, end).
  void Build(std::string_view text, size_t begin, size_t end) {
    const size_t size = end - begin;
    states_.clear();
    edges_.clear();
    states_.reserve(2 * size + 1);
    edges_.reserve(3 * size + 1);
    // At most 3 * size transitions; a table at least twice that keeps the
    // probe sequences short.
    size_t capacity = 64;
    while (capacity < 6 * size) capacity *= 2;
    slots_.assign(capacity, Slot{kNoState, 0, 0});
    mask_ = capacity - 1;
    root_.fill(kNoState);
    states_.push_back({0, kNoState, 0, kNoState});
    uint32_t last = 0;
    for (size_t i = begin; i < end; ++i) {
      last = Extend(last, Byte(text, i), static_cast<uint32_t>(i - begin));
    }
  }

  // Runs over scan[begin, end) and returns the longest block shared with
  // the indexed side, the earliest in text 1 and then in text 2.
  // `indexed_begin` is where the indexed range starts in its text;
  // `scan_is_text1` tells which text is scanned.
  Block Scan(std::string_view scan, size_t begin, size_t end,
             size_t indexed_begin, bool scan_is_text1) const {
    Block best;
    uint32_t v = 0;
    size_t length = 0;
    for (size_t y = begin; y < end; ++y) {
      const unsigned char c = Byte(scan, y);
      uint32_t next = Next(v, c);
      while (next == kNoState && v != 0) {
        v = states_[v].link;
        length = states_[v].length;
        next = Next(v, c);
      }
      if (next == kNoState) {
        length = 0;
        continue;
      }
      v = next;
      ++length;
      if (length < best.length) continue;
      // The block ends at y in the scanned text and, at its earliest, at
      // the state's first end position in the indexed one.
      const size_t scan_start = y + 1 - length;
      const size_t indexed_start =
          indexed_begin + states_[v].first_end + 1 - length;
      const size_t p1 = scan_is_text1 ? scan_start : indexed_start;
      const size_t p2 = scan_is_text1 ? indexed_start : scan_start;
      if (length > best.length || p1 < best.p1 ||
          (p1 == best.p1 && p2 < best.p2)) {
        best = {length, p1, p2};
      }
    }
    return best;
  }

 private:
  static constexpr uint32_t kNoState = std::numeric_limits<uint32_t>::max();

  struct State {
    uint32_t length;     // Longest string of the state.
    uint32_t link;       // Suffix link.
    uint32_t first_end;  // End of the first occurrence, in the range.
    uint32_t edges;      // Head of the list of its transition bytes.
  };
  // Lists the bytes a state has transitions on, for copying them to a clone.
  struct Edge {
    uint32_t next;
    unsigned char byte;
  };
  // Transitions of the states other than the root, by (state, byte).
  struct Slot {
    uint32_t state;
    uint32_t target;
    unsigned char byte;
  };

  size_t Home(uint32_t v, unsigned char c) const {
    const uint64_t key = (uint64_t{v} << 8) | c;
    return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> 20) & mask_;
  }

  // The root sees every byte of the scan, so it gets a full table.
  uint32_t Next(uint32_t v, unsigned char c) const {
    if (v == 0) return root_[c];
    for (size_t i = Home(v, c);; i = (i + 1) & mask_) {
      const Slot& slot = slots_[i];
      if (slot.state == v && slot.byte == c) return slot.target;
      if (slot.state == kNoState) return kNoState;
    }
  }

  // Sets the transition of v on c, adding it when v has none yet.
  void SetNext(uint32_t v, unsigned char c, uint32_t target) {
    if (v == 0) {
      root_[c] = target;
      return;
    }
    for (size_t i = Home(v, c);; i = (i + 1) & mask_) {
      Slot& slot = slots_[i];
      if (slot.state == v && slot.byte == c) {
        slot.target = target;
        return;
      }
      if (slot.state == kNoState) {
        slot = {v, target, c};
        edges_.push_back({states_[v].edges, c});
        states_[v].edges = static_cast<uint32_t>(edges_.size() - 1);
        return;
      }
    }
  }

  uint32_t Extend(uint32_t last, unsigned char c, uint32_t position) {
    const uint32_t cur = static_cast<uint32_t>(states_.size());
    states_.push_back({states_[last].length + 1, 0, position, kNoState});
    uint32_t p = last;
    while (p != kNoState && Next(p, c) == kNoState) {
      SetNext(p, c, cur);
      p = states_[p].link;
    }
    if (p == kNoState) return cur;  // Link stays at the root.
    const uint32_t q = Next(p, c);
    if (states_[p].length + 1 == states_[q].length) {
      states_[cur].link = q;
      return cur;
    }
    const uint32_t clone = static_cast<uint32_t>(states_.size());
    states_.push_back({states_[p].length + 1, states_[q].link,
                       states_[q].first_end, kNoState});
    for (uint32_t e = states_[q].edges; e != kNoState; e = edges_[e].next) {
      const unsigned char byte = edges_[e].byte;
      SetNext(clone, byte, Next(q, byte));
    }
    while (p != kNoState && Next(p, c) == q) {
      SetNext(p, c, clone);
      p = states_[p].link;
    }
    states_[q].link = clone;
    states_[cur].link = clone;
    return cur;
  }

  std::vector<State> states_;
  std::vector<Edge> edges_;
  std::vector<Slot> slots_;
  size_t mask_ = 0;
  std::array<uint32_t, 256> root_;
};

// Picks the search for each range and owns the memory the searches reuse
// across the ranges of one call.
class BlockFinder {
 public:
  // A text of at most 64 bytes gets its match words once, for every range.
  BlockFinder(std::string_view text1, std::string_view text2)
      : text1_(text1), text2_(text2) {
    if (text2.size() <= kWordBits) {
      BuildMatchWords(text1, 0, text1.size(), text2, 0, text2.size(), whole_);
    } else if (text1.size() <= kWordBits) {
      BuildMatchWords(text2, 0, text2.size(), text1, 0, text1.size(), whole_);
    }
  }

  Block Find(const Range& r) {
    const size_t n = r.e1 - r.b1;
    const size_t m = r.e2 - r.b2;
    if (m <= kWordBits) {
      if (text2_.size() <= kWordBits) {
        return LongestByBits<false>(text1_, r.b1, r.e1, whole_, r.b2, m, r.b2,
                                    Rows(n));
      }
      BuildMatchWords(text1_, r.b1, r.e1, text2_, r.b2, r.e2, local_);
      return LongestByBits<false>(text1_, r.b1, r.e1, local_, 0, m, r.b2,
                                  Rows(n));
    }
    if (n <= kWordBits) {
      if (text1_.size() <= kWordBits) {
        return LongestByBits<true>(text2_, r.b2, r.e2, whole_, r.b1, n, r.b1,
                                   Rows(m));
      }
      BuildMatchWords(text2_, r.b2, r.e2, text1_, r.b1, r.e1, local_);
      return LongestByBits<true>(text2_, r.b2, r.e2, local_, 0, n, r.b1,
                                 Rows(m));
    }
    // Index the shorter side: less memory, and the scan is the cheap part.
    if (automaton_ == nullptr) automaton_ = std::make_unique<SuffixAutomaton>();
    if (m <= n) {
      automaton_->Build(text2_, r.b2, r.e2);
      return automaton_->Scan(text1_, r.b1, r.e1, r.b2, true);
    }
    automaton_->Build(text1_, r.b1, r.e1);
    return automaton_->Scan(text2_, r.b2, r.e2, r.b1, false);
  }

 private:
  uint64_t* Rows(size_t count) {
    if (count <= kInlineRows) return inline_rows_.data();
    if (heap_rows_.size() < count) {
      heap_rows_.resize(text1_.size() > text2_.size() ? text1_.size()
                                                      : text2_.size());
    }
    return heap_rows_.data();
  }

  std::string_view text1_;
  std::string_view text2_;
  MatchWords whole_;
  MatchWords local_;
  std::array<uint64_t, kInlineRows> inline_rows_;
  std::vector<uint64_t> heap_rows_;
  std::unique_ptr<SuffixAutomaton> automaton_;
};

}  // namespace

int64_t GestaltMatchCount(std::string_view text1, std::string_view text2) {
  if (text1.empty() || text2.empty()) return 0;
  if (text1 == text2) return static_cast<int64_t>(text1.size());

  // Each range on the stack has bytes of both texts, disjoint from every
  // other range on it, so the stack never outgrows the shorter text. Empty
  // remainders are not pushed: they could match nothing.
  BlockFinder finder(text1, text2);
  RangeStack stack;
  stack.Push({0, text1.size(), 0, text2.size()});
  int64_t matched = 0;
  while (!stack.empty()) {
    const Range r = stack.Pop();
    const Block block = finder.Find(r);
    if (block.length == 0) continue;
    matched += static_cast<int64_t>(block.length);
    const Range right = {block.p1 + block.length, r.e1, block.p2 + block.length,
                         r.e2};
    const Range left = {r.b1, block.p1, r.b2, block.p2};
    // Right first, so that the left remainder is taken next.
    if (right.b1 < right.e1 && right.b2 < right.e2) stack.Push(right);
    if (left.b1 < left.e1 && left.b2 < left.e2) stack.Push(left);
  }
  return matched;
}

double GestaltSimilarity(std::string_view text1, std::string_view text2) {
  if (text1.empty() && text2.empty()) return 100.0;
  const int64_t matched = GestaltMatchCount(text1, text2);
  const double total = static_cast<double>(text1.size() + text2.size());
  return static_cast<double>(matched) / total * 2.0 * 100.0;
}

}  // namespace vexlor

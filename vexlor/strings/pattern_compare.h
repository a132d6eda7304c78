// Approximate search of a small wildcard pattern inside a text.
//
// The answer is the least number of errors (0 to 7, or 8 for "not within 7")
// with which the pattern matches some stretch of the text. A pattern character
// replaced by another byte costs 1, a pattern character missing from the text
// costs 1, an extra text byte inside the matched stretch costs 2; text before
// and after the stretch is free.
//
// Pattern language (bytes, Windows-1252):
//   \x         the byte x as a literal
//   ?          any byte but 0
//   [abc]      one of a, b, c; [a-z] a range, [z-a] the same
//   [^a-z]     any byte but 0 outside the class; also [!a-z]
//   *          after a position: once the pattern has matched up to the next
//              position, any text may come before the rest (a*bc finds abxxc)
//   {...}      the enclosed positions accept no error
//   x|y        alternatives, searched independently; the best one counts
// Every literal, ? and class is one position; at most 31 positions.
//
// The search is a bit-parallel matcher of the Wu-Manber kind (S. Wu, U. Manber,
// "Fast text searching allowing errors", CACM 35(10), 1992): one bit per
// pattern position, one 32-bit state word per error count.

#ifndef VEXLOR_STRINGS_PATTERN_COMPARE_H_
#define VEXLOR_STRINGS_PATTERN_COMPARE_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vexlor {

// Result of a search that found no match with fewer than this many errors.
inline constexpr int32_t kPatternNotFound = 8;
// Largest error count a search reports as found.
inline constexpr int kMaxPatternErrors = kPatternNotFound - 1;
// Most positions a valid pattern may have.
inline constexpr int kMaxPatternPositions = 31;

// A pattern parsed once and searched in any number of texts. Immutable after
// Compile, so one object may be searched from several threads at once.
// Holds about 2 KB of tables inline and never allocates.
class CompiledPattern {
 public:
  // Parses `pattern`. With `ignore_case`, ASCII letters (A-Z, a-z only) of
  // literals and classes also accept their other case; other bytes are
  // compared exactly. Never fails: an invalid pattern yields an object whose
  // valid() is false and whose error() says why. Cost: O(pattern size + 256).
  static CompiledPattern Compile(std::string_view pattern, bool ignore_case);

  // True when the pattern parsed. The empty pattern is valid.
  bool valid() const { return error_ == nullptr; }

  // For an invalid pattern, a short English message such as "unterminated
  // character class"; empty for a valid one.
  std::string_view error() const {
    return error_ == nullptr ? std::string_view() : std::string_view(error_);
  }

  // For an invalid pattern, the byte offset in the pattern where the fault was
  // detected (the pattern's size when it ends too early); 0 for a valid one.
  size_t error_offset() const { return error_offset_; }

  // Number of positions (0 to 31); 0 for an invalid pattern. A valid pattern
  // without positions, such as "{}" or "*", matches nothing.
  int positions() const { return positions_; }

  // Returns, checked in this order:
  //   - the pattern's byte length when `text` is empty;
  //   - the text's byte length (at most INT32_MAX) when the pattern is empty;
  //   - -1 when the pattern is invalid;
  //   - the least error count 0 to 7 with which the pattern matches, else 8.
  // Cost: one pass over `text`, O(text size * 8) word operations at most,
  // stopping at the first exact match; no allocation.
  int32_t Search(std::string_view text) const;

  // As Search, but looks only for error counts up to `max_errors` (clamped to
  // 0..7): returns the value Search would return when that is at most
  // `max_errors`, else max_errors + 1; -1 for an invalid pattern (when `text`
  // is not empty). Equals min(Search(text), max_errors + 1) whenever Search
  // is not -1. Cost: one pass over `text` keeping only max_errors + 1 state
  // words, so O(text size * (max_errors + 1)) at most; no allocation.
  int32_t SearchUpTo(std::string_view text, int max_errors) const;

 private:
  // Both per-byte masks side by side: one cache line access per text byte.
  struct ByteMasks {
    uint32_t accept;           // bit j is 0 when position j accepts the byte
    uint32_t accept_or_start;  // accept | start_
  };

  friend class PatternScanner;

  CompiledPattern() = default;

  std::array<ByteMasks, 256> masks_{};
  uint32_t start_ = ~0u;  // bit j is 0 when position j begins an alternative
  uint32_t final_ = ~0u;  // bit j is 0 when position j ends an alternative
  uint32_t exact_ = 0;    // bit j is 1 when position j lies inside braces
  uint32_t persistent_ = ~0u;  // bit j is 0 when a * stands before position j
  int positions_ = 0;
  size_t pattern_size_ = 0;
  const char* error_ = nullptr;
  size_t error_offset_ = 0;
};

// Returns how well `pattern` occurs in `text`: the pattern's byte length when
// `text` is empty, the text's byte length when `pattern` is empty, -1 for an
// invalid pattern, else the least error count 0 to 7, or 8 when not found
// with fewer than 8 errors. Same as CompiledPattern::Compile(pattern,
// ignore_case).Search(text). Cost: O(pattern size + 256 + 8 * text size),
// no allocation.
int32_t CompareStrings(std::string_view text, std::string_view pattern,
                       bool ignore_case);

}  // namespace vexlor

#endif  // VEXLOR_STRINGS_PATTERN_COMPARE_H_

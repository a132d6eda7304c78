#include "vexlor/strings/pattern_compare.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string_view>
#include <utility>

namespace vexlor {
namespace {

// In the order of the rows of kNext.
enum Token : uint8_t {
  kLiteral,
  kAnyChar,
  kSequence,
  kClassOpen,
  kNegation,
  kRange,
  kClassClose,
  kEnd,
  kBackslashAtEnd,
  kExactOpen,
  kExactClose,
  kAlternative,
  kTokenCount
};

enum State : uint8_t {
  kStart = 0,
  kAfterElement = 1,
  kClassBegun = 2,    // just after [
  kClassNegated = 3,  // just after [^ or [!
  kAfterMember = 4,
  kAfterRangeSign = 5,  // inside a class, after a-
  kInvalid = 6,
  kAccepted = 7,
};

// Next state for a token read in states 0 to 5 (the numbers of State).
// Inside a class, most tokens stand for their own byte as a member (4).
// clang-format off
constexpr uint8_t kNext[kTokenCount][6] = {
    //                 0  1  2  3  4  5
    /* literal     */ {1, 1, 4, 4, 4, 4},
    /* any-char    */ {1, 1, 4, 4, 4, 4},
    /* sequence    */ {1, 1, 4, 4, 4, 4},
    /* class open  */ {2, 2, 6, 6, 6, 6},
    /* negation    */ {1, 1, 3, 4, 4, 4},
    /* range       */ {1, 1, 6, 6, 5, 4},
    /* class close */ {6, 6, 6, 6, 1, 6},
    /* end         */ {7, 7, 6, 6, 6, 6},
    /* backslash   */ {6, 6, 6, 6, 6, 6},
    /* exact open  */ {1, 1, 4, 4, 4, 4},
    /* exact close */ {6, 1, 4, 4, 4, 4},
    /* alternative */ {6, 1, 4, 4, 4, 4},
};
// clang-format on

// Why the state machine rejected `token` in `state`.
const char* RejectReason(Token token, int state) {
  switch (token) {
    case kClassOpen:
      return "'[' inside a character class";
    case kRange:
      return "'-' at the start of a character class";
    case kClassClose:
      if (state <= kAfterElement) return "']' without '['";
      if (state == kAfterRangeSign)
        return "unfinished range in a character class";
      return "empty character class";
    case kEnd:
      return "unterminated character class";
    case kBackslashAtEnd:
      return "'\\' at the end of the pattern";
    case kExactClose:
      return "'}' without '{'";
    case kAlternative:
      return "'|' at the start of the pattern";
    default:
      return "invalid pattern";
  }
}

// Reads the token at `pattern[*pos]` and advances `*pos`. `*byte` receives
// the byte the token stands for inside a class (or as a literal).
Token NextToken(std::string_view pattern, size_t* pos, unsigned char* byte) {
  if (*pos >= pattern.size()) {
    *byte = 0;
    return kEnd;
  }
  const unsigned char c = static_cast<unsigned char>(pattern[(*pos)++]);
  *byte = c;
  switch (c) {
    case '\\':
      if (*pos >= pattern.size()) return kBackslashAtEnd;
      *byte = static_cast<unsigned char>(pattern[(*pos)++]);
      return kLiteral;
    case '?':
      return kAnyChar;
    case '*':
      return kSequence;
    case '[':
      return kClassOpen;
    case ']':
      return kClassClose;
    case '^':
    case '!':
      return kNegation;
    case '-':
      return kRange;
    case '{':
      return kExactOpen;
    case '}':
      return kExactClose;
    case '|':
      return kAlternative;
    default:
      return kLiteral;
  }
}

unsigned char OtherCase(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + ('a' - 'A'));
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - ('a' - 'A'));
  return c;
}

int32_t ClampedSize(size_t size) {
  return static_cast<int32_t>(
      std::min<size_t>(size, std::numeric_limits<int32_t>::max()));
}

}  // namespace

CompiledPattern CompiledPattern::Compile(std::string_view pattern,
                                         bool ignore_case) {
  CompiledPattern cp;
  cp.pattern_size_ = pattern.size();
  for (ByteMasks& m : cp.masks_) m.accept = ~0u;

  // The byte masks are filled while parsing and cleared again on failure;
  // the other words reach `cp` only for a valid pattern, so an invalid one
  // reports positions() == 0 and matches nothing.
  uint32_t start = ~0u;
  uint32_t exact = 0;
  uint32_t persistent = ~0u;
  int m = 0;                  // positions so far
  int alternative_first = 0;  // first position of the current alternative
  bool braces_open = false;

  // Class under construction.
  bool class_in[256];
  bool member_value = true;
  int last_member = 0;
  int range_start = -1;

  auto fail = [&cp](const char* reason, size_t offset) {
    cp.error_ = reason;
    cp.error_offset_ = offset;
    cp.masks_.fill(ByteMasks{~0u, ~0u});
    return cp;
  };
  auto mark = [&](unsigned char c) {
    class_in[c] = member_value;
    // Folding the members themselves (rather than the accepted set) keeps a
    // negated class from accepting the other case of a byte it excludes.
    if (ignore_case) class_in[OtherCase(c)] = member_value;
  };

  int state = kStart;
  Token previous = kEnd;
  size_t pos = 0;
  for (;;) {
    const size_t token_offset = pos;
    unsigned char byte;
    const Token token = NextToken(pattern, &pos, &byte);
    const int next = kNext[token][state];
    if (next == kInvalid) return fail(RejectReason(token, state), token_offset);
    if (next == kAccepted) {
      if (braces_open) return fail("'{' without '}'", pattern.size());
      if (previous == kAlternative) {
        return fail("'|' at the end of the pattern", pattern.size());
      }
      break;
    }

    bool new_position = false;
    switch (next) {
      case kClassBegun:
        std::fill(std::begin(class_in), std::end(class_in), false);
        member_value = true;
        range_start = -1;
        break;
      case kClassNegated:
        std::fill(std::begin(class_in), std::end(class_in), true);
        member_value = false;
        break;
      case kAfterMember:
        if (range_start >= 0) {
          const int lo = std::min<int>(range_start, byte);
          const int hi = std::max<int>(range_start, byte);
          for (int b = lo; b <= hi; ++b) mark(static_cast<unsigned char>(b));
        } else {
          mark(byte);
        }
        range_start = -1;
        last_member = byte;
        break;
      case kAfterRangeSign:
        range_start = last_member;
        break;
      case kAfterElement:
        switch (token) {
          case kLiteral:
          case kNegation:  // outside a class, ^ ! and - are plain bytes
          case kRange:
          case kAnyChar:
          case kClassClose:
            new_position = true;
            break;
          case kSequence:
            // A leading * (of the pattern or of an alternative) and a
            // repeated * change nothing.
            if (m > alternative_first && previous != kSequence) {
              persistent &= ~(1u << m);
            }
            break;
          case kExactOpen:
            if (braces_open) return fail("nested '{'", token_offset);
            braces_open = true;
            break;
          case kExactClose:
            if (!braces_open) return fail("'}' without '{'", token_offset);
            braces_open = false;
            break;
          case kAlternative:
            if (braces_open) return fail("'|' inside braces", token_offset);
            // A * that ended the previous alternative must not carry over to
            // the first position of this one.
            persistent |= 1u << m;
            start &= ~(1u << m);
            alternative_first = m;
            break;
          default:
            break;
        }
        break;
      default:
        break;
    }

    if (new_position) {
      if (m == kMaxPatternPositions) {
        return fail("more than 31 positions", token_offset);
      }
      const uint32_t bit = 1u << m;
      if (token == kAnyChar) {
        for (int c = 1; c < 256; ++c) cp.masks_[c].accept &= ~bit;
      } else if (token == kClassClose) {
        for (int c = 1; c < 256; ++c) {
          if (class_in[c]) cp.masks_[c].accept &= ~bit;
        }
      } else {
        cp.masks_[byte].accept &= ~bit;
        if (ignore_case) cp.masks_[OtherCase(byte)].accept &= ~bit;
      }
      if (braces_open) exact |= bit;
      ++m;
    }
    previous = token;
    state = next;
  }

  // Bits of unused positions never mark a start, an end or a persistent
  // position, so state that spills into them cannot look like a match.
  const uint32_t used = m == 0 ? 0u : (~0u >> (32 - m));
  start |= ~used;
  persistent |= ~used;
  for (ByteMasks& b : cp.masks_) b.accept_or_start = b.accept | start;
  cp.start_ = start;
  cp.final_ = m == 0 ? ~0u : (~(1u << (m - 1)) & ((start >> 1) | ~used));
  cp.exact_ = exact;
  cp.persistent_ = persistent;
  cp.positions_ = m;
  return cp;
}

// The recurrence, for error count i and the text byte c (bit value 0 means
// "active"):
//   R'[i] = ((R[i] << 1) | T[c]) & (T[c] | S)                  exact step
//         & ((((R'[i-1] & R[i-1]) << 1) & S & R'[i-1]) | W)     i > 0
//         & (Z | R[i])                                          persistence
// The error term allows a substituted or a missing pattern character; an
// extra text byte is not a step of its own and so costs 2. Masking with S
// lets the first position of every alternative take an error as position 0
// does, so each alternative is searched exactly as if it stood alone.
//
// A position active with i errors is also active with i + 1 (through the
// R'[i-1] term, or, inside braces, by induction over the text), so a byte
// ends a match with at most the top count whenever it ends one at all: one
// test per byte suffices, and the lowest matching count is looked up only
// then. From there on only lower counts can improve the answer, and the scan
// continues with fewer state words.
class PatternScanner {
 public:
  // Plain patterns (no alternatives, braces or *) skip the S, W and Z terms;
  // the T | S mask is then a no-op as well, since bit 0 of R << 1 is 0.
  enum Kind { kPlain, kGeneral, kPersistent, kKindCount };
  using Function = int32_t (*)(const CompiledPattern& pattern,
                               const unsigned char* p, const unsigned char* end,
                               const uint32_t* state);

  static int32_t Run(const CompiledPattern& pattern, std::string_view text,
                     int max_errors) {
    Kind kind = kGeneral;
    if (pattern.persistent_ != ~0u) {
      kind = kPersistent;
    } else if (pattern.start_ == ~1u && pattern.exact_ == 0) {
      kind = kPlain;
    }
    uint32_t state[kMaxPatternErrors + 1];
    std::fill(std::begin(state), std::end(state), ~0u);
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    return kTable[kind][max_errors](pattern, p, p + text.size(), state);
  }

 private:
  // Searches with error counts 0 to kLevels - 1 from `p` on, starting from
  // the words `state`; returns the least count found, else kLevels.
  template <Kind kKind, int kLevels>
  static int32_t Scan(const CompiledPattern& pattern, const unsigned char* p,
                      const unsigned char* end, const uint32_t* state) {
    // Local copies: the words stay in registers and cannot alias the masks.
    uint32_t r[kLevels];
    std::copy(state, state + kLevels, r);
    const uint32_t start = pattern.start_;
    const uint32_t final = pattern.final_;
    const uint32_t exact = pattern.exact_;
    const uint32_t persistent = pattern.persistent_;
    const CompiledPattern::ByteMasks* masks = pattern.masks_.data();
    for (; p != end; ++p) {
      const CompiledPattern::ByteMasks m = masks[*p];
      uint32_t old = r[0];
      uint32_t d = (old << 1) | m.accept;
      if (kKind != kPlain) d &= m.accept_or_start;
      if (kKind == kPersistent) d &= persistent | old;
      r[0] = d;
#pragma GCC unroll 8
      for (int i = 1; i < kLevels; ++i) {
        const uint32_t lower_old = old;
        const uint32_t lower = d;
        old = r[i];
        if (kKind == kPlain) {
          d = ((old << 1) | m.accept) & ((lower & lower_old) << 1) & lower;
        } else {
          d = ((old << 1) | m.accept) & m.accept_or_start &
              ((((lower & lower_old) << 1) & start & lower) | exact);
          if (kKind == kPersistent) d &= persistent | old;
        }
        r[i] = d;
      }
      if ((final | d) != ~0u) {
        int found = 0;
        while ((final | r[found]) == ~0u) ++found;
        if (found == 0) return 0;
        // Handing over a copy keeps `r` itself out of memory.
        uint32_t lower_words[kLevels];
        std::copy(r, r + kLevels, lower_words);
        return kTable[kKind][found - 1](pattern, p + 1, end, lower_words);
      }
    }
    return kLevels;
  }

  template <Kind kKind, size_t... kIndex>
  static constexpr std::array<Function, kMaxPatternErrors + 1> Row(
      std::index_sequence<kIndex...>) {
    return {&Scan<kKind, static_cast<int>(kIndex) + 1>...};
  }

  template <size_t... kKinds>
  static constexpr std::array<std::array<Function, kMaxPatternErrors + 1>,
                              kKindCount>
  Table(std::index_sequence<kKinds...>) {
    return {Row<static_cast<Kind>(kKinds)>(
        std::make_index_sequence<kMaxPatternErrors + 1>())...};
  }

  using FunctionTable =
      std::array<std::array<Function, kMaxPatternErrors + 1>, kKindCount>;
  // kTable[kind][n - 1] scans with n state words.
  static const FunctionTable kTable;
};

constexpr PatternScanner::FunctionTable PatternScanner::kTable =
    PatternScanner::Table(std::make_index_sequence<kKindCount>());

int32_t CompiledPattern::Search(std::string_view text) const {
  if (text.empty()) return ClampedSize(pattern_size_);
  if (pattern_size_ == 0) return ClampedSize(text.size());
  if (!valid()) return -1;
  if (positions_ == 0) return kPatternNotFound;
  return PatternScanner::Run(*this, text, kMaxPatternErrors);
}

int32_t CompiledPattern::SearchUpTo(std::string_view text,
                                    int max_errors) const {
  max_errors = std::clamp(max_errors, 0, kMaxPatternErrors);
  const size_t cap = static_cast<size_t>(max_errors) + 1;
  if (text.empty()) return static_cast<int32_t>(std::min(pattern_size_, cap));
  if (pattern_size_ == 0)
    return static_cast<int32_t>(std::min(text.size(), cap));
  if (!valid()) return -1;
  if (positions_ == 0) return max_errors + 1;
  return PatternScanner::Run(*this, text, max_errors);
}

int32_t CompareStrings(std::string_view text, std::string_view pattern,
                       bool ignore_case) {
  // Both answers that need no pattern come first, so a long pattern against
  // an empty text is not parsed at all.
  if (text.empty()) return ClampedSize(pattern.size());
  if (pattern.empty()) return ClampedSize(text.size());
  return CompiledPattern::Compile(pattern, ignore_case).Search(text);
}

}  // namespace vexlor

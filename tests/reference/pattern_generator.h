// Random patterns rendered as text together with their positions, for
// checking the pattern search against PatternSearch: seeded in the tests,
// driven by the input in the fuzzer. `Choose` is any callable that gives a
// number in [lo, hi] for (lo, hi).
#ifndef VEXLOR_TESTS_REFERENCE_PATTERN_GENERATOR_H_
#define VEXLOR_TESTS_REFERENCE_PATTERN_GENERATOR_H_

#include <algorithm>
#include <bitset>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/reference/pattern_compare_reference.h"

namespace vexlor::reference {

inline unsigned char OtherCase(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
  return c;
}

template <typename Choose>
class PatternGenerator {
 public:
  PatternGenerator(Choose choose, bool ignore_case)
      : choose_(std::move(choose)), ignore_case_(ignore_case) {}

  // Fills `pattern` and `alternatives` with a fresh random pattern of at most
  // 12 positions in at most 3 alternatives.
  void Next(std::string* pattern,
            std::vector<PatternAlternative>* alternatives) {
    pattern->clear();
    alternatives->clear();
    const int count = Uniform(1, 3);
    for (int a = 0; a < count; ++a) {
      if (a > 0) *pattern += '|';
      alternatives->push_back(Alternative(pattern));
    }
  }

  std::string Text() {
    std::string text;
    const int length = Uniform(1, 24);
    for (int i = 0; i < length; ++i) text += RandomByte();
    return text;
  }

 private:
  int Uniform(int lo, int hi) { return choose_(lo, hi); }
  bool OneIn(int n) { return Uniform(1, n) == 1; }

  // Mostly bytes of a small alphabet, so that patterns and texts meet.
  char RandomByte() {
    static constexpr std::string_view kAlphabet = "abcAB-^!*?[]{}|\\";
    if (OneIn(12)) return static_cast<char>(Uniform(0, 255));
    if (OneIn(3)) return kAlphabet[Uniform(0, kAlphabet.size() - 1)];
    return "abcAB"[Uniform(0, 4)];
  }

  PatternAlternative Alternative(std::string* pattern) {
    PatternAlternative alt;
    const int elements = Uniform(0, 4);
    bool braces = false;
    for (int e = 0; e < elements; ++e) {
      if (!braces && OneIn(4)) {
        *pattern += '{';
        braces = true;
      }
      bool star = false;
      if (OneIn(5)) {
        *pattern += OneIn(3) ? "**" : "*";
        star = true;
      }
      PatternPosition position = Element(pattern);
      position.exact = braces;
      position.persistent = star && !alt.empty();
      alt.push_back(position);
      if (braces && OneIn(2)) {
        *pattern += '}';
        braces = false;
      }
      if (!braces && OneIn(10)) *pattern += "{}";
    }
    if (OneIn(8)) *pattern += '*';  // a trailing * changes nothing
    if (braces) *pattern += '}';
    if (alt.empty() && !OneIn(3)) *pattern += OneIn(2) ? "{}" : "*";
    if (pattern->empty() || pattern->back() == '|') *pattern += "{}";
    return alt;
  }

  PatternPosition Element(std::string* pattern) {
    PatternPosition position;
    const int kind = Uniform(0, 5);
    if (kind == 0) {
      *pattern += '?';
      position.accepts.set();
      position.accepts.reset(0);
    } else if (kind == 1) {
      position.accepts = Class(pattern);
    } else {
      const unsigned char c = static_cast<unsigned char>(RandomByte());
      AppendLiteral(c, pattern);
      position.accepts.set(c);
      if (ignore_case_) position.accepts.set(OtherCase(c));
    }
    return position;
  }

  void AppendLiteral(unsigned char c, std::string* pattern) {
    static constexpr std::string_view kSpecial = "\\?*[]{}|";
    static constexpr std::string_view kPlainOutsideClass = "^!-";
    const bool must =
        kSpecial.find(static_cast<char>(c)) != std::string_view::npos;
    const bool may =
        kPlainOutsideClass.find(static_cast<char>(c)) != std::string_view::npos;
    if (must || (may && OneIn(2)) || OneIn(8)) *pattern += '\\';
    *pattern += static_cast<char>(c);
  }

  // Appends a class member byte; `first` when it opens a class that is not
  // negated, where ^ and ! would negate it.
  void AppendMember(unsigned char c, bool first, std::string* pattern) {
    static constexpr std::string_view kSpecial = "\\[]-";
    const bool must =
        kSpecial.find(static_cast<char>(c)) != std::string_view::npos ||
        (first && (c == '^' || c == '!'));
    if (must || OneIn(8)) *pattern += '\\';
    *pattern += static_cast<char>(c);
  }

  std::bitset<256> Class(std::string* pattern) {
    const bool negated = OneIn(3);
    *pattern += '[';
    if (negated) *pattern += OneIn(2) ? '^' : '!';
    std::bitset<256> members;
    const int items = Uniform(1, 3);
    for (int i = 0; i < items; ++i) {
      const unsigned char lo = static_cast<unsigned char>(RandomByte());
      AppendMember(lo, i == 0 && !negated, pattern);
      if (OneIn(3)) {
        const unsigned char hi = static_cast<unsigned char>(RandomByte());
        *pattern += '-';
        // After a range sign even - and ^ stand for themselves.
        if ((hi == '-' || hi == '^') && OneIn(2)) {
          *pattern += static_cast<char>(hi);
        } else {
          AppendMember(hi, false, pattern);
        }
        for (int b = std::min(lo, hi); b <= std::max(lo, hi); ++b)
          members.set(b);
      } else {
        members.set(lo);
      }
    }
    *pattern += ']';
    if (ignore_case_) {
      std::bitset<256> folded = members;
      for (int b = 0; b < 256; ++b) {
        if (members[b]) folded.set(OtherCase(static_cast<unsigned char>(b)));
      }
      members = folded;
    }
    if (negated) members.flip();
    members.reset(0);
    return members;
  }

  Choose choose_;
  bool ignore_case_;
};

}  // namespace vexlor::reference

#endif  // VEXLOR_TESTS_REFERENCE_PATTERN_GENERATOR_H_

#include "vexlor/match_options.h"

#include <charconv>
#include <cmath>
#include <system_error>

#include "vexlor/tables/column_options.h"
#include "vexlor/text.h"

namespace vexlor {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' ||
         c == '\f';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Only ASCII letters fold: names and values are ASCII words.
std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool ParseNumber(std::string_view s, double* value) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  const char* end = s.data() + s.size();
  auto [ptr, ec] = std::from_chars(s.data(), end, *value);
  return !s.empty() && ec == std::errc() && ptr == end && std::isfinite(*value);
}

bool ParseColumn(std::string_view s, int* column) {
  s = Trim(s);
  const char* end = s.data() + s.size();
  auto [ptr, ec] = std::from_chars(s.data(), end, *column);
  return !s.empty() && ec == std::errc() && ptr == end &&
         ColumnOptions::InRange(*column);
}

// Which methods read a name.
struct Name {
  const char* name;
  bool dupe_search;
  bool fuzzy_match;
  bool fuzzy_merge;
};

constexpr Name kNames[] = {
    {"grouping", true, false, false}, {"memberthreshold", true, false, false},
    {"swap", true, true, true},       {"match", false, true, false},
    {"scores", true, true, false},    {"scoring", true, true, true},
    {"candidates", true, true, true},
};

bool Reads(const Name& n, OptionsReader reader) {
  switch (reader) {
    case OptionsReader::kDupeSearch:
      return n.dupe_search;
    case OptionsReader::kFuzzyMatch:
      return n.fuzzy_match;
    case OptionsReader::kFuzzyMerge:
      return n.fuzzy_merge;
  }
  return false;
}

// Applies one known setting; returns false when the value has not the
// name's form.
bool Apply(const std::string& name, std::string_view raw, MatchOptions* o) {
  const std::string value = Lower(raw);
  if (name == "grouping") {
    if (value == "chain") {
      o->grouping = Grouping::kChain;
    } else if (value == "center") {
      o->grouping = Grouping::kCenter;
    } else if (value == "clique") {
      o->grouping = Grouping::kClique;
    } else {
      return false;
    }
    return true;
  }
  if (name == "memberthreshold") {
    double v;
    if (!ParseNumber(value, &v)) return false;
    o->member_threshold = v;
    return true;
  }
  if (name == "swap") {
    const size_t comma = value.find(',');
    int a, b;
    if (comma == std::string::npos ||
        !ParseColumn(std::string_view(value).substr(0, comma), &a) ||
        !ParseColumn(std::string_view(value).substr(comma + 1), &b) || a == b) {
      return false;
    }
    o->swap_first = a;
    o->swap_second = b;
    return true;
  }
  if (name == "match") {
    if (value == "first") {
      o->match = MatchChoice::kFirst;
    } else if (value == "best") {
      o->match = MatchChoice::kBest;
    } else {
      return false;
    }
    return true;
  }
  if (name == "scoring") {
    if (value == "mean") {
      o->scoring = Scoring::kMean;
    } else if (value == "estimated") {
      o->scoring = Scoring::kEstimated;
    } else {
      return false;
    }
    return true;
  }
  if (name == "candidates") {
    if (value == "exact") {
      o->candidates = CandidateRule::kExact;
    } else if (value == "bounded") {
      o->candidates = CandidateRule::kBounded;
    } else {
      return false;
    }
    return true;
  }
  if (name == "scores") {
    if (value != "0" && value != "1") return false;
    o->scores = value == "1";
    return true;
  }
  return false;
}

const char* ReaderName(OptionsReader reader) {
  switch (reader) {
    case OptionsReader::kDupeSearch:
      return "DupeSearch";
    case OptionsReader::kFuzzyMatch:
      return "FuzzyMatch";
    case OptionsReader::kFuzzyMerge:
      return "FuzzyMerge";
  }
  return "";
}

}  // namespace

MatchOptions ParseMatchOptions(std::u16string_view text, OptionsReader reader,
                               std::vector<std::string>* skipped) {
  MatchOptions options;
  const std::string all = platform::Utf16ToUtf8(text);
  std::string_view rest = all;
  while (true) {
    const size_t end = rest.find(';');
    const std::string_view setting = Trim(rest.substr(0, end));
    if (!setting.empty()) {
      const size_t equals = setting.find('=');
      const std::string name = Lower(Trim(setting.substr(0, equals)));
      const std::string_view value = equals == std::string_view::npos
                                         ? std::string_view()
                                         : Trim(setting.substr(equals + 1));
      const Name* known = nullptr;
      for (const Name& n : kNames) {
        if (name == n.name) known = &n;
      }
      std::string why;
      if (known == nullptr) {
        why = "unknown setting";
      } else if (!Reads(*known, reader)) {
        why = std::string("not read by ") + ReaderName(reader);
      } else if (equals == std::string_view::npos ||
                 !Apply(name, value, &options)) {
        why = "value not understood";
      }
      if (!why.empty() && skipped != nullptr) {
        skipped->push_back(why + ": " + std::string(setting));
      }
    }
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return options;
}

}  // namespace vexlor

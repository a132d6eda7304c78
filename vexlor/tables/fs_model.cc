#include "vexlor/tables/fs_model.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

#include "vexlor/strings/gestalt_similarity.h"

namespace vexlor {
namespace {

constexpr double kLow = 1e-6;
constexpr double kHigh = 1.0 - 1e-6;
constexpr int kRounds = 200;
constexpr double kSettled = 1e-9;
constexpr uint64_t kDrawnPairs = 50000;
constexpr double kStartPrior = 0.1;
constexpr double kStartFuzzy[kFsLevels] = {0.55, 0.2, 0.12, 0.08, 0.05, 1.0};
constexpr double kStartExact[kFsLevels] = {0.9, 0, 0, 0, 0.1, 1.0};

double Clamp(double p) {
  // Written so that NaN becomes kLow too.
  if (!(p >= kLow)) return kLow;
  return p > kHigh ? kHigh : p;
}

bool Used(int level, bool exact) {
  if (level == kFsMissing) return false;
  return !exact || level == kFsEqual || level == kFsLower;
}

void AppendNumber(double v, std::string* out) {
  char buf[32];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  out->append(buf, ec == std::errc() ? end : buf);
}

void AppendString(std::string_view s, std::string* out) {
  out->push_back('"');
  for (char c : s) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out->push_back('\\');
      out->push_back(c);
    } else if (b < 0x20) {
      static const char kHex[] = "0123456789abcdef";
      out->append("\\u00");
      out->push_back(kHex[b >> 4]);
      out->push_back(kHex[b & 15]);
    } else {
      out->push_back(c);
    }
  }
  out->push_back('"');
}

// A small JSON reader: enough for the model files, strict otherwise.
struct Json {
  enum Kind { kNull, kBool, kNumber, kString, kArray, kObject } kind = kNull;
  double number = 0;
  bool boolean = false;
  std::string text;
  std::vector<Json> items;
  // An object's members: names[i] holds items[i].
  std::vector<std::string> names;

  const Json* Get(std::string_view key) const {
    for (size_t i = 0; i < names.size(); ++i) {
      if (names[i] == key) return &items[i];
    }
    return nullptr;
  }
};

class JsonReader {
 public:
  explicit JsonReader(std::string_view text) : s_(text) {}

  bool ReadDocument(Json* out) {
    if (!Value(out, 0)) return false;
    Blanks();
    return at_ == s_.size() || Fail("text after the JSON value");
  }
  const std::string& error() const { return error_; }

 private:
  bool Fail(const char* why) {
    if (error_.empty()) {
      error_ = std::string(why) + " at byte " + std::to_string(at_);
    }
    return false;
  }
  void Blanks() {
    while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\t' ||
                               s_[at_] == '\n' || s_[at_] == '\r')) {
      ++at_;
    }
  }
  bool Literal(std::string_view word) {
    if (s_.substr(at_, word.size()) != word) return Fail("unexpected text");
    at_ += word.size();
    return true;
  }
  bool String(std::string* out) {
    ++at_;  // the opening quote
    while (at_ < s_.size() && s_[at_] != '"') {
      char c = s_[at_++];
      if (c != '\\') {
        out->push_back(c);
        continue;
      }
      if (at_ >= s_.size()) break;
      c = s_[at_++];
      switch (c) {
        case 'n':
          out->push_back('\n');
          break;
        case 't':
          out->push_back('\t');
          break;
        case 'r':
          out->push_back('\r');
          break;
        case 'b':
          out->push_back('\b');
          break;
        case 'f':
          out->push_back('\f');
          break;
        case 'u': {
          unsigned code = 0;
          if (at_ + 4 > s_.size()) return Fail("bad escape");
          for (int i = 0; i < 4; ++i) {
            const char h = s_[at_++];
            code <<= 4;
            if (h >= '0' && h <= '9')
              code |= static_cast<unsigned>(h - '0');
            else if (h >= 'a' && h <= 'f')
              code |= static_cast<unsigned>(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F')
              code |= static_cast<unsigned>(h - 'A' + 10);
            else
              return Fail("bad escape");
          }
          // Names only: code points beyond one byte of UTF-8 are kept as
          // UTF-8 without surrogate pairing.
          if (code < 0x80) {
            out->push_back(static_cast<char>(code));
          } else if (code < 0x800) {
            out->push_back(static_cast<char>(0xC0 | (code >> 6)));
            out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
          } else {
            out->push_back(static_cast<char>(0xE0 | (code >> 12)));
            out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
          }
          break;
        }
        default:
          out->push_back(c);
      }
    }
    if (at_ >= s_.size()) return Fail("unterminated string");
    ++at_;
    return true;
  }
  bool Value(Json* out, int depth) {
    if (depth > 32) return Fail("nested too deeply");
    Blanks();
    if (at_ >= s_.size()) return Fail("unexpected end");
    const char c = s_[at_];
    if (c == '{') {
      out->kind = Json::kObject;
      ++at_;
      Blanks();
      if (at_ < s_.size() && s_[at_] == '}') return ++at_, true;
      while (true) {
        Blanks();
        if (at_ >= s_.size() || s_[at_] != '"') return Fail("expected a name");
        std::string key;
        if (!String(&key)) return false;
        Blanks();
        if (at_ >= s_.size() || s_[at_] != ':') return Fail("expected ':'");
        ++at_;
        Json value;
        if (!Value(&value, depth + 1)) return false;
        out->names.push_back(std::move(key));
        out->items.push_back(std::move(value));
        Blanks();
        if (at_ < s_.size() && s_[at_] == ',') {
          ++at_;
          continue;
        }
        if (at_ < s_.size() && s_[at_] == '}') return ++at_, true;
        return Fail("expected ',' or '}'");
      }
    }
    if (c == '[') {
      out->kind = Json::kArray;
      ++at_;
      Blanks();
      if (at_ < s_.size() && s_[at_] == ']') return ++at_, true;
      while (true) {
        Json value;
        if (!Value(&value, depth + 1)) return false;
        out->items.push_back(std::move(value));
        Blanks();
        if (at_ < s_.size() && s_[at_] == ',') {
          ++at_;
          continue;
        }
        if (at_ < s_.size() && s_[at_] == ']') return ++at_, true;
        return Fail("expected ',' or ']'");
      }
    }
    if (c == '"') {
      out->kind = Json::kString;
      return String(&out->text);
    }
    if (c == 't') {
      out->kind = Json::kBool;
      out->boolean = true;
      return Literal("true");
    }
    if (c == 'f') {
      out->kind = Json::kBool;
      return Literal("false");
    }
    if (c == 'n') {
      out->kind = Json::kNull;
      return Literal("null");
    }
    out->kind = Json::kNumber;
    const char* begin = s_.data() + at_;
    auto [end, ec] = std::from_chars(begin, s_.data() + s_.size(), out->number);
    if (ec != std::errc() || end == begin) return Fail("expected a value");
    at_ += static_cast<size_t>(end - begin);
    return true;
  }

  std::string_view s_;
  size_t at_ = 0;
  std::string error_;
};

// The first round's verdict on a pattern: a match when the mean of its
// levels' typical similarities (equal 100, >=92 96, >=80 86, >=60 70, lower
// 30; exact columns: equal counts as 100 at weight 0.5, unequal decides
// no) reaches 80, as the weighted mean with Threshold 80 would roughly
// judge. Starting from the pairs that the mean finds keeps the fit in the
// mode that separates entities rather than one that separates, say,
// households from everyone else.
double StartingPosterior(const std::string& pattern, const FsModel& model) {
  constexpr double kTypical[kFsLevels] = {100, 96, 86, 70, 30, 0};
  double sum = 0, weight = 0;
  for (size_t i = 0; i < model.columns.size(); ++i) {
    const int level = static_cast<uint8_t>(pattern[i]);
    if (level == kFsMissing) continue;
    if (model.columns[i].exact) {
      if (level != kFsEqual) return 0.0;
      sum += 50;
      weight += 0.5;
      continue;
    }
    sum += kTypical[level];
    weight += 1;
  }
  return weight > 0 && sum / weight >= 80 ? 1.0 : 0.0;
}

}  // namespace

FsLevel FsLevelOf(std::string_view a, std::string_view b, bool exact) {
  if (a.empty() || b.empty()) return kFsMissing;
  if (a == b) return kFsEqual;
  if (exact) return kFsLower;
  // The gestalt similarity can depend on the order of its texts.
  if (b < a) std::swap(a, b);
  const double s = GestaltSimilarity(a, b);
  if (s >= 92.0) return kFsAbove92;
  if (s >= 80.0) return kFsAbove80;
  if (s >= 60.0) return kFsAbove60;
  return kFsLower;
}

const char* FsLevelName(int level, bool exact) {
  switch (level) {
    case kFsEqual:
      return "equal";
    case kFsAbove92:
      return ">=92";
    case kFsAbove80:
      return ">=80";
    case kFsAbove60:
      return ">=60";
    case kFsLower:
      return exact ? "unequal" : "lower";
    default:
      return "missing";
  }
}

double FsColumn::Weight(int level) const {
  // A level the column's kind never gives (a fuzzy level of an exact
  // column read from a model) carries no evidence either.
  if (!Used(level, exact)) return 0.0;
  return std::log2(m[level] / u[level]);
}

void FsModel::Index() {
  slot_of_.fill(-1);
  for (size_t i = 0; i < columns.size(); ++i) {
    const int c = columns[i].column;
    if (c >= 0 && c < kMaxColumns) slot_of_[c] = static_cast<int>(i);
  }
}

void FsModel::Levels(const FieldColl& fields, int max_column,
                     const bool* dupe_search, uint8_t* levels) const {
  const int last = std::min(max_column, fields.count());
  for (size_t i = 0; i < columns.size(); ++i) {
    const int c = columns[i].column;
    const FieldEntry* e = fields.entry(c);
    if (c > last || dupe_search == nullptr || !dupe_search[c] || e == nullptr) {
      levels[i] = kFsMissing;
      continue;
    }
    levels[i] = FsLevelOf(e->value, fields.CompareTextAt(c), columns[i].exact);
  }
}

double FsModel::ScoreOfLevels(const uint8_t* levels) const {
  const double p = Clamp(prior);
  double log_odds = std::log2(p / (1.0 - p));
  for (size_t i = 0; i < columns.size(); ++i) {
    log_odds += columns[i].Weight(levels[i]);
  }
  return 100.0 / (1.0 + std::exp2(-log_odds));
}

double FsModel::Score(const FieldColl& fields, int max_column,
                      const bool* dupe_search) const {
  const double p = Clamp(prior);
  double log_odds = std::log2(p / (1.0 - p));
  const int last = std::min(max_column, fields.count());
  for (const FsColumn& col : columns) {
    const int c = col.column;
    if (c > last || dupe_search == nullptr || !dupe_search[c]) continue;
    const FieldEntry* e = fields.entry(c);
    if (e == nullptr) continue;
    log_odds +=
        col.Weight(FsLevelOf(e->value, fields.CompareTextAt(c), col.exact));
  }
  return 100.0 / (1.0 + std::exp2(-log_odds));
}

std::string FsModel::ToJson() const {
  std::string out = "{\n  \"prior\": ";
  AppendNumber(prior, &out);
  out += ",\n  \"columns\": [";
  for (size_t i = 0; i < columns.size(); ++i) {
    const FsColumn& col = columns[i];
    out += i == 0 ? "\n" : ",\n";
    out += "    {\"column\": ";
    out += std::to_string(col.column);
    out += ", \"name\": ";
    AppendString(col.name, &out);
    out += ", \"comparison\": ";
    out += col.exact ? "\"exact\"" : "\"gestalt\"";
    out += ", \"levels\": [";
    bool first = true;
    for (int l = 0; l < kFsLevels; ++l) {
      if (!Used(l, col.exact)) continue;
      out += first ? "\n" : ",\n";
      first = false;
      out += "      {\"level\": \"";
      out += FsLevelName(l, col.exact);
      out += "\", \"m\": ";
      AppendNumber(col.m[l], &out);
      out += ", \"u\": ";
      AppendNumber(col.u[l], &out);
      out += ", \"weight\": ";
      AppendNumber(col.Weight(l), &out);
      out += "}";
    }
    out += "\n    ]}";
  }
  out += "\n  ]\n}\n";
  return out;
}

bool ParseFsModelJson(std::string_view text, FsModel* model,
                      std::string* error) {
  Json doc;
  JsonReader reader(text);
  if (!reader.ReadDocument(&doc)) {
    *error = "model file: " + reader.error();
    return false;
  }
  auto fail = [error](const std::string& why) {
    *error = "model file: " + why;
    return false;
  };
  auto probability = [](const Json* v) {
    return v != nullptr && v->kind == Json::kNumber && v->number > 0.0 &&
           v->number <= 1.0;
  };
  if (doc.kind != Json::kObject) return fail("not a JSON object");
  FsModel result;
  const Json* prior = doc.Get("prior");
  if (!probability(prior)) return fail("\"prior\" must be a number in (0, 1]");
  result.prior = prior->number;
  const Json* columns = doc.Get("columns");
  if (columns == nullptr || columns->kind != Json::kArray) {
    return fail("\"columns\" must be an array");
  }
  std::array<bool, kMaxColumns> seen{};
  for (const Json& c : columns->items) {
    FsColumn col;
    const Json* index = c.Get("column");
    if (index == nullptr || index->kind != Json::kNumber ||
        index->number != std::floor(index->number) || index->number < 0 ||
        index->number >= kMaxColumns) {
      return fail("a column index must be a whole number 0 to 399");
    }
    col.column = static_cast<int>(index->number);
    if (seen[col.column]) {
      return fail("column " + std::to_string(col.column) + " twice");
    }
    seen[col.column] = true;
    if (const Json* name = c.Get("name"); name && name->kind == Json::kString) {
      col.name = name->text;
    }
    const Json* comparison = c.Get("comparison");
    if (comparison == nullptr || comparison->kind != Json::kString ||
        (comparison->text != "exact" && comparison->text != "gestalt")) {
      return fail("\"comparison\" must be \"gestalt\" or \"exact\"");
    }
    col.exact = comparison->text == "exact";
    const double* start = col.exact ? kStartExact : kStartFuzzy;
    std::array<bool, kFsLevels> given{};
    for (int l = 0; l < kFsLevels; ++l) col.m[l] = col.u[l] = start[l];
    col.u[kFsMissing] = col.m[kFsMissing] = 1.0;
    const Json* levels = c.Get("levels");
    if (levels == nullptr || levels->kind != Json::kArray) {
      return fail("\"levels\" must be an array");
    }
    for (const Json& lv : levels->items) {
      const Json* name = lv.Get("level");
      int level = -1;
      for (int l = 0; l < kFsLevels && name && name->kind == Json::kString;
           ++l) {
        if (Used(l, col.exact) && name->text == FsLevelName(l, col.exact)) {
          level = l;
        }
      }
      if (level < 0)
        return fail("unknown level in column " + std::to_string(col.column));
      const Json* m = lv.Get("m");
      const Json* u = lv.Get("u");
      if (!probability(m) || !probability(u)) {
        return fail("m and u must be numbers in (0, 1]");
      }
      col.m[level] = m->number;
      col.u[level] = u->number;
      given[level] = true;
    }
    for (int l = 0; l < kFsLevels; ++l) {
      if (Used(l, col.exact) && !given[l]) {
        return fail(std::string("level ") + FsLevelName(l, col.exact) +
                    " missing in column " + std::to_string(col.column));
      }
    }
    result.columns.push_back(std::move(col));
  }
  std::sort(
      result.columns.begin(), result.columns.end(),
      [](const FsColumn& a, const FsColumn& b) { return a.column < b.column; });
  result.Index();
  *model = std::move(result);
  return true;
}

void FsPatternCounts::Add(const uint8_t* levels) {
  for (size_t i = 0; i < key_.size(); ++i) {
    key_[i] = static_cast<char>(levels[i]);
  }
  auto it = counts_.find(key_);
  if (it == counts_.end()) {
    counts_.emplace(key_, 1);
  } else {
    ++it->second;
  }
  ++total_;
}

std::vector<std::pair<std::string, uint64_t>> FsPatternCounts::Sorted() const {
  std::vector<std::pair<std::string, uint64_t>> out(counts_.begin(),
                                                    counts_.end());
  std::sort(out.begin(), out.end());
  return out;
}

uint64_t FsRandomPairCount(uint32_t n) {
  if (n < 2) return 0;
  const uint64_t all = uint64_t{n} * (n - 1);
  return std::min(all, kDrawnPairs);
}

std::pair<uint32_t, uint32_t> FsRandomPair(uint64_t j, uint32_t n) {
  const uint32_t a = static_cast<uint32_t>(j % n);
  uint32_t b = static_cast<uint32_t>((j * 1000003u + 7u) % n);
  if (b == a) b = (b + 1) % n;
  return {a, b};
}

void FitFsModel(const FsPatternCounts& drawn, const FsPatternCounts& candidates,
                FsModel* model) {
  const size_t k = model->columns.size();
  // u: counted from the drawn pairs, never 0.
  std::vector<std::array<double, kFsLevels>> seen(k);
  for (auto& s : seen) s.fill(0.0);
  for (const auto& [pattern, count] : drawn.Sorted()) {
    for (size_t i = 0; i < k; ++i) {
      seen[i][static_cast<uint8_t>(pattern[i])] += static_cast<double>(count);
    }
  }
  for (size_t i = 0; i < k; ++i) {
    FsColumn& col = model->columns[i];
    const double* start = col.exact ? kStartExact : kStartFuzzy;
    double total = 0;
    int used = 0;
    for (int l = 0; l < kFsLevels; ++l) {
      if (Used(l, col.exact)) {
        total += seen[i][l];
        ++used;
      }
    }
    for (int l = 0; l < kFsLevels; ++l) {
      col.m[l] = Used(l, col.exact) ? start[l] : 1.0;
      col.u[l] = Used(l, col.exact)
                     ? Clamp((seen[i][l] + 0.5) / (total + 0.5 * used))
                     : 1.0;
    }
  }
  model->prior = kStartPrior;

  // m, u and the prior: expectation maximisation over the candidates, u
  // starting from the drawn pairs. Candidates share trigrams, so their
  // non-matches resemble each other far more than drawn pairs do; with u
  // held at the drawn pairs' values the fit takes nearly every candidate
  // for a match (prior 0.98 on customers-10k).
  const auto patterns = candidates.Sorted();
  std::vector<std::array<double, kFsLevels>> weighted(k);
  std::vector<std::array<double, kFsLevels>> unweighted(k);
  for (int round = 0; round < kRounds && !patterns.empty(); ++round) {
    for (auto& w : weighted) w.fill(0.0);
    for (auto& w : unweighted) w.fill(0.0);
    double matches = 0, all = 0;
    const double p = Clamp(model->prior);
    const double prior_odds = std::log2(p / (1.0 - p));
    for (const auto& [pattern, count] : patterns) {
      double log_odds = prior_odds;
      for (size_t i = 0; i < k; ++i) {
        log_odds += model->columns[i].Weight(static_cast<uint8_t>(pattern[i]));
      }
      const double posterior = round == 0 ? StartingPosterior(pattern, *model)
                                          : 1.0 / (1.0 + std::exp2(-log_odds));
      const double n = static_cast<double>(count);
      matches += posterior * n;
      all += n;
      for (size_t i = 0; i < k; ++i) {
        weighted[i][static_cast<uint8_t>(pattern[i])] += posterior * n;
        unweighted[i][static_cast<uint8_t>(pattern[i])] += (1 - posterior) * n;
      }
    }
    double moved = 0;
    const double next_prior = Clamp(matches / all);
    moved = std::fabs(next_prior - model->prior);
    model->prior = next_prior;
    for (size_t i = 0; i < k; ++i) {
      FsColumn& col = model->columns[i];
      double total = 0, utotal = 0;
      for (int l = 0; l < kFsLevels; ++l) {
        if (Used(l, col.exact)) {
          total += weighted[i][l];
          utotal += unweighted[i][l];
        }
      }
      for (int l = 0; l < kFsLevels; ++l) {
        if (!Used(l, col.exact)) continue;
        // Missing everywhere (in either class): keeps what it had.
        if (total > 0) {
          const double m = Clamp(weighted[i][l] / total);
          moved = std::max(moved, std::fabs(m - col.m[l]));
          col.m[l] = m;
        }
        if (utotal > 0) {
          const double u = Clamp(unweighted[i][l] / utotal);
          moved = std::max(moved, std::fabs(u - col.u[l]));
          col.u[l] = u;
        }
      }
    }
    if (moved <= kSettled) break;
  }
  model->Index();
}

}  // namespace vexlor

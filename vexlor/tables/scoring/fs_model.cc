#include "vexlor/tables/scoring/fs_model.h"

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
constexpr uint64_t kDrawnPairs = 10000;
constexpr double kStartPrior = 0.1;
constexpr double kStartFuzzy[kFsLevels] = {0.55, 0.2,  0.12, 0.08,
                                           0.02, 0.03, 1.0};
constexpr double kStartExact[kFsLevels] = {0.9, 0, 0, 0, 0, 0.1, 1.0};
constexpr double kStartCoded[kFsLevels] = {0.85, 0.1, 0, 0, 0, 0.05, 1.0};
constexpr int kModelVersion = 2;
// A level's typical similarity, for the first round and the swap's choice.
constexpr double kTypical[kFsLevels] = {100, 96, 86, 70, 50, 30, 50};

double Clamp(double p) {
  // Written so that NaN becomes kLow too.
  if (!(p >= kLow)) return kLow;
  return p > kHigh ? kHigh : p;
}

bool Used(int level, const FsColumn& col) {
  return level != kFsMissing && col.Uses(level);
}

const double* StartOf(const FsColumn& col) {
  if (col.exact) return kStartExact;
  return col.kind == FsKind::kText ? kStartFuzzy : kStartCoded;
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

// ", "frequencies": {"values": n, "agree": A, "rest": r, "counts":
// [["SMITH", 52], ...]}", nothing for a column without.
void AppendFrequencies(const FsTermFrequencies& f, std::string* out) {
  if (f.empty()) return;
  *out += ",\n     \"frequencies\": {\"values\": ";
  *out += std::to_string(f.records());
  *out += ", \"agree\": ";
  AppendNumber(f.agree(), out);
  *out += ", \"rest\": ";
  AppendNumber(f.rest(), out);
  *out += ", \"counts\": [";
  for (size_t i = 0; i < f.values().size(); ++i) {
    *out += i == 0 ? "\n      [" : ",\n      [";
    AppendString(f.values()[i].first, out);
    *out += ", " + std::to_string(f.values()[i].second) + "]";
  }
  *out += "]}";
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

enum FsClass { kMatch = 0, kUnrelated = 1 };

// Whether a pattern looks alike: the mean of its levels' typical
// similarities (kTypical; exact columns: equal counts as 100 at weight 0.5,
// unequal decides no) reaches 80, as the weighted mean with Threshold 80
// would roughly judge.
class AlikeTally {
 public:
  void Add(int level, bool exact) {
    if (level == kFsMissing) return;
    if (exact) {
      unequal_ = unequal_ || level != kFsEqual;
      sum_ += 50;
      weight_ += 0.5;
      return;
    }
    sum_ += kTypical[level];
    weight_ += 1;
  }
  bool Alike() const {
    return !unequal_ && weight_ > 0 && sum_ / weight_ >= 80;
  }

 private:
  double sum_ = 0, weight_ = 0;
  bool unequal_ = false;
};

// The first round's verdict on a pattern: a match when it looks alike,
// else not. Starting from the pairs that the mean finds keeps the fit in
// the mode that separates entities rather than one that separates, say,
// households from everyone else.
FsClass StartingClass(const std::string& pattern, const FsModel& model) {
  AlikeTally tally;
  for (size_t i = 0; i < model.columns.size(); ++i) {
    tally.Add(static_cast<uint8_t>(pattern[i]), model.columns[i].exact);
  }
  return tally.Alike() ? kMatch : kUnrelated;
}

bool IsLetter(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 0xC0;
}

// Whether `initials` is one-letter words only (`K.`, `H.-P.`, `A B`) whose
// letters begin words of `name`, in order, and `name` has a longer word:
// the first names that a nickname or a form's initial field leaves.
bool IsInitialsOf(std::string_view initials, std::string_view name) {
  size_t at = 0, letters = 0;
  bool longer_word = false;
  for (size_t i = 0; i < initials.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(initials[i]);
    if (!IsLetter(c)) continue;
    if (i + 1 < initials.size() &&
        IsLetter(static_cast<unsigned char>(initials[i + 1]))) {
      return false;  // a word of two letters or more
    }
    ++letters;
    // The next word of `name` that starts with c.
    bool found = false;
    while (at < name.size() && !found) {
      const bool starts =
          IsLetter(static_cast<unsigned char>(name[at])) &&
          (at == 0 || !IsLetter(static_cast<unsigned char>(name[at - 1])));
      if (starts) {
        size_t end = at;
        while (end < name.size() &&
               IsLetter(static_cast<unsigned char>(name[end]))) {
          ++end;
        }
        longer_word = longer_word || end - at > 1;
        found = name[at] == initials[i];
        at = end;
      } else {
        ++at;
      }
    }
    if (!found) return false;
  }
  // Words of `name` after the last initial may be the longer ones.
  for (size_t i = at; i + 1 < name.size() && !longer_word; ++i) {
    longer_word = IsLetter(static_cast<unsigned char>(name[i])) &&
                  IsLetter(static_cast<unsigned char>(name[i + 1]));
  }
  return letters > 0 && longer_word;
}

std::string Text(double v) {
  std::string out;
  AppendNumber(v, &out);
  return out;
}

bool WholeNumber(const Json* v) {
  return v != nullptr && v->kind == Json::kNumber && v->number >= 1 &&
         v->number <= 1e15 && v->number == std::floor(v->number);
}

bool ReadFrequencies(const Json& f, FsTermFrequencies* out) {
  const Json* values = f.Get("values");
  const Json* agree = f.Get("agree");
  const Json* rest = f.Get("rest");
  const Json* counts = f.Get("counts");
  if (!WholeNumber(values) || agree == nullptr ||
      agree->kind != Json::kNumber || rest == nullptr ||
      rest->kind != Json::kNumber || counts == nullptr ||
      counts->kind != Json::kArray) {
    return false;
  }
  std::vector<std::pair<std::string, uint64_t>> list;
  for (const Json& item : counts->items) {
    if (item.kind != Json::kArray || item.items.size() != 2 ||
        item.items[0].kind != Json::kString || !WholeNumber(&item.items[1])) {
      return false;
    }
    list.emplace_back(item.items[0].text,
                      static_cast<uint64_t>(item.items[1].number));
  }
  return out->Assign(static_cast<uint64_t>(values->number), agree->number,
                     rest->number, std::move(list));
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
  if (IsInitialsOf(a, b) || IsInitialsOf(b, a)) return kFsInitial;
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
    case kFsInitial:
      return "initial";
    case kFsLower:
      return exact ? "unequal" : "lower";
    default:
      return "missing";
  }
}

FsLevel FsColumn::LevelOf(std::string_view a, std::string_view b) const {
  if (exact || kind == FsKind::kText) return FsLevelOf(a, b, exact);
  if (a.empty() || b.empty()) return kFsMissing;
  if (a == b) return kFsEqual;
  const bool near = kind == FsKind::kCode     ? OneEditApart(a, b)
                    : kind == FsKind::kNumber ? NearNumbers(a, b)
                                              : NearDates(a, b);
  return near ? kFsAbove92 : kFsLower;
}

bool FsColumn::Uses(int level) const {
  if (level == kFsEqual || level == kFsLower) return true;
  if (exact) return false;
  return kind == FsKind::kText ? level != kFsMissing : level == kFsAbove92;
}

const char* FsColumn::LevelName(int level) const {
  if (exact || kind == FsKind::kText) return FsLevelName(level, exact);
  if (level == kFsAbove92) {
    return kind == FsKind::kCode ? "one edit" : "near";
  }
  return level == kFsLower ? "unequal" : FsLevelName(level, false);
}

double FsColumn::Weight(int level) const {
  // A level the column's kind never gives (a fuzzy level of an exact
  // column read from a model) carries no evidence either.
  if (!Used(level, *this)) return 0.0;
  return std::log2(m[level] / u[level]);
}

double FsColumn::RelatedWeight(int level) const {
  if (!Used(level, *this)) return 0.0;
  return std::log2(r[level] / u[level]);
}

void FsModel::Index() {
  slot_of_.fill(-1);
  for (size_t i = 0; i < columns.size(); ++i) {
    const int c = columns[i].column;
    if (c >= 0 && c < kMaxColumns) slot_of_[c] = static_cast<int>(i);
  }
  weights_.resize(columns.size());
  related_weights_.resize(columns.size());
  for (size_t i = 0; i < columns.size(); ++i) {
    for (int l = 0; l < kFsLevels; ++l) {
      weights_[i][l] = columns[i].Weight(l);
      related_weights_[i][l] = related > 0 ? columns[i].RelatedWeight(l) : 0;
    }
  }
  std::vector<double> best(columns.size()), span(columns.size());
  for (size_t i = 0; i < columns.size(); ++i) {
    // Missing, weight 0, is a level every column can have.
    double lo = 0, hi = 0;
    for (int l = 0; l < kFsLevels; ++l) {
      lo = std::min(lo, weights_[i][l]);
      hi = std::max(hi, weights_[i][l]);
    }
    best[i] = hi + std::max(0.0, columns[i].frequencies.MaxAdjustment());
    span[i] = best[i] - lo;
  }
  order_.resize(columns.size());
  for (size_t i = 0; i < columns.size(); ++i) order_[i] = static_cast<int>(i);
  std::stable_sort(order_.begin(), order_.end(),
                   [&](int a, int b) { return span[a] > span[b]; });
  best_after_.assign(columns.size() + 1, 0.0);
  for (size_t n = columns.size(); n-- > 0;) {
    best_after_[n] = best_after_[n + 1] + best[order_[n]];
  }
}

bool FsModel::Reaches(const FieldColl& fields, int max_column,
                      const bool* dupe_search, double threshold) const {
  if (order_.size() != columns.size() || !(threshold > 0) ||
      !(threshold < 100)) {
    return Score(fields, max_column, dupe_search) >= threshold;
  }
  // The score is at most 100 / (1 + 2^-(prior term + weights)): the related
  // class only lowers it. So the weights must reach `need`; a margin keeps
  // rounding from ending a pair that would reach.
  const double p = Clamp(prior);
  const double prior_term =
      related > 0 ? std::log2(p / std::max(kLow, 1.0 - p - Clamp(related)))
                  : std::log2(p / (1.0 - p));
  const double need =
      std::log2(threshold / (100.0 - threshold)) - prior_term - 1e-9;
  std::array<uint8_t, kMaxColumns> levels;
  std::array<double, kMaxColumns> weights;
  const int last = std::min(max_column, fields.count());
  double sum = 0;
  for (size_t n = 0; n < order_.size(); ++n) {
    const int i = order_[n];
    const int c = columns[i].column;
    const FieldEntry* e = fields.entry(c);
    int level = kFsMissing;
    weights[i] = 0;
    if (c <= last && dupe_search != nullptr && dupe_search[c] && e != nullptr) {
      weights[i] = WeightOfPair(i, e->value, fields.CompareTextAt(c), &level);
    }
    levels[i] = static_cast<uint8_t>(level);
    sum += weights[i];
    if (sum + best_after_[n + 1] < need) return false;
  }
  // In column order, as Score adds them, for the same double.
  double in_order = 0, related_sum = 0;
  for (size_t i = 0; i < columns.size(); ++i) {
    in_order += weights[i];
    related_sum += related_weights_[i][levels[i]];
  }
  return ScoreOfSums(in_order, related_sum) >= threshold;
}

double FsModel::WeightOfPair(size_t i, std::string_view a, std::string_view b,
                             int* level) const {
  const FsColumn& col = columns[i];
  *level = col.LevelOf(a, b);
  const bool indexed = weights_.size() == columns.size();
  const double w = indexed ? weights_[i][*level] : col.Weight(*level);
  return *level == kFsEqual ? w + col.frequencies.Adjustment(a) : w;
}

double FsModel::ScoreOfSums(double weights, double related_weights) const {
  const double p = Clamp(prior);
  if (!(related > 0)) {
    return 100.0 / (1.0 + std::exp2(-(std::log2(p / (1.0 - p)) + weights)));
  }
  const double q = Clamp(related);
  const double rest = std::max(kLow, 1.0 - p - q);
  const double match = std::log2(p / rest) + weights;
  const double lookalike = std::log2(q / rest) + related_weights;
  return 100.0 / (1.0 + std::exp2(-match) + std::exp2(lookalike - match));
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
    levels[i] = columns[i].LevelOf(e->value, fields.CompareTextAt(c));
  }
}

double FsModel::ScoreOfLevels(const uint8_t* levels) const {
  double sum = 0, related_sum = 0;
  const bool indexed = weights_.size() == columns.size();
  for (size_t i = 0; i < columns.size(); ++i) {
    const int l = levels[i];
    sum += indexed ? weights_[i][l] : columns[i].Weight(l);
    related_sum += indexed       ? related_weights_[i][l]
                   : related > 0 ? columns[i].RelatedWeight(l)
                                 : 0.0;
  }
  return ScoreOfSums(sum, related_sum);
}

double FsModel::Score(const FieldColl& fields, int max_column,
                      const bool* dupe_search) const {
  double sum = 0, related_sum = 0;
  const int last = std::min(max_column, fields.count());
  const bool indexed = weights_.size() == columns.size();
  for (size_t i = 0; i < columns.size(); ++i) {
    const FsColumn& col = columns[i];
    const int c = col.column;
    if (c > last || dupe_search == nullptr || !dupe_search[c]) continue;
    const FieldEntry* e = fields.entry(c);
    if (e == nullptr) continue;
    int level;
    sum += WeightOfPair(i, e->value, fields.CompareTextAt(c), &level);
    related_sum += indexed       ? related_weights_[i][level]
                   : related > 0 ? col.RelatedWeight(level)
                                 : 0.0;
  }
  return ScoreOfSums(sum, related_sum);
}

std::string FsModel::ToJson() const {
  std::string out = "{\n  \"version\": " + std::to_string(kModelVersion);
  out += ",\n  \"prior\": ";
  AppendNumber(prior, &out);
  if (related > 0) {
    out += ",\n  \"related\": ";
    AppendNumber(related, &out);
  }
  out += ",\n  \"columns\": [";
  for (size_t i = 0; i < columns.size(); ++i) {
    const FsColumn& col = columns[i];
    out += i == 0 ? "\n" : ",\n";
    out += "    {\"column\": ";
    out += std::to_string(col.column);
    out += ", \"name\": ";
    AppendString(col.name, &out);
    out += ", \"comparison\": ";
    out +=
        col.exact ? "\"exact\"" : '"' + std::string(FsKindName(col.kind)) + '"';
    out += ", \"levels\": [";
    bool first = true;
    for (int l = 0; l < kFsLevels; ++l) {
      if (!Used(l, col)) continue;
      out += first ? "\n" : ",\n";
      first = false;
      out += "      {\"level\": \"";
      out += col.LevelName(l);
      out += "\", \"m\": ";
      AppendNumber(col.m[l], &out);
      out += ", \"u\": ";
      AppendNumber(col.u[l], &out);
      if (related > 0) {
        out += ", \"r\": ";
        AppendNumber(col.r[l], &out);
      }
      out += ", \"weight\": ";
      AppendNumber(col.Weight(l), &out);
      out += "}";
    }
    out += "\n    ]";
    AppendFrequencies(col.frequencies, &out);
    out += "}";
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
  // Files without a version are those of version 1.
  if (const Json* version = doc.Get("version");
      version != nullptr &&
      (version->kind != Json::kNumber || version->number < 1 ||
       version->number > kModelVersion)) {
    return fail("version " +
                (version->kind == Json::kNumber ? Text(version->number)
                                                : std::string("unknown")) +
                " is not known to this build, which reads versions 1 to " +
                std::to_string(kModelVersion) +
                "; fit the model again with --model-out");
  }
  FsModel result;
  const Json* prior = doc.Get("prior");
  if (!probability(prior)) return fail("\"prior\" must be a number in (0, 1]");
  result.prior = prior->number;
  if (const Json* related = doc.Get("related"); related != nullptr) {
    if (!probability(related) || related->number + result.prior >= 1.0) {
      return fail("\"related\" must be a number in (0, 1 - prior)");
    }
    result.related = related->number;
  }
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
        (comparison->text != "exact" &&
         !FsKindOfName(comparison->text, &col.kind))) {
      return fail(
          "\"comparison\" must be \"gestalt\", \"code\", \"number\", "
          "\"date\" or \"exact\"");
    }
    col.exact = comparison->text == "exact";
    const double* start = StartOf(col);
    std::array<bool, kFsLevels> given{};
    for (int l = 0; l < kFsLevels; ++l)
      col.m[l] = col.u[l] = col.r[l] = start[l];
    col.u[kFsMissing] = col.m[kFsMissing] = col.r[kFsMissing] = 1.0;
    const Json* levels = c.Get("levels");
    if (levels == nullptr || levels->kind != Json::kArray) {
      return fail("\"levels\" must be an array");
    }
    for (const Json& lv : levels->items) {
      const Json* name = lv.Get("level");
      int level = -1;
      for (int l = 0; l < kFsLevels && name && name->kind == Json::kString;
           ++l) {
        if (Used(l, col) && name->text == col.LevelName(l)) {
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
      if (result.related > 0) {
        const Json* r = lv.Get("r");
        if (!probability(r)) {
          return fail("with \"related\" each level needs r in (0, 1]");
        }
        col.r[level] = r->number;
      }
      given[level] = true;
    }
    // Models saved before the initial level had it as part of lower.
    if (!col.exact && !given[kFsInitial] && given[kFsLower]) {
      col.m[kFsInitial] = col.m[kFsLower];
      col.u[kFsInitial] = col.u[kFsLower];
      col.r[kFsInitial] = col.r[kFsLower];
      given[kFsInitial] = true;
    }
    for (int l = 0; l < kFsLevels; ++l) {
      if (Used(l, col) && !given[l]) {
        return fail(std::string("level ") + col.LevelName(l) +
                    " missing in column " + std::to_string(col.column));
      }
    }
    if (const Json* f = c.Get("frequencies"); f != nullptr) {
      if (!ReadFrequencies(*f, &col.frequencies)) {
        return fail("bad \"frequencies\" in column " +
                    std::to_string(col.column));
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

bool FsSwapIsBetter(int a, int b, int swapped_a, int swapped_b) {
  return kTypical[swapped_a] + kTypical[swapped_b] > kTypical[a] + kTypical[b];
}

double FsLevelCollector::Score(const FieldColl& fields, int max_column,
                               const bool* dupe_search) {
  model_.Levels(fields, max_column, dupe_search, levels_.data());
  const int i = model_.SlotOf(swap_first_);
  const int j = model_.SlotOf(swap_second_);
  const FieldEntry* a = i >= 0 ? fields.entry(swap_first_) : nullptr;
  const FieldEntry* b = j >= 0 ? fields.entry(swap_second_) : nullptr;
  if (a != nullptr && b != nullptr && i != j && levels_[i] != kFsMissing &&
      levels_[j] != kFsMissing) {
    const int si =
        model_.columns[i].LevelOf(a->value, fields.CompareTextAt(swap_second_));
    const int sj =
        model_.columns[j].LevelOf(b->value, fields.CompareTextAt(swap_first_));
    if (FsSwapIsBetter(levels_[i], levels_[j], si, sj)) {
      levels_[i] = static_cast<uint8_t>(si);
      levels_[j] = static_cast<uint8_t>(sj);
    }
  }
  counts_->Add(levels_.data());
  return 0.0;
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
    const double* start = StartOf(col);
    double total = 0;
    int used = 0;
    for (int l = 0; l < kFsLevels; ++l) {
      if (Used(l, col)) {
        total += seen[i][l];
        ++used;
      }
    }
    for (int l = 0; l < kFsLevels; ++l) {
      col.m[l] = Used(l, col) ? start[l] : 1.0;
      col.u[l] =
          Used(l, col) ? Clamp((seen[i][l] + 0.5) / (total + 0.5 * used)) : 1.0;
      col.r[l] = col.u[l];
    }
  }
  model->prior = kStartPrior;
  model->related = 0.0;

  // m, u and the prior: expectation maximisation over the candidates, u
  // starting from the drawn pairs (header comment).
  const auto patterns = candidates.Sorted();
  // counts[class][column][level]: the patterns' counts, each weighted by the
  // chance of the class.
  std::array<std::vector<std::array<double, kFsLevels>>, 2> counts;
  for (auto& c : counts) c.resize(k);
  std::vector<std::array<double, kFsLevels>> weights(k);
  for (int round = 0; round < kRounds && !patterns.empty(); ++round) {
    for (auto& c : counts) {
      for (auto& w : c) w.fill(0.0);
    }
    double matches = 0, all = 0;
    const double p = Clamp(model->prior);
    // This round's weights, so that the patterns take no logarithm.
    for (size_t i = 0; i < k; ++i) {
      for (int l = 0; l < kFsLevels; ++l) {
        weights[i][l] = model->columns[i].Weight(l);
      }
    }
    for (const auto& [pattern, count] : patterns) {
      double match;
      if (round == 0) {
        match = StartingClass(pattern, *model) == kMatch ? 1.0 : 0.0;
      } else {
        double odds = std::log2(p / (1.0 - p));
        for (size_t i = 0; i < k; ++i) {
          odds += weights[i][static_cast<uint8_t>(pattern[i])];
        }
        match = 1.0 / (1.0 + std::exp2(-odds));
      }
      const double n = static_cast<double>(count);
      all += n;
      matches += match * n;
      for (size_t i = 0; i < k; ++i) {
        const uint8_t l = static_cast<uint8_t>(pattern[i]);
        counts[kMatch][i][l] += match * n;
        counts[1][i][l] += (1.0 - match) * n;
      }
    }
    const double next_prior = Clamp(matches / all);
    double moved = std::fabs(next_prior - model->prior);
    model->prior = next_prior;
    for (size_t i = 0; i < k; ++i) {
      FsColumn& col = model->columns[i];
      std::array<double, kFsLevels>* target[2] = {&col.m, &col.u};
      for (int c = 0; c < 2; ++c) {
        double total = 0;
        for (int l = 0; l < kFsLevels; ++l) {
          if (Used(l, col)) total += counts[c][i][l];
        }
        // Missing everywhere in the class: keeps what it had.
        if (!(total > 0)) continue;
        for (int l = 0; l < kFsLevels; ++l) {
          if (!Used(l, col)) continue;
          const double v = Clamp(counts[c][i][l] / total);
          moved = std::max(moved, std::fabs(v - (*target[c])[l]));
          (*target[c])[l] = v;
        }
      }
    }
    if (moved <= kSettled) break;
  }
  model->Index();
}

}  // namespace vexlor

#include "vexlor/records/field_coll.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string_view>

#include "vexlor/strings/gestalt_similarity.h"
#include "vexlor/strings/normalize.h"

namespace vexlor {
namespace {

constexpr int kGrowthStep = 50;

// Written so that a NaN weight counts as fuzzy, like every weight that is
// not above 1.0.
bool IsKeyField(double weight) { return weight > 1.0; }

// Stores `value` in `*slot`, as its upper-case key for fuzzy fields.
void StoreText(std::string_view value, double weight, std::string* slot) {
  if (IsKeyField(weight)) {
    slot->assign(value);
  } else {
    NormalizeTextInto(value, true, slot);
  }
}

// The running sums of the similarity rule.
class Similarity {
 public:
  // Adds one entry; returns false when a key field fails, which decides the
  // whole comparison.
  bool Add(const FieldEntry& e, std::string_view other) {
    if (IsKeyField(e.weight)) {
      if (e.value != other) return false;
      sum_ += 50.0;
      total_weight_ += 0.5;
      ++counted_;
      return true;
    }
    if (e.compare_null || (!e.value.empty() && !other.empty())) {
      sum_ += GestaltSimilarity(e.value, other) * e.weight;
      total_weight_ += e.weight;
      ++counted_;
    }
    return true;
  }

  // 0.0 / 0.0 is left to give NaN: counted fields of no weight have no
  // defined similarity, and callers see it as such.
  double Result() const { return counted_ == 0 ? 0.0 : sum_ / total_weight_; }

 private:
  double sum_ = 0.0;
  double total_weight_ = 0.0;
  int counted_ = 0;
};

// The gestalt percentage of `matched` bytes, in the order of operations of
// GestaltSimilarity, so that a bound on the count gives a bound on the
// percentage that holds after rounding too.
double Percent(int64_t matched, size_t n, size_t m) {
  return static_cast<double>(matched) / static_cast<double>(n + m) * 2.0 *
         100.0;
}

constexpr size_t kWordBits = 64;
constexpr double kLargestBoundedWeight = 1e300;

// Bits set in a word, without depending on a population-count instruction
// being enabled for the build.
int64_t PopCount(uint64_t x) {
  x = x - ((x >> 1) & 0x5555555555555555ull);
  x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Full;
  return static_cast<int64_t>((x * 0x0101010101010101ull) >> 56);
}

// Length of the longest common subsequence of a pattern of at most 64 bytes,
// given as its match words, and `text`: Hyyrö, "Bit-parallel LCS-length
// computation revisited" (2004). Bits of v beyond the pattern never reach
// the pattern's own bits, since carries and borrows only move upwards.
int64_t SubsequenceLength(const std::array<uint64_t, 256>& words,
                          size_t pattern_size, std::string_view text) {
  uint64_t v = ~uint64_t{0};
  for (char c : text) {
    const uint64_t u = v & words[static_cast<unsigned char>(c)];
    v = (v + u) | (v - u);
  }
  const uint64_t mask = pattern_size == kWordBits
                            ? ~uint64_t{0}
                            : (uint64_t{1} << pattern_size) - 1;
  return PopCount(~v & mask);
}

}  // namespace

void FieldColl::ListCompareInit() { count_ = 0; }

void FieldColl::ListAddField(std::string_view name, std::string_view value,
                             double weight, bool compare_null) {
  FieldEntry& e = EntryForWrite(count_);
  Touch(count_);
  e.name.assign(name);
  StoreText(value, weight, &e.value);
  e.compare_value.clear();
  e.weight = weight;
  e.compare_null = compare_null;
  ++count_;
}

void FieldColl::ListSetCompare(std::string_view name, std::string_view value) {
  const int end = count_ < static_cast<int>(entries_.size())
                      ? count_
                      : static_cast<int>(entries_.size());
  for (int i = 0; i < end; ++i) {
    FieldEntry& e = entries_[static_cast<size_t>(i)];
    if (e.name == name) {
      Unview(i);
      StoreText(value, e.weight, &e.compare_value);
      return;
    }
  }
}

double FieldColl::ListCalcDiff() const {
  Similarity similarity;
  for (int i = 0; i < count_ && i < static_cast<int>(entries_.size()); ++i) {
    const size_t at = static_cast<size_t>(i);
    if (!similarity.Add(entries_[at], CompareText(at))) return 0.0;
  }
  return similarity.Result();
}

void FieldColl::SetFieldAt(int index, std::string_view value, double weight,
                           bool compare_null) {
  if (index < 0) return;
  FieldEntry& e = EntryForWrite(index);
  Touch(index);
  e.name.clear();
  e.value.assign(value);
  e.compare_value.clear();
  e.weight = weight;
  e.compare_null = compare_null;
  if (index > count_) count_ = index;
}

void FieldColl::SetCompareAt(int index, std::string_view value) {
  if (index < 0 || index > count_ ||
      index >= static_cast<int>(entries_.size())) {
    return;
  }
  Unview(index);
  entries_[static_cast<size_t>(index)].compare_value.assign(value);
}

void FieldColl::SetCompareViewAt(int index, std::string_view value) {
  if (index < 0 || index > count_ ||
      index >= static_cast<int>(entries_.size())) {
    return;
  }
  const size_t i = static_cast<size_t>(index);
  if (pending_.size() < entries_.size()) {
    // views_ first: pending_ says which views exist, so it may grow only
    // once views_ has, or a failed allocation would leave it pointing past
    // the views.
    views_.resize(entries_.size());
    pending_.resize(entries_.size(), 0);
    pending_list_.reserve(entries_.size());
  }
  std::string& stored = entries_[i].compare_value;
  if (stored.capacity() < value.size()) stored.reserve(value.size());
  views_[i] = value;
  if (pending_[i] == kNotListed) pending_list_.push_back(index);
  pending_[i] = kPending;
}

void FieldColl::CommitCompareViews() noexcept {
  for (int index : pending_list_) {
    const size_t i = static_cast<size_t>(index);
    // The capacity was made when the view was set.
    if (pending_[i] == kPending) entries_[i].compare_value.assign(views_[i]);
    pending_[i] = kNotListed;
  }
  pending_list_.clear();
}

void FieldColl::Unview(int index) {
  const size_t i = static_cast<size_t>(index);
  if (i < pending_.size() && pending_[i] == kPending) pending_[i] = kListed;
}

void FieldColl::Touch(int index) {
  Unview(index);
  const size_t i = static_cast<size_t>(index);
  if (i < prepared_.size()) prepared_[i].ready = false;
}

int64_t FieldColl::MatchBound(int index, std::string_view other) {
  const size_t i = static_cast<size_t>(index);
  const std::string& value = entries_[i].value;
  if (prepared_.size() <= i) prepared_.resize(entries_.size());
  Prepared& p = prepared_[i];
  if (!p.ready) {
    if (p.has_words) {
      for (char c : p.bytes) p.words[static_cast<unsigned char>(c)] = 0;
    } else {
      p.words.fill(0);
    }
    p.has_words = value.size() <= kWordBits;
    if (p.has_words) {
      p.bytes.assign(value);
      uint64_t bit = 1;
      for (char c : value) {
        p.words[static_cast<unsigned char>(c)] |= bit;
        bit <<= 1;
      }
    }
    p.ready = true;
  }
  if (p.has_words) return SubsequenceLength(p.words, value.size(), other);
  return static_cast<int64_t>(std::min(value.size(), other.size()));
}

double FieldColl::Fold(bool upper) const {
  double sum = 0.0;
  double total_weight = 0.0;
  for (const Counted& f : counted_) {
    if (f.key) {
      sum += 50.0;
      total_weight += 0.5;
      continue;
    }
    // A larger similarity raises the sum only through a weight of 0 or
    // more; below 0 the other bound gives the extreme.
    const bool high = upper == (f.weight >= 0.0);
    sum += (high ? f.high : f.low) * f.weight;
    total_weight += f.weight;
  }
  return sum / total_weight;
}

bool FieldColl::RecordReaches(int max_column, const bool* dupe_search,
                              double threshold) {
  if (dupe_search == nullptr) return 0.0 >= threshold;
  int last = max_column;
  if (last > kMaxColumns - 1) last = kMaxColumns - 1;
  if (last > count_) last = count_;
  if (last > static_cast<int>(entries_.size()) - 1) {
    last = static_cast<int>(entries_.size()) - 1;
  }
  // A failing key field decides the pair wherever it stands, so the keys
  // are settled before any similarity is computed.
  counted_.clear();
  bool bounded = true;
  double total_weight = 0.0;
  for (int i = 0; i <= last; ++i) {
    if (!dupe_search[i]) continue;
    const FieldEntry& e = entries_[static_cast<size_t>(i)];
    const std::string_view other = CompareText(static_cast<size_t>(i));
    if (IsKeyField(e.weight)) {
      if (e.value != other) return 0.0 >= threshold;
      counted_.push_back({i, true, true, 0.5, 100.0, 100.0});
      total_weight += 0.5;
      continue;
    }
    if (!e.compare_null && (e.value.empty() || other.empty())) continue;
    counted_.push_back({i, false, false, e.weight, 0.0, 100.0});
    total_weight += e.weight;
    // Products of huge weights overflow, and infinities of both signs
    // would leave the bounds without order.
    if (!(std::fabs(e.weight) <= kLargestBoundedWeight)) bounded = false;
  }
  if (counted_.empty()) return 0.0 >= threshold;
  // Bounds carry over the division only when it is by a positive number.
  if (!(total_weight > 0.0) || !std::isfinite(total_weight)) bounded = false;

  auto settle = [&](Counted& f) {
    const FieldEntry& e = entries_[static_cast<size_t>(f.index)];
    const double s =
        GestaltSimilarity(e.value, CompareText(static_cast<size_t>(f.index)));
    f.low = f.high = s;
    f.exact = true;
  };
  if (!bounded) {
    for (Counted& f : counted_) {
      if (!f.key) settle(f);
    }
    return Fold(true) >= threshold;
  }

  for (Counted& f : counted_) {
    if (f.key) continue;
    const FieldEntry& e = entries_[static_cast<size_t>(f.index)];
    const std::string_view other = CompareText(static_cast<size_t>(f.index));
    const size_t n = e.value.size();
    const size_t m = other.size();
    if (n == 0 || m == 0 || std::string_view(e.value) == other) {
      settle(f);  // no work: 100 or 0
    } else {
      f.high = Percent(MatchBound(f.index, other), n, m);
    }
  }
  while (true) {
    if (Fold(true) < threshold) return false;
    if (Fold(false) >= threshold) return true;
    // Settle the field that leaves the most room between the bounds.
    Counted* widest = nullptr;
    double gap = -1.0;
    for (Counted& f : counted_) {
      if (f.exact) continue;
      const double g = std::fabs(f.weight) * (f.high - f.low);
      if (g > gap) {
        gap = g;
        widest = &f;
      }
    }
    // All exact: both folds are the exact result, which has decided.
    if (widest == nullptr) return false;
    settle(*widest);
  }
}

double FieldColl::RecordDifference(int max_column,
                                   const bool* dupe_search) const {
  if (dupe_search == nullptr) return 0.0;
  // An index above count has no entry of this pair; one never created has
  // none at all.
  int last = max_column;
  if (last > kMaxColumns - 1) last = kMaxColumns - 1;
  if (last > count_) last = count_;
  if (last > static_cast<int>(entries_.size()) - 1) {
    last = static_cast<int>(entries_.size()) - 1;
  }
  Similarity similarity;
  for (int i = 0; i <= last; ++i) {
    if (!dupe_search[i]) continue;
    const size_t at = static_cast<size_t>(i);
    if (!similarity.Add(entries_[at], CompareText(at))) return 0.0;
  }
  return similarity.Result();
}

const FieldEntry* FieldColl::entry(int index) const {
  if (index < 0 || index >= static_cast<int>(entries_.size())) return nullptr;
  return &entries_[static_cast<size_t>(index)];
}

FieldEntry& FieldColl::EntryForWrite(int index) {
  const size_t i = static_cast<size_t>(index);
  if (i >= entries_.size()) {
    entries_.resize((i / kGrowthStep + 1) * kGrowthStep);
  }
  return entries_[i];
}

}  // namespace vexlor

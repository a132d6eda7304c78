#include "vexlor/records/field_coll.h"

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
  bool Add(const FieldEntry& e) {
    if (IsKeyField(e.weight)) {
      if (e.value != e.compare_value) return false;
      sum_ += 50.0;
      total_weight_ += 0.5;
      ++counted_;
      return true;
    }
    if (e.compare_null || (!e.value.empty() && !e.compare_value.empty())) {
      sum_ += GestaltSimilarity(e.value, e.compare_value) * e.weight;
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

}  // namespace

void FieldColl::ListCompareInit() { count_ = 0; }

void FieldColl::ListAddField(std::string_view name, std::string_view value,
                             double weight, bool compare_null) {
  FieldEntry& e = EntryForWrite(count_);
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
      StoreText(value, e.weight, &e.compare_value);
      return;
    }
  }
}

double FieldColl::ListCalcDiff() const {
  Similarity similarity;
  for (int i = 0; i < count_ && i < static_cast<int>(entries_.size()); ++i) {
    if (!similarity.Add(entries_[static_cast<size_t>(i)])) return 0.0;
  }
  return similarity.Result();
}

void FieldColl::SetFieldAt(int index, std::string_view value, double weight,
                           bool compare_null) {
  if (index < 0) return;
  FieldEntry& e = EntryForWrite(index);
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
  entries_[static_cast<size_t>(index)].compare_value.assign(value);
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
    if (!similarity.Add(entries_[static_cast<size_t>(i)])) return 0.0;
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

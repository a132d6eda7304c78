// The field list and the weighted, field-by-field similarity of two records.
//
// Each entry pairs a field's text in a first record with its text in a
// second one, and carries a weight and a CompareNull flag. Fields of weight
// above 1.0 are keys that must match exactly; the others are compared with
// the gestalt similarity and weighted. The host fills the list by field name
// (the List... methods); the batch methods fill it by column index
// (SetFieldAt, SetCompareAt) and compare with RecordDifference. Entries are
// kept and overwritten in place, so comparing one pair after another
// allocates nothing once the strings have grown to size.
//
// A batch method that compares one record with many others and needs only
// the verdict "similarity >= threshold" can use the view path instead:
// SetCompareViewAt keeps a view of the other record's text rather than a
// copy, RecordReaches gives the verdict, skipping the gestalt comparisons
// that cheap bounds show cannot change it, and CommitCompareViews turns the
// views into stored compare values before the viewed texts go away.

#ifndef VEXLOR_RECORDS_FIELD_COLL_H_
#define VEXLOR_RECORDS_FIELD_COLL_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vexlor/export.h"
#include "vexlor/platform/column_limits.h"

namespace vexlor {

struct FieldEntry {
  std::string name;           // Empty for entries set by column index.
  std::string value;          // The text in the first record.
  std::string compare_value;  // The text in the second record.
  double weight = 0.0;        // Above 1.0: key field; else fuzzy, scaled.
  bool compare_null = false;  // Compare fuzzy fields even with empty texts.
};

class VEXLOR_EXPORT FieldColl {
 public:
  // Empties the list for a new record pair: count becomes 0. The entries and
  // their string buffers are kept for reuse. O(1).
  void ListCompareInit();

  // Appends an entry at index count and increments count. The value is
  // stored as its upper-case comparison key (NormalizeText) when `weight` is
  // 1.0 or less, unchanged when above; the compare value becomes empty.
  // Names need not be unique.
  void ListAddField(std::string_view name, std::string_view value,
                    double weight, bool compare_null);

  // Sets the compare value of the first entry among 0..count-1 whose name
  // equals `name` (exact bytes), normalised like its value; does nothing when
  // there is no such entry.
  void ListSetCompare(std::string_view name, std::string_view value);

  // Returns the similarity in percent of the two records over the entries
  // 0..count-1 (see RecordDifference for the rule).
  double ListCalcDiff() const;

  // Sets entry `index` to: no name, `value` as given (callers normalise),
  // empty compare value, the weight and flag; then count becomes the larger
  // of count and `index`. A negative index is ignored.
  void SetFieldAt(int index, std::string_view value, double weight,
                  bool compare_null);

  // Sets the compare value of entry `index` to `value` as given. Ignored for
  // an index above count, a negative one, or one never set.
  void SetCompareAt(int index, std::string_view value);

  // As SetCompareAt, but keeps only a view of `value`: its bytes must stay
  // unchanged until the entry gets another compare value or
  // CommitCompareViews runs. Every comparison sees the view at once;
  // entry() shows it only after CommitCompareViews. O(1), except that the
  // entry's compare value first grows to hold `value` if it is the longest
  // so far (which can throw std::bad_alloc), so that committing never
  // allocates.
  void SetCompareViewAt(int index, std::string_view value);

  // Stores every pending view as the entry's compare value, the state that
  // SetCompareAt calls would have left. Cost: the copy of those texts.
  void CommitCompareViews() noexcept;

  // Returns RecordDifference(max_column, dupe_search) >= threshold, exactly,
  // without computing more than the verdict needs. Upper and lower bounds
  // of the weighted sum, accumulated in the same order and precision as the
  // exact sum, come from the lengths of the texts and from the length of
  // their longest common subsequence, which no gestalt match count exceeds;
  // gestalt comparisons replace bounds, widest gap first, only until the
  // verdict is settled. Weights that are not finite, or a total weight that
  // is not positive, take the exact sum. Cost: per counted fuzzy field, one
  // bit-parallel pass over the other record's text for the subsequence
  // bound (none when the entry's value is longer than 64 bytes: the shorter
  // length bounds it then) and at most one gestalt similarity;
  // the first call after an entry's value changes prepares that value.
  // Allocates only while the list grows to a new size.
  bool RecordReaches(int max_column, const bool* dupe_search, double threshold);

  // Returns the similarity in percent of the two records over the columns
  // 0..max_column whose flag in `dupe_search` (one per column, kMaxColumns
  // of them) is set; columns above count, or above kMaxColumns - 1, are
  // skipped, as is everything when `dupe_search` is null.
  //
  // In index order: a key field (weight > 1.0) whose texts differ as bytes
  // ends the comparison with 0.0; a matching one counts as a fuzzy field of
  // weight 0.5 scoring 100. A fuzzy field counts when CompareNull is set or
  // both texts are non-empty, contributing GestaltSimilarity(value,
  // compare value) times its weight to the sum and its weight to the total
  // weight; otherwise it is left out. Result: 0.0 when nothing counted, else
  // sum / total weight, which is NaN when counted weights add up to 0.
  //
  // Cost: one gestalt similarity per counted fuzzy field; no allocation.
  double RecordDifference(int max_column, const bool* dupe_search) const;

  // With ListAddField: the number of entries in use. With SetFieldAt: the
  // highest index set.
  int count() const { return count_; }

  // Returns entry `index`, or null if it has never existed.
  const FieldEntry* entry(int index) const;

  // The second record's text of entry `index` as a comparison sees it: a
  // pending view included. Empty for an entry that has never existed. O(1).
  std::string_view CompareTextAt(int index) const {
    if (index < 0 || index >= static_cast<int>(entries_.size())) return {};
    return CompareText(static_cast<size_t>(index));
  }

 private:
  // What RecordReaches keeps of an entry's value between calls: the match
  // words of a value of at most 64 bytes, for the subsequence bound.
  struct Prepared {
    bool ready = false;
    bool has_words = false;
    std::string bytes;                // the value the words were made from
    std::array<uint64_t, 256> words;  // zero except at the bytes of `bytes`
  };
  // One counted field of the pair being decided.
  struct Counted {
    int index;
    bool key;
    bool exact;
    double weight;
    double low;
    double high;
  };

  // Entry `index`, growing the list in steps of 50 entries as needed.
  FieldEntry& EntryForWrite(int index);
  // The other record's text of entry `index`: the pending view, if any.
  std::string_view CompareText(size_t index) const {
    return index < pending_.size() && pending_[index] == kPending
               ? views_[index]
               : std::string_view(entries_[index].compare_value);
  }
  // Forgets the pending view of entry `index`.
  void Unview(int index);
  // Forgets the pending view of entry `index` and what was prepared.
  void Touch(int index);
  // Upper bound of the gestalt match count of entry `index` against `other`.
  int64_t MatchBound(int index, std::string_view other);
  // The weighted sum as RecordDifference forms it, with each fuzzy field at
  // its low or high bound.
  double Fold(bool upper) const;

  std::vector<FieldEntry> entries_;
  int count_ = 0;

  // Per entry: no view and not in pending_list_, a view in force, or no
  // view but still listed.
  static constexpr uint8_t kNotListed = 0;
  static constexpr uint8_t kPending = 1;
  static constexpr uint8_t kListed = 2;
  std::vector<std::string_view> views_;
  std::vector<uint8_t> pending_;
  std::vector<int> pending_list_;  // each entry at most once
  std::vector<Prepared> prepared_;
  std::vector<Counted> counted_;
};

}  // namespace vexlor

#endif  // VEXLOR_RECORDS_FIELD_COLL_H_

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

#ifndef VEXLOR_RECORDS_FIELD_COLL_H_
#define VEXLOR_RECORDS_FIELD_COLL_H_

#include <string>
#include <string_view>
#include <vector>

namespace vexlor {

struct FieldEntry {
  std::string name;           // Empty for entries set by column index.
  std::string value;          // The text in the first record.
  std::string compare_value;  // The text in the second record.
  double weight = 0.0;        // Above 1.0: key field; else fuzzy, scaled.
  bool compare_null = false;  // Compare fuzzy fields even with empty texts.
};

class FieldColl {
 public:
  // Column indexes that have per-column options.
  static constexpr int kMaxColumns = 400;

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

 private:
  // Entry `index`, growing the list in steps of 50 entries as needed.
  FieldEntry& EntryForWrite(int index);

  std::vector<FieldEntry> entries_;
  int count_ = 0;
};

}  // namespace vexlor

#endif  // VEXLOR_RECORDS_FIELD_COLL_H_

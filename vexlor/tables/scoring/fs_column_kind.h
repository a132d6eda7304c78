// What a fuzzy column of the Fellegi–Sunter model holds, read from its
// values, and the comparison levels that suit it.
//
// Names and free text are compared by their gestalt similarity (the levels
// of fs_model.h). Codes (postcodes, ids, phone numbers: short, with digits)
// have no "similar" beyond one slip of the keyboard: equal, one edit (one
// byte changed, added, dropped, or two neighbours exchanged), unequal.
// Numbers (house numbers) and dates are equal, near (one edit, or for a
// number a difference of at most a tenth, for a date its day and month
// exchanged) or unequal. Their "one edit" and "near" sit in the level slot
// of >=92, "unequal" in that of lower.
#ifndef VEXLOR_TABLES_SCORING_FS_COLUMN_KIND_H_
#define VEXLOR_TABLES_SCORING_FS_COLUMN_KIND_H_

#include <cstdint>
#include <string_view>

namespace vexlor {

enum class FsKind : uint8_t { kText, kCode, kNumber, kDate };

// The name in the model file: "gestalt", "code", "number", "date".
const char* FsKindName(FsKind kind);
// The kind of a model file's name; false for none.
bool FsKindOfName(std::string_view name, FsKind* kind);

// Counts the non-empty values of a column and tells its kind: the kind that
// nine in ten of them have (dates before numbers before codes), else text.
class FsKindVote {
 public:
  void Add(std::string_view value);
  FsKind Kind() const;

 private:
  uint64_t values_ = 0;
  uint64_t dates_ = 0;
  uint64_t numbers_ = 0;
  uint64_t codes_ = 0;
  // Numbers of one width are codes (postcodes, ids), of many widths
  // numbers (house numbers): the count of the commonest width decides.
  uint64_t width_counts_[16] = {};
};

// Whether a and b differ by one byte changed, added or dropped, or by two
// neighbouring bytes exchanged.
bool OneEditApart(std::string_view a, std::string_view b);

// Whether two unequal, non-empty values of a number or date column are
// near (header comment).
bool NearNumbers(std::string_view a, std::string_view b);
bool NearDates(std::string_view a, std::string_view b);

}  // namespace vexlor

#endif  // VEXLOR_TABLES_SCORING_FS_COLUMN_KIND_H_

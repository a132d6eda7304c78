// The column limit of tables, shared by the batch methods, the field list
// and the delimited-text export.
//
// Per-column options (Cluster, DupeSearch, CompareNull, Weight) exist for
// kMaxColumns columns, indexes 0 to kMaxColumns - 1, and the methods that
// read them index, compare and copy no later column. The methods that read
// no options (the copy of ExactMatchByColumn, the CSV export) stop one
// index later, at kLastCopiedColumn, and so handle one column more.
#ifndef VEXLOR_PLATFORM_COLUMN_LIMITS_H_
#define VEXLOR_PLATFORM_COLUMN_LIMITS_H_

namespace vexlor {

// How many columns have options: a count, not an index.
inline constexpr int kMaxColumns = 400;

// The highest 0-based column index that the option-free copies write; an
// index, so kLastCopiedColumn + 1 columns at most.
inline constexpr int kLastCopiedColumn = kMaxColumns;

}  // namespace vexlor

#endif  // VEXLOR_PLATFORM_COLUMN_LIMITS_H_

// Deleting marked duplicates: of every group of rows that share a label in
// one column (the FID column, such as the label column that the duplicate
// search appends), keep the first or the last row and drop the others.
//
// Two linear passes. Indexing files every row under its group key, the
// Windows-1252 text of its FID cell, unchanged (case-sensitive, no
// trimming); only non-empty string cells have a key. Deciding takes the
// rows in order, keeps or deletes each, logs the deleted ones and copies
// the rows the caller asked for. A row's fate is settled from the index
// before that pass, so cells changed by host code during a report do not
// move a row into another group. A row without a key belongs to no group
// and goes neither to the result nor to the log.
#ifndef VEXLOR_TABLES_METHODS_DELETE_DUPES_H_
#define VEXLOR_TABLES_METHODS_DELETE_DUPES_H_

#include <cstdint>
#include <string_view>

#include "vexlor/output/csv_format.h"
#include "vexlor/tables/batch_context.h"
#include "vexlor/variant.h"
#include "vexlor/variant_array.h"

namespace vexlor {

// Returns the FID column that automatic detection picks: the rightmost
// column whose cell in the first row is a string of exactly 38 characters
// that begins with '{' and ends with '}' (the form of the group labels), or
// -1 when there is none (also for a table without rows). O(columns).
int64_t FindFidColumn(const platform::VariantArray& table);

// Returns, with `ReturnResults` 0 (DER_CLEAN), the rows kept; with 1
// (DER_DELETED), the rows deleted; in row order either way, with any other
// value nothing. A group of one row keeps it; in a larger group
// `DeleteOrder` 0 (DO_KEEP_FIRST) keeps the row with the lowest index, 1
// (DO_KEEP_LAST) the one with the highest, and any other value keeps every
// row. The result has L + 1 columns, L being `MaxColumnIndex` when it is 0
// or more, else the table's last column; columns beyond the table are
// Empty. `FIDColumnIndex` below 0 asks for FindFidColumn. A column beyond
// the table gives no row a key (so the result is Empty); no cell outside
// the table is ever read. Results keep the input's lower bounds.
//
// When `LogFilenameDeleted` is not empty (UTF-8 file-system bytes on
// Linux), the log is created (an existing file is replaced) before any row
// is taken, starts with a header line over columns 0 to L when the CSV
// settings ask for one (names from the column options), and gets the line
// of every deleted row, whatever ReturnResults is, with the context's
// delimiter and quoting, in `log_encoding`. A log that cannot be created
// is silently not written.
//
// Returns Empty, without error, for an argument that is not a table (no
// log is created), and when no FID column is found (the log holds the
// header alone). Clears the error state and the cancellation flag first.
// Out of memory sets the error state and returns Empty, except while rows
// are decided: then, as after cancellation, the rows copied so far are
// returned (Empty when none was).
//
// Progress: a wait window titled "Delete Duplicates" (or events), one stage
// (status 209, Progress events) reported every 100 rows, no closing
// report; cancellation is tested after every row, with or without key.
//
// Cost: one index insertion per row with a key (linear in the key length)
// and one walk over the groups, which settles every row's fate; the
// decision pass then makes no lookup, so a duplicate costs O(1), not a scan
// of its group. Memory: the index (freed before the decision pass), one
// byte per row, and the result table, allocated at full size first (L + 1
// columns, all rows) and cut to the rows copied at the end.
platform::Variant DeleteDupes(
    BatchContext& ctx, const platform::Variant& varArray,
    int32_t FIDColumnIndex, int32_t MaxColumnIndex, int16_t DeleteOrder,
    int16_t ReturnResults, bool ShowProgress,
    std::u16string_view LogFilenameDeleted,
    TextEncoding log_encoding = TextEncoding::kWindows1252);

}  // namespace vexlor

#endif  // VEXLOR_TABLES_METHODS_DELETE_DUPES_H_

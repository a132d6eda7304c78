// Exact match by column: which rows of a master table have their key, the
// text of one column, in the same column of a second table.
//
// Two linear passes. Indexing files every master row under its key (the
// cell's comparison text, cell_text.h: no trimming, no case folding, so the
// number 12 and the text "12" share a key); matching looks up the key of
// every row of the second table and marks the first master row filed under
// it. The result is a copy of the master rows selected by the caller. A key
// is never empty: cells without text (Empty, dates, currency, ...) and
// empty texts (Null, "") neither index nor match anything.
#ifndef VEXLOR_TABLES_METHODS_EXACT_MATCH_H_
#define VEXLOR_TABLES_METHODS_EXACT_MATCH_H_

#include <cstdint>

#include "vexlor/tables/batch_context.h"
#include "vexlor/variant.h"

namespace vexlor {

// Returns the master rows (`varArray`) selected by `ReturnResults`: 0
// (MAR_ALL) all of them, 1 (MAR_POSITIVE) those marked, 2 (MAR_NEGATIVE)
// those not marked, in ascending row order. A master row is marked when a
// row of `varMatch` has its key in column `MatchColumnIndex` and it is the
// lowest master row with that key (later master rows with the same key
// stay unmarked). The result has the master's column count and lower
// bounds; columns 0 to 400 hold the copied cells, later columns are Empty.
// Returns Empty when no row is selected (also for any other ReturnResults
// value), when either argument is not a table (table_model.h), and when
// cancelled (the flag stays set). A MatchColumnIndex outside a table's
// columns gives every row of that table an empty key, and no cell outside
// the table is read.
//
// Clears the error state and the cancellation flag first. Out of memory
// sets the error state and returns Empty.
//
// Progress: a search window titled "Fuzzy Match" (or events): stage 1
// (status 201, Progress) every 100 master rows, stage 2 (status 213,
// ProgressDupeSearch with record number and matches) every 10 match rows,
// and a closing report (status 203) with percent 100; cancellation is
// tested after every row.
//
// Cost: one hash index insertion per master row and one lookup per match
// row, each linear in the key length; no allocation per row beyond the
// index's growth. Memory: the index, one byte per master row, the result.
platform::Variant ExactMatchByColumn(BatchContext& ctx,
                                     const platform::Variant& varArray,
                                     const platform::Variant& varMatch,
                                     int32_t MatchColumnIndex,
                                     int16_t ReturnResults, bool ShowProgress);

}  // namespace vexlor

#endif  // VEXLOR_TABLES_METHODS_EXACT_MATCH_H_

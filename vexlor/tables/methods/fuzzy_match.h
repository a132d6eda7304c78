// The fuzzy match of a second table against a master table: every master
// record is marked with the first record of the second table (the match
// table) that resembles it closely enough.
//
// Two stages (match_stages.h). Indexing puts the master's Cluster and
// DupeSearch columns into comparison form (comparison_texts.h) and files
// the trigrams of its cluster texts. Matching takes the match records in
// order; a record is compared (weighted record similarity over the
// DupeSearch columns both tables have) only with the master rows that share
// at least trunc(L x ClusterThreshold) trigram occurrences with its cluster
// text of L bytes (every row when that is 0 or less, none when L is 0 or
// the need exceeds 255). A master row whose similarity reaches Threshold is
// marked with the match record's row number plus one, unless an earlier
// match record marked it already. Both sides are compared in the same form:
// strings of columns of Weight 1.0 or less normalised, every other cell
// through its cell text.
//
// The options (match_options.h; the control reads them from its Options text):
// Match=Best keeps, for each master row, the match record of the highest
// similarity among those that reach Threshold (the earliest of equals) instead
// of the first; Swap compares the texts of two columns exchanged as well;
// Scores adds a column "Similarity" after Match with the similarity of the kept
// record (Empty for none), and gives the column after Match the options of a
// result column of that name.
//
// Lasting effects on the control: the IDColumnIndex column (0 to 399) loses
// Cluster and DupeSearch; the column after the master's last one gets the
// options of a result column named "Match" (no cluster, no comparison,
// Weight 0) when its index is 399 or less; a DupeSearch column in which a
// compared cell has no text (an Empty cell, say; Null is the empty text)
// loses DupeSearch; the field list holds the last compared pair.
#ifndef VEXLOR_TABLES_METHODS_FUZZY_MATCH_H_
#define VEXLOR_TABLES_METHODS_FUZZY_MATCH_H_

#include <cstdint>
#include <string_view>

#include "vexlor/match_options.h"
#include "vexlor/output/csv_format.h"
#include "vexlor/tables/batch_context.h"
#include "vexlor/tables/candidates/candidate_scan.h"
#include "vexlor/variant.h"

namespace vexlor {

// Returns the master table (`varArray`) with one more column, "Match": a
// 32-bit integer, 0 for a master row that no record of `varMatch` matched,
// else the 0-based row number plus one of the first match record that did.
// `ReturnResults` 0 (MAR_ALL) returns every master row, 1 (MAR_POSITIVE)
// the marked ones, 2 (MAR_NEGATIVE) the others, in master order; Empty
// when none is selected, and for any other value after the full run with
// its logs. Every pair that reaches Threshold goes to the options' pair
// observer, if any. The master cells are copied unchanged; columns beyond
// index 399 stay Empty. Results keep the master's lower bounds; both tables
// are read by 0-based offsets whatever their bounds, and may differ in
// width (the columns both have are compared) and length.
//
// Logs: when `LogFilenamePositive` / `LogFilenameNegative` are not empty
// (UTF-8 file-system bytes), each is created anew before the first record,
// starts with a header line over the match table's columns 0 to 399 at most
// (names from the column options, "Column<n>" where there is none) when the
// CSV settings ask for one, and gets the line of every match record that
// matched at least one master record (positive) or none (negative), in
// `log_encoding`. A log that cannot be created is silently not written; the
// logs keep what was written also after cancellation or a failure.
//
// Clears the error state and the cancellation flag first. Returns Empty,
// without error, when either argument is not a table (table_model.h), and
// Empty when cancelled (the flag stays set). Out of memory sets the error
// state and returns a VT_ARRAY|VT_VARIANT holding no array when the
// result cannot be created, Empty otherwise.
//
// Progress: a search window titled "Fuzzy Match" (or events): stage 1
// (status 201, Progress) every 100 master rows, stage 2 (status 213,
// ProgressDupeSearch with candidates of the record, their maximum and
// average, record number and count, matched records, matched pairs) every
// 10 match records with percent (s + 1) x 100 / (match rows - 1), and a
// closing report (status 203, percent 100); cancellation is tested after
// every record.
//
// Cost: one trigram count per cluster text of a match record plus one
// record comparison per candidate; a record without cluster text costs no
// pass over the counters, and with a need of at least one hit only the
// master rows hit are visited. No allocation per candidate pair. Memory:
// the compared texts once with eight bytes per compared cell, the trigram
// index, and one byte and four bytes per master row.
platform::Variant FuzzyMatch(
    BatchContext& ctx, const platform::Variant& varArray,
    const platform::Variant& varMatch, int32_t IDColumnIndex, double Threshold,
    double ClusterThreshold, int16_t ReturnResults, bool ShowProgress,
    std::u16string_view LogFilenamePositive,
    std::u16string_view LogFilenameNegative,
    TextEncoding log_encoding = TextEncoding::kWindows1252,
    CandidateScan scan = CandidateScan{},
    const MatchOptions& options = MatchOptions());

}  // namespace vexlor

#endif  // VEXLOR_TABLES_METHODS_FUZZY_MATCH_H_

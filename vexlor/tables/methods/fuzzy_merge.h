// The fuzzy merge of an import table into a master table: import records
// that resemble no record already present are merged, the others are
// rejected (or, in two modes, merged and grouped with what they resemble).
//
// The stages of the fuzzy match (fuzzy_match.h, match_stages.h) on a
// working table with room for every master row followed by every import
// row. Indexing files the master rows, each with a new group identifier.
// Matching takes the import records in order; the candidates of a record
// are the master rows and the import records appended before it (each
// appended record is at once indexed, so it is a candidate for the records
// after it). A record that resembles nothing is appended with an identifier
// of its own; one that resembles a record is rejected, or, in MRR_ALL and
// MRR_DUPES, hands a new identifier to every record it resembles
// (overwriting theirs) and is appended with it. Groups are therefore not
// closed under chains of resemblance.
//
// Of the options (match_options.h; the control reads them from its Options
// text) the merge reads Swap: the texts of two columns are compared
// exchanged as well, and the better way counts.
//
// Lasting effects on the control: the IDColumnIndex column (0 to 399) loses
// Cluster and DupeSearch; the two columns after the master's last one get
// the options of result columns named "FuzzyDupesID" and "Source" (no
// cluster, no comparison, Weight 0) where their index is 399 or less; a
// DupeSearch column in which a compared cell has no text loses DupeSearch;
// the field list holds the last compared pair.
#ifndef VEXLOR_TABLES_METHODS_FUZZY_MERGE_H_
#define VEXLOR_TABLES_METHODS_FUZZY_MERGE_H_

#include <cstdint>
#include <string_view>

#include "vexlor/match_options.h"
#include "vexlor/output/csv_format.h"
#include "vexlor/tables/batch_context.h"
#include "vexlor/tables/candidates/candidate_scan.h"
#include "vexlor/variant.h"

namespace vexlor {

// Returns, by `ReturnResults`:
//  0 MRR_IMPORT: the import records that resembled nothing, in import
//    order, with only the columns both tables have (0 to min of the last
//    columns, at most 399); a table with no rows when every record was
//    rejected. Lower bounds of the import table.
//  1 MRR_ALL: every master record, then every import record.
//  2 MRR_DUPES: the records whose identifier two or more records share,
//    grouped by identifier in the walk order of an identifier index, in
//    row order within a group; Empty when no identifier is shared.
//  3 MRR_CLEANMERGED: every master record, then the import records that
//    resembled nothing.
// Modes 1 to 3 have the master's columns (the caller's cells; an import
// record's columns beyond the import table, and every column beyond index
// 399, Empty), then "FuzzyDupesID" (a 38-character GUID text) and "Source"
// (32-bit integer: 0 master, 1 import), and the master's lower bounds. Any
// other ReturnResults value returns Empty, without error, after the full
// run with its logs (records are then grouped as in MRR_ALL but rejected
// ones are not merged). Both tables are read by 0-based offsets whatever
// their bounds. Every pair that reaches Threshold goes to the options'
// pair observer, if any.
//
// Logs: `LogFilenameImported` gets the import records that resembled
// nothing, `LogFilenameRejected` the others, in import order and in every
// mode, as the fuzzy match writes its logs (header line over the import
// table's columns, `log_encoding`, kept after cancellation or failure).
//
// Clears the error state and the cancellation flag first. Returns Empty,
// without error, when either argument is not a table, and Empty when
// cancelled (the flag stays set). Out of memory sets the error state and
// returns a VT_ARRAY|VT_VARIANT holding no array when the working table or
// a result table cannot be created; the rows copied so far when copying
// into the MRR_DUPES result stops; the groups of the rows entered so far
// when the identifier index fills up; Empty otherwise.
//
// Progress: a search window titled "Fuzzy Merge" with the found label
// "Rejected" (or events): stage 1 (status 201, Progress) every 100 master
// rows, stage 2 (status 205, ProgressDupeSearch with candidates of the
// record, their maximum and average, record number and count, rejected
// records, and in MRR_IMPORT / MRR_CLEANMERGED again the rejected records,
// else the identifiers handed out) every 10 import records, and a closing
// report (status 203, percent 100); cancellation is tested after every
// record.
//
// Cost: as the fuzzy match, with the appended records indexed too. No
// allocation per candidate pair. Memory: the working table of master plus
// import rows (holding the identifiers until the caller's cells are put
// in), the compared texts once with eight bytes per compared cell, the
// trigram index, one byte per working row of hit counters.
platform::Variant FuzzyMerge(
    BatchContext& ctx, const platform::Variant& varArray,
    const platform::Variant& varImport, int32_t IDColumnIndex, double Threshold,
    double ClusterThreshold, int16_t ReturnResults, bool ShowProgress,
    std::u16string_view LogFilenameImported,
    std::u16string_view LogFilenameRejected,
    TextEncoding log_encoding = TextEncoding::kWindows1252,
    CandidateScan scan = CandidateScan{},
    const MatchOptions& options = MatchOptions());

}  // namespace vexlor

#endif  // VEXLOR_TABLES_METHODS_FUZZY_MERGE_H_

// The fuzzy duplicate search: labels every record of a table with the
// identifier of its group of similar records.
//
// Three stages on a working copy of the table. Preparation copies the
// Cluster and DupeSearch columns, normalising the texts of columns of Weight
// 1.0 or less, and files the trigrams of the Cluster columns in an index.
// Search takes the records in order; a record is compared (weighted record
// similarity over the DupeSearch columns) only with the rows that share at
// least trunc(L x ClusterThreshold) trigram occurrences with its cluster
// text of L bytes (every row when that is 0 or less, none when L is 0); a
// candidate at a similarity of at least Threshold receives the record's
// label, or hands its own label to the record when it already has a
// different one. Labels follow the scan order and are not merged
// afterwards. Restoration copies the caller's cells back over the
// normalised texts.
//
// The options (match_options.h; the control reads them from its Options text)
// can choose another grouping. Center: a record that already has a label
// searches nothing (its depth is 0); one without opens a group and gives its
// label to every match without one. Clique: every record searches; one without
// a label opens a group, and a match without one joins the record's group only
// if it also reaches MemberThreshold (default Threshold) with every other
// member, in the order they joined, each loaded as the first record and the
// match as the compared one; a labelled match is left alone. In both,
// DupesFound counts the records that gained a member and DupesFound2 the
// members gained. Swap compares the texts of two columns exchanged as well;
// Scores adds a column after the labels with the similarity of the comparison
// that gave the record its label (Empty for a record that opened its group).
// Scoring=Estimated first fits a model to the table (fs_estimation.h), or
// takes the options' model, and compares its match probability, not the
// weighted mean, with Threshold and MemberThreshold.
//
// Lasting effects on the control: the IDColumnIndex column (0 to 399) loses
// its Cluster and DupeSearch options; a DupeSearch column in which a loaded
// record or a candidate has a cell without text loses DupeSearch; the field
// list holds the last compared pair.
#ifndef VEXLOR_TABLES_METHODS_DUPE_SEARCH_H_
#define VEXLOR_TABLES_METHODS_DUPE_SEARCH_H_

#include <cstdint>

#include "vexlor/match_options.h"
#include "vexlor/tables/batch_context.h"
#include "vexlor/tables/candidates/candidate_scan.h"
#include "vexlor/variant.h"

namespace vexlor {

// Returns, with `ReturnResults` 1 (DRR_ALL), the table with one more column
// holding each record's label (a 38-character GUID text); with any other
// value (DRR_DUPES 0), only the rows whose label is shared, grouped by
// label in the walk order of a label index (within a group in input
// order), or Empty when no label is shared. With Scores, one more column
// follows the labels: the similarity (VT_R8) or Empty. Every pair that
// reaches Threshold goes to the options' pair observer, if any. Columns beyond
// index 399 are left Empty in the result. Results keep the input's lower
// bounds.
//
// Clears the error state and the cancellation flag first. Returns Empty for
// an argument that is not a table (table_model.h) and when cancelled (the
// flag stays set). Out of memory sets the error state and returns: a
// VT_ARRAY|VT_VARIANT holding no array when the working table or the
// duplicates table cannot be created; Empty when it happens during the
// first two stages; the labelled table when it happens while the label
// index is built; the groups copied so far (or Empty) when the copying
// stops.
//
// Progress: stage 1 (status 201, Progress events) every 100 rows, stage 2
// (status 202, ProgressDupeSearch events with depth, maximum and average
// depth, record number, duplicates found) every 10 rows, and a closing
// report (status 203); cancellation is tested after every row.
//
// Cost: stage 2 is one trigram count per record plus one record comparison
// per candidate; a low ClusterThreshold approaches all pairs. Memory: the
// result table, the compared texts once with eight bytes per compared
// cell, the trigram index, one byte per row of hit counters, and one label
// per record.
platform::Variant DupeSearch(BatchContext& ctx,
                             const platform::Variant& varArray,
                             int32_t IDColumnIndex, double Threshold,
                             double ClusterThreshold, int16_t ReturnResults,
                             bool ShowProgress,
                             CandidateScan scan = CandidateScan{},
                             const MatchOptions& options = MatchOptions());

}  // namespace vexlor

#endif  // VEXLOR_TABLES_METHODS_DUPE_SEARCH_H_

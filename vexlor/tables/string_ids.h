// The ids of the string table: the titles and status lines of the progress
// windows that the batch methods name when they report, and the control's
// resources (and the Windows resource script) look up.
//
// The resource compiler reads this file too, so each id is a preprocessor
// definition first; C++ code uses the constants below.
#ifndef VEXLOR_TABLES_STRING_IDS_H_
#define VEXLOR_TABLES_STRING_IDS_H_

#define VEXLOR_IDS_COMPUTING_CLUSTERS 201
#define VEXLOR_IDS_SEARCHING_DUPLICATES 202
#define VEXLOR_IDS_CLEANING_UP 203
#define VEXLOR_IDS_FUZZY_MERGE 204
#define VEXLOR_IDS_MERGE_DATA 205
#define VEXLOR_IDS_REJECTED 206
#define VEXLOR_IDS_FOUND 207
#define VEXLOR_IDS_FUZZY_DUPLICATE_SEARCH 208
#define VEXLOR_IDS_DELETING_DUPLICATES 209
#define VEXLOR_IDS_DELETE_DUPLICATES 210
#define VEXLOR_IDS_INITIALIZING 211
#define VEXLOR_IDS_FUZZY_MATCH 212
#define VEXLOR_IDS_MATCH_DATA 213

#ifndef RC_INVOKED
namespace vexlor {

inline constexpr int kStrComputingClusters = VEXLOR_IDS_COMPUTING_CLUSTERS;
inline constexpr int kStrSearchingDuplicates = VEXLOR_IDS_SEARCHING_DUPLICATES;
inline constexpr int kStrCleaningUp = VEXLOR_IDS_CLEANING_UP;
inline constexpr int kStrFuzzyMerge = VEXLOR_IDS_FUZZY_MERGE;
inline constexpr int kStrMergeData = VEXLOR_IDS_MERGE_DATA;
inline constexpr int kStrRejected = VEXLOR_IDS_REJECTED;
inline constexpr int kStrFound = VEXLOR_IDS_FOUND;
inline constexpr int kStrFuzzyDuplicateSearch =
    VEXLOR_IDS_FUZZY_DUPLICATE_SEARCH;
inline constexpr int kStrDeletingDuplicates = VEXLOR_IDS_DELETING_DUPLICATES;
inline constexpr int kStrDeleteDuplicates = VEXLOR_IDS_DELETE_DUPLICATES;
inline constexpr int kStrInitializing = VEXLOR_IDS_INITIALIZING;
inline constexpr int kStrFuzzyMatch = VEXLOR_IDS_FUZZY_MATCH;
inline constexpr int kStrMatchData = VEXLOR_IDS_MATCH_DATA;

}  // namespace vexlor
#endif  // RC_INVOKED

#endif  // VEXLOR_TABLES_STRING_IDS_H_

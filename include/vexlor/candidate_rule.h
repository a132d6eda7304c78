// Which indexed rows a fuzzy batch method compares a record with.
//
// The exact rule compares every row that shares at least `need` trigram
// hits with the record (trigram.h, candidate_need.h). On names and
// addresses, drawn from small vocabularies, such rows grow with the table:
// a few per record at 10,000 rows, hundreds at a million, and the postings
// walked to find them grow alike, so the whole search grows with the square
// of the rows.
//
// The bounded rule keeps the need and takes at most `top` of those rows,
// found with work that does not grow with the table:
//  1. Every row, and the record, get the min-hash band keys of the set of
//     their trigrams (min_hash.h): kMinHashBands keys each.
//  2. The rows met are those that share the record's key in some band
//     where at most `bucket` rows (the record's own row included, if filed)
//     have that key; the record's own row is not met.
//  3. The `shortlist` rows met in the most such bands (equal: the lower
//     row first) get their whole count (the trigram rule's, stopping at
//     255); of those whose count reaches `need`, the `top` rows with the
//     highest count (equal counts: the lower row first) are the
//     candidates, in ascending order.
// A true duplicate shares most of a record's trigrams, so it shares a band
// key with high probability; rows that share only common fragments (a
// frequent surname, a large town) seldom do, and a key that very many rows
// share (a common name in a common town) says nothing and is skipped. So a
// record meets at most kMinHashBands x `bucket` rows and counts at most
// `shortlist` of them, whatever the table.
// Trigram lists are not walked at all: the counts come from the filed texts.
//
// Plain values, read by MatchOptions: no ownership, no errors, any thread.
#ifndef VEXLOR_CANDIDATE_RULE_H_
#define VEXLOR_CANDIDATE_RULE_H_

#include <cstdint>

namespace vexlor {

enum class CandidateRule { kExact, kBounded };

struct BoundedLimits {
  uint32_t top;
  uint32_t bucket;
  uint32_t shortlist;
};

// Chosen from the recall of true pairs on the sample customer tables at
// 100,000 and 1,000,000 rows (bench/README.md): a record has one or two
// true duplicates, and they rank among its first few rows.
inline constexpr BoundedLimits kBoundedLimits = {16, 200, 128};

}  // namespace vexlor

#endif  // VEXLOR_CANDIDATE_RULE_H_

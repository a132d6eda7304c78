#include "vexlor/tables/distributed/block_pair_finder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "tests/tables/distributed/replay.h"
#include "tests/tables/fuzzy_test_support.h"
#include "vexlor/tables/distributed/block_words.h"
#include "vexlor/tables/distributed/pair_ranges.h"
#include "vexlor/tables/methods/dupe_search.h"
#include "vexlor/variant.h"
#include "vexlor/variant_array.h"

namespace vexlor {
namespace {

using platform::Variant;
using platform::VariantArray;
using testing::ReplayDupeSearch;
using testing::SeededContext;

// Rows begin to end - 1 of `table`.
Variant Slice(const Variant& table, uint32_t begin, uint32_t end) {
  const VariantArray& a = *table.AsArray();
  Variant part = VariantArray::NewTable(a.columns(), end - begin);
  for (uint32_t r = begin; r < end; ++r) {
    for (uint32_t c = 0; c < a.columns(); ++c) {
      part.AsArray()->cell(c, r - begin) = a.cell(c, r);
    }
  }
  return part;
}

// Names and towns from small pools with typos: many rows share band keys,
// so that keys go over the bucket in the whole table but not in a block,
// and shortlists are cut. Now and then a cell without text or a non-ASCII
// letter.
Variant RandomTable(std::mt19937& gen, uint32_t rows) {
  static const char* const kWords[] = {
      "Meier",        "Meyer",       "Mayer",
      "Schmidt",      "Schmitt",     "Anna",
      "Anne",         "Hans-Peter",  "Hans Peter",
      "Berlin",       "Belin",       "M\xfcller",
      "Main St 1",    "Hauptstr. 5", "Ulm",
      "Anna-Lena K.", "Ida",         "Ludwigshafen am Rhein"};
  auto pick = [&](size_t n) { return static_cast<size_t>(gen() % n); };
  Variant table = VariantArray::NewTable(3, rows);
  for (uint32_t r = 0; r < rows; ++r) {
    table.AsArray()->cell(0, r) = Variant::I4(static_cast<int32_t>(r));
    for (uint32_t c = 1; c < 3; ++c) {
      std::string w = kWords[pick(std::size(kWords))];
      if (pick(2) == 0) w += kWords[pick(std::size(kWords))];
      if (pick(3) == 0) w[pick(w.size())] = static_cast<char>('a' + pick(26));
      Variant cell = testing::S(w);
      if (pick(200) == 0) cell = Variant::Null();
      table.AsArray()->cell(c, r) = cell;
    }
  }
  return table;
}

// The found words of the table split into `blocks` blocks, the records
// streamed in ranges of `range` rows, as a cluster finds them.
std::vector<uint32_t> SplitWords(const ColumnOptions& columns,
                                 const Variant& table, uint32_t blocks,
                                 uint32_t range, double threshold,
                                 double cluster_threshold,
                                 const MatchOptions& options) {
  const uint32_t rows = table.AsArray()->rows();
  std::vector<std::unique_ptr<BlockPairFinder>> finders;
  for (uint32_t k = 0; k < blocks; ++k) {
    const uint32_t begin = rows * k / blocks, end = rows * (k + 1) / blocks;
    finders.push_back(std::make_unique<BlockPairFinder>(
        columns, Slice(table, begin, end), begin, 0, threshold,
        cluster_threshold, options));
  }
  std::vector<uint64_t> common, keys;
  for (auto& f : finders) {
    f->CommonKeys(blocks, &keys);
    common.insert(common.end(), keys.begin(), keys.end());
  }
  std::sort(common.begin(), common.end());
  common.erase(std::unique(common.begin(), common.end()), common.end());
  std::vector<std::vector<uint32_t>> counts(blocks);
  for (uint32_t k = 0; k < blocks; ++k) finders[k]->KeyRows(common, &counts[k]);
  const std::vector<uint64_t> over = KeysOverBucket(common, counts);
  for (auto& f : finders) f->SkipKeys(over);
  std::vector<uint32_t> found;
  for (uint32_t at = 0; at < rows; at += range) {
    const uint32_t end = std::min(rows, at + range);
    const Variant records = Slice(table, at, end);
    std::vector<std::vector<uint32_t>> shortlists(blocks), words(blocks);
    std::vector<std::span<const uint32_t>> spans;
    for (uint32_t k = 0; k < blocks; ++k) {
      finders[k]->Shortlist(records, at, &shortlists[k]);
      spans.push_back(shortlists[k]);
    }
    std::vector<std::vector<uint32_t>> cuts;
    BlockCuts(spans, end - at, &cuts);
    spans.clear();
    for (uint32_t k = 0; k < blocks; ++k) {
      finders[k]->Find(records, at, cuts[k], &words[k]);
      spans.push_back(words[k]);
    }
    MergeBlockWords(spans, end - at, &found);
  }
  return found;
}

// Split over any number of blocks, the found words are those of one
// machine's finder under the bounded rule, and the labels made from them
// are DupeSearch's.
TEST(BlockPairFinderTest, SplitTableFindsWhatOneMachineFinds) {
  std::mt19937 gen(29);
  const MatchOptions options = ParseMatchOptions(
      u"Candidates=Bounded;Grouping=Clique", OptionsReader::kDupeSearch);
  const uint32_t kRows[] = {40, 700, 1500};
  const double kThresholds[][2] = {{80, 0.5}, {60, 0.3}, {90, 0.8}};
  int compared = 0;
  for (uint32_t rows : kRows) {
    for (const auto& t : kThresholds) {
      const Variant table = RandomTable(gen, rows);
      ColumnOptions columns;
      for (int c = 0; c < 3; ++c) columns.Set(c, true, true, 1.0, false, u"");
      DupePairFinder one(columns, table, 0, t[0], t[1], options);
      std::vector<uint32_t> expected;
      one.Find(0, rows, &expected);
      for (uint32_t blocks : {1u, 2u, 3u, 7u}) {
        SCOPED_TRACE(std::to_string(rows) + " rows, " + std::to_string(blocks) +
                     " blocks, threshold " + std::to_string(t[0]));
        const std::vector<uint32_t> found =
            SplitWords(columns, table, blocks, 97, t[0], t[1], options);
        ASSERT_EQ(found, expected);
        ++compared;
      }
      SeededContext alone(3), replayed(3);
      alone.column_options = replayed.column_options = columns;
      const Variant labels = DupeSearch(alone, table, 0, t[0], t[1], 1, false,
                                        CandidateScan{}, options);
      std::vector<uint32_t> words =
          SplitWords(columns, table, 3, 250, t[0], t[1], options);
      FoundPairs pairs{words};
      const Variant replay = ReplayDupeSearch(replayed, table, 0, t[0], t[1], 1,
                                              false, options, pairs);
      ASSERT_FALSE(pairs.missed);
      EXPECT_TRUE(testing::SameTable(replay, labels));
    }
  }
  EXPECT_EQ(compared, 36);
}

// Words cut short or out of form are refused, never read past.
TEST(BlockPairFinderTest, MalformedBlockWordsAreRefused) {
  const std::vector<std::vector<uint32_t>> bad = {
      {},                                          // a record missing
      {BlockHead(kBlockListed, 1, 0)},             // cut short
      {BlockHead(3, 0, 0)},                        // no such kind
      {BlockHead(kBlockListed, 1, 0), 99u << 16},  // too many bands
      {BlockHead(kBlockNone, 0, 0), 7},            // words left over
      {BlockHead(kBlockListed, 0, 1), 5},          // an entry cut short
  };
  for (const std::vector<uint32_t>& words : bad) {
    std::vector<std::span<const uint32_t>> blocks{words};
    std::vector<uint32_t> found;
    std::vector<std::vector<uint32_t>> cuts;
    EXPECT_THROW(MergeBlockWords(blocks, 1, &found), std::invalid_argument);
    EXPECT_THROW(BlockCuts(blocks, 1, &cuts), std::invalid_argument);
  }
}

}  // namespace
}  // namespace vexlor

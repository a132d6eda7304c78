#include "vexlor/tables/candidates/candidate_generator.h"

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/reference/bounded_candidates_reference.h"
#include "tests/reference/trigram_counting.h"
#include "vexlor/tables/candidates/ll_hash.h"
#include "vexlor/tables/candidates/trigram.h"

namespace vexlor {
namespace {

using Record = std::vector<std::string>;  // its cluster texts

// Random tables in which trigrams repeat: a small alphabet, shared words,
// runs of one letter (counters beyond 255), empty and over-long texts.
class TableMaker {
 public:
  // `letters` from A on: few give dense lists, many sparse ones.
  explicit TableMaker(uint32_t seed, int letters = 5)
      : rng_(seed), letters_(letters) {
    const int words = letters <= 5 ? 12 : 600;
    for (int i = 0; i < words; ++i) words_.push_back(Letters(3 + rng_() % 6));
  }

  Record MakeRecord() {
    Record record;
    const int texts = 1 + static_cast<int>(rng_() % 3);
    for (int t = 0; t < texts; ++t) {
      std::string text;
      switch (rng_() % 24) {
        case 0:
        case 1:
          break;  // an empty text
        case 2:
          // Saturates counters; beyond 255 bytes only the start counts.
          text.assign(rng_() % 2 == 0 ? 30 : 250 + rng_() % 20, 'A');
          break;
        default:
          for (int w = 1 + static_cast<int>(rng_() % 3); w > 0; --w) {
            if (!text.empty()) text += ' ';
            text += rng_() % 3 == 0 ? Letters(2 + rng_() % 5)
                                    : words_[rng_() % words_.size()];
          }
      }
      record.push_back(text);
    }
    return record;
  }

 private:
  std::string Letters(size_t n) {
    std::string s(n, 'A');
    for (char& c : s) c = static_cast<char>('A' + rng_() % letters_);
    return s;
  }

  std::mt19937 rng_;
  int letters_;
  std::vector<std::string> words_;
};

// The straightforward generator: every posting of every query trigram
// walked, with the hit list.
class Straightforward {
 public:
  explicit Straightforward(uint32_t rows) : hits_(rows) {}
  void File(const Record& record, uint32_t row) {
    for (const std::string& t : record) reference::AddTrigrams(t, row, index_);
  }
  // Candidates and their counters for `need` >= 1.
  void Query(const Record& record, uint32_t self, int64_t need,
             std::vector<uint32_t>* rows, std::vector<uint8_t>* counts) {
    for (const std::string& t : record) hits_.Count(t, self, index_);
    counts->clear();
    for (uint32_t p = 0; p < hits_.size(); ++p) {
      if (hits_[p] >= need) counts->push_back(hits_[p]);
    }
    *rows = hits_.Take(need);
  }

 private:
  LLHash index_;
  reference::TrigramHitCounters hits_;
};

int64_t KeyLength(const Record& record) {
  int64_t length = 0;
  for (const std::string& t : record) length += static_cast<int64_t>(t.size());
  return length;
}

// Compares both generators for every record of a table and every cluster
// threshold, with and without counters, and for records outside the table.
void CompareOnTable(uint32_t seed, uint32_t rows, bool out_of_order,
                    int letters = 5, uint32_t query_step = 1) {
  TableMaker maker(seed, letters);
  std::vector<Record> table;
  for (uint32_t r = 0; r < rows; ++r) table.push_back(maker.MakeRecord());
  Straightforward oracle(rows);
  CandidateGenerator fast;
  for (uint32_t r = 0; r < rows; ++r) oracle.File(table[r], r);
  for (uint32_t i = 0; i < rows; ++i) {
    const uint32_t r = out_of_order ? (i * 7) % rows : i;
    for (const std::string& t : table[r]) fast.File(t, r);
  }
  std::vector<uint32_t> expected;
  std::vector<uint8_t> expected_counts;
  std::vector<uint8_t> counts;
  std::vector<Record> queries = table;
  for (int extra = 0; extra < 20; ++extra)
    queries.push_back(maker.MakeRecord());
  for (uint32_t q = 0; q < queries.size(); q += q < rows ? query_step : 1) {
    const uint32_t self = q < rows ? q : kNoRecord;
    for (double ct : {0.0, 0.1, 0.3, 0.5, 0.8, 1.0}) {
      const int64_t need = static_cast<int64_t>(
          std::trunc(static_cast<double>(KeyLength(queries[q])) * ct));
      if (need < 1) continue;  // every row: no generator involved
      oracle.Query(queries[q], self, need, &expected, &expected_counts);
      for (bool with_counts : {true, false}) {
        fast.BeginQuery(self);
        for (const std::string& t : queries[q]) fast.AddQueryText(t);
        const std::vector<uint32_t>& got =
            fast.Take(need, with_counts ? &counts : nullptr);
        ASSERT_EQ(got, expected)
            << "seed " << seed << " query " << q << " need " << need;
        if (with_counts) {
          ASSERT_EQ(counts, expected_counts);
        }
      }
    }
  }
  // The frequent lists were searched, not walked.
  EXPECT_GT(fast.rows_searched(), 0u);
}

TEST(CandidateGeneratorTest, SameCandidatesAsStraightforwardCount) {
  for (uint32_t seed = 1; seed <= 8; ++seed) {
    CompareOnTable(seed, 30 + seed * 10, false);
  }
}

// Many letters make short lists: rows are then listed as they are hit
// rather than found by a pass over all counters; the larger table's lists
// span two blocks of rows.
TEST(CandidateGeneratorTest, SparseTable) {
  CompareOnTable(21, 3000, false, 26, 37);
  CompareOnTable(22, 70000, false, 26, 9973);
}

// Long lists over two blocks of rows, found by a pass over all counters.
TEST(CandidateGeneratorTest, LargeDenseTable) {
  CompareOnTable(31, 70000, false, 5, 16381);
}

TEST(CandidateGeneratorTest, RowsFiledOutOfOrder) {
  CompareOnTable(99, 60, true);
}

// Rows filed after queries began, as a merge appends its records: both
// generators must keep agreeing, including rows filed below earlier ones.
TEST(CandidateGeneratorTest, RowsFiledBetweenQueries) {
  TableMaker maker(5);
  const uint32_t rows = 100;
  std::vector<Record> table;
  for (uint32_t r = 0; r < rows; ++r) table.push_back(maker.MakeRecord());
  Straightforward oracle(rows);
  CandidateGenerator fast;
  std::vector<uint32_t> expected;
  std::vector<uint8_t> counts;
  std::vector<uint8_t> expected_counts;
  auto file = [&](uint32_t r) {
    oracle.File(table[r], r);
    for (const std::string& t : table[r]) fast.File(t, r);
  };
  for (uint32_t r = 0; r < 50; ++r) file(r);
  for (uint32_t r = 50; r < rows; ++r) {
    for (int64_t need : {1, 3, 6}) {
      oracle.Query(table[r], kNoRecord, need, &expected, &expected_counts);
      fast.BeginQuery(kNoRecord);
      for (const std::string& t : table[r]) fast.AddQueryText(t);
      ASSERT_EQ(fast.Take(need, &counts), expected) << r;
      ASSERT_EQ(counts, expected_counts);
    }
    // Every tenth row goes in late, below rows already filed.
    if (r % 10 == 0) continue;
    file(r);
    if (r % 10 == 9) file(r - 9);
  }
}

// The bounded rule against its steps taken literally, on tables whose rows
// are filed before the first query, after it, and out of order; with limits
// that cut hard and limits that leave every row met.
TEST(CandidateGeneratorTest, BoundedSameAsItsRule) {
  struct Case {
    uint32_t seed;
    uint32_t rows;
    int letters;
    uint32_t filed_late;  // rows filed after the first query
    bool out_of_order;
  };
  const Case cases[] = {
      {41, 120, 5, 0, false},
      {42, 300, 26, 0, false},
      {43, 200, 8, 60, false},
      {44, 150, 5, 0, true},
  };
  const BoundedLimits limits[] = {
      {1, 1, 1}, {3, 5, 4}, {4, 20, 6}, {16, 100000, 100000}};
  for (const Case& c : cases) {
    TableMaker maker(c.seed, c.letters);
    std::vector<Record> table;
    for (uint32_t r = 0; r < c.rows; ++r) table.push_back(maker.MakeRecord());
    CandidateGenerator fast(CandidateRule::kBounded);
    const uint32_t early = c.rows - c.filed_late;
    for (uint32_t i = 0; i < early; ++i) {
      const uint32_t r = c.out_of_order ? (i * 7) % early : i;
      for (const std::string& t : table[r]) fast.File(t, r);
    }
    fast.BeginQuery(kNoRecord);
    fast.AddQueryText("ABC");
    fast.TakeBounded(1, limits[0]);
    for (uint32_t r = early; r < c.rows; ++r) {
      for (const std::string& t : table[r]) fast.File(t, r);
    }
    const reference::BoundedCandidatesReference oracle(table);
    std::vector<uint8_t> counts;
    std::vector<long> expected_counts;
    size_t found = 0;
    for (uint32_t q = 0; q < c.rows + 10; ++q) {
      const Record query = q < c.rows ? table[q] : maker.MakeRecord();
      const uint32_t self = q < c.rows ? q : kNoRecord;
      for (const BoundedLimits& limit : limits) {
        for (long need : {1L, static_cast<long>(KeyLength(query) / 2 + 1)}) {
          const std::vector<uint32_t> expected =
              oracle.Candidates(query, self, need, limit, &expected_counts);
          fast.BeginQuery(self);
          for (const std::string& t : query) fast.AddQueryText(t);
          ASSERT_EQ(fast.TakeBounded(need, limit, &counts), expected)
              << "seed " << c.seed << " query " << q << " need " << need
              << " top " << limit.top << " bucket " << limit.bucket
              << " shortlist " << limit.shortlist;
          ASSERT_EQ(std::vector<long>(counts.begin(), counts.end()),
                    expected_counts);
          found += expected.size();
        }
      }
    }
    EXPECT_GT(found, c.rows) << "seed " << c.seed;  // the bands meet rows
  }
}

TEST(CandidateGeneratorTest, EdgeCases) {
  CandidateGenerator fast;
  fast.BeginQuery(kNoRecord);
  fast.AddQueryText("ABC");
  EXPECT_TRUE(fast.Take(1).empty());  // nothing filed
  fast.File("AAAA", 0);               // _AA, AAA, AAA, AA_
  fast.File("", 1);
  fast.File("XAAAA", 2);
  std::vector<uint8_t> counts;
  fast.BeginQuery(kNoRecord);
  fast.AddQueryText("AAAA");
  EXPECT_EQ(fast.Take(6, &counts), (std::vector<uint32_t>{0}));
  EXPECT_EQ(counts, (std::vector<uint8_t>{6}));  // 1 + 2 + 2 + 1
  fast.BeginQuery(0);  // the record itself is never its own candidate
  fast.AddQueryText("AAAA");
  EXPECT_EQ(fast.Take(1, &counts), (std::vector<uint32_t>{2}));
  EXPECT_EQ(counts, (std::vector<uint8_t>{5}));
  fast.BeginQuery(kNoRecord);
  fast.AddQueryText("AAAA");
  EXPECT_TRUE(fast.Take(256).empty());
}

}  // namespace
}  // namespace vexlor

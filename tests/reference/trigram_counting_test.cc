#include "tests/reference/trigram_counting.h"

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/reference/trigram_reference.h"
#include "vexlor/tables/candidates/ll_hash.h"

namespace vexlor::reference {
namespace {

using Vals = std::vector<uint32_t>;

Vals Values(const LLHash& index, std::string_view key) {
  std::span<const uint32_t> found = index.Find(key);
  return {found.begin(), found.end()};
}

// Every key filed, in walk order, with its number of values.
std::vector<std::string> KeysOf(const LLHash& index, size_t* filed) {
  std::vector<std::string> keys;
  *filed = 0;
  index.ForEach([&](std::string_view key, std::span<const uint32_t> values) {
    keys.emplace_back(key);
    *filed += values.size();
  });
  return keys;
}

TEST(TrigramCountingTest, FilesPaddedWindows) {
  struct Case {
    std::string text;
    std::vector<std::string> trigrams;  // distinct, each filed once
  };
  const Case kCases[] = {
      {"", {}},
      {"A", {"_A_"}},
      {"AB", {"_AB", "AB_"}},
      {"ABC", {"_AB", "ABC", "BC_"}},
      {"a_b", {"_a_", "a_b", "_b_"}},
      {"\xC4\xD6\xDC", {"_\xC4\xD6", "\xC4\xD6\xDC", "\xD6\xDC_"}},
  };
  for (const Case& c : kCases) {
    LLHash index;
    AddTrigrams(c.text, 9, index);
    size_t filed = 0;
    std::vector<std::string> keys = KeysOf(index, &filed);
    EXPECT_EQ(filed, c.text.size()) << c.text;
    EXPECT_EQ(keys.size(), c.trigrams.size()) << c.text;
    for (const std::string& t : c.trigrams) {
      EXPECT_EQ(Values(index, t), (Vals{9})) << c.text << " / " << t;
    }
  }
}

TEST(TrigramCountingTest, RepeatedTrigramIsFiledTwice) {
  LLHash index;
  AddTrigrams("AAAA", 4, index);
  EXPECT_EQ(Values(index, "_AA"), (Vals{4}));
  EXPECT_EQ(Values(index, "AAA"), (Vals{4, 4}));
  EXPECT_EQ(Values(index, "AA_"), (Vals{4}));
}

TEST(TrigramCountingTest, OnlyTheFirst255BytesCount) {
  std::string text;
  for (int i = 0; i < 300; ++i) {
    text += static_cast<char>(i < 255 ? 'A' + i % 26 : 'a' + i % 26);
  }
  LLHash index;
  AddTrigrams(text, 1, index);
  size_t filed = 0;
  for (const std::string& key : KeysOf(index, &filed)) {
    EXPECT_EQ(key.find_first_of("abcdefghijklmnopqrstuvwxyz"),
              std::string::npos)
        << key;
  }
  EXPECT_EQ(filed, 255u);
  // The closing pad follows byte 255, not the end of the text.
  EXPECT_EQ(Values(index, text.substr(253, 2) + "_"), (Vals{1}));
}

TEST(TrigramCountingTest, CountsSharedOccurrences) {
  LLHash index;
  AddTrigrams("AAAA", 0, index);
  AddTrigrams("AAAA", 1, index);
  AddTrigrams("XYZ", 2, index);
  std::vector<uint8_t> counters(3, 0);
  // _AA 1 + AAA 2 + AAA 2 + AA_ 1; the querying record itself is skipped.
  CountTrigramHits("AAAA", 0, index, counters.data());
  EXPECT_EQ(counters, (std::vector<uint8_t>{0, 6, 0}));
  // Case matters.
  CountTrigramHits("aaaa", 2, index, counters.data());
  EXPECT_EQ(counters, (std::vector<uint8_t>{0, 6, 0}));
  CountTrigramHits("", 2, index, counters.data());
  EXPECT_EQ(counters, (std::vector<uint8_t>{0, 6, 0}));
}

TEST(TrigramCountingTest, CountersSaturateAt255) {
  LLHash index;
  AddTrigrams(std::string(255, 'A'), 1, index);  // AAA filed 253 times
  AddTrigrams("AAAA", 2, index);
  for (bool with_list : {false, true}) {
    std::vector<uint8_t> counters = {0, 0, 250};
    Vals touched;
    if (with_list) {
      CountTrigramHits("AAAA", 0, index, counters.data(), &touched);
    } else {
      CountTrigramHits("AAAA", 0, index, counters.data());
    }
    EXPECT_EQ(counters, (std::vector<uint8_t>{0, 255, 255}));
    // Record 2 was already counting, so only record 1 is newly hit.
    EXPECT_EQ(touched, with_list ? Vals{1} : Vals{});
  }
}

TEST(TrigramCountingTest, MatchesReferenceOnRandomTexts) {
  // A four-letter alphabet makes trigrams shared, repeated and saturating;
  // lengths reach past 255. Each record files two texts (two columns).
  std::mt19937 rng(777);
  auto random_text = [&rng]() {
    static const char kAlphabet[] = "AB_\xE9";
    const size_t length = rng() % 5 == 0 ? 250 + rng() % 60 : rng() % 12;
    std::string text(length, ' ');
    for (char& ch : text) ch = kAlphabet[rng() % 4];
    return text;
  };
  constexpr uint32_t kRecords = 60;
  std::vector<std::vector<std::string>> records(kRecords);
  LLHash index;
  index.Init(16, 4, 4);
  for (uint32_t r = 0; r < kRecords; ++r) {
    records[r] = {random_text(), random_text()};
    for (const std::string& text : records[r]) AddTrigrams(text, r, index);
  }
  const reference::TrigramHitsReference reference(records);
  std::vector<uint8_t> counters(kRecords, 0);
  std::vector<uint8_t> listed(kRecords, 0);
  Vals touched;
  touched.reserve(kRecords);
  for (uint32_t r = 0; r < kRecords; ++r) {
    std::vector<std::string> queries = {random_text(), records[r][0]};
    std::fill(counters.begin(), counters.end(), 0);
    touched.clear();
    for (const std::string& q : queries) {
      CountTrigramHits(q, r, index, counters.data());
      CountTrigramHits(q, r, index, listed.data(), &touched);
    }
    const std::vector<uint8_t> want = reference.CountHits(queries, r);
    ASSERT_EQ(counters, want) << "record " << r;
    ASSERT_EQ(listed, want) << "record " << r;

    // The hit list names each nonzero counter exactly once; clearing just
    // those rows restores all-zero counters for the next record.
    Vals nonzero;
    for (uint32_t v = 0; v < kRecords; ++v) {
      if (want[v] != 0) nonzero.push_back(v);
    }
    std::sort(touched.begin(), touched.end());
    EXPECT_EQ(touched, nonzero) << "record " << r;
    for (uint32_t v : touched) listed[v] = 0;
    ASSERT_EQ(std::count(listed.begin(), listed.end(), 0), kRecords);
  }
}

TEST(TrigramCountingTest, NoRecordExcludesNothing) {
  LLHash index;
  AddTrigrams("ABC", 0, index);
  AddTrigrams("ABD", 1, index);
  std::vector<uint8_t> counters(2, 0);
  Vals touched;
  CountTrigramHits("ABC", kNoRecord, index, counters.data(), &touched);
  EXPECT_EQ(counters, (std::vector<uint8_t>{3, 1}));
  EXPECT_EQ(touched, (Vals{0, 1}));
  CountTrigramHits("AB", kNoRecord, index, counters.data());
  EXPECT_EQ(counters, (std::vector<uint8_t>{4, 2}));
}

TEST(TrigramCountingTest, TakeCandidatesAgreesWithAFullScan) {
  // Short lists take the sorting path, long ones the scanning path; both
  // must give the ascending rows at or above the threshold and zero all
  // counters.
  std::mt19937 rng(99);
  for (uint32_t rows : {1u, 64u, 1000u, 5000u}) {
    for (uint32_t hit : {0u, 1u, 10u, rows / 64 + 1, rows / 2, rows}) {
      if (hit > rows) continue;
      std::vector<uint8_t> counters(rows, 0);
      Vals touched;
      touched.reserve(rows);
      for (uint32_t p = 0; p < rows; ++p) touched.push_back(p);
      std::shuffle(touched.begin(), touched.end(), rng);
      touched.resize(hit);
      for (uint32_t p : touched)
        counters[p] = static_cast<uint8_t>(1 + rng() % 255);
      for (uint32_t need : {0u, 1u, 2u, 128u, 255u, 256u}) {
        std::vector<uint8_t> copy = counters;
        Vals list = touched;
        list.reserve(rows);
        Vals want;
        for (uint32_t p = 0; p < rows; ++p) {
          if (copy[p] >= std::max(need, 1u)) want.push_back(p);
        }
        TakeTrigramCandidates(copy.data(), rows, need, &list);
        EXPECT_EQ(list, want)
            << rows << " rows, " << hit << " hit, need " << need;
        EXPECT_EQ(std::count(copy.begin(), copy.end(), 0), rows);
      }
    }
  }
}

TEST(TrigramCountingTest, HitCountersMatchReferenceInSparseAndDenseRecords) {
  // A wide alphabet gives records that hit few rows (listed), a narrow one
  // records that hit most rows (scanned); the mix also switches from listing
  // to scanning in the middle of a record.
  std::mt19937 rng(31337);
  constexpr uint32_t kRecords = 250;
  auto random_text = [&rng](int alphabet) {
    std::string text(rng() % 14, ' ');
    for (char& ch : text) ch = static_cast<char>('A' + rng() % alphabet);
    return text;
  };
  std::vector<std::vector<std::string>> records(kRecords);
  LLHash index;
  for (uint32_t r = 0; r < kRecords; ++r) {
    const int alphabet = r % 3 == 0 ? 3 : 26;
    records[r] = {random_text(alphabet), random_text(26)};
    for (const std::string& text : records[r]) AddTrigrams(text, r, index);
  }
  // One more counter than rows in the index, as for a table still growing.
  std::vector<std::vector<std::string>> filed = records;
  filed.emplace_back();  // the extra row, never filed
  const reference::TrigramHitsReference reference(filed);
  TrigramHitCounters hits(kRecords + 1);
  EXPECT_EQ(hits.size(), kRecords + 1);
  const int64_t kNeeds[] = {-3, 0, 1, 2, 3, 5, 9, 255, 256};
  for (uint32_t q = 0; q < 3 * kRecords; ++q) {
    const uint32_t r = q % kRecords;
    const uint32_t self =
        q < kRecords ? r : (q < 2 * kRecords ? kNoRecord : kRecords);
    std::vector<std::string> queries = records[r];
    if (q % 5 == 0) queries.push_back(random_text(3));
    for (const std::string& text : queries) hits.Count(text, self, index);

    const std::vector<uint8_t> want = reference.CountHits(queries, self);
    for (uint32_t p = 0; p <= kRecords; ++p) ASSERT_EQ(hits[p], want[p]) << q;

    const int64_t need = kNeeds[q % std::size(kNeeds)];
    Vals want_rows;
    for (uint32_t p = 0; p <= kRecords; ++p) {
      if (want[p] >= need) want_rows.push_back(p);
    }
    if (q % 17 == 0) {
      hits.Reset();
    } else {
      ASSERT_EQ(hits.Take(need), want_rows)
          << "query " << q << " need " << need;
    }
    for (uint32_t p = 0; p <= kRecords; ++p) ASSERT_EQ(hits[p], 0) << q;
  }
}

}  // namespace
}  // namespace vexlor::reference

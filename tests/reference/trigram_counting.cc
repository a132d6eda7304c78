#include "tests/reference/trigram_counting.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <span>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vexlor::reference {
namespace {

using PostingList = std::span<const uint32_t>;

// The padded text: '_', the first L bytes, '_'. Returns L.
size_t Pad(std::string_view text, char (&padded)[kMaxTrigramText + 2]) {
  const size_t length = std::min(text.size(), kMaxTrigramText);
  padded[0] = '_';
  if (length > 0) std::memcpy(padded + 1, text.data(), length);
  padded[length + 1] = '_';
  return length;
}

// Looks up every trigram of `text` (all lookups first, so that the counting
// loop runs undisturbed). Returns the number of lists; *postings is their
// total length.
size_t FindLists(std::string_view text, const LLHash& index,
                 PostingList (&lists)[kMaxTrigramText], uint64_t* postings) {
  char padded[kMaxTrigramText + 2];
  const size_t length = Pad(text, padded);
  uint64_t total = 0;
  for (size_t i = 0; i < length; ++i) {
    lists[i] = index.Find(std::string_view(padded + i, 3));
    total += lists[i].size();
  }
  *postings = total;
  return length;
}

// The posting lists are long and their rows random, so the inner loop is
// kept free of unpredictable branches: the saturating increment is
// arithmetic (256 folds back to 255), and instead of testing every value
// against the query's own record, the caller sets that counter aside and
// puts it back afterwards. Listing first hits costs a branch per value that
// mispredicts once per row hit, so it is only worth it for sparse hits.
template <bool kListFirstHits>
void CountLists(const PostingList* lists, size_t count, uint8_t* counters,
                std::vector<uint32_t>* touched) {
  for (size_t i = 0; i < count; ++i) {
    for (uint32_t v : lists[i]) {
      const uint32_t hits = counters[v] + 1u;
      if constexpr (kListFirstHits) {
        if (hits == 1) touched->push_back(v);
      }
      counters[v] = static_cast<uint8_t>(hits - (hits >> 8));
    }
  }
}

// Counts with `record`'s own counter held fixed. `listed` says whether that
// counter must look nonzero meanwhile, so that the record is never listed.
template <bool kListFirstHits>
void CountExcluding(const PostingList* lists, size_t count, uint32_t record,
                    bool has_counter, uint8_t* counters,
                    std::vector<uint32_t>* touched) {
  if (!has_counter) {
    CountLists<kListFirstHits>(lists, count, counters, touched);
    return;
  }
  const uint8_t own = counters[record];
  if constexpr (kListFirstHits) counters[record] = 1;
  CountLists<kListFirstHits>(lists, count, counters, touched);
  counters[record] = own;
}

// Appends to `out` every p in [0, row_count) with counters[p] >= need
// (need >= 1), in ascending order. `out` has room for row_count more.
void ScanAtLeast(const uint8_t* counters, uint32_t row_count, uint8_t need,
                 std::vector<uint32_t>* out) {
  uint32_t p = 0;
#if defined(__SSE2__)
  // Sixteen counters per step; x >= need exactly when max(x, need) == x.
  const __m128i needs = _mm_set1_epi8(static_cast<char>(need));
  for (; p + 16 <= row_count; p += 16) {
    const __m128i x =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(counters + p));
    unsigned mask = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(x, needs), x)));
    while (mask != 0) {
      out->push_back(p + static_cast<uint32_t>(__builtin_ctz(mask)));
      mask &= mask - 1;
    }
  }
#endif
  for (; p < row_count; ++p) {
    if (counters[p] >= need) out->push_back(p);
  }
}

// Keeps, in ascending order, the listed rows whose counter reaches `need`,
// and zeroes the counters of all listed rows. Filtering first leaves only
// the few candidates to sort.
void FilterListed(uint8_t* counters, uint8_t need,
                  std::vector<uint32_t>* rows) {
  size_t kept = 0;
  for (uint32_t p : *rows) {
    if (counters[p] >= need) (*rows)[kept++] = p;
    counters[p] = 0;
  }
  rows->resize(kept);
  std::sort(rows->begin(), rows->end());
}

// The same from `rows` into `out`, which has room for all of them.
void FilterListed(uint8_t* counters, uint8_t need,
                  const std::vector<uint32_t>& rows,
                  std::vector<uint32_t>* out) {
  for (uint32_t p : rows) {
    if (counters[p] >= need) out->push_back(p);
    counters[p] = 0;
  }
  std::sort(out->begin(), out->end());
}

// A list longer than this share of the rows is treated as dense: scanning
// all counters sixteen at a time beats visiting the listed rows one by one.
constexpr uint32_t kDenseShare = 16;

}  // namespace

void AddTrigrams(std::string_view text, uint32_t record, LLHash& index) {
  char padded[kMaxTrigramText + 2];
  const size_t length = Pad(text, padded);
  for (size_t i = 0; i < length; ++i) {
    index.Add(std::string_view(padded + i, 3), record);
  }
}

void CountTrigramHits(std::string_view text, uint32_t record,
                      const LLHash& index, uint8_t* counters) {
  PostingList lists[kMaxTrigramText];
  uint64_t postings;
  const size_t count = FindLists(text, index, lists, &postings);
  CountExcluding<false>(lists, count, record, record != kNoRecord, counters,
                        nullptr);
}

void CountTrigramHits(std::string_view text, uint32_t record,
                      const LLHash& index, uint8_t* counters,
                      std::vector<uint32_t>* touched) {
  PostingList lists[kMaxTrigramText];
  uint64_t postings;
  const size_t count = FindLists(text, index, lists, &postings);
  CountExcluding<true>(lists, count, record, record != kNoRecord, counters,
                       touched);
}

void TakeTrigramCandidates(uint8_t* counters, uint32_t row_count, uint32_t need,
                           std::vector<uint32_t>* touched) {
  const uint8_t need8 =
      static_cast<uint8_t>(std::clamp<uint32_t>(need, 1, 255));
  if (touched->size() > row_count / kDenseShare) {
    touched->clear();
    if (need <= 255) ScanAtLeast(counters, row_count, need8, touched);
    std::memset(counters, 0, row_count);
    return;
  }
  FilterListed(counters, need8, touched);
  if (need > 255) touched->clear();
}

TrigramHitCounters::TrigramHitCounters(uint32_t row_count)
    : counters_(row_count, 0) {
  hits_.reserve(row_count / kDenseShare + 1);
  candidates_.reserve(row_count);
}

void TrigramHitCounters::Count(std::string_view text, uint32_t record,
                               const LLHash& index) {
  PostingList lists[kMaxTrigramText];
  uint64_t postings;
  const size_t count = FindLists(text, index, lists, &postings);
  const uint32_t rows = size();
  // Decided before counting, from the lists' lengths: once the rows hit may
  // exceed the dense share, stop listing for the rest of the record.
  if (listing_ && hits_.size() + postings > rows / kDenseShare)
    listing_ = false;
  const bool has_counter = record < rows;
  if (listing_) {
    CountExcluding<true>(lists, count, record, has_counter, counters_.data(),
                         &hits_);
  } else {
    CountExcluding<false>(lists, count, record, has_counter, counters_.data(),
                          nullptr);
  }
}

const std::vector<uint32_t>& TrigramHitCounters::Take(int64_t need) {
  const uint32_t rows = size();
  candidates_.clear();
  if (need <= 0) {
    candidates_.resize(rows);
    std::iota(candidates_.begin(), candidates_.end(), 0u);
    Reset();
    return candidates_;
  }
  const uint8_t need8 = static_cast<uint8_t>(std::min<int64_t>(need, 255));
  if (listing_) {
    FilterListed(counters_.data(), need8, hits_, &candidates_);
  } else {
    ScanAtLeast(counters_.data(), rows, need8, &candidates_);
    std::memset(counters_.data(), 0, rows);
  }
  if (need > 255) candidates_.clear();
  hits_.clear();
  listing_ = true;
  return candidates_;
}

void TrigramHitCounters::Reset() {
  if (listing_) {
    for (uint32_t p : hits_) counters_[p] = 0;
  } else {
    std::memset(counters_.data(), 0, counters_.size());
  }
  hits_.clear();
  listing_ = true;
}

}  // namespace vexlor::reference

// The bounded rule of candidate_rule.h: band keys instead of lists.
#include <algorithm>
#include <cstdint>
#include <span>
#include <string_view>

#include "vexlor/tables/candidates/candidate_generator.h"
#include "vexlor/tables/candidates/min_hash.h"
#include "vexlor/tables/candidates/trigram_keys.h"

namespace vexlor {
namespace {

constexpr uint32_t kMaxCount = 255;
// The band directory's entries per band: one per top 16 bits of a key.
constexpr uint32_t kDirectoryBits = 16;
constexpr size_t kDirectory = (size_t{1} << kDirectoryBits) + 1;

inline void Prefetch(const void* at) {
#if defined(__GNUC__)
  __builtin_prefetch(at);
#else
  (void)at;
#endif
}

// Calls f(text) for every kept text of one run of a row's texts.
template <class F>
void ForEachKeptText(const uint8_t* at, const uint8_t* end, F&& f) {
  while (at != end) {
    const size_t length = *at++;
    f(std::string_view(reinterpret_cast<const char*>(at), length));
    at += length;
  }
}

}  // namespace

void CandidateGenerator::BuildBands() {
  std::stable_sort(
      kept_calls_.begin(), kept_calls_.end(),
      [](const PendingCall& a, const PendingCall& b) { return a.row < b.row; });
  // Rows with texts, each once.
  size_t rows = 0;
  for (size_t i = 0; i < kept_calls_.size(); ++i) {
    if (i == 0 || kept_calls_[i].row != kept_calls_[i - 1].row) ++rows;
  }
  std::vector<BandEntry> bands(rows * kMinHashBands);
  std::vector<uint64_t> offsets(kMinHashBands + 1);
  for (uint32_t b = 0; b <= kMinHashBands; ++b) offsets[b] = b * rows;
  std::vector<uint32_t> keys;
  uint32_t band_keys[kMinHashBands];
  size_t row_index = 0;
  for (size_t i = 0; i < kept_calls_.size();) {
    const uint32_t row = kept_calls_[i].row;
    keys.clear();
    for (; i < kept_calls_.size() && kept_calls_[i].row == row; ++i) {
      const uint8_t* at = kept_bytes_.data() + kept_calls_[i].begin;
      ForEachKeptText(at, at + kept_calls_[i].bytes, [&](std::string_view t) {
        ForEachTrigram(t, [&](uint32_t key) { keys.push_back(key); });
      });
    }
    MinHashBandKeys(keys, band_keys);
    for (uint32_t b = 0; b < kMinHashBands; ++b) {
      bands[offsets[b] + row_index] = {band_keys[b], row};
    }
    ++row_index;
  }
  std::vector<uint32_t> directory(kMinHashBands * kDirectory);
  for (uint32_t b = 0; b < kMinHashBands; ++b) {
    const auto begin = bands.begin() + static_cast<ptrdiff_t>(offsets[b]);
    const auto end = bands.begin() + static_cast<ptrdiff_t>(offsets[b + 1]);
    std::sort(begin, end, [](const BandEntry& x, const BandEntry& y) {
      return x.key != y.key ? x.key < y.key : x.row < y.row;
    });
    uint32_t* entries = directory.data() + b * kDirectory;
    size_t at = 0;
    for (size_t top = 0; top < kDirectory; ++top) {
      while (begin + static_cast<ptrdiff_t>(at) != end &&
             (begin[static_cast<ptrdiff_t>(at)].key >> kDirectoryBits) < top) {
        ++at;
      }
      entries[top] = static_cast<uint32_t>(at);
    }
  }
  std::vector<uint32_t> first_call(size_t{row_count_} + 1);
  size_t call = 0;
  for (uint32_t row = 0; row <= row_count_; ++row) {
    while (call < kept_calls_.size() && kept_calls_[call].row < row) ++call;
    first_call[row] = static_cast<uint32_t>(call);
  }
  bands_.swap(bands);
  band_offsets_.swap(offsets);
  band_directory_.swap(directory);
  first_call_.swap(first_call);
  bands_built_ = true;
}

const std::vector<uint32_t>& CandidateGenerator::TakeBounded(
    Query& state, int64_t need, const BoundedLimits& limits,
    std::vector<uint8_t>* counts) {
  state.candidates_.clear();
  if (counts != nullptr) counts->clear();
  if (!bounded_ || need > kMaxCount || state.keys_.empty() || limits.top == 0) {
    return state.candidates_;
  }
  if (need < 1) need = 1;
  Prepare();
  GatherQueryKeys(state);
  MeetInBands(state, limits.bucket, std::max(limits.shortlist, limits.top));
  CountFromTexts(state, static_cast<uint64_t>(need));
  KeepBest(state, limits.top, counts);
  return state.candidates_;
}

void CandidateGenerator::GatherQueryKeys(Query& state) const {
  state.band_keys_.resize(kMinHashBands);
  MinHashBandKeys(state.keys_, state.band_keys_.data());
  GatherMultiplicities(state);
}

void CandidateGenerator::GatherMultiplicities(Query& state) const {
  std::sort(state.keys_.begin(), state.keys_.end());
  state.query_.clear();
  for (size_t i = 0; i < state.keys_.size();) {
    size_t j = i;
    while (j < state.keys_.size() && state.keys_[j] == state.keys_[i]) ++j;
    state.query_.push_back(
        {0, state.keys_[i], static_cast<uint32_t>(j - i), 0, false, 0});
    i = j;
  }
}

void CandidateGenerator::MeetInBands(Query& state, uint32_t bucket,
                                     uint32_t shortlist) const {
  if (state.counters_.size() < row_count_) {
    state.counters_.resize(row_count_, 0);
  }
  // A row's counter: the bands it shares with the query.
  uint8_t* met = state.counters_.data();
  // With a list of keys to skip, the list alone decides.
  const uint32_t cap = skip_listed_keys_ ? UINT32_MAX : bucket;
  state.survivors_.clear();
  for (uint32_t b = 0; b < kMinHashBands; ++b) {
    const uint32_t top = state.band_keys_[b] >> kDirectoryBits;
    Prefetch(band_directory_.data() + b * kDirectory + top);
  }
  for (uint32_t b = 0; b < kMinHashBands; ++b) {
    const uint32_t top = state.band_keys_[b] >> kDirectoryBits;
    Prefetch(Band(b).data() + band_directory_[b * kDirectory + top]);
  }
  for (uint32_t b = 0; b < kMinHashBands; ++b) {
    const std::span<const BandEntry> band = Band(b);
    const uint32_t key = state.band_keys_[b];
    if (skip_listed_keys_ &&
        std::binary_search(skipped_keys_.begin(), skipped_keys_.end(),
                           BandKeyOf(b, key))) {
      continue;
    }
    const auto first =
        std::partition_point(band.begin(), band.end(),
                             [key](const BandEntry& e) { return e.key < key; });
    auto last = first;
    while (last != band.end() && last->key == key &&
           static_cast<uint32_t>(last - first) <= cap) {
      ++last;
    }
    // Too many rows share the key for it to tell them apart.
    if (static_cast<uint32_t>(last - first) > cap) continue;
    for (auto e = first; e != last; ++e) {
      state.postings_walked_ += 1;
      if (e->row == state.record_) continue;
      if (met[e->row]++ == 0) state.survivors_.push_back({e->row, 0});
    }
  }
  for (Survivor& s : state.survivors_) {
    s.count = met[s.row];
    met[s.row] = 0;
  }
  if (state.survivors_.size() > shortlist) {
    // More shared bands mean more shared trigrams; equal: the lower row.
    std::nth_element(
        state.survivors_.begin(), state.survivors_.begin() + shortlist,
        state.survivors_.end(), [](const Survivor& a, const Survivor& b) {
          return a.count != b.count ? a.count > b.count : a.row < b.row;
        });
    state.survivors_.resize(shortlist);
  }
  std::sort(state.survivors_.begin(), state.survivors_.end(),
            [](const Survivor& a, const Survivor& b) { return a.row < b.row; });
}

void CandidateGenerator::CountFromTexts(Query& state, uint64_t need) const {
  // The query's trigrams in a table small enough to stay in the first-level
  // cache: each trigram of a row met is one probe.
  size_t slots = 64;
  while (slots < 2 * state.query_.size()) slots *= 2;
  state.key_slots_.assign(slots, 0);
  state.key_multiplicity_.assign(slots, 0);
  const size_t mask = slots - 1;
  for (const QueryTrigram& q : state.query_) {
    size_t i = HashTrigramKey(q.key) & mask;
    while (state.key_slots_[i] != 0) i = (i + 1) & mask;
    state.key_slots_[i] = q.key;
    state.key_multiplicity_[i] = q.multiplicity;
  }
  auto multiplicity = [&](uint32_t key) -> uint64_t {
    for (size_t i = HashTrigramKey(key) & mask;; i = (i + 1) & mask) {
      if (state.key_slots_[i] == key) return state.key_multiplicity_[i];
      if (state.key_slots_[i] == 0) return 0;
    }
  };
  // Each row's texts lie somewhere else in memory: ask for all of them
  // before counting any, so that the waits overlap.
  for (const Survivor& s : state.survivors_) {
    Prefetch(kept_calls_.data() + first_call_[s.row]);
  }
  for (const Survivor& s : state.survivors_) {
    const uint32_t first = first_call_[s.row];
    if (first < kept_calls_.size()) {
      Prefetch(kept_bytes_.data() + kept_calls_[first].begin);
    }
  }
  size_t kept = 0;
  for (Survivor s : state.survivors_) {
    const auto call = kept_calls_.begin() + first_call_[s.row];
    uint64_t count = 0;
    for (auto c = call; c != kept_calls_.end() && c->row == s.row; ++c) {
      const uint8_t* at = kept_bytes_.data() + c->begin;
      ForEachKeptText(at, at + c->bytes, [&](std::string_view text) {
        ForEachTrigram(text, [&](uint32_t key) { count += multiplicity(key); });
      });
    }
    s.count = static_cast<uint32_t>(std::min<uint64_t>(count, kMaxCount));
    state.rows_searched_ += 1;
    if (s.count >= need) state.survivors_[kept++] = s;
  }
  state.survivors_.resize(kept);
}

const std::vector<CandidateGenerator::ShortlistRow>&
CandidateGenerator::TakeShortlist(Query& state, const BoundedLimits& limits) {
  state.shortlist_.clear();
  if (!bounded_ || state.keys_.empty() || limits.top == 0) {
    return state.shortlist_;
  }
  Prepare();
  GatherQueryKeys(state);
  MeetInBands(state, limits.bucket, std::max(limits.shortlist, limits.top));
  for (const Survivor& s : state.survivors_) {
    state.shortlist_.push_back({s.row, s.count, 0});
  }
  return state.shortlist_;
}

void CandidateGenerator::CountRows(Query& state,
                                   std::span<ShortlistRow> rows) const {
  GatherMultiplicities(state);
  state.survivors_.clear();
  for (const ShortlistRow& r : rows) state.survivors_.push_back({r.row, 0});
  // A need of zero keeps every row, in the same order.
  CountFromTexts(state, 0);
  for (size_t i = 0; i < rows.size(); ++i) {
    rows[i].count = state.survivors_[i].count;
  }
}

void CandidateGenerator::CommonBandKeys(uint32_t rows,
                                        std::vector<uint64_t>* keys) {
  Prepare();
  keys->clear();
  for (uint32_t b = 0; b < kMinHashBands; ++b) {
    const std::span<const BandEntry> band = Band(b);
    for (size_t i = 0; i < band.size();) {
      size_t j = i;
      while (j < band.size() && band[j].key == band[i].key) ++j;
      if (j - i > rows) keys->push_back(BandKeyOf(b, band[i].key));
      i = j;
    }
  }
}

void CandidateGenerator::BandKeyRows(std::span<const uint64_t> keys,
                                     std::vector<uint32_t>* rows) {
  Prepare();
  rows->clear();
  for (uint64_t k : keys) {
    const uint32_t b = static_cast<uint32_t>(k >> 32);
    const uint32_t key = static_cast<uint32_t>(k);
    if (b >= kMinHashBands) {
      rows->push_back(0);
      continue;
    }
    const std::span<const BandEntry> band = Band(b);
    const auto range = std::equal_range(
        band.begin(), band.end(), BandEntry{key, 0},
        [](const BandEntry& x, const BandEntry& y) { return x.key < y.key; });
    rows->push_back(static_cast<uint32_t>(range.second - range.first));
  }
}

void CandidateGenerator::SkipBandKeys(std::vector<uint64_t> keys) {
  std::sort(keys.begin(), keys.end());
  skipped_keys_ = std::move(keys);
  skip_listed_keys_ = true;
}

void CandidateGenerator::KeepBest(Query& state, uint32_t top,
                                  std::vector<uint8_t>* counts) const {
  std::vector<Survivor>& rows = state.survivors_;
  if (rows.size() > top) {
    // Higher count first, then the lower row.
    std::nth_element(rows.begin(), rows.begin() + top, rows.end(),
                     [](const Survivor& a, const Survivor& b) {
                       return a.count != b.count ? a.count > b.count
                                                 : a.row < b.row;
                     });
    rows.resize(top);
    std::sort(
        rows.begin(), rows.end(),
        [](const Survivor& a, const Survivor& b) { return a.row < b.row; });
  }
  for (const Survivor& s : rows) {
    state.candidates_.push_back(s.row);
    if (counts != nullptr) counts->push_back(static_cast<uint8_t>(s.count));
  }
}

}  // namespace vexlor

#include "vexlor/tables/candidates/candidate_generator.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "vexlor/tables/candidates/trigram.h"
#include "vexlor/tables/candidates/trigram_keys.h"

namespace vexlor {
namespace {

constexpr uint32_t kNoId = std::numeric_limits<uint32_t>::max();
constexpr uint32_t kMaxCounter = 255;
// Lists beyond the rare ones are walked while together they hold at most
// this many percent of the rare postings: each raises the count a row
// needs to stay in question, and testing rows one by one against the
// remaining lists is dearer per row than walking per posting.
constexpr uint64_t kExtraWalk = 100;
// Walking more postings than this share of the rows hits so many rows that
// a pass over all counters finds them faster than listing each.
constexpr uint32_t kDenseShare = 16;
// A list of more than this share of the rows also gets a bitmap over the
// rows, which answers "is this row in the list" at once; it is at most four
// times the size of the list itself.
constexpr uint64_t kBitmapShare = 128;
// A list's repeats are walked when they are at most this share of the list:
// counting them beforehand keeps the list's bound at its multiplicity, which
// on names and addresses saves more walking than it costs.
constexpr uint64_t kRepeatShare = 2;
// How many rows ahead the bits of a searched list are asked for.
constexpr size_t kBitsAhead = 8;
constexpr uint32_t kNoBitmap = std::numeric_limits<uint32_t>::max();
constexpr uint32_t kNoRow = std::numeric_limits<uint32_t>::max();
// A pending entry starts with its text's length, or with this for one
// posting given by its id.
constexpr uint8_t kIdEntry = 0;
constexpr size_t kIdEntryBytes = 1 + sizeof(uint32_t);
static_assert(kMaxTrigramText <= std::numeric_limits<uint8_t>::max(),
              "a pending text's length is one byte");

// Appends to `out` every p in [begin, end) with counters[p] >= need
// (need >= 1), in ascending order, with its counter, and sets every
// counter to 0 on the way: one pass instead of a scan and a clear.
template <class Out>
void TakeAtLeast(uint8_t* counters, uint32_t begin, uint32_t end, uint8_t need,
                 Out&& out) {
  uint32_t p = begin;
#if defined(__SSE2__)
  // Sixteen counters per lane, four lanes per step; x >= need exactly when
  // max(x, need) == x. Rows that pass are a few in a thousand, so one test
  // per step decides whether any lane needs looking into; the walks touch
  // most blocks, so the counters are cleared without testing for zero.
  const __m128i needs = _mm_set1_epi8(static_cast<char>(need));
  const __m128i zero = _mm_setzero_si128();
  constexpr uint32_t kLanes = 4;
  for (; end - p >= 16 * kLanes; p += 16 * kLanes) {
    __m128i* at = reinterpret_cast<__m128i*>(counters + p);
    __m128i passes[kLanes];
    __m128i any = zero;
    for (uint32_t l = 0; l < kLanes; ++l) {
      const __m128i x = _mm_loadu_si128(at + l);
      passes[l] = _mm_cmpeq_epi8(_mm_max_epu8(x, needs), x);
      any = _mm_or_si128(any, passes[l]);
    }
    if (_mm_movemask_epi8(any) != 0) {
      for (uint32_t l = 0; l < kLanes; ++l) {
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(passes[l]));
        while (mask != 0) {
          const uint32_t row =
              p + 16 * l + static_cast<uint32_t>(__builtin_ctz(mask));
          out(row, counters[row]);
          mask &= mask - 1;
        }
      }
    }
    for (uint32_t l = 0; l < kLanes; ++l) _mm_storeu_si128(at + l, zero);
  }
#endif
  for (; p < end; ++p) {
    if (counters[p] >= need) out(p, counters[p]);
    counters[p] = 0;
  }
}

// Asks for the first lines of a list about to be walked: the walk of the
// one before hides the wait, which the hardware's prefetcher would only
// begin after the first misses; lists are short next to their number.
void Prefetch(const void* at) {
#if defined(__GNUC__)
  __builtin_prefetch(at);
#else
  (void)at;
#endif
}

template <class Row>
void PrefetchStart(const Row* list, uint64_t size) {
  constexpr uint64_t kLine = 64 / sizeof(Row);
  constexpr uint64_t kLines = 8;
  const uint64_t n = std::min(size, kLine * kLines);
  for (uint64_t i = 0; i < n; i += kLine) Prefetch(list + i);
}

// Grows `v` geometrically so that `n` more elements cannot fail.
template <class Vector>
void RoomFor(Vector& v, size_t n) {
  if (v.capacity() - v.size() < n) {
    v.reserve(std::max(v.capacity() * 2 + 16, v.size() + n));
  }
}

template <class Vector>
void RoomForOne(Vector& v) {
  RoomFor(v, 1);
}

// The first index from *cursor on whose row is not below `row`, in a list
// ascending by row, found by a galloping search from *cursor and left in
// it: rows asked for in ascending order cost O(log gap) each.
template <class T, class RowOf>
size_t Seek(std::span<const T> list, uint32_t row, size_t* cursor,
            RowOf row_of) {
  const size_t n = list.size();
  size_t lo = *cursor;
  if (lo < n && row_of(list[lo]) < row) {
    size_t probe = lo + 1;
    size_t step = 1;
    while (probe < n && row_of(list[probe]) < row) {
      lo = probe + 1;
      step *= 2;
      probe = lo + step - 1;
    }
    const size_t hi = std::min(probe, n);
    lo = static_cast<size_t>(
        std::partition_point(list.begin() + lo, list.begin() + hi,
                             [&](const T& x) { return row_of(x) < row; }) -
        list.begin());
  }
  *cursor = lo;
  return lo;
}

// Whether the ascending `list` holds `row`.
bool Contains(std::span<const uint32_t> list, uint32_t row, size_t* cursor) {
  const size_t at = Seek(list, row, cursor, [](uint32_t v) { return v; });
  return at < list.size() && list[at] == row;
}

}  // namespace

CandidateGenerator::CandidateGenerator(CandidateRule rule)
    : bounded_(rule == CandidateRule::kBounded) {
  slots_.assign(1024, {0, kNoId});
}

CandidateGenerator::~CandidateGenerator() = default;

uint32_t CandidateGenerator::Find(uint32_t key) const {
  const size_t mask = slots_.size() - 1;
  for (size_t i = HashTrigramKey(key) & mask;; i = (i + 1) & mask) {
    if (slots_[i].key == key) return slots_[i].id;
    if (slots_[i].key == 0) return kNoId;
  }
}

void CandidateGenerator::GrowKeys() {
  std::vector<Slot> slots(slots_.size() * 2, {0, kNoId});
  const size_t mask = slots.size() - 1;
  for (const Slot& slot : slots_) {
    if (slot.key == 0) continue;
    size_t i = HashTrigramKey(slot.key) & mask;
    while (slots[i].key != 0) i = (i + 1) & mask;
    slots[i] = slot;
  }
  slots_.swap(slots);
}

uint32_t CandidateGenerator::FindOrAdd(uint32_t key) {
  const size_t mask = slots_.size() - 1;
  size_t i = HashTrigramKey(key) & mask;
  for (;; i = (i + 1) & mask) {
    if (slots_[i].key == key) return slots_[i].id;
    if (slots_[i].key == 0) break;
  }
  if (2 * (size_t{keys_} + 1) > slots_.size()) {
    GrowKeys();
    return FindOrAdd(key);
  }
  // Everything that can fail comes before the key is entered.
  if (built_) {
    RoomForOne(tails_);
    RoomForOne(offsets_);
    RoomForOne(repeat_offsets_);
    RoomForOne(bitmap_of_);
    RoomForOne(max_extra_);
    RoomForOne(segment_offsets_);
  }
  const uint32_t id = keys_++;
  slots_[i] = {key, id};
  if (built_) {
    tails_.emplace_back();
    // Empty contiguous lists.
    offsets_.push_back(offsets_.back());
    repeat_offsets_.push_back(repeat_offsets_.back());
    bitmap_of_.push_back(kNoBitmap);
    max_extra_.push_back(0);
    segment_offsets_.push_back(segment_offsets_.back());
  }
  return id;
}

void CandidateGenerator::File(std::string_view text, uint32_t row) {
  if (text.empty()) return;
  if (row == std::numeric_limits<uint32_t>::max()) throw std::bad_alloc();
  row_count_ = std::max(row_count_, row + 1);
  if (bounded_) {
    Keep(text, row);
    return;
  }
  // The built lists take rows from above; a row filed again must still be
  // the last one, and filed since the build.
  if (built_ && any_filed_ &&
      (row < last_row_ || (row == last_row_ && !last_row_in_tails_))) {
    Unbuild();
  }
  if (!built_) {
    if (any_filed_ && row < last_row_) pending_sorted_ = false;
    FilePending(text, row);
    last_row_in_tails_ = false;
  } else {
    ForEachTrigram(text, [&](uint32_t key) { AddToTail(FindOrAdd(key), row); });
    last_row_in_tails_ = true;
  }
  last_row_ = any_filed_ ? std::max(last_row_, row) : row;
  any_filed_ = true;
}

void CandidateGenerator::AddToTail(uint32_t id, uint32_t row) {
  Tail& tail = tails_[id];
  if (tail.rows.empty() || tail.rows.back() != row) {
    tail.rows.push_back(row);
  } else if (!tail.repeats.empty() && tail.repeats.back().row == row) {
    ++tail.repeats.back().extra;
    max_extra_[id] = std::max(max_extra_[id], tail.repeats.back().extra);
  } else {
    tail.repeats.push_back({row, 1});
    max_extra_[id] = std::max(max_extra_[id], 1u);
  }
}

void CandidateGenerator::Keep(std::string_view text, uint32_t row) {
  const size_t length = std::min(text.size(), kMaxTrigramText);
  RoomFor(kept_bytes_, 1 + length);
  RoomForOne(kept_calls_);
  const uint64_t begin = kept_bytes_.size();
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  kept_bytes_.push_back(static_cast<uint8_t>(length));
  kept_bytes_.insert(kept_bytes_.end(), bytes, bytes + length);
  AddPendingCall(kept_calls_, row, begin, 1 + length);
  bands_built_ = false;
}

void CandidateGenerator::FilePending(std::string_view text, uint32_t row) {
  // Ids are given in filing order, here; the build looks them up.
  ForEachTrigram(text, [&](uint32_t key) { FindOrAdd(key); });
  const size_t length = std::min(text.size(), kMaxTrigramText);
  RoomFor(pending_bytes_, 1 + length);
  RoomForOne(pending_calls_);
  const uint64_t begin = pending_bytes_.size();
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  pending_bytes_.push_back(static_cast<uint8_t>(length));
  pending_bytes_.insert(pending_bytes_.end(), bytes, bytes + length);
  AddPendingCall(pending_calls_, row, begin, 1 + length);
}

void CandidateGenerator::AddPendingCall(std::vector<PendingCall>& calls,
                                        uint32_t row, uint64_t begin,
                                        size_t bytes) {
  // The cells of one row make one call: a row's calls are many on a wide
  // table, and each takes as much room as a few trigrams.
  if (!calls.empty()) {
    PendingCall& last = calls.back();
    if (last.row == row && last.begin + last.bytes == begin &&
        bytes <= std::numeric_limits<uint32_t>::max() - last.bytes) {
      last.bytes += static_cast<uint32_t>(bytes);
      return;
    }
  }
  calls.push_back({begin, row, static_cast<uint32_t>(bytes)});
}

template <class F>
void CandidateGenerator::ForEachPendingId(const PendingCall& call,
                                          F&& f) const {
  const uint8_t* at = pending_bytes_.data() + call.begin;
  const uint8_t* const end = at + call.bytes;
  while (at != end) {
    const size_t length = *at++;
    if (length == kIdEntry) {
      uint32_t id;
      std::memcpy(&id, at, sizeof id);
      at += sizeof id;
      f(id);
      continue;
    }
    const std::string_view text(reinterpret_cast<const char*>(at), length);
    ForEachTrigram(text, [&](uint32_t key) { f(Find(key)); });
    at += length;
  }
}

void CandidateGenerator::Build() {
  if (!pending_sorted_) SortPendingCalls();
  std::vector<uint64_t> offsets(size_t{keys_} + 1, 0);
  std::vector<uint64_t> repeat_offsets(size_t{keys_} + 1, 0);
  std::vector<uint64_t> segment_offsets(size_t{keys_} + 1, 0);
  CountPending(offsets, repeat_offsets, segment_offsets);
  for (size_t i = 1; i < offsets.size(); ++i) {
    offsets[i] += offsets[i - 1];
    repeat_offsets[i] += repeat_offsets[i - 1];
    segment_offsets[i] += segment_offsets[i - 1];
  }
  std::vector<uint16_t> lows(offsets.back());
  std::vector<Repeat> repeats(repeat_offsets.back());
  std::vector<SegmentStart> segments(segment_offsets.back());
  std::vector<uint32_t> max_extra(keys_, 0);
  PlacePending(offsets, repeat_offsets, segment_offsets, lows, repeats,
               segments, max_extra);
  std::vector<Tail> tails(keys_);
  std::vector<uint32_t> bitmap_of(keys_, kNoBitmap);

  // Nothing below can fail before the lists are whole; the texts give
  // their room back before the bitmaps take theirs.
  offsets_.swap(offsets);
  lows_.swap(lows);
  segment_offsets_.swap(segment_offsets);
  segments_.swap(segments);
  blocks_ = static_cast<uint32_t>((uint64_t{row_count_} + kBlockRows - 1) >>
                                  kBlockBits);
  repeat_offsets_.swap(repeat_offsets);
  repeats_.swap(repeats);
  tails_.swap(tails);
  bitmap_of_.swap(bitmap_of);
  max_extra_.swap(max_extra);
  std::vector<uint8_t>().swap(pending_bytes_);
  std::vector<PendingCall>().swap(pending_calls_);
  pending_sorted_ = true;
  built_ = true;
  BuildBitmaps();
}

void CandidateGenerator::SortPendingCalls() {
  std::sort(pending_calls_.begin(), pending_calls_.end(),
            [](const PendingCall& a, const PendingCall& b) {
              return a.row != b.row ? a.row < b.row : a.begin < b.begin;
            });
  pending_sorted_ = true;
}

void CandidateGenerator::CountPending(
    std::vector<uint64_t>& offsets, std::vector<uint64_t>& repeat_offsets,
    std::vector<uint64_t>& segment_offsets) const {
  // The calls come by row, so a row filed again under an id is the last
  // row seen under it.
  std::vector<uint32_t> last_row(keys_, kNoRow);
  std::vector<uint8_t> repeated(keys_, 0);
  for (const PendingCall& call : pending_calls_) {
    ForEachPendingId(call, [&](uint32_t id) {
      if (last_row[id] != call.row) {
        if (last_row[id] == kNoRow ||
            (last_row[id] >> kBlockBits) != (call.row >> kBlockBits)) {
          ++segment_offsets[id + 1];
        }
        last_row[id] = call.row;
        repeated[id] = 0;
        ++offsets[id + 1];
      } else if (repeated[id] == 0) {
        repeated[id] = 1;
        ++repeat_offsets[id + 1];
      }
    });
  }
}

void CandidateGenerator::PlacePending(
    const std::vector<uint64_t>& offsets,
    const std::vector<uint64_t>& repeat_offsets,
    const std::vector<uint64_t>& segment_offsets, std::vector<uint16_t>& lows,
    std::vector<Repeat>& repeats, std::vector<SegmentStart>& segments,
    std::vector<uint32_t>& max_extra) const {
  std::vector<uint64_t> next(offsets.begin(), offsets.end() - 1);
  std::vector<uint64_t> next_repeat(repeat_offsets.begin(),
                                    repeat_offsets.end() - 1);
  std::vector<uint64_t> next_segment(segment_offsets.begin(),
                                     segment_offsets.end() - 1);
  // Each list's last row is kept per id: reading it back from the lists,
  // which are large and written at random, would wait on memory.
  std::vector<uint32_t> last_row(keys_, kNoRow);
  for (const PendingCall& call : pending_calls_) {
    const uint32_t row = call.row;
    ForEachPendingId(call, [&](uint32_t id) {
      if (last_row[id] != row) {
        const uint32_t block = row >> kBlockBits;
        if (last_row[id] == kNoRow || (last_row[id] >> kBlockBits) != block) {
          segments[next_segment[id]++] = {
              block, static_cast<uint32_t>(next[id] - offsets[id])};
        }
        last_row[id] = row;
        lows[next[id]++] = static_cast<uint16_t>(row & (kBlockRows - 1));
        return;
      }
      uint64_t& repeat = next_repeat[id];
      if (repeat == repeat_offsets[id] || repeats[repeat - 1].row != row) {
        repeats[repeat++] = {row, 0};
      }
      const uint32_t extra = ++repeats[repeat - 1].extra;
      max_extra[id] = std::max(max_extra[id], extra);
    });
  }
}

void CandidateGenerator::BuildBitmaps() {
  const uint32_t bitmap_rows = row_count_;
  const size_t words = (size_t{bitmap_rows} + 63) / 64;
  std::vector<uint32_t> bitmap_of(keys_, kNoBitmap);
  size_t bitmap_words = 0;
  for (uint32_t id = 0; id < keys_; ++id) {
    const uint64_t size = ListSize(id);
    if (size > 0 && size * kBitmapShare >= bitmap_rows &&
        bitmap_words + words <= kNoBitmap) {
      bitmap_of[id] = static_cast<uint32_t>(bitmap_words);
      bitmap_words += words;
    }
  }
  std::vector<uint64_t> bitmaps(bitmap_words, 0);
  for (uint32_t id = 0; id < keys_; ++id) {
    if (bitmap_of[id] == kNoBitmap) continue;
    uint64_t* bits = bitmaps.data() + bitmap_of[id];
    ForEachRow(
        id, [&](uint32_t row) { bits[row / 64] |= uint64_t{1} << (row % 64); });
  }
  bitmap_of_.swap(bitmap_of);
  bitmaps_.swap(bitmaps);
  bitmap_rows_ = bitmap_rows;
}

void CandidateGenerator::Unbuild() {
  std::vector<uint8_t> bytes;
  std::vector<PendingCall> calls;
  auto put = [&](uint32_t id, uint32_t row, uint32_t times) {
    for (uint32_t t = 0; t < times; ++t) {
      RoomFor(bytes, kIdEntryBytes);
      RoomForOne(calls);
      const uint64_t begin = bytes.size();
      bytes.push_back(kIdEntry);
      const auto* id_bytes = reinterpret_cast<const uint8_t*>(&id);
      bytes.insert(bytes.end(), id_bytes, id_bytes + sizeof id);
      AddPendingCall(calls, row, begin, kIdEntryBytes);
    }
  };
  for (uint32_t id = 0; id < keys_; ++id) {
    ForEachRow(id, [&](uint32_t row) { put(id, row, 1); });
    for (const Repeat& r : Repeats(id)) put(id, r.row, r.extra);
    for (uint32_t row : tails_[id].rows) put(id, row, 1);
    for (const Repeat& r : tails_[id].repeats) put(id, r.row, r.extra);
  }
  pending_bytes_.swap(bytes);
  pending_calls_.swap(calls);
  std::vector<uint64_t>().swap(offsets_);
  std::vector<uint16_t>().swap(lows_);
  std::vector<uint64_t>().swap(segment_offsets_);
  std::vector<SegmentStart>().swap(segments_);
  blocks_ = 0;
  std::vector<uint64_t>().swap(repeat_offsets_);
  std::vector<Repeat>().swap(repeats_);
  std::vector<Tail>().swap(tails_);
  std::vector<uint32_t>().swap(bitmap_of_);
  std::vector<uint32_t>().swap(max_extra_);
  std::vector<uint64_t>().swap(bitmaps_);
  bitmap_rows_ = 0;
  pending_sorted_ = false;
  built_ = false;
}

void CandidateGenerator::BeginQuery(Query& q, uint32_t record) const {
  q.record_ = record;
  q.query_.clear();
  q.keys_.clear();
  if (++q.query_number_ == 0) {
    std::fill(q.stamp_.begin(), q.stamp_.end(), 0);
    q.query_number_ = 1;
  }
}

void CandidateGenerator::AddQueryText(Query& q, std::string_view text) const {
  if (bounded_) {
    ForEachTrigram(text, [&](uint32_t key) { q.keys_.push_back(key); });
    return;
  }
  ForEachTrigram(text, [&](uint32_t key) {
    const uint32_t id = Find(key);
    if (id == kNoId) return;  // filed by no row: adds to no counter
    if (id >= q.stamp_.size()) {
      q.stamp_.resize(keys_, 0);
      q.slot_of_.resize(keys_, 0);
    }
    if (q.stamp_[id] != q.query_number_) {
      q.stamp_[id] = q.query_number_;
      q.slot_of_[id] = static_cast<uint32_t>(q.query_.size());
      q.query_.push_back({id, key, 0, 0, false, 0});
    }
    ++q.query_[q.slot_of_[id]].multiplicity;
  });
}

// The walks add plainly where no counter can pass 255 in the query (the
// usual case: a query's walked lists add up to a few dozen), and saturate
// otherwise; the plain loop is a third shorter.
template <class Row>
void CandidateGenerator::WalkSparse(Query& q, std::span<const Row> rows,
                                    uint32_t base, uint32_t add,
                                    bool saturate) const {
  q.postings_walked_ += rows.size();
  uint8_t* counters = q.counters_.data() + base;
  for (uint32_t v : rows) {
    const uint32_t c = counters[v];
    if (c == 0) q.touched_.push_back(base + v);
    counters[v] = static_cast<uint8_t>(saturate ? std::min(c + add, kMaxCounter)
                                                : c + add);
  }
}

template <class Row>
void CandidateGenerator::WalkDense(Query& q, std::span<const Row> rows,
                                   uint32_t base, uint32_t add,
                                   bool saturate) const {
  q.postings_walked_ += rows.size();
  // The rows are random, so the loops are kept free of branches.
  uint8_t* counters = q.counters_.data() + base;
  if (!saturate) {
    const uint8_t add8 = static_cast<uint8_t>(add);
    for (uint32_t v : rows)
      counters[v] = static_cast<uint8_t>(counters[v] + add8);
    return;
  }
  for (uint32_t v : rows) {
    counters[v] =
        static_cast<uint8_t>(std::min(counters[v] + add, kMaxCounter));
  }
}

void CandidateGenerator::WalkListSparse(Query& q, uint32_t id, uint32_t add,
                                        bool saturate) const {
  const std::span<const SegmentStart> segments = SegmentsOf(id);
  for (size_t s = 0; s < segments.size(); ++s) {
    WalkSparse(q, Lows(id, segments, s), segments[s].block << kBlockBits, add,
               saturate);
  }
  WalkSparse(q, std::span<const uint32_t>(tails_[id].rows), 0, add, saturate);
}

void CandidateGenerator::PrefetchNext(uint32_t id, uint32_t s,
                                      uint32_t block) const {
  const std::span<const SegmentStart> segments = SegmentsOf(id);
  if (s == segments.size() || segments[s].block != block) return;
  const std::span<const uint16_t> lows = Lows(id, segments, s);
  PrefetchStart(lows.data(), lows.size());
}

void CandidateGenerator::WalkByBlock(Query& q, size_t walked, uint8_t least,
                                     bool saturate) const {
  uint8_t* counters = q.counters_.data();
  const uint32_t rows = row_count_;
  auto take = [&](uint32_t begin, uint32_t end) {
    // The query's own row is never its own candidate.
    if (q.record_ >= begin && q.record_ < end) counters[q.record_] = 0;
    TakeAtLeast(counters, begin, end, least, [&](uint32_t row, uint32_t c) {
      q.survivors_.push_back({row, c});
    });
  };
  // The tails hold rows of any block; they go first.
  for (size_t k = 0; k < walked; ++k) {
    const QueryTrigram& t = q.query_[k];
    WalkDense(q, std::span<const uint32_t>(tails_[t.id].rows), 0,
              std::min(t.multiplicity, kMaxCounter), saturate);
  }
  q.next_segment_.assign(walked, 0);
  for (uint32_t b = 0; b < blocks_; ++b) {
    const uint32_t base = b << kBlockBits;
    for (size_t k = 0; k < walked; ++k) {
      const QueryTrigram& t = q.query_[k];
      const std::span<const SegmentStart> segments = SegmentsOf(t.id);
      uint32_t& s = q.next_segment_[k];
      if (s == segments.size() || segments[s].block != b) continue;
      const std::span<const uint16_t> lows = Lows(t.id, segments, s++);
      if (k + 1 < walked)
        PrefetchNext(q.query_[k + 1].id, q.next_segment_[k + 1], b);
      WalkDense(q, lows, base, std::min(t.multiplicity, kMaxCounter), saturate);
    }
    take(base, static_cast<uint32_t>(
                   std::min<uint64_t>(uint64_t{base} + kBlockRows, rows)));
  }
  const uint64_t built = uint64_t{blocks_} << kBlockBits;
  if (built < rows) take(static_cast<uint32_t>(built), rows);
}

void CandidateGenerator::WalkRepeats(Query& q, std::span<const Repeat> repeats,
                                     uint32_t multiplicity, bool dense,
                                     bool saturate) const {
  q.postings_walked_ += repeats.size();
  uint8_t* counters = q.counters_.data();
  // Whether a counter was zero is a coin toss on a dense walk: the test
  // is kept out of that loop, or its mispredictions cost more than the add.
  if (!dense) {
    for (const Repeat& r : repeats) {
      if (counters[r.row] == 0) q.touched_.push_back(r.row);
    }
  }
  for (const Repeat& r : repeats) {
    const uint64_t sum = counters[r.row] + uint64_t{r.extra} * multiplicity;
    counters[r.row] = static_cast<uint8_t>(
        saturate ? std::min<uint64_t>(sum, kMaxCounter) : sum);
  }
}

uint32_t CandidateGenerator::Extra(uint32_t id, uint32_t row,
                                   size_t* base_cursor,
                                   size_t* tail_cursor) const {
  auto row_of = [](const Repeat& r) { return r.row; };
  for (auto [list, cursor] :
       {std::pair{Repeats(id), base_cursor},
        std::pair{std::span<const Repeat>(tails_[id].repeats), tail_cursor}}) {
    const size_t at = Seek(list, row, cursor, row_of);
    if (at < list.size() && list[at].row == row) return list[at].extra;
  }
  return 0;
}

bool CandidateGenerator::Holds(uint32_t id, uint32_t row, size_t* base_cursor,
                               size_t* tail_cursor) const {
  if (row < bitmap_rows_ && bitmap_of_[id] != kNoBitmap) {
    const uint64_t* bits = bitmaps_.data() + bitmap_of_[id];
    return (bits[row / 64] >> (row % 64)) & 1;
  }
  return BuiltHolds(id, row, base_cursor) ||
         Contains(tails_[id].rows, row, tail_cursor);
}

bool CandidateGenerator::BuiltHolds(uint32_t id, uint32_t row,
                                    size_t* cursor) const {
  const uint32_t block = row >> kBlockBits;
  const std::span<const SegmentStart> segments = SegmentsOf(id);
  const auto it = std::partition_point(
      segments.begin(), segments.end(),
      [&](const SegmentStart& s) { return s.block < block; });
  if (it == segments.end() || it->block != block) return false;
  const size_t s = static_cast<size_t>(it - segments.begin());
  // Within the block the cursor counts from the block's start.
  const size_t begin = segments[s].start;
  const std::span<const uint16_t> segment = Lows(id, segments, s);
  size_t at = std::min(*cursor > begin ? *cursor - begin : 0, segment.size());
  const uint32_t low = row & (kBlockRows - 1);
  at = Seek(segment, low, &at, [](uint16_t v) { return uint32_t{v}; });
  *cursor = begin + at;
  return at < segment.size() && segment[at] == low;
}

const std::vector<uint32_t>& CandidateGenerator::Take(
    Query& state, int64_t need, std::vector<uint8_t>* counts) {
  state.candidates_.clear();
  if (counts != nullptr) counts->clear();
  if (need > kMaxCounter || state.query_.empty() || bounded_) {
    return state.candidates_;
  }
  if (need < 1) need = 1;
  Prepare();

  for (QueryTrigram& q : state.query_) {
    q.size = ListSize(q.id) + tails_[q.id].rows.size();
    // Rows filed more than once are counted by walking their few entries;
    // where they are many, they go into the list's bound instead.
    const uint64_t repeats = Repeats(q.id).size() + tails_[q.id].repeats.size();
    q.walk_repeats = repeats * kRepeatShare <= q.size;
    q.bound = uint64_t{q.multiplicity} *
              (q.walk_repeats ? 1 : 1 + uint64_t{max_extra_[q.id]});
  }
  // Rarest first; what each list and those after it can still add to a
  // row once the walked repeats are counted.
  std::sort(state.query_.begin(), state.query_.end(),
            [](const QueryTrigram& a, const QueryTrigram& b) {
              return a.size != b.size ? a.size < b.size : a.id < b.id;
            });
  const size_t lists = state.query_.size();
  const uint64_t need64 = static_cast<uint64_t>(need);
  state.rest_.assign(lists + 1, 0);
  for (size_t k = lists; k-- > 0;) {
    state.rest_[k] = state.rest_[k + 1] + state.query_[k].bound;
  }
  // The rare lists: those before the first list from which on the rest
  // adds up to less than `need`. Every candidate is in one of them, or
  // among the repeats. A few more lists are walked while they are small
  // next to what was walked: each raises the count a row must have to stay
  // in question, and searching the lists for rows is dearer than walking.
  size_t walked = 0;
  uint64_t postings = 0;
  while (state.rest_[walked] >= need64) postings += state.query_[walked++].size;
  const uint64_t budget = postings * kExtraWalk / 100;
  uint64_t extra = 0;
  while (walked < lists && extra + state.query_[walked].size <= budget) {
    extra += state.query_[walked].size;
    postings += state.query_[walked++].size;
  }
  const uint64_t least = need64 - std::min(need64 - 1, state.rest_[walked]);

  // The repeats, then the walked lists. Many postings mean many rows hit:
  // then the rows are not listed as they are hit but found by one pass
  // over all counters.
  const uint32_t rows = row_count_;
  if (state.counters_.size() < rows) state.counters_.resize(rows, 0);
  uint8_t* counters = state.counters_.data();
  const bool dense = postings > rows / kDenseShare;
  // The most any counter can reach from the walks.
  uint64_t most = 0;
  for (size_t k = 0; k < lists; ++k) {
    QueryTrigram& q = state.query_[k];
    if (k < walked) {
      q.walk_repeats = true;
      most += q.multiplicity;
    }
    if (q.walk_repeats) most += uint64_t{q.multiplicity} * max_extra_[q.id];
  }
  const bool saturate = most > kMaxCounter;
  for (size_t k = 0; k < lists; ++k) {
    const QueryTrigram& q = state.query_[k];
    if (!q.walk_repeats) continue;
    WalkRepeats(state, Repeats(q.id), q.multiplicity, dense, saturate);
    WalkRepeats(state, tails_[q.id].repeats, q.multiplicity, dense, saturate);
  }
  state.survivors_.clear();
  if (dense) {
    WalkByBlock(state, walked, static_cast<uint8_t>(least), saturate);
  } else {
    for (size_t k = 0; k < walked; ++k) {
      const QueryTrigram& q = state.query_[k];
      WalkListSparse(state, q.id, std::min(q.multiplicity, kMaxCounter),
                     saturate);
    }
    // The query's own row is never its own candidate.
    if (state.record_ < rows) counters[state.record_] = 0;
    for (uint32_t v : state.touched_) {
      const uint32_t c = counters[v];
      counters[v] = 0;
      if (c >= least) state.survivors_.push_back({v, c});
    }
    state.touched_.clear();
    std::sort(
        state.survivors_.begin(), state.survivors_.end(),
        [](const Survivor& a, const Survivor& b) { return a.row < b.row; });
  }

  // Complete the counts from the remaining lists, least frequent first,
  // dropping a row once what is left cannot lift it to `need`.
  for (size_t k = walked; k < lists && !state.survivors_.empty(); ++k) {
    const QueryTrigram& q = state.query_[k];
    const uint64_t remaining = state.rest_[k + 1];
    size_t base_cursor = 0;
    size_t tail_cursor = 0;
    size_t base_repeat = 0;
    size_t tail_repeat = 0;
    size_t kept = 0;
    // The rows are far apart in a long list's bitmap, each test a miss:
    // asking for the bits some rows ahead overlaps the waits.
    const uint64_t* bits = bitmap_of_[q.id] != kNoBitmap
                               ? bitmaps_.data() + bitmap_of_[q.id]
                               : nullptr;
    const size_t count = state.survivors_.size();
    for (size_t i = 0; i < count; ++i) {
      if (bits != nullptr && i + kBitsAhead < count) {
        const uint32_t ahead = state.survivors_[i + kBitsAhead].row;
        if (ahead < bitmap_rows_) Prefetch(bits + ahead / 64);
      }
      Survivor s = state.survivors_[i];
      if (counts != nullptr || s.count < need64) {
        state.rows_searched_ += 1;
        // A long list's bits answer at once; Holds only for the others.
        const bool held = bits != nullptr && s.row < bitmap_rows_
                              ? ((bits[s.row / 64] >> (s.row % 64)) & 1) != 0
                              : Holds(q.id, s.row, &base_cursor, &tail_cursor);
        if (held) {
          uint64_t times = 1;
          if (!q.walk_repeats) {
            times += Extra(q.id, s.row, &base_repeat, &tail_repeat);
          }
          s.count = static_cast<uint32_t>(std::min<uint64_t>(
              s.count + times * q.multiplicity, kMaxCounter));
        }
        if (s.count + remaining < need64) continue;
      }
      state.survivors_[kept++] = s;
    }
    state.survivors_.resize(kept);
  }

  for (const Survivor& s : state.survivors_) {
    if (s.count < need64) continue;
    state.candidates_.push_back(s.row);
    if (counts != nullptr) counts->push_back(static_cast<uint8_t>(s.count));
  }
  return state.candidates_;
}

void CandidateGenerator::Prepare() {
  if (bounded_) {
    if (!bands_built_) BuildBands();
  } else if (!built_) {
    Build();
  }
}

}  // namespace vexlor

#include "vexlor/tables/candidate_generator.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "vexlor/tables/trigram.h"

namespace vexlor {
namespace {

constexpr uint32_t kNoId = std::numeric_limits<uint32_t>::max();
constexpr uint32_t kMaxCounter = 255;

// Calls f(key) for every trigram of `text`, in order; the key is the three
// bytes as one number, plus one.
template <class F>
void ForEachTrigram(std::string_view text, F&& f) {
  const size_t length = std::min(text.size(), kMaxTrigramText);
  if (length == 0) return;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  auto at = [&](size_t padded) -> uint32_t {
    return padded == 0 || padded == length + 1 ? uint32_t{'_'}
                                               : bytes[padded - 1];
  };
  uint32_t window = (at(0) << 8) | at(1);
  for (size_t i = 0; i < length; ++i) {
    window = ((window << 8) | at(i + 2)) & 0xFFFFFF;
    f(window + 1);
  }
}

uint32_t HashKey(uint32_t key) { return key * 0x9E3779B1u; }

// Number of times `row` occurs in the ascending `list`, searching from
// *cursor on and leaving it at the first entry above `row`: rows asked for
// in ascending order cost a galloping search each, O(log gap).
uint32_t CountFrom(std::span<const uint32_t> list, uint32_t row,
                   size_t* cursor) {
  const size_t n = list.size();
  size_t lo = *cursor;
  if (lo >= n) return 0;
  if (list[lo] < row) {
    size_t probe = lo + 1;
    size_t step = 1;
    while (probe < n && list[probe] < row) {
      lo = probe + 1;
      step *= 2;
      probe = lo + step - 1;
    }
    const size_t hi = std::min(probe, n);
    lo = static_cast<size_t>(
        std::lower_bound(list.begin() + lo, list.begin() + hi, row) -
        list.begin());
  }
  uint32_t count = 0;
  while (lo < n && list[lo] == row) {
    ++count;
    ++lo;
  }
  *cursor = lo;
  return count;
}

}  // namespace

CandidateGenerator::CandidateGenerator() {
  slot_keys_.assign(1024, 0);
  slot_ids_.assign(1024, kNoId);
}

CandidateGenerator::~CandidateGenerator() = default;

uint32_t CandidateGenerator::Find(uint32_t key) const {
  const size_t mask = slot_keys_.size() - 1;
  for (size_t i = HashKey(key) & mask;; i = (i + 1) & mask) {
    if (slot_keys_[i] == key) return slot_ids_[i];
    if (slot_keys_[i] == 0) return kNoId;
  }
}

void CandidateGenerator::GrowKeys() {
  std::vector<uint32_t> keys(slot_keys_.size() * 2, 0);
  std::vector<uint32_t> ids(slot_keys_.size() * 2, kNoId);
  const size_t mask = keys.size() - 1;
  for (size_t s = 0; s < slot_keys_.size(); ++s) {
    if (slot_keys_[s] == 0) continue;
    size_t i = HashKey(slot_keys_[s]) & mask;
    while (keys[i] != 0) i = (i + 1) & mask;
    keys[i] = slot_keys_[s];
    ids[i] = slot_ids_[s];
  }
  slot_keys_.swap(keys);
  slot_ids_.swap(ids);
}

uint32_t CandidateGenerator::FindOrAdd(uint32_t key) {
  const size_t mask = slot_keys_.size() - 1;
  size_t i = HashKey(key) & mask;
  for (;; i = (i + 1) & mask) {
    if (slot_keys_[i] == key) return slot_ids_[i];
    if (slot_keys_[i] == 0) break;
  }
  // Everything that can fail comes before the key is entered.
  max_occurrences_.reserve(size_t{keys_} + 1);
  stamp_.reserve(size_t{keys_} + 1);
  slot_of_.reserve(size_t{keys_} + 1);
  if (built_) tails_.reserve(size_t{keys_} + 1);
  if (2 * (size_t{keys_} + 1) > slot_keys_.size()) {
    GrowKeys();
    return FindOrAdd(key);
  }
  const uint32_t id = keys_++;
  slot_keys_[i] = key;
  slot_ids_[i] = id;
  max_occurrences_.push_back(0);
  stamp_.push_back(0);
  slot_of_.push_back(0);
  if (built_) {
    tails_.emplace_back();
    offsets_.push_back(offsets_.back());  // an empty contiguous list
  }
  return id;
}

void CandidateGenerator::File(std::string_view text, uint32_t row) {
  if (text.empty()) return;
  if (row == std::numeric_limits<uint32_t>::max()) throw std::bad_alloc();
  if (counters_.size() <= row) counters_.resize(size_t{row} + 1, 0);
  if (built_ && row < last_row_) Unbuild();
  if (!built_) {
    if (row < last_row_) pending_sorted_ = false;
    ForEachTrigram(text, [&](uint32_t key) {
      pending_ids_.push_back(FindOrAdd(key));
    });
    pending_calls_.push_back({row, pending_ids_.size()});
  } else {
    ForEachTrigram(text, [&](uint32_t key) { AddPosting(FindOrAdd(key), row); });
  }
  last_row_ = std::max(last_row_, row);
}

void CandidateGenerator::AddPosting(uint32_t id, uint32_t row) {
  std::vector<uint32_t>& tail = tails_[id];
  tail.push_back(row);
  // The run of this row: at the end of the tail, or of the built list when
  // the tail holds nothing else.
  uint32_t run = 0;
  size_t i = tail.size();
  while (i > 0 && tail[i - 1] == row) {
    ++run;
    --i;
  }
  if (i == 0) {
    const std::span<const uint32_t> base = Base(id);
    for (size_t k = base.size(); k > 0 && base[k - 1] == row; --k) ++run;
  }
  max_occurrences_[id] = std::max(max_occurrences_[id], run);
}

void CandidateGenerator::Build() {
  std::vector<uint64_t> offsets(size_t{keys_} + 1, 0);
  for (uint32_t id : pending_ids_) ++offsets[id + 1];
  for (size_t i = 1; i < offsets.size(); ++i) offsets[i] += offsets[i - 1];
  std::vector<uint32_t> postings(pending_ids_.size());
  std::vector<uint64_t> next(offsets.begin(), offsets.end() - 1);
  std::vector<std::vector<uint32_t>> tails(keys_);
  size_t begin = 0;
  for (const PendingCall& call : pending_calls_) {
    for (size_t i = begin; i < call.end; ++i) {
      postings[next[pending_ids_[i]]++] = call.row;
    }
    begin = call.end;
  }
  offsets_.swap(offsets);
  postings_.swap(postings);
  tails_.swap(tails);
  std::vector<uint32_t>().swap(pending_ids_);
  std::vector<PendingCall>().swap(pending_calls_);
  built_ = true;
  for (uint32_t id = 0; id < keys_; ++id) {
    const auto first = postings_.begin() + static_cast<ptrdiff_t>(offsets_[id]);
    const auto last =
        postings_.begin() + static_cast<ptrdiff_t>(offsets_[id + 1]);
    if (!pending_sorted_) std::sort(first, last);
    uint32_t most = 0;
    for (auto it = first; it != last;) {
      auto run_end = it;
      while (run_end != last && *run_end == *it) ++run_end;
      most = std::max(most, static_cast<uint32_t>(run_end - it));
      it = run_end;
    }
    max_occurrences_[id] = most;
  }
  pending_sorted_ = true;
}

void CandidateGenerator::Unbuild() {
  std::vector<uint32_t> ids;
  std::vector<PendingCall> calls;
  for (uint32_t id = 0; id < keys_; ++id) {
    for (std::span<const uint32_t> list :
         {Base(id), std::span<const uint32_t>(tails_[id])}) {
      for (uint32_t row : list) {
        ids.push_back(id);
        calls.push_back({row, ids.size()});
      }
    }
  }
  pending_ids_.swap(ids);
  pending_calls_.swap(calls);
  std::vector<uint32_t>().swap(postings_);
  std::vector<uint64_t>().swap(offsets_);
  std::vector<std::vector<uint32_t>>().swap(tails_);
  pending_sorted_ = false;
  built_ = false;
}

size_t CandidateGenerator::ListSize(uint32_t id) const {
  return static_cast<size_t>(offsets_[id + 1] - offsets_[id]) +
         tails_[id].size();
}

void CandidateGenerator::BeginQuery(uint32_t record) {
  record_ = record;
  query_.clear();
  if (++query_number_ == 0) {
    std::fill(stamp_.begin(), stamp_.end(), 0);
    query_number_ = 1;
  }
}

void CandidateGenerator::AddQueryText(std::string_view text) {
  ForEachTrigram(text, [&](uint32_t key) {
    const uint32_t id = Find(key);
    if (id == kNoId) return;  // filed by no row: adds to no counter
    if (stamp_[id] != query_number_) {
      stamp_[id] = query_number_;
      slot_of_[id] = static_cast<uint32_t>(query_.size());
      query_.push_back({id, 0, 0, 0});
    }
    ++query_[slot_of_[id]].multiplicity;
  });
}

const std::vector<uint32_t>& CandidateGenerator::Take(
    int64_t need, std::vector<uint8_t>* counts) {
  candidates_.clear();
  if (counts != nullptr) counts->clear();
  if (need > kMaxCounter || query_.empty()) return candidates_;
  if (need < 1) need = 1;
  if (!built_) Build();

  for (QueryTrigram& q : query_) {
    q.size = ListSize(q.id);
    q.bound = uint64_t{q.multiplicity} * max_occurrences_[q.id];
  }
  std::sort(query_.begin(), query_.end(),
            [](const QueryTrigram& a, const QueryTrigram& b) {
              return a.size != b.size ? a.size > b.size : a.id < b.id;
            });
  // The frequent prefix: together they cannot make up `need`.
  const uint64_t need64 = static_cast<uint64_t>(need);
  uint64_t frequent_bound = 0;
  size_t frequent = 0;
  while (frequent < query_.size() &&
         frequent_bound + query_[frequent].bound < need64) {
    frequent_bound += query_[frequent].bound;
    ++frequent;
  }

  // Walk the rare lists. The query's own row is held at a nonzero count
  // meanwhile, so that it is never listed, and put back afterwards.
  uint8_t* counters = counters_.data();
  const bool own = record_ < counters_.size();
  if (own) counters[record_] = 1;
  for (size_t k = frequent; k < query_.size(); ++k) {
    const QueryTrigram& q = query_[k];
    const uint32_t add =
        std::min<uint32_t>(q.multiplicity, kMaxCounter);
    for (std::span<const uint32_t> list :
         {Base(q.id), std::span<const uint32_t>(tails_[q.id])}) {
      postings_walked_ += list.size();
      for (uint32_t v : list) {
        const uint32_t c = counters[v];
        if (c == 0) touched_.push_back(v);
        counters[v] = static_cast<uint8_t>(std::min(c + add, kMaxCounter));
      }
    }
  }
  if (own) counters[record_] = 0;

  survivors_.clear();
  for (uint32_t v : touched_) {
    const uint32_t c = counters[v];
    counters[v] = 0;
    if (v != record_ && c + frequent_bound >= need64) {
      survivors_.push_back({v, c});
    }
  }
  touched_.clear();
  std::sort(survivors_.begin(), survivors_.end(),
            [](const Survivor& a, const Survivor& b) { return a.row < b.row; });

  // Complete the counts from the frequent lists, least frequent first.
  uint64_t remaining = frequent_bound;
  for (size_t k = frequent; k-- > 0;) {
    const QueryTrigram& q = query_[k];
    remaining -= q.bound;
    const std::span<const uint32_t> base = Base(q.id);
    const std::span<const uint32_t> tail(tails_[q.id]);
    size_t base_cursor = 0;
    size_t tail_cursor = 0;
    size_t kept = 0;
    for (Survivor s : survivors_) {
      if (counts != nullptr || s.count < need64) {
        rows_searched_ += 1;
        const uint64_t occurrences = CountFrom(base, s.row, &base_cursor) +
                                     CountFrom(tail, s.row, &tail_cursor);
        s.count = static_cast<uint32_t>(std::min<uint64_t>(
            s.count + occurrences * q.multiplicity, kMaxCounter));
        if (s.count + remaining < need64) continue;
      }
      survivors_[kept++] = s;
    }
    survivors_.resize(kept);
  }

  for (const Survivor& s : survivors_) {
    if (s.count < need64) continue;
    candidates_.push_back(s.row);
    if (counts != nullptr) counts->push_back(static_cast<uint8_t>(s.count));
  }
  return candidates_;
}

}  // namespace vexlor

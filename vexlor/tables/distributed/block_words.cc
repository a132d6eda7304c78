#include "vexlor/tables/distributed/block_words.h"

#include <algorithm>
#include <stdexcept>

#include "vexlor/candidate_rule.h"
#include "vexlor/tables/candidates/min_hash.h"
#include "vexlor/tables/distributed/found_pairs.h"

namespace vexlor {
namespace {

constexpr uint32_t kHistogramSize = kMinHashBands + 1;

struct Entry {
  uint32_t row;
  uint32_t count;
  bool reaches;
};

// One block's words of one record, read and checked: `histogram` words
// then `entries` pairs of words.
struct BlockRecord {
  uint32_t kind = kBlockLeave;
  const uint32_t* histogram = nullptr;
  uint32_t histogram_words = 0;
  const uint32_t* entries = nullptr;
  uint32_t entry_count = 0;
};

[[noreturn]] void Malformed() {
  throw std::invalid_argument("a block's words are cut short or malformed");
}

BlockRecord ReadRecord(std::span<const uint32_t> words, size_t* at) {
  if (*at >= words.size()) Malformed();
  const uint32_t head = words[(*at)++];
  BlockRecord r;
  r.kind = head & 3;
  r.histogram_words = (head >> 2) & 0x3F;
  r.entry_count = head >> 8;
  if (r.kind > kBlockListed) Malformed();
  const size_t size = r.histogram_words + size_t{2} * r.entry_count;
  if (words.size() - *at < size) Malformed();
  r.histogram = words.data() + *at;
  r.entries = r.histogram + r.histogram_words;
  *at += size;
  return r;
}

void ExpectAllRead(std::span<const std::span<const uint32_t>> blocks,
                   const std::vector<size_t>& at) {
  for (size_t k = 0; k < blocks.size(); ++k) {
    if (at[k] != blocks[k].size()) Malformed();
  }
}

}  // namespace

void BlockCuts(std::span<const std::span<const uint32_t>> shortlists,
               uint32_t records, std::vector<std::vector<uint32_t>>* cuts) {
  const size_t n = shortlists.size();
  const uint32_t shortlist =
      std::max(kBoundedLimits.shortlist, kBoundedLimits.top);
  cuts->assign(n, std::vector<uint32_t>(records, 0));
  std::vector<size_t> at(n, 0);
  std::vector<uint32_t> rows(n * kHistogramSize);
  std::vector<uint32_t> total(kHistogramSize);
  for (uint32_t r = 0; r < records; ++r) {
    std::fill(rows.begin(), rows.end(), 0);
    std::fill(total.begin(), total.end(), 0);
    for (size_t k = 0; k < n; ++k) {
      const BlockRecord read = ReadRecord(shortlists[k], &at[k]);
      if (read.entry_count != 0) Malformed();
      for (uint32_t h = 0; h < read.histogram_words; ++h) {
        const uint32_t bands = read.histogram[h] >> 16;
        if (bands >= kHistogramSize) Malformed();
        rows[k * kHistogramSize + bands] += read.histogram[h] & 0xFFFF;
        total[bands] += read.histogram[h] & 0xFFFF;
      }
    }
    // The whole table's shortlist takes the rows met in the most bands,
    // and of those met in as many the lower rows: the blocks in order.
    uint32_t left = shortlist;
    for (uint32_t b = kHistogramSize; b-- > 0 && left > 0;) {
      for (size_t k = 0; k < n && left > 0; ++k) {
        const uint32_t taken = std::min(left, rows[k * kHistogramSize + b]);
        (*cuts)[k][r] += taken;
        left -= taken;
      }
    }
  }
  ExpectAllRead(shortlists, at);
}

void MergeBlockWords(std::span<const std::span<const uint32_t>> blocks,
                     uint32_t records, std::vector<uint32_t>* found) {
  const size_t n = blocks.size();
  std::vector<size_t> at(n, 0);
  std::vector<BlockRecord> read(n);
  std::vector<Entry> kept;
  for (uint32_t r = 0; r < records; ++r) {
    bool leave = false, none = false, listed = false;
    for (size_t k = 0; k < n; ++k) {
      read[k] = ReadRecord(blocks[k], &at[k]);
      if (read[k].histogram_words != 0) Malformed();
      leave = leave || read[k].kind == kBlockLeave;
      none = none || read[k].kind == kBlockNone;
      listed = listed || read[k].kind == kBlockListed;
    }
    if (leave) {
      found->push_back(0);
      continue;
    }
    // The need is the record's: every block agrees on it.
    if (none && listed) Malformed();
    kept.clear();
    for (size_t k = 0; k < n; ++k) {
      for (uint32_t e = 0; e < read[k].entry_count; ++e) {
        const uint32_t word = read[k].entries[2 * e + 1];
        kept.push_back({read[k].entries[2 * e], word >> 16, (word & 1) != 0});
      }
    }
    // The best `top` by counter (equal: the lower row), in row order.
    const auto better = [](const Entry& a, const Entry& b) {
      return a.count != b.count ? a.count > b.count : a.row < b.row;
    };
    if (kept.size() > kBoundedLimits.top) {
      std::nth_element(kept.begin(), kept.begin() + kBoundedLimits.top,
                       kept.end(), better);
      kept.resize(kBoundedLimits.top);
    }
    std::sort(kept.begin(), kept.end(),
              [](const Entry& a, const Entry& b) { return a.row < b.row; });
    uint32_t reaching = 0;
    for (const Entry& e : kept) reaching += e.reaches ? 1 : 0;
    const bool last_misses = !kept.empty() && !kept.back().reaches;
    found->push_back(
        FoundHeader(reaching + (last_misses ? 1 : 0), last_misses));
    found->push_back(static_cast<uint32_t>(kept.size()));
    for (const Entry& e : kept) {
      if (e.reaches) found->push_back(e.row);
    }
    if (last_misses) found->push_back(kept.back().row);
  }
  ExpectAllRead(blocks, at);
}

std::vector<uint64_t> KeysOverBucket(
    std::span<const uint64_t> keys,
    std::span<const std::vector<uint32_t>> block_rows) {
  std::vector<uint64_t> rows(keys.size(), 0);
  for (const std::vector<uint32_t>& block : block_rows) {
    if (block.size() != keys.size()) {
      throw std::invalid_argument("a block counted other keys");
    }
    for (size_t i = 0; i < keys.size(); ++i) rows[i] += block[i];
  }
  std::vector<uint64_t> over;
  for (size_t i = 0; i < keys.size(); ++i) {
    if (rows[i] > kBoundedLimits.bucket) over.push_back(keys[i]);
  }
  return over;
}

}  // namespace vexlor

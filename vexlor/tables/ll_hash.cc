#include "vexlor/tables/ll_hash.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "vexlor/tables/hash_func.h"

namespace vexlor {
namespace {

constexpr size_t kKeyBlockBytes = 64 * 1024;

// Links pool entries [first, end) into an ascending free list ending in
// `tail`, and returns its head.
template <class Pool>
uint32_t LinkFree(Pool& pool, size_t first, size_t end, uint32_t tail) {
  if (first >= end) return tail;
  for (size_t i = first; i + 1 < end; ++i) {
    pool[i].next = static_cast<uint32_t>(i + 1);
  }
  pool[end - 1].next = tail;
  return static_cast<uint32_t>(first);
}

}  // namespace

LLHash::LLHash() {
  Init(kDefaultBuckets, kDefaultInitialNodes, kDefaultGrowthStep);
}

LLHash::~LLHash() { ReleaseValueArrays(); }

void LLHash::Init(int32_t buckets, int32_t initial_nodes, int32_t growth_step) {
  const int32_t initial = initial_nodes > 0 ? initial_nodes : initial_nodes_;
  const int32_t growth = growth_step > 0 ? growth_step : growth_step_;
  const uint32_t bucket_count = buckets > 0 ? static_cast<uint32_t>(buckets) : 1;

  // Build the new shape first, so that running out of memory here leaves the
  // old table untouched.
  std::vector<uint32_t> heads(bucket_count, 0);
  std::vector<Node> pool(static_cast<size_t>(initial));  // zeroed: all free
  const uint32_t free_head = LinkFree(pool, 1, pool.size(), 0);

  ReleaseValueArrays();
  heads_.swap(heads);
  pool_.swap(pool);
  free_head_ = free_head;
  bucket_mask_ = std::has_single_bit(bucket_count) ? bucket_count - 1 : 0;
  initial_nodes_ = initial;
  growth_step_ = growth;
  nodes_in_use_ = 0;
  key_blocks_.clear();
  key_cursor_ = nullptr;
  key_room_ = 0;
}

void LLHash::ReleaseValueArrays() {
  for (Node& node : pool_) {
    if (node.value_count > kInlineValues) ::operator delete(node.values.ptr);
    node.value_count = 0;
  }
}

void LLHash::GrowPool() {
  // A block of n entries adds n - 1 nodes (the first block spends one on the
  // unused entry 0). A step of 1 would add none and leave nothing to hand
  // out, so at least one node is always added.
  const size_t old_size = pool_.size();
  const size_t added = std::max<int64_t>(int64_t{growth_step_} - 1, 1);
  if (old_size + added > std::numeric_limits<uint32_t>::max()) {
    throw std::bad_alloc();
  }
  // std::vector grows its capacity geometrically, so a long run of small
  // blocks does not copy the pool once per block.
  pool_.resize(old_size + added);
  free_head_ = LinkFree(pool_, old_size, pool_.size(), free_head_);
}

const char* LLHash::StoreKey(std::string_view key) {
  const size_t size = key.size();
  if (size > key_room_) {
    // Leave the current block's remainder for later small keys if this key
    // is big enough to deserve a block of its own.
    const bool own_block = size > kKeyBlockBytes / 4;
    const size_t block_size = own_block ? size : kKeyBlockBytes;
    if (key_blocks_.size() == key_blocks_.capacity()) {
      key_blocks_.reserve(key_blocks_.size() * 2 + 4);  // push_back can't throw
    }
    key_blocks_.push_back(std::make_unique_for_overwrite<char[]>(block_size));
    char* block = key_blocks_.back().get();
    if (own_block) {
      std::memcpy(block, key.data(), size);
      return block;
    }
    key_cursor_ = block;
    key_room_ = block_size;
  }
  char* stored = key_cursor_;
  std::memcpy(stored, key.data(), size);
  key_cursor_ += size;
  key_room_ -= size;
  return stored;
}

void LLHash::AppendSlow(Node& node, uint32_t value) {
  const uint32_t count = node.value_count;
  if (count == std::numeric_limits<uint32_t>::max()) throw std::bad_alloc();
  // Capacities are powers of two, so a full array is one whose count is a
  // power of two (the inline pair counts as capacity 2).
  const size_t capacity = size_t{count} * 2;
  auto* grown =
      static_cast<uint32_t*>(::operator new(capacity * sizeof(uint32_t)));
  const uint32_t* old = node.Values().data();
  std::memcpy(grown, old, size_t{count} * sizeof(uint32_t));
  if (count > kInlineValues) ::operator delete(node.values.ptr);
  node.values.ptr = grown;
  grown[count] = value;
  node.value_count = count + 1;
}

int LLHash::Add(std::string_view key, uint32_t value) {
  if (key.empty()) return -1;
  if (key.size() > std::numeric_limits<uint32_t>::max()) throw std::bad_alloc();
  const uint32_t hash = CHashFunc::Hash(key, kSeed);
  const uint32_t bucket = BucketOf(hash);
  uint32_t last = 0;
  for (uint32_t i = heads_[bucket]; i != 0; i = pool_[i].next) {
    Node& node = pool_[i];
    if (node.hash == hash && node.Key() == key) {
      const uint32_t count = node.value_count;
      if (count < kInlineValues) {
        node.values.items[count] = value;
      } else if (std::has_single_bit(count)) {
        AppendSlow(node, value);
        return 0;
      } else {
        node.values.ptr[count] = value;
      }
      node.value_count = count + 1;
      return 0;
    }
    last = i;
  }

  // A new key: everything that can fail happens before the node is taken
  // from the free list and linked in.
  if (free_head_ == 0) GrowPool();
  const char* long_key = key.size() > kInlineKeyBytes ? StoreKey(key) : nullptr;
  const uint32_t index = free_head_;
  Node& node = pool_[index];
  free_head_ = node.next;
  node.next = 0;
  node.hash = hash;
  node.key_size = static_cast<uint32_t>(key.size());
  if (long_key != nullptr) {
    node.key.ptr = long_key;
  } else {
    std::memcpy(node.key.chars, key.data(), key.size());
  }
  node.values.items[0] = value;
  node.value_count = 1;
  if (last == 0) {
    heads_[bucket] = index;
  } else {
    pool_[last].next = index;
  }
  ++nodes_in_use_;
  return 0;
}

std::span<const uint32_t> LLHash::Find(std::string_view key) const {
  if (key.empty()) return {};
  const uint32_t hash = CHashFunc::Hash(key, kSeed);
  for (uint32_t i = heads_[BucketOf(hash)]; i != 0; i = pool_[i].next) {
    const Node& node = pool_[i];
    if (node.hash == hash && node.Key() == key) return node.Values();
  }
  return {};
}

}  // namespace vexlor

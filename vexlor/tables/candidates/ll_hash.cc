#include "vexlor/tables/candidates/ll_hash.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "vexlor/tables/candidates/hash_func.h"

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

inline uint64_t FromLittle64(uint64_t v) {
  if constexpr (std::endian::native == std::endian::big)
    v = __builtin_bswap64(v);
  return v;
}

inline uint64_t LoadLittle32(const char* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big)
    v = __builtin_bswap32(v);
  return v;
}

// Short keys (1 to 8 bytes) compare as one 64-bit word: the key's bytes,
// zero-padded, read as a little-endian number. It is built from overlapping
// loads of the first and last bytes (where they overlap they agree) rather
// than by storing bytes into a buffer, which would stall the load that
// follows them.
inline uint64_t SmallKeyWord(std::string_view key) {
  const char* p = key.data();
  const size_t n = key.size();
  if (n >= 4)
    return LoadLittle32(p) | (LoadLittle32(p + n - 4) << (8 * (n - 4)));
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return uint64_t{u[0]} | (uint64_t{u[n / 2]} << (8 * (n / 2))) |
         (uint64_t{u[n - 1]} << (8 * (n - 1)));
}

}  // namespace

uint32_t LLHash::FindNode(std::string_view key, uint32_t hash, uint32_t bucket,
                          uint32_t* last) const {
  const uint32_t size = static_cast<uint32_t>(key.size());
  uint32_t previous = 0;
  if (size <= kInlineKeyBytes) {
    const uint64_t word = SmallKeyWord(key);
    for (uint32_t i = heads_[bucket]; i != 0; i = pool_[i].next) {
      const Node& node = pool_[i];
      uint64_t stored;
      std::memcpy(&stored, node.key.chars, sizeof stored);
      if (node.hash == hash && node.key_size == size &&
          FromLittle64(stored) == word) {
        return i;
      }
      previous = i;
    }
  } else {
    for (uint32_t i = heads_[bucket]; i != 0; i = pool_[i].next) {
      const Node& node = pool_[i];
      if (node.hash == hash && node.key_size == size &&
          std::memcmp(node.key.ptr, key.data(), size) == 0) {
        return i;
      }
      previous = i;
    }
  }
  if (last != nullptr) *last = previous;
  return 0;
}

LLHash::LLHash() {
  Init(kDefaultBuckets, kDefaultInitialNodes, kDefaultGrowthStep);
}

LLHash::~LLHash() { ReleaseValueArrays(); }

void LLHash::Init(int32_t buckets, int32_t initial_nodes, int32_t growth_step) {
  const int32_t initial = initial_nodes > 0 ? initial_nodes : initial_nodes_;
  const int32_t growth = growth_step > 0 ? growth_step : growth_step_;
  const uint32_t bucket_count =
      buckets > 0 ? static_cast<uint32_t>(buckets) : 1;

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
  if (const uint32_t found = FindNode(key, hash, bucket, &last); found != 0) {
    Node& node = pool_[found];
    const uint32_t count = node.value_count;
    if (count < kInlineValues) {
      node.values.items[count] = value;
    } else if ((count & (count - 1)) == 0) {  // full: a power of two
      AppendSlow(node, value);
      return 0;
    } else {
      node.values.ptr[count] = value;
    }
    node.value_count = count + 1;
    return 0;
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
    const uint64_t word = FromLittle64(SmallKeyWord(key));  // byte order
    std::memcpy(node.key.chars, &word, sizeof word);
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
  const uint32_t found = FindNode(key, hash, BucketOf(hash), nullptr);
  if (found == 0) return {};
  return pool_[found].Values();
}

}  // namespace vexlor

// LLHash: the index behind candidate search in the batch methods. It maps a
// short byte-string key (a trigram, a label, a whole cell text) to the list
// of 32-bit values (record numbers) filed under it, in the order they were
// filed, duplicates kept.
//
// A chained hash table whose buckets and nodes live in arrays linked by
// index: node 0 is never used, so index 0 means "no node". Nodes come from a
// pool that grows in blocks and hands them out through a free list. Chains
// keep keys in first-insertion order, and ForEach walks bucket 0 first, each
// chain from its head; the duplicate search returns its groups in exactly
// that order, so bucket choice (CHashFunc with seed 23, modulo the bucket
// count) and chain order are part of the contract.
//
// Keys of up to 8 bytes (trigrams) are stored in the node itself, longer ones
// in a shared block arena; the first two values of a key are stored in the
// node too. So filing a new key costs no allocation of its own except when a
// block is added, and a key's values are one contiguous array.
//
// Running out of memory throws std::bad_alloc from Init or Add; the table is
// left as it was before that call (apart from spare pool capacity).

#ifndef VEXLOR_TABLES_CANDIDATES_LL_HASH_H_
#define VEXLOR_TABLES_CANDIDATES_LL_HASH_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace vexlor {

class LLHash {
 public:
  static constexpr uint32_t kSeed = 23;
  static constexpr int32_t kDefaultBuckets = 1024;
  static constexpr int32_t kDefaultInitialNodes = 2048;
  static constexpr int32_t kDefaultGrowthStep = 1024;

  // The state after Init(1024, 2048, 1024).
  LLHash();
  ~LLHash();
  LLHash(const LLHash&) = delete;
  LLHash& operator=(const LLHash&) = delete;

  // Empties the table and sets its shape: `buckets` empty buckets (fewer
  // than 1 are taken as 1, since a table needs somewhere to put keys), a pool
  // of one block of `initial_nodes` entries (entry 0 unused, so it offers
  // initial_nodes - 1 free nodes), and `growth_step` as the block size of
  // later growth. An `initial_nodes` or `growth_step` of 0 or less keeps the
  // previous value. Cost: O(buckets + initial_nodes + previous pool).
  // Throws std::bad_alloc, leaving the old table intact.
  void Init(int32_t buckets, int32_t initial_nodes, int32_t growth_step);

  // Files `value` under `key`, creating the key's node (at the end of its
  // bucket's chain) on first use. Returns 0, or -1 for an empty key, which
  // stores nothing. Keys compare byte for byte (case-sensitive). Cost: one
  // hash plus a chain walk; amortised O(1) for the value append. When the
  // free list is empty, the pool first grows by a block of growth_step
  // entries, of which growth_step - 1 (at least 1) become new free nodes.
  int Add(std::string_view key, uint32_t value);

  // Returns the values filed under `key`, in filing order; empty when the
  // key was never added or is empty (an added key always has a value). The
  // span stays valid until the next Add or Init.
  std::span<const uint32_t> Find(std::string_view key) const;

  int32_t GetBucketCount() const { return static_cast<int32_t>(heads_.size()); }

  // Calls f(std::string_view key, std::span<const uint32_t> values) for every
  // key: bucket 0 to GetBucketCount() - 1, each chain from its head, that is
  // in first-insertion order within a bucket. f must not modify the table.
  // Cost: O(buckets + keys).
  template <class F>
  void ForEach(F&& f) const {
    for (uint32_t head : heads_) {
      for (uint32_t i = head; i != 0; i = pool_[i].next) {
        const Node& node = pool_[i];
        f(node.Key(), node.Values());
      }
    }
  }

  // Number of distinct keys filed since the last Init.
  uint32_t GetNodesInUse() const { return nodes_in_use_; }
  // Pool entries, including the unused entry 0 and the free nodes.
  uint32_t GetPoolSize() const { return static_cast<uint32_t>(pool_.size()); }
  int32_t GetInitialNodes() const { return initial_nodes_; }
  int32_t GetGrowthStep() const { return growth_step_; }

 private:
  static constexpr size_t kInlineKeyBytes = 8;
  static constexpr uint32_t kInlineValues = 2;

  // 32 bytes, two to a cache line. Which union member is live follows from
  // key_size and value_count. A free node has value_count 0.
  struct Node {
    uint32_t next;  // next node of the chain or of the free list, 0 at end
    uint32_t hash;  // full key hash: a cheap reject before comparing bytes
    uint32_t key_size;
    uint32_t value_count;
    union {
      char chars[kInlineKeyBytes];  // zero-padded
      const char* ptr;              // into the key arena
    } key;
    union {
      uint32_t items[kInlineValues];
      uint32_t* ptr;  // owned; capacity is the power of two >= value_count
    } values;

    std::string_view Key() const {
      return {key_size <= kInlineKeyBytes ? key.chars : key.ptr, key_size};
    }
    std::span<const uint32_t> Values() const {
      return {value_count <= kInlineValues ? values.items : values.ptr,
              value_count};
    }
  };

  uint32_t BucketOf(uint32_t hash) const {
    return bucket_mask_ != 0 ? (hash & bucket_mask_)
                             : hash % static_cast<uint32_t>(heads_.size());
  }
  // Returns the node of `key` in `bucket`, or 0; then *last (if given) is
  // the chain's last node, 0 for an empty chain.
  uint32_t FindNode(std::string_view key, uint32_t hash, uint32_t bucket,
                    uint32_t* last) const;
  void GrowPool();
  static void AppendSlow(Node& node, uint32_t value);
  const char* StoreKey(std::string_view key);
  void ReleaseValueArrays();

  std::vector<uint32_t> heads_;
  std::vector<Node> pool_;
  uint32_t free_head_ = 0;
  uint32_t bucket_mask_ = 0;  // buckets - 1 for a power of two, else 0
  int32_t initial_nodes_ = kDefaultInitialNodes;
  int32_t growth_step_ = kDefaultGrowthStep;
  uint32_t nodes_in_use_ = 0;

  // Long keys are never freed one by one, so they are bump-allocated.
  std::vector<std::unique_ptr<char[]>> key_blocks_;
  char* key_cursor_ = nullptr;
  size_t key_room_ = 0;
};

}  // namespace vexlor

#endif  // VEXLOR_TABLES_CANDIDATES_LL_HASH_H_

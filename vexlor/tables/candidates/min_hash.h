// Min-hash band keys of a set of trigrams, for the bounded candidate rule
// (candidate_rule.h). For each of kMinHashBands x kRowsPerBand hash
// functions the set's least hash is taken; each band of kRowsPerBand such
// minima makes one key. Two sets share a band's key with a probability of
// about J^kRowsPerBand, J being the share of trigrams they have in common
// (their Jaccard similarity), so near duplicates share a key in some band
// and unrelated rows seldom do.
#ifndef VEXLOR_TABLES_CANDIDATES_MIN_HASH_H_
#define VEXLOR_TABLES_CANDIDATES_MIN_HASH_H_

#include <cstdint>
#include <limits>
#include <span>

namespace vexlor {

inline constexpr uint32_t kMinHashBands = 48;
inline constexpr uint32_t kRowsPerBand = 2;

// The h-th hash of trigram key `key` (trigram_keys.h): fixed constants, so
// the same on every platform and run.
inline uint64_t TrigramHash(uint32_t key, uint32_t h) {
  uint64_t x = uint64_t{key} * 0x9E3779B97F4A7C15ull ^
               (uint64_t{h} + 1) * 0xC2B2AE3D27D4EB4Full;
  x ^= x >> 29;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 32;
  return x;
}

// The key of a band from its minima.
inline uint32_t BandKey(const uint64_t* minima) {
  uint64_t x = 0;
  for (uint32_t j = 0; j < kRowsPerBand; ++j) {
    x = (x ^ minima[j]) * 0x9E3779B97F4A7C15ull;
    x ^= x >> 31;
  }
  return static_cast<uint32_t>(x >> 32);
}

// Writes the kMinHashBands band keys of the trigrams `keys` (repeats
// allowed; not empty) to `out`. Cost: kMinHashBands x kRowsPerBand hashes
// per key.
inline void MinHashBandKeys(std::span<const uint32_t> keys, uint32_t* out) {
  uint64_t minima[kMinHashBands * kRowsPerBand];
  for (uint64_t& m : minima) m = std::numeric_limits<uint64_t>::max();
  for (uint32_t key : keys) {
    for (uint32_t h = 0; h < kMinHashBands * kRowsPerBand; ++h) {
      const uint64_t v = TrigramHash(key, h);
      if (v < minima[h]) minima[h] = v;
    }
  }
  for (uint32_t b = 0; b < kMinHashBands; ++b) {
    out[b] = BandKey(minima + b * kRowsPerBand);
  }
}

}  // namespace vexlor

#endif  // VEXLOR_TABLES_CANDIDATES_MIN_HASH_H_

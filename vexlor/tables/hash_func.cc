#include "vexlor/tables/hash_func.h"

#include <bit>
#include <cstring>

namespace vexlor {
namespace {

// Reads four bytes as a little-endian number whatever the host order.
inline uint32_t LoadLittle32(const char* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big) {
    v = __builtin_bswap32(v);
  }
  return v;
}

inline void Mix(uint32_t& a, uint32_t& b, uint32_t& c) {
  a -= b; a -= c; a ^= (c >> 13);
  b -= c; b -= a; b ^= (a << 8);
  c -= a; c -= b; c ^= (b >> 13);
  a -= b; a -= c; a ^= (c >> 12);
  b -= c; b -= a; b ^= (a << 16);
  c -= a; c -= b; c ^= (b >> 5);
  a -= b; a -= c; a ^= (c >> 3);
  b -= c; b -= a; b ^= (a << 10);
  c -= a; c -= b; c ^= (b >> 15);
}

}  // namespace

uint32_t CHashFunc::Hash(std::string_view key, uint32_t seed) {
  constexpr uint32_t kGoldenRatio = 0x9E3779B9u;
  uint32_t a = kGoldenRatio;
  uint32_t b = kGoldenRatio;
  uint32_t c = seed;
  const char* p = key.data();
  size_t left = key.size();
  while (left >= 12) {
    a += LoadLittle32(p);
    b += LoadLittle32(p + 4);
    c += LoadLittle32(p + 8);
    Mix(a, b, c);
    p += 12;
    left -= 12;
  }
  // The length is folded in modulo 2^32, like every other addition here.
  c += static_cast<uint32_t>(key.size());
  // Zero-padding the tail to 12 bytes adds exactly the bytes that exist. The
  // lowest byte of c already holds the length, so the tail's third word
  // enters shifted by one byte (at most 11 bytes remain, so nothing is lost).
  char tail[12] = {};
  if (left > 0) std::memcpy(tail, p, left);
  a += LoadLittle32(tail);
  b += LoadLittle32(tail + 4);
  c += LoadLittle32(tail + 8) << 8;
  Mix(a, b, c);
  return c;
}

}  // namespace vexlor

#include "vexlor/tables/candidates/hash_func.h"

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

// clang-format off
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
// clang-format on

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
  // The lowest byte of c holds it, so the tail's bytes 8 to 10 enter c one
  // byte higher than a and b take theirs.
  c += static_cast<uint32_t>(key.size());
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  // clang-format off
  switch (left) {
    case 11: c += uint32_t{u[10]} << 24; [[fallthrough]];
    case 10: c += uint32_t{u[9]} << 16; [[fallthrough]];
    case 9: c += uint32_t{u[8]} << 8; [[fallthrough]];
    case 8: b += uint32_t{u[7]} << 24; [[fallthrough]];
    case 7: b += uint32_t{u[6]} << 16; [[fallthrough]];
    case 6: b += uint32_t{u[5]} << 8; [[fallthrough]];
    case 5: b += u[4]; [[fallthrough]];
    case 4: a += uint32_t{u[3]} << 24; [[fallthrough]];
    case 3: a += uint32_t{u[2]} << 16; [[fallthrough]];
    case 2: a += uint32_t{u[1]} << 8; [[fallthrough]];
    case 1: a += u[0]; [[fallthrough]];
    default: break;
  }
  // clang-format on
  Mix(a, b, c);
  return c;
}

}  // namespace vexlor

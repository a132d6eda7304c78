// A deliberately plain lookup2 (Jenkins, 1996) written from the published
// description, byte by byte, for checking the fast hash of the indexes.

#ifndef VEXLOR_TESTS_REFERENCE_LOOKUP2_REFERENCE_H_
#define VEXLOR_TESTS_REFERENCE_LOOKUP2_REFERENCE_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vexlor::reference {

// clang-format off
inline void Lookup2Mix(uint32_t& a, uint32_t& b, uint32_t& c) {
  a = a - b; a = a - c; a = a ^ (c >> 13);
  b = b - c; b = b - a; b = b ^ (a << 8);
  c = c - a; c = c - b; c = c ^ (b >> 13);
  a = a - b; a = a - c; a = a ^ (c >> 12);
  b = b - c; b = b - a; b = b ^ (a << 16);
  c = c - a; c = c - b; c = c ^ (b >> 5);
  a = a - b; a = a - c; a = a ^ (c >> 3);
  b = b - c; b = b - a; b = b ^ (a << 10);
  c = c - a; c = c - b; c = c ^ (b >> 15);
}
// clang-format on

inline uint32_t Lookup2Byte(std::string_view key, size_t i) {
  return static_cast<unsigned char>(key[i]);
}

inline uint32_t Lookup2(std::string_view key, uint32_t initval) {
  uint32_t a = 0x9E3779B9u;
  uint32_t b = 0x9E3779B9u;
  uint32_t c = initval;
  size_t pos = 0;
  size_t len = key.size();
  while (len >= 12) {
    a += Lookup2Byte(key, pos + 0) + (Lookup2Byte(key, pos + 1) << 8) +
         (Lookup2Byte(key, pos + 2) << 16) + (Lookup2Byte(key, pos + 3) << 24);
    b += Lookup2Byte(key, pos + 4) + (Lookup2Byte(key, pos + 5) << 8) +
         (Lookup2Byte(key, pos + 6) << 16) + (Lookup2Byte(key, pos + 7) << 24);
    c += Lookup2Byte(key, pos + 8) + (Lookup2Byte(key, pos + 9) << 8) +
         (Lookup2Byte(key, pos + 10) << 16) +
         (Lookup2Byte(key, pos + 11) << 24);
    Lookup2Mix(a, b, c);
    pos += 12;
    len -= 12;
  }
  c += static_cast<uint32_t>(key.size());
  // The published tail: a switch on the remaining length, falling through.
  if (len >= 11) c += Lookup2Byte(key, pos + 10) << 24;
  if (len >= 10) c += Lookup2Byte(key, pos + 9) << 16;
  if (len >= 9) c += Lookup2Byte(key, pos + 8) << 8;
  if (len >= 8) b += Lookup2Byte(key, pos + 7) << 24;
  if (len >= 7) b += Lookup2Byte(key, pos + 6) << 16;
  if (len >= 6) b += Lookup2Byte(key, pos + 5) << 8;
  if (len >= 5) b += Lookup2Byte(key, pos + 4);
  if (len >= 4) a += Lookup2Byte(key, pos + 3) << 24;
  if (len >= 3) a += Lookup2Byte(key, pos + 2) << 16;
  if (len >= 2) a += Lookup2Byte(key, pos + 1) << 8;
  if (len >= 1) a += Lookup2Byte(key, pos + 0);
  Lookup2Mix(a, b, c);
  return c;
}

}  // namespace vexlor::reference

#endif  // VEXLOR_TESTS_REFERENCE_LOOKUP2_REFERENCE_H_

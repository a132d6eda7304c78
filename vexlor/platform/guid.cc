#include "vexlor/platform/guid.h"

namespace vexlor::platform {

namespace {

// SplitMix64: a small generator whose every seed gives a good sequence.
uint64_t SplitMix64(uint64_t* state) {
  uint64_t z = (*state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

constexpr char kHex[] = "0123456789ABCDEF";

char* PutHex(uint64_t value, int digits, char* out) {
  for (int i = digits - 1; i >= 0; --i) {
    out[i] = kHex[value & 0xF];
    value >>= 4;
  }
  return out + digits;
}

}  // namespace

bool Guid::IsZero() const {
  if (data1 != 0 || data2 != 0 || data3 != 0) return false;
  for (uint8_t b : data4) {
    if (b != 0) return false;
  }
  return true;
}

void FormatGuidTo(const Guid& guid, char* out) {
  *out++ = '{';
  out = PutHex(guid.data1, 8, out);
  *out++ = '-';
  out = PutHex(guid.data2, 4, out);
  *out++ = '-';
  out = PutHex(guid.data3, 4, out);
  *out++ = '-';
  out = PutHex(guid.data4[0], 2, out);
  out = PutHex(guid.data4[1], 2, out);
  *out++ = '-';
  for (int i = 2; i < 8; ++i) out = PutHex(guid.data4[i], 2, out);
  *out = '}';
}

std::string FormatGuid(const Guid& guid) {
  std::string text(38, '\0');
  FormatGuidTo(guid, text.data());
  return text;
}

void GuidFromBits(uint64_t high, uint64_t low, Guid* guid) {
  guid->data1 = static_cast<uint32_t>(high >> 32);
  guid->data2 = static_cast<uint16_t>(high >> 16);
  guid->data3 = static_cast<uint16_t>((high & 0x0FFF) | 0x4000);
  low = (low & 0x3FFFFFFFFFFFFFFFull) | 0x8000000000000000ull;
  for (int i = 0; i < 8; ++i) {
    guid->data4[i] = static_cast<uint8_t>(low >> (56 - 8 * i));
  }
}

bool SeededGuidSource::Create(Guid* guid) {
  uint64_t high = SplitMix64(&state_);
  uint64_t low = SplitMix64(&state_);
  GuidFromBits(high, low, guid);
  return true;
}

}  // namespace vexlor::platform

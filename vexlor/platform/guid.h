// Globally unique identifiers and their text form.
//
// Labels of record groups are GUID texts, one per record of a table, so
// making one must be cheap. A source is either random (fresh 128-bit values
// from the system's entropy) or seeded, which makes its sequence of texts
// reproducible: the same seed gives the same texts in the same order.
#ifndef VEXLOR_PLATFORM_GUID_H_
#define VEXLOR_PLATFORM_GUID_H_

#include <cstdint>
#include <memory>
#include <random>
#include <string>

#include "vexlor/export.h"

namespace vexlor::platform {

struct VEXLOR_EXPORT Guid {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  uint8_t data4[8] = {};
  bool IsZero() const;
};

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}": 38 characters, upper-case
// hexadecimal, the last eight bytes in storage order.
VEXLOR_EXPORT std::string FormatGuid(const Guid& guid);
// Writes the 38 characters to `out` (no terminator).
VEXLOR_EXPORT void FormatGuidTo(const Guid& guid, char* out);

class GuidSource {
 public:
  virtual ~GuidSource() = default;
  // Fills `guid`; returns false when no identifier can be made (the guid is
  // then left all zeros).
  virtual bool Create(Guid* guid) = 0;
};

// Random version-4 identifiers: on Linux from a generator seeded by the
// system's entropy source, on Windows from CoCreateGuid (about a
// microsecond each).
class VEXLOR_EXPORT RandomGuidSource : public GuidSource {
 public:
  RandomGuidSource();
  bool Create(Guid* guid) override;

 private:
#ifndef _WIN32
  std::mt19937_64 engine_;
#endif
};

// A reproducible sequence of version-4 identifiers.
class VEXLOR_EXPORT SeededGuidSource : public GuidSource {
 public:
  explicit SeededGuidSource(uint64_t seed) : state_(seed) {}
  bool Create(Guid* guid) override;

 private:
  uint64_t state_;
};

// Fills a guid from two 64-bit random words, marking it version 4.
VEXLOR_EXPORT void GuidFromBits(uint64_t high, uint64_t low, Guid* guid);

}  // namespace vexlor::platform

#endif  // VEXLOR_PLATFORM_GUID_H_

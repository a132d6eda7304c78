// What the control keeps in a form or a document: the version of its
// persistent state, 1.0 (0x10000), followed by its extent in HIMETRIC
// units. Nothing else is persisted: the CSV properties and the column
// options live only in the running object.
//
// In a stream the state is three little-endian 32-bit values (version,
// width, height); in a property bag it is "_Version", "_ExtentX" and
// "_ExtentY" as 32-bit integers.
#ifndef VEXLOR_COM_PROPERTY_EXCHANGE_H_
#define VEXLOR_COM_PROPERTY_EXCHANGE_H_

#include <windows.h>
#include <ocidl.h>

#include <cstdint>

namespace vexlor::com {

inline constexpr uint32_t kPersistVersion = 0x10000;
inline constexpr ULONG kPersistedStreamSize = 12;

struct PersistedState {
  uint32_t version = kPersistVersion;
  SIZEL extent = {890, 890};
};

// Writes `state` at the stream's position. S_OK, or the stream's error.
HRESULT SaveState(IStream* stream, const PersistedState& state);
// Reads a state written by SaveState. A stream that ends early or fails
// gives an error (STG_E_READFAULT for a short one) and leaves `state` as
// it was.
HRESULT LoadState(IStream* stream, PersistedState* state);

// Writes the three values into `bag`. S_OK, or the bag's error.
HRESULT SaveState(IPropertyBag* bag, const PersistedState& state);
// Reads the values a bag has; missing or unreadable ones keep their value
// in `state`, since a form written by hand may leave them out. S_OK.
HRESULT LoadState(IPropertyBag* bag, IErrorLog* log, PersistedState* state);

}  // namespace vexlor::com

#endif  // VEXLOR_COM_PROPERTY_EXCHANGE_H_

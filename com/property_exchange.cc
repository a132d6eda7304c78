#include "com/property_exchange.h"

#include <oleauto.h>

namespace vexlor::com {

namespace {

void PutLittleEndian(uint32_t value, BYTE* out) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<BYTE>(value >> (8 * i));
}

uint32_t GetLittleEndian(const BYTE* in) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | in[i];
  return value;
}

HRESULT WriteInteger(IPropertyBag* bag, const wchar_t* name, int32_t value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  return bag->Write(name, &v);
}

// Reads `name` as a 32-bit integer into `*value`; leaves it when the bag
// has no such value or it is not a number.
void ReadInteger(IPropertyBag* bag, IErrorLog* log, const wchar_t* name,
                 int32_t* value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  if (SUCCEEDED(bag->Read(name, &v, log)) &&
      SUCCEEDED(VariantChangeType(&v, &v, 0, VT_I4))) {
    *value = v.lVal;
  }
  VariantClear(&v);
}

}  // namespace

HRESULT SaveState(IStream* stream, const PersistedState& state) {
  if (stream == nullptr) return E_POINTER;
  BYTE bytes[kPersistedStreamSize];
  PutLittleEndian(state.version, bytes);
  PutLittleEndian(static_cast<uint32_t>(state.extent.cx), bytes + 4);
  PutLittleEndian(static_cast<uint32_t>(state.extent.cy), bytes + 8);
  ULONG written = 0;
  HRESULT status = stream->Write(bytes, sizeof bytes, &written);
  if (FAILED(status)) return status;
  return written == sizeof bytes ? S_OK : STG_E_WRITEFAULT;
}

HRESULT LoadState(IStream* stream, PersistedState* state) {
  if (stream == nullptr || state == nullptr) return E_POINTER;
  BYTE bytes[kPersistedStreamSize];
  ULONG read = 0;
  HRESULT status = stream->Read(bytes, sizeof bytes, &read);
  if (FAILED(status)) return status;
  if (read != sizeof bytes) return STG_E_READFAULT;
  state->version = GetLittleEndian(bytes);
  state->extent.cx = static_cast<LONG>(GetLittleEndian(bytes + 4));
  state->extent.cy = static_cast<LONG>(GetLittleEndian(bytes + 8));
  return S_OK;
}

HRESULT SaveState(IPropertyBag* bag, const PersistedState& state) {
  if (bag == nullptr) return E_POINTER;
  HRESULT status =
      WriteInteger(bag, L"_Version", static_cast<int32_t>(state.version));
  if (SUCCEEDED(status))
    status = WriteInteger(bag, L"_ExtentX", state.extent.cx);
  if (SUCCEEDED(status))
    status = WriteInteger(bag, L"_ExtentY", state.extent.cy);
  return status;
}

HRESULT LoadState(IPropertyBag* bag, IErrorLog* log, PersistedState* state) {
  if (bag == nullptr || state == nullptr) return E_POINTER;
  int32_t version = static_cast<int32_t>(state->version);
  int32_t cx = state->extent.cx;
  int32_t cy = state->extent.cy;
  ReadInteger(bag, log, L"_Version", &version);
  ReadInteger(bag, log, L"_ExtentX", &cx);
  ReadInteger(bag, log, L"_ExtentY", &cy);
  state->version = static_cast<uint32_t>(version);
  state->extent = {cx, cy};
  return S_OK;
}

}  // namespace vexlor::com

#include "com/guids.h"

#include <cstdint>
#include <cstring>

#include "vexlor/control/module.h"

namespace vexlor::com {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads `digits` hexadecimal digits at `*p`, skipping one '-' before them
// where the text has one.
bool ReadHex(const char** p, int digits, uint64_t* value) {
  if (**p == '-') ++*p;
  *value = 0;
  for (int i = 0; i < digits; ++i) {
    int d = HexDigit((*p)[i]);
    if (d < 0) return false;
    *value = *value * 16 + static_cast<uint64_t>(d);
  }
  *p += digits;
  return true;
}

}  // namespace

GUID GuidFromText(const char* text) {
  GUID guid;
  std::memset(&guid, 0, sizeof guid);
  if (text == nullptr || std::strlen(text) != 38 || text[0] != '{' ||
      text[37] != '}') {
    return guid;
  }
  const char* p = text + 1;
  uint64_t v1, v2, v3, v4, v5;
  if (!ReadHex(&p, 8, &v1) || !ReadHex(&p, 4, &v2) || !ReadHex(&p, 4, &v3) ||
      !ReadHex(&p, 4, &v4) || !ReadHex(&p, 12, &v5)) {
    std::memset(&guid, 0, sizeof guid);
    return guid;
  }
  guid.Data1 = static_cast<unsigned long>(v1);
  guid.Data2 = static_cast<unsigned short>(v2);
  guid.Data3 = static_cast<unsigned short>(v3);
  guid.Data4[0] = static_cast<unsigned char>(v4 >> 8);
  guid.Data4[1] = static_cast<unsigned char>(v4);
  for (int i = 0; i < 6; ++i) {
    guid.Data4[2 + i] = static_cast<unsigned char>(v5 >> (8 * (5 - i)));
  }
  return guid;
}

const GUID& ControlClsid() {
  static const GUID guid = GuidFromText(kControlClsid);
  return guid;
}
const GUID& PropPageClsid() {
  static const GUID guid = GuidFromText(kPropPageClsid);
  return guid;
}
const GUID& TypeLibId() {
  static const GUID guid = GuidFromText(kTypeLibId);
  return guid;
}
const GUID& DispatchIid() {
  static const GUID guid = GuidFromText(kDispatchIid);
  return guid;
}
const GUID& EventsIid() {
  static const GUID guid = GuidFromText(kEventsIid);
  return guid;
}

}  // namespace vexlor::com

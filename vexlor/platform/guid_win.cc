#include <objbase.h>

#include <cstring>

#include "vexlor/platform/guid.h"

namespace vexlor::platform {

RandomGuidSource::RandomGuidSource() = default;

bool RandomGuidSource::Create(Guid* guid) {
  GUID made;
  if (FAILED(::CoCreateGuid(&made))) {
    *guid = Guid();
    return false;
  }
  guid->data1 = made.Data1;
  guid->data2 = made.Data2;
  guid->data3 = made.Data3;
  std::memcpy(guid->data4, made.Data4, sizeof guid->data4);
  return true;
}

}  // namespace vexlor::platform

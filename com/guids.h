// The identifiers of this build as GUID structures, read from the registry
// texts the module declares, so that registration, the class factories and
// the type library cannot disagree.
#ifndef VEXLOR_COM_GUIDS_H_
#define VEXLOR_COM_GUIDS_H_

#include <windows.h>

namespace vexlor::com {

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" to a GUID; all zeros for
// anything else.
GUID GuidFromText(const char* text);

const GUID& ControlClsid();
const GUID& PropPageClsid();
const GUID& TypeLibId();
const GUID& DispatchIid();
const GUID& EventsIid();

}  // namespace vexlor::com

#endif  // VEXLOR_COM_GUIDS_H_

// The control's verbs as IOleObject::EnumVerbs hands them out: besides the
// standard verbs every container knows, the control has one, Properties,
// which opens its property page.
#ifndef VEXLOR_COM_VERB_ENUM_H_
#define VEXLOR_COM_VERB_ENUM_H_

#include <windows.h>
#include <olectl.h>
#include <oleidl.h>

namespace vexlor::com {

// A new enumerator positioned before the first verb; E_OUTOFMEMORY when
// it cannot be made.
HRESULT CreateVerbEnum(IEnumOLEVERB** out);

}  // namespace vexlor::com

#endif  // VEXLOR_COM_VERB_ENUM_H_

// Late-bound calls from automation clients: names to dispatch identifiers,
// and DISPPARAMS to a call of the control's member table and back.
#ifndef VEXLOR_COM_DISPATCH_CALL_H_
#define VEXLOR_COM_DISPATCH_CALL_H_

#include <windows.h>
#include <oaidl.h>

#include "vexlor/vexlor_ctrl.h"

namespace vexlor::com {

// names[0] is a member, letter case ignored; names[1..] are parameters of
// it, whose identifiers are their 0-based positions (for named arguments).
// Unknown names get DISPID_UNKNOWN and the result DISP_E_UNKNOWNNAME.
HRESULT LookUpNames(LPOLESTR* names, UINT count, DISPID* dispids);

// Calls member `dispid` with the arguments of `params` (positional ones
// last to first, named ones by the identifiers LookUpNames gives, the value
// of a property put under DISPID_PROPERTYPUT). Returns S_OK with the result
// in `*result` (when not null), or DISP_E_MEMBERNOTFOUND,
// DISP_E_BADPARAMCOUNT, DISP_E_PARAMNOTFOUND, DISP_E_NONAMEDARGS,
// DISP_E_TYPEMISMATCH or DISP_E_OVERFLOW with the index into rgvarg of the
// offending argument in `*arg_error`. What the call throws (std::bad_alloc
// included) passes through, for the entry point's guard (boundary.h).
HRESULT CallMember(CVexlorCtrl& control, DISPID dispid, WORD flags,
                   const DISPPARAMS& params, VARIANT* result, UINT* arg_error);

}  // namespace vexlor::com

#endif  // VEXLOR_COM_DISPATCH_CALL_H_

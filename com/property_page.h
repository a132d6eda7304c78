// The control's property page, "VEXLOR.VexlorPropPage.1": the page a
// property frame shows for the control under the caption "General"
// (string 200), built from dialog 200 in the thread's user-interface
// language. The control has no properties a designer sets, so the page
// exchanges none: it explains where the control's settings are made, is
// never dirty, and applying it changes nothing.
#ifndef VEXLOR_COM_PROPERTY_PAGE_H_
#define VEXLOR_COM_PROPERTY_PAGE_H_

#include <windows.h>
#include <unknwn.h>

namespace vexlor::com {

// Makes a page and returns its interface `riid` (IPropertyPage and its
// IUnknown). E_OUTOFMEMORY when it cannot be made.
HRESULT CreatePropertyPage(REFIID riid, void** out);

}  // namespace vexlor::com

#endif  // VEXLOR_COM_PROPERTY_PAGE_H_

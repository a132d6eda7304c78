// The control's property page object. It is creatable so that a form
// designer that asks for it gets an object; the page exchanges no
// properties, and until it has a window of its own it offers no more than
// its identity.
#ifndef VEXLOR_COM_PROPERTY_PAGE_H_
#define VEXLOR_COM_PROPERTY_PAGE_H_

#include <windows.h>
#include <unknwn.h>

namespace vexlor::com {

HRESULT CreatePropertyPage(REFIID riid, void** out);

}  // namespace vexlor::com

#endif  // VEXLOR_COM_PROPERTY_PAGE_H_

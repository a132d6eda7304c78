// The class factories of the two creatable classes: the control and its
// property page.
#ifndef VEXLOR_COM_CLASS_FACTORY_H_
#define VEXLOR_COM_CLASS_FACTORY_H_

#include <windows.h>
#include <unknwn.h>

#include "com/com_object.h"

namespace vexlor::com {

// Makes a new object and returns its interface `riid`.
using CreateFunction = HRESULT (*)(REFIID riid, void** out);

class ClassFactory final : public ComObject<IClassFactory> {
 public:
  // A factory a host keeps holds the module loaded (ComObject counts it).
  explicit ClassFactory(CreateFunction create) : create_(create) {}

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid,
                                           void** out) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

 private:
  ~ClassFactory() override = default;
  void* FindInterface(REFIID riid) override;

  CreateFunction create_;
};

// The factory of class `clsid` (the control or the page), as
// DllGetClassObject hands it out.
HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** out);

}  // namespace vexlor::com

#endif  // VEXLOR_COM_CLASS_FACTORY_H_

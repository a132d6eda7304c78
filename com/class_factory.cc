#include "com/class_factory.h"

#include <new>

#include "com/automation_object.h"
#include "com/com_module.h"
#include "com/guids.h"
#include "com/property_page.h"

namespace vexlor::com {

void* ClassFactory::FindInterface(REFIID riid) {
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
    return static_cast<IClassFactory*>(this);
  }
  return nullptr;
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  return create_(riid, out);
}

HRESULT ClassFactory::LockServer(BOOL lock) {
  if (lock) {
    AddObjectRef();
  } else {
    ReleaseObjectRef();
  }
  return S_OK;
}

HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  CreateFunction create = nullptr;
  if (IsEqualCLSID(clsid, ControlClsid())) {
    create = &AutomationObject::Create;
  } else if (IsEqualCLSID(clsid, PropPageClsid())) {
    create = &CreatePropertyPage;
  } else {
    return CLASS_E_CLASSNOTAVAILABLE;
  }
  auto* factory = new (std::nothrow) ClassFactory(create);
  if (factory == nullptr) return E_OUTOFMEMORY;
  return HandOut(factory, riid, out);
}

}  // namespace vexlor::com

// The IUnknown of the server's own objects: a reference count that deletes
// the object at zero, the module's count of live objects (so the DLL
// stays loaded while any object lives), and QueryInterface over the
// interfaces the object names in FindInterface.
//
//   class Factory final : public ComObject<IClassFactory> { ... };
//
// An object starts with one reference, its creator's. One apartment, one
// thread: the count needs no lock.
#ifndef VEXLOR_COM_COM_OBJECT_H_
#define VEXLOR_COM_COM_OBJECT_H_

#include <windows.h>
#include <unknwn.h>

#include "com/com_module.h"

namespace vexlor::com {

template <typename... Interfaces>
class ComObject : public Interfaces... {
 public:
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = FindInterface(riid);
    if (*out == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  ComObject() = default;
  virtual ~ComObject() = default;

  // The interface `riid` of this object, without a reference added, or
  // null; IUnknown included.
  virtual void* FindInterface(REFIID riid) = 0;

 private:
  ObjectCount count_;
  ULONG refs_ = 1;
};

// Hands out interface `riid` of a new `object` (which has its creator's
// reference) and drops the creator's reference, so that the object goes
// when `riid` is not one of its interfaces.
template <typename Object>
HRESULT HandOut(Object* object, REFIID riid, void** out) {
  const HRESULT status = object->QueryInterface(riid, out);
  object->Release();
  return status;
}

}  // namespace vexlor::com

#endif  // VEXLOR_COM_COM_OBJECT_H_

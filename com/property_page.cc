#include "com/property_page.h"

#include <new>

#include "com/com_module.h"

namespace vexlor::com {

namespace {

class PropertyPage final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown)) {
      *out = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 private:
  ObjectCount count_;
  ULONG refs_ = 1;
};

}  // namespace

HRESULT CreatePropertyPage(REFIID riid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  auto* page = new (std::nothrow) PropertyPage();
  if (page == nullptr) return E_OUTOFMEMORY;
  HRESULT status = page->QueryInterface(riid, out);
  page->Release();
  return status;
}

}  // namespace vexlor::com

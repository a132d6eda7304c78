#include "com/verb_enum.h"

#include <cwchar>
#include <iterator>
#include <new>

#include "com/com_module.h"

namespace vexlor::com {

namespace {

constexpr wchar_t kPropertiesName[] = L"&Properties...";

class VerbEnum final : public IEnumOLEVERB {
 public:
  explicit VerbEnum(ULONG position) : position_(position) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IEnumOLEVERB)) {
      *out = static_cast<IEnumOLEVERB*>(this);
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

  HRESULT STDMETHODCALLTYPE Next(ULONG count, OLEVERB* out,
                                 ULONG* fetched) override {
    if (out == nullptr || (count > 1 && fetched == nullptr)) return E_POINTER;
    ULONG given = 0;
    if (count > 0 && position_ == 0) {
      // The caller frees the name with the task allocator.
      auto* name =
          static_cast<LPOLESTR>(CoTaskMemAlloc(sizeof kPropertiesName));
      if (name == nullptr) return E_OUTOFMEMORY;
      std::wmemcpy(name, kPropertiesName, std::size(kPropertiesName));
      out[0].lVerb = OLEIVERB_PROPERTIES;
      out[0].lpszVerbName = name;
      out[0].fuFlags = MF_ENABLED;
      out[0].grfAttribs = OLEVERBATTRIB_ONCONTAINERMENU;
      position_ = given = 1;
    }
    if (fetched != nullptr) *fetched = given;
    return given == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    if (count == 0) return S_OK;
    bool had = position_ == 0;
    position_ = 1;
    return had && count == 1 ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    position_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumOLEVERB** out) override {
    if (out == nullptr) return E_POINTER;
    *out = new (std::nothrow) VerbEnum(position_);
    return *out ? S_OK : E_OUTOFMEMORY;
  }

 private:
  ~VerbEnum() = default;

  ObjectCount count_;
  ULONG refs_ = 1;
  ULONG position_;
};

}  // namespace

HRESULT CreateVerbEnum(IEnumOLEVERB** out) {
  if (out == nullptr) return E_POINTER;
  *out = new (std::nothrow) VerbEnum(0);
  return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace vexlor::com

// An enumerator over a single item, as a control with one connection point
// and one verb of its own hands out (IEnumConnectionPoints, IEnumOLEVERB).
//
// `Item` is what the enumeration interface hands out; `Source` makes a
// copy of the item for the caller (HRESULT Copy(Item*) const) and is
// copied itself by Clone.
#ifndef VEXLOR_COM_SINGLE_ITEM_ENUM_H_
#define VEXLOR_COM_SINGLE_ITEM_ENUM_H_

#include <new>
#include <utility>

#include "com/com_object.h"

namespace vexlor::com {

template <typename Enum, typename Item, typename Source>
class SingleItemEnum final : public ComObject<Enum> {
 public:
  // A new enumerator before its item; E_OUTOFMEMORY when it cannot be
  // made.
  static HRESULT Create(REFIID iid, Source source, Enum** out) {
    if (out == nullptr) return E_POINTER;
    *out = new (std::nothrow) SingleItemEnum(iid, std::move(source), false);
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
  }

  HRESULT STDMETHODCALLTYPE Next(ULONG count, Item* out,
                                 ULONG* fetched) override {
    if (out == nullptr || (count > 1 && fetched == nullptr)) return E_POINTER;
    ULONG given = 0;
    if (count > 0 && !done_) {
      const HRESULT status = source_.Copy(&out[0]);
      if (FAILED(status)) return status;
      done_ = true;
      given = 1;
    }
    if (fetched != nullptr) *fetched = given;
    return given == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    if (count == 0) return S_OK;
    const bool had = !done_;
    done_ = true;
    return had && count == 1 ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    done_ = false;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(Enum** out) override {
    if (out == nullptr) return E_POINTER;
    *out = new (std::nothrow) SingleItemEnum(iid_, source_, done_);
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
  }

 private:
  SingleItemEnum(REFIID iid, Source source, bool done)
      : iid_(iid), source_(std::move(source)), done_(done) {}

  void* FindInterface(REFIID riid) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, iid_)) {
      return static_cast<Enum*>(this);
    }
    return nullptr;
  }

  const IID iid_;
  Source source_;
  bool done_;
};

}  // namespace vexlor::com

#endif  // VEXLOR_COM_SINGLE_ITEM_ENUM_H_

#include "com/automation_object.h"

#include <new>
#include <string>

#include <olectl.h>

#include "com/about_dialog.h"
#include "com/dispatch_call.h"
#include "com/guids.h"

namespace vexlor::com {

namespace {

// Enumerates the one connection point of an object.
class SingleConnectionPointEnum final : public IEnumConnectionPoints {
 public:
  explicit SingleConnectionPointEnum(IConnectionPoint* point,
                                     ULONG position = 0)
      : point_(point), position_(position) {
    point_->AddRef();
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) ||
        IsEqualIID(riid, IID_IEnumConnectionPoints)) {
      *out = static_cast<IEnumConnectionPoints*>(this);
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
  HRESULT STDMETHODCALLTYPE Next(ULONG count, IConnectionPoint** out,
                                 ULONG* fetched) override {
    if (out == nullptr || (count > 1 && fetched == nullptr)) return E_POINTER;
    ULONG given = 0;
    if (count > 0 && position_ == 0) {
      out[0] = point_;
      point_->AddRef();
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
  HRESULT STDMETHODCALLTYPE Clone(IEnumConnectionPoints** out) override {
    if (out == nullptr) return E_POINTER;
    *out = new (std::nothrow) SingleConnectionPointEnum(point_, position_);
    return *out ? S_OK : E_OUTOFMEMORY;
  }

 private:
  ~SingleConnectionPointEnum() { point_->Release(); }

  ObjectCount count_;
  ULONG refs_ = 1;
  IConnectionPoint* point_;
  ULONG position_;
};

}  // namespace

AutomationObject::AutomationObject()
    : events_(static_cast<IConnectionPointContainer*>(this), &control_),
      face_(static_cast<IDispatch*>(this), control_),
      progress_dialogs_([this] { return face_.OwnerWindow(); }) {
  control_.set_window_presenter(&progress_dialogs_);
  control_.set_about_presenter([this](const std::string& text) {
    ShowAboutBox(face_.OwnerWindow(), text);
  });
}

AutomationObject::~AutomationObject() { events_.DisconnectAll(); }

HRESULT AutomationObject::Create(REFIID riid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  AutomationObject* object = nullptr;
  try {
    object = new AutomationObject();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  HRESULT status = object->QueryInterface(riid, out);
  object->Release();
  return status;
}

HRESULT AutomationObject::QueryInterface(REFIID riid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
      IsEqualIID(riid, DispatchIid())) {
    *out = static_cast<IDispatch*>(this);
  } else if (IsEqualIID(riid, IID_IProvideClassInfo) ||
             IsEqualIID(riid, IID_IProvideClassInfo2)) {
    *out = static_cast<IProvideClassInfo2*>(this);
  } else if (IsEqualIID(riid, IID_IConnectionPointContainer)) {
    *out = static_cast<IConnectionPointContainer*>(this);
  } else if (void* face = face_.Find(riid)) {
    *out = face;
  } else {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG AutomationObject::AddRef() { return ++refs_; }

ULONG AutomationObject::Release() {
  ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT AutomationObject::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT AutomationObject::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  HRESULT status;
  *info = ModuleTypeInfo(DispatchIid(), &status);
  return status;
}

HRESULT AutomationObject::GetIDsOfNames(REFIID riid, LPOLESTR* names,
                                        UINT count, LCID, DISPID* dispids) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  return LookUpNames(names, count, dispids);
}

HRESULT AutomationObject::Invoke(DISPID dispid, REFIID riid, LCID, WORD flags,
                                 DISPPARAMS* params, VARIANT* result,
                                 EXCEPINFO*, UINT* arg_error) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  // Host code runs inside a batch call and may drop its last reference to
  // this object there; the object must outlive the call.
  AddRef();
  HRESULT status = CallMember(control_, dispid, flags, params ? *params : none,
                              result, arg_error);
  Release();
  return status;
}

HRESULT AutomationObject::GetClassInfo(ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  HRESULT status;
  *info = ModuleTypeInfo(ControlClsid(), &status);
  return status;
}

HRESULT AutomationObject::GetGUID(DWORD kind, GUID* guid) {
  if (guid == nullptr) return E_POINTER;
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
  *guid = EventsIid();
  return S_OK;
}

HRESULT AutomationObject::EnumConnectionPoints(IEnumConnectionPoints** out) {
  if (out == nullptr) return E_POINTER;
  *out = new (std::nothrow) SingleConnectionPointEnum(&events_);
  return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT AutomationObject::FindConnectionPoint(REFIID riid,
                                              IConnectionPoint** out) {
  if (out == nullptr) return E_POINTER;
  if (!IsEqualIID(riid, EventsIid())) {
    *out = nullptr;
    return CONNECT_E_NOCONNECTION;
  }
  *out = &events_;
  events_.AddRef();
  return S_OK;
}

}  // namespace vexlor::com

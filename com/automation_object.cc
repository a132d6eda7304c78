#include "com/automation_object.h"

#include <olectl.h>

#include <string>

#include "com/about_dialog.h"
#include "com/boundary.h"
#include "com/dispatch_call.h"
#include "com/guids.h"
#include "com/single_item_enum.h"

namespace vexlor::com {

namespace {

// The one connection point, held while an enumerator lives.
class PointSource {
 public:
  explicit PointSource(IConnectionPoint* point) : point_(point) {
    point_->AddRef();
  }
  PointSource(const PointSource& other) : PointSource(other.point_) {}
  PointSource& operator=(const PointSource&) = delete;
  ~PointSource() { point_->Release(); }

  HRESULT Copy(IConnectionPoint** out) const {
    *out = point_;
    point_->AddRef();
    return S_OK;
  }

 private:
  IConnectionPoint* point_;
};

using ConnectionPointEnum =
    SingleItemEnum<IEnumConnectionPoints, IConnectionPoint*, PointSource>;

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
  return Guarded([&] { return HandOut(new AutomationObject(), riid, out); });
}

void* AutomationObject::FindInterface(REFIID riid) {
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
      IsEqualIID(riid, DispatchIid())) {
    return static_cast<IDispatch*>(this);
  }
  if (IsEqualIID(riid, IID_IProvideClassInfo) ||
      IsEqualIID(riid, IID_IProvideClassInfo2)) {
    return static_cast<IProvideClassInfo2*>(this);
  }
  if (IsEqualIID(riid, IID_IConnectionPointContainer)) {
    return static_cast<IConnectionPointContainer*>(this);
  }
  return face_.Find(riid);
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
  return Guarded([&] { return LookUpNames(names, count, dispids); });
}

HRESULT AutomationObject::Invoke(DISPID dispid, REFIID riid, LCID, WORD flags,
                                 DISPPARAMS* params, VARIANT* result,
                                 EXCEPINFO* exception, UINT* arg_error) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  // Host code runs inside a batch call and may drop its last reference to
  // this object there; the object must outlive the call.
  AddRef();
  HRESULT status = GuardedInvoke(exception, [&] {
    return CallMember(control_, dispid, flags, params ? *params : none, result,
                      arg_error);
  });
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
  return ConnectionPointEnum::Create(IID_IEnumConnectionPoints,
                                     PointSource(&events_), out);
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

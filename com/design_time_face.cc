#include "com/design_time_face.h"

#include <string>
#include <string_view>

#include "com/boundary.h"
#include "com/control_window.h"
#include "com/design_time_picture.h"
#include "com/guids.h"
#include "com/verb_enum.h"
#include "vexlor/control/module.h"

namespace vexlor::com {

namespace {

// The stream an IPersistStorage container keeps the state in.
constexpr wchar_t kStreamName[] = L"Contents";

template <typename T>
void ReleaseAndClear(T** pointer) {
  if (*pointer != nullptr) (*pointer)->Release();
  *pointer = nullptr;
}

}  // namespace

DesignTimeFace::DesignTimeFace(IUnknown* outer, const CVexlorCtrl& control)
    : outer_(outer), control_(control) {}

DesignTimeFace::~DesignTimeFace() {
  InPlaceDeactivate();
  ReleaseAndClear(&site_);
  ReleaseAndClear(&advise_holder_);
  ReleaseAndClear(&view_sink_);
}

void* DesignTimeFace::Find(REFIID riid) {
  if (IsEqualIID(riid, IID_IOleObject)) {
    return static_cast<IOleObject*>(this);
  }
  if (IsEqualIID(riid, IID_IOleInPlaceObject) ||
      IsEqualIID(riid, IID_IOleWindow)) {
    return static_cast<IOleInPlaceObject*>(this);
  }
  if (IsEqualIID(riid, IID_IOleInPlaceActiveObject)) {
    return static_cast<IOleInPlaceActiveObject*>(this);
  }
  if (IsEqualIID(riid, IID_IOleControl)) {
    return static_cast<IOleControl*>(this);
  }
  if (IsEqualIID(riid, IID_IViewObject) || IsEqualIID(riid, IID_IViewObject2)) {
    return static_cast<IViewObject2*>(this);
  }
  if (IsEqualIID(riid, IID_IPersistStreamInit) ||
      IsEqualIID(riid, IID_IPersist)) {
    return static_cast<IPersistStreamInit*>(this);
  }
  if (IsEqualIID(riid, IID_IPersistPropertyBag)) {
    return static_cast<IPersistPropertyBag*>(this);
  }
  if (IsEqualIID(riid, IID_IPersistStorage)) {
    return static_cast<IPersistStorage*>(this);
  }
  if (IsEqualIID(riid, IID_ISpecifyPropertyPages)) {
    return static_cast<ISpecifyPropertyPages*>(this);
  }
  return nullptr;
}

HWND DesignTimeFace::OwnerWindow() const {
  HWND window = ContainerWindow();
  return window != nullptr ? window : GetActiveWindow();
}

HWND DesignTimeFace::ContainerWindow() const {
  HWND window = nullptr;
  IOleWindow* site_window = nullptr;
  if (site_ != nullptr &&
      SUCCEEDED(site_->QueryInterface(
          IID_IOleWindow, reinterpret_cast<void**>(&site_window)))) {
    if (FAILED(site_window->GetWindow(&window))) window = nullptr;
    site_window->Release();
  }
  if (window == nullptr && in_place_site_ != nullptr &&
      FAILED(in_place_site_->GetWindow(&window))) {
    window = nullptr;
  }
  return window;
}

HRESULT DesignTimeFace::QueryInterface(REFIID riid, void** out) {
  return outer_->QueryInterface(riid, out);
}
ULONG DesignTimeFace::AddRef() { return outer_->AddRef(); }
ULONG DesignTimeFace::Release() { return outer_->Release(); }

// IOleObject

HRESULT DesignTimeFace::SetClientSite(IOleClientSite* site) {
  if (site != nullptr) site->AddRef();
  ReleaseAndClear(&site_);
  site_ = site;
  return S_OK;
}

HRESULT DesignTimeFace::GetClientSite(IOleClientSite** site) {
  if (site == nullptr) return E_POINTER;
  *site = site_;
  if (site_ != nullptr) site_->AddRef();
  return S_OK;
}

HRESULT DesignTimeFace::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

HRESULT DesignTimeFace::Close(DWORD save_option) {
  InPlaceDeactivate();
  if (save_option == OLECLOSE_SAVEIFDIRTY && site_ != nullptr &&
      IsDirty() == S_OK) {
    site_->SaveObject();
  }
  if (advise_holder_ != nullptr) advise_holder_->SendOnClose();
  return S_OK;
}

HRESULT DesignTimeFace::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }

HRESULT DesignTimeFace::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker == nullptr) return E_POINTER;
  *moniker = nullptr;
  return E_NOTIMPL;
}

HRESULT DesignTimeFace::InitFromData(IDataObject*, BOOL, DWORD) {
  return E_NOTIMPL;
}

HRESULT DesignTimeFace::GetClipboardData(DWORD, IDataObject** data) {
  if (data == nullptr) return E_POINTER;
  *data = nullptr;
  return E_NOTIMPL;
}

HRESULT DesignTimeFace::DoVerb(LONG verb, LPMSG, IOleClientSite* active_site,
                               LONG, HWND parent, LPCRECT) {
  IOleClientSite* site = site_ != nullptr ? site_ : active_site;
  switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
      return ActivateInPlace(site, false);
    case OLEIVERB_UIACTIVATE:
      return ActivateInPlace(site, true);
    case OLEIVERB_HIDE:
      UIDeactivate();
      if (window_ != nullptr) ShowWindow(window_, SW_HIDE);
      return S_OK;
    case OLEIVERB_PROPERTIES:
      return ShowPropertyFrame(parent != nullptr ? parent : OwnerWindow());
    default:
      if (verb < 0) return E_NOTIMPL;
      // A verb the control does not know runs the primary one.
      ActivateInPlace(site, false);
      return OLEOBJ_S_INVALIDVERB;
  }
}

HRESULT DesignTimeFace::EnumVerbs(IEnumOLEVERB** verbs) {
  return CreateVerbEnum(verbs);
}

HRESULT DesignTimeFace::Update() { return S_OK; }
HRESULT DesignTimeFace::IsUpToDate() { return S_OK; }

HRESULT DesignTimeFace::GetUserClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = ControlClsid();
  return S_OK;
}

HRESULT DesignTimeFace::GetUserType(DWORD form, LPOLESTR* type) {
  return OleRegGetUserType(ControlClsid(), form, type);
}

HRESULT DesignTimeFace::SetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (size == nullptr) return E_POINTER;
  Extent kept = OnSetExtent({size->cx, size->cy});
  state_.extent = {kept.cx, kept.cy};
  return S_OK;
}

HRESULT DesignTimeFace::GetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (size == nullptr) return E_POINTER;
  *size = state_.extent;
  return S_OK;
}

HRESULT DesignTimeFace::Advise(IAdviseSink* sink, DWORD* cookie) {
  if (advise_holder_ == nullptr) {
    HRESULT status = CreateOleAdviseHolder(&advise_holder_);
    if (FAILED(status)) return status;
  }
  return advise_holder_->Advise(sink, cookie);
}

HRESULT DesignTimeFace::Unadvise(DWORD cookie) {
  if (advise_holder_ == nullptr) return OLE_E_NOCONNECTION;
  return advise_holder_->Unadvise(cookie);
}

HRESULT DesignTimeFace::EnumAdvise(IEnumSTATDATA** advises) {
  if (advises == nullptr) return E_POINTER;
  *advises = nullptr;
  if (advise_holder_ == nullptr) return S_OK;
  return advise_holder_->EnumAdvise(advises);
}

HRESULT DesignTimeFace::GetMiscStatus(DWORD aspect, DWORD* status) {
  if (status == nullptr) return E_POINTER;
  *status = aspect == DVASPECT_CONTENT ? kMiscStatus : 0;
  return S_OK;
}

HRESULT DesignTimeFace::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

// IOleWindow

HRESULT DesignTimeFace::GetWindow(HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = window_;
  return window_ != nullptr ? S_OK : E_FAIL;
}

HRESULT DesignTimeFace::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

// IOleInPlaceObject

HRESULT DesignTimeFace::ActivateInPlace(IOleClientSite* site, bool ui_active) {
  if (in_place_site_ == nullptr) {
    if (site == nullptr) return E_UNEXPECTED;
    IOleInPlaceSite* in_place = nullptr;
    HRESULT status = site->QueryInterface(IID_IOleInPlaceSite,
                                          reinterpret_cast<void**>(&in_place));
    if (FAILED(status)) return status;
    if (in_place->CanInPlaceActivate() != S_OK) {
      in_place->Release();
      return E_FAIL;
    }
    in_place->OnInPlaceActivate();
    in_place_site_ = in_place;
    HWND parent = nullptr;
    RECT position = {};
    RECT clip = {};
    OLEINPLACEFRAMEINFO frame_info = {};
    frame_info.cb = sizeof frame_info;
    if (SUCCEEDED(in_place->GetWindow(&parent)) &&
        SUCCEEDED(in_place->GetWindowContext(&frame_, &document_, &position,
                                             &clip, &frame_info))) {
      window_ = CreateControlWindow(parent, position, !AmbientUserMode());
    }
  }
  if (ui_active && !ui_active_) {
    ui_active_ = true;
    in_place_site_->OnUIActivate();
    if (frame_ != nullptr) frame_->SetActiveObject(this, nullptr);
    if (document_ != nullptr) document_->SetActiveObject(this, nullptr);
  }
  return S_OK;
}

HRESULT DesignTimeFace::InPlaceDeactivate() {
  if (in_place_site_ == nullptr) return S_OK;
  UIDeactivate();
  DestroyControlWindow(window_);
  window_ = nullptr;
  ReleaseAndClear(&frame_);
  ReleaseAndClear(&document_);
  // The site may release this object in its notification.
  IOleInPlaceSite* site = in_place_site_;
  in_place_site_ = nullptr;
  site->OnInPlaceDeactivate();
  site->Release();
  return S_OK;
}

HRESULT DesignTimeFace::UIDeactivate() {
  if (!ui_active_) return S_OK;
  ui_active_ = false;
  if (frame_ != nullptr) frame_->SetActiveObject(nullptr, nullptr);
  if (document_ != nullptr) document_->SetActiveObject(nullptr, nullptr);
  if (in_place_site_ != nullptr) in_place_site_->OnUIDeactivate(FALSE);
  return S_OK;
}

HRESULT DesignTimeFace::SetObjectRects(LPCRECT position, LPCRECT) {
  if (position == nullptr) return E_POINTER;
  if (window_ != nullptr) {
    MoveWindow(window_, position->left, position->top,
               position->right - position->left,
               position->bottom - position->top, TRUE);
  }
  return S_OK;
}

HRESULT DesignTimeFace::ReactivateAndUndo() { return INPLACE_E_NOTUNDOABLE; }

// IOleInPlaceActiveObject

HRESULT DesignTimeFace::TranslateAccelerator(LPMSG) { return S_FALSE; }
HRESULT DesignTimeFace::OnFrameWindowActivate(BOOL) { return S_OK; }
HRESULT DesignTimeFace::OnDocWindowActivate(BOOL) { return S_OK; }
HRESULT DesignTimeFace::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) {
  return S_OK;
}
HRESULT DesignTimeFace::EnableModeless(BOOL) { return S_OK; }

// IOleControl

HRESULT DesignTimeFace::GetControlInfo(CONTROLINFO* info) {
  if (info == nullptr) return E_POINTER;
  info->cb = sizeof *info;
  info->hAccel = nullptr;
  info->cAccel = 0;
  info->dwFlags = 0;
  return S_OK;
}

HRESULT DesignTimeFace::OnMnemonic(MSG*) { return S_OK; }

HRESULT DesignTimeFace::OnAmbientPropertyChange(DISPID dispid) {
  if (window_ != nullptr &&
      (dispid == DISPID_AMBIENT_USERMODE || dispid == DISPID_UNKNOWN)) {
    ShowWindow(window_, AmbientUserMode() ? SW_HIDE : SW_SHOWNA);
  }
  return S_OK;
}

HRESULT DesignTimeFace::FreezeEvents(BOOL) { return S_OK; }

bool DesignTimeFace::AmbientUserMode() const {
  IDispatch* ambient = nullptr;
  if (site_ == nullptr ||
      FAILED(site_->QueryInterface(IID_IDispatch,
                                   reinterpret_cast<void**>(&ambient)))) {
    return true;
  }
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  VARIANT result;
  VariantInit(&result);
  HRESULT status =
      ambient->Invoke(DISPID_AMBIENT_USERMODE, IID_NULL, LOCALE_USER_DEFAULT,
                      DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr);
  ambient->Release();
  // A container that does not say is running its form.
  bool user_mode = true;
  if (SUCCEEDED(status) &&
      SUCCEEDED(VariantChangeType(&result, &result, 0, VT_BOOL))) {
    user_mode = result.boolVal != VARIANT_FALSE;
  }
  VariantClear(&result);
  return user_mode;
}

// IViewObject2

HRESULT DesignTimeFace::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC,
                             HDC dc, LPCRECTL bounds, LPCRECTL,
                             BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (dc == nullptr || bounds == nullptr) return E_INVALIDARG;
  RECT rect = {bounds->left, bounds->top, bounds->right, bounds->bottom};
  return DrawDesignTimePicture(dc, rect) ? S_OK : E_FAIL;
}

HRESULT DesignTimeFace::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC,
                                    LOGPALETTE** colors) {
  if (colors == nullptr) return E_POINTER;
  *colors = nullptr;
  return S_FALSE;
}

HRESULT DesignTimeFace::Freeze(DWORD, LONG, void*, DWORD*) { return E_NOTIMPL; }
HRESULT DesignTimeFace::Unfreeze(DWORD) { return E_NOTIMPL; }

HRESULT DesignTimeFace::SetAdvise(DWORD aspects, DWORD flags,
                                  IAdviseSink* sink) {
  if (sink != nullptr) sink->AddRef();
  ReleaseAndClear(&view_sink_);
  view_sink_ = sink;
  view_aspects_ = aspects;
  view_flags_ = flags;
  return S_OK;
}

HRESULT DesignTimeFace::GetAdvise(DWORD* aspects, DWORD* flags,
                                  IAdviseSink** sink) {
  if (aspects != nullptr) *aspects = view_aspects_;
  if (flags != nullptr) *flags = view_flags_;
  if (sink != nullptr) {
    *sink = view_sink_;
    if (view_sink_ != nullptr) view_sink_->AddRef();
  }
  return S_OK;
}

HRESULT DesignTimeFace::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*,
                                  LPSIZEL size) {
  return GetExtent(aspect, size);
}

// Persistence

HRESULT DesignTimeFace::GetClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = ControlClsid();
  return S_OK;
}

HRESULT DesignTimeFace::IsDirty() {
  return control_.IsModified() && !saved_clean_ ? S_OK : S_FALSE;
}

void DesignTimeFace::Adopt(const PersistedState& state) {
  Extent kept = OnSetExtent({state.extent.cx, state.extent.cy});
  state_.extent = {kept.cx, kept.cy};
  saved_clean_ = true;
}

HRESULT DesignTimeFace::Load(IStream* stream) {
  PersistedState loaded = state_;
  HRESULT status = LoadState(stream, &loaded);
  if (SUCCEEDED(status)) Adopt(loaded);
  return status;
}

HRESULT DesignTimeFace::Save(IStream* stream, BOOL clear_dirty) {
  HRESULT status = SaveState(stream, state_);
  if (SUCCEEDED(status) && clear_dirty) saved_clean_ = true;
  return status;
}

HRESULT DesignTimeFace::GetSizeMax(ULARGE_INTEGER* size) {
  if (size == nullptr) return E_POINTER;
  size->QuadPart = kPersistedStreamSize;
  return S_OK;
}

HRESULT DesignTimeFace::InitNew() {
  state_ = PersistedState();
  return S_OK;
}

HRESULT DesignTimeFace::Load(IPropertyBag* bag, IErrorLog* log) {
  PersistedState loaded = state_;
  HRESULT status = LoadState(bag, log, &loaded);
  if (SUCCEEDED(status)) Adopt(loaded);
  return status;
}

HRESULT DesignTimeFace::Save(IPropertyBag* bag, BOOL clear_dirty, BOOL) {
  HRESULT status = SaveState(bag, state_);
  if (SUCCEEDED(status) && clear_dirty) saved_clean_ = true;
  return status;
}

HRESULT DesignTimeFace::InitNew(IStorage*) { return InitNew(); }

HRESULT DesignTimeFace::Load(IStorage* storage) {
  if (storage == nullptr) return E_POINTER;
  IStream* stream = nullptr;
  HRESULT status = storage->OpenStream(
      kStreamName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream);
  if (FAILED(status)) return status;
  status = Load(stream);
  stream->Release();
  return status;
}

HRESULT DesignTimeFace::Save(IStorage* storage, BOOL) {
  if (storage == nullptr) return E_POINTER;
  IStream* stream = nullptr;
  HRESULT status = storage->CreateStream(
      kStreamName, STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0,
      &stream);
  if (FAILED(status)) return status;
  status = Save(stream, TRUE);
  stream->Release();
  return status;
}

HRESULT DesignTimeFace::SaveCompleted(IStorage*) { return S_OK; }
HRESULT DesignTimeFace::HandsOffStorage() { return S_OK; }

// ISpecifyPropertyPages

HRESULT DesignTimeFace::GetPages(CAUUID* pages) {
  if (pages == nullptr) return E_POINTER;
  pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
  if (pages->pElems == nullptr) {
    pages->cElems = 0;
    return E_OUTOFMEMORY;
  }
  pages->pElems[0] = PropPageClsid();
  pages->cElems = 1;
  return S_OK;
}

HRESULT DesignTimeFace::ShowPropertyFrame(HWND parent) {
  CLSID page = PropPageClsid();
  IUnknown* object = outer_;
  return Guarded([&] {
    std::string_view name = kControlTypeName;
    std::wstring caption(name.begin(), name.end());
    return OleCreatePropertyFrame(parent, 0, 0, caption.c_str(), 1, &object, 1,
                                  &page, GetUserDefaultLCID(), 0, nullptr);
  });
}

}  // namespace vexlor::com

#include "tests/com_ui/test_container.h"

#include <olectl.h>

namespace vexlor::ui_test {

namespace {

constexpr wchar_t kClassName[] = L"VexlorTestContainer";
constexpr UINT kHoldMessage = WM_APP + 1;
// A hold that nobody ends (the other thread failed) must not stop the run.
constexpr DWORD kLongestHold = 20000;
constexpr DWORD kGlance = 20;

}  // namespace

TestContainer::TestContainer()
    : held_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      resume_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

TestContainer::~TestContainer() {
  if (window_ != nullptr) DestroyWindow(window_);
  CloseHandle(held_);
  CloseHandle(resume_);
}

bool TestContainer::Open() {
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
  window_class.lpszClassName = kClassName;
  RegisterClassExW(&window_class);
  window_ = CreateWindowExW(0, kClassName, L"Vexlor UI test container",
                            WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 420, 300,
                            nullptr, nullptr, GetModuleHandleW(nullptr), this);
  if (window_ == nullptr) return false;
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  HDC screen = GetDC(nullptr);
  int width = MulDiv(890, GetDeviceCaps(screen, LOGPIXELSX), 2540);
  int height = MulDiv(890, GetDeviceCaps(screen, LOGPIXELSY), 2540);
  ReleaseDC(nullptr, screen);
  control_rect_ = {20, 20, 20 + width, 20 + height};
  SetForegroundWindow(window_);
  return true;
}

bool TestContainer::Hold(HANDLE stop) {
  PostMessageW(window_, kHoldMessage, 0, 0);
  HANDLE events[] = {held_, stop};
  return WaitForMultipleObjects(2, events, FALSE, kLongestHold) ==
         WAIT_OBJECT_0;
}

void TestContainer::Resume() { SetEvent(resume_); }

void TestContainer::DropHoldRequests() {
  MSG message;
  while (
      PeekMessageW(&message, window_, kHoldMessage, kHoldMessage, PM_REMOVE)) {
  }
  ResetEvent(resume_);
}

void TestContainer::HoldStill() {
  SetEvent(held_);
  // Short waits: each one also lets the window system put what this
  // thread painted on the screen, where screenshots read it.
  for (DWORD waited = 0; waited < kLongestHold; waited += kGlance) {
    DWORD woken =
        MsgWaitForMultipleObjects(1, &resume_, FALSE, kGlance, QS_SENDMESSAGE);
    if (woken == WAIT_OBJECT_0) return;
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

LRESULT CALLBACK TestContainer::WindowProc(HWND window, UINT message,
                                           WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<TestContainer*>(
      GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == kHoldMessage && self != nullptr) {
    self->HoldStill();
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

HRESULT TestContainer::QueryInterface(REFIID riid, void** out) {
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite)) {
    *out = static_cast<IOleClientSite*>(this);
  } else if (IsEqualIID(riid, IID_IOleWindow) ||
             IsEqualIID(riid, IID_IOleInPlaceSite)) {
    *out = static_cast<IOleInPlaceSite*>(this);
  } else if (IsEqualIID(riid, IID_IDispatch)) {
    *out = static_cast<IDispatch*>(this);
  } else {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  return S_OK;
}

HRESULT TestContainer::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  *moniker = nullptr;
  return E_NOTIMPL;
}

HRESULT TestContainer::GetContainer(IOleContainer** container) {
  *container = nullptr;
  return E_NOINTERFACE;
}

HRESULT TestContainer::GetWindow(HWND* window) {
  *window = window_;
  return S_OK;
}

HRESULT TestContainer::OnInPlaceActivate() {
  in_place_active_ = true;
  return S_OK;
}

HRESULT TestContainer::OnInPlaceDeactivate() {
  in_place_active_ = false;
  return S_OK;
}

HRESULT TestContainer::GetWindowContext(IOleInPlaceFrame** frame,
                                        IOleInPlaceUIWindow** document,
                                        LPRECT position, LPRECT clip,
                                        LPOLEINPLACEFRAMEINFO info) {
  *frame = nullptr;
  *document = nullptr;
  *position = control_rect_;
  GetClientRect(window_, clip);
  info->fMDIApp = FALSE;
  info->hwndFrame = window_;
  info->haccel = nullptr;
  info->cAccelEntries = 0;
  return S_OK;
}

HRESULT TestContainer::GetTypeInfoCount(UINT* count) {
  *count = 0;
  return S_OK;
}

HRESULT TestContainer::Invoke(DISPID dispid, REFIID, LCID, WORD flags,
                              DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) {
  // A form being designed: the control shows itself.
  if (dispid == DISPID_AMBIENT_USERMODE && (flags & DISPATCH_PROPERTYGET) &&
      result != nullptr) {
    VariantInit(result);
    result->vt = VT_BOOL;
    result->boolVal = VARIANT_FALSE;
    return S_OK;
  }
  return DISP_E_MEMBERNOTFOUND;
}

}  // namespace vexlor::ui_test

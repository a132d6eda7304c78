// The host side of the UI tests: a top-level window that holds the control
// in place, the site the control talks to (client site, in-place site, and
// ambient properties that say a form is being designed), and a way for a
// second thread to hold the host's thread still inside a progress report,
// so that it reads one consistent state of a window.
#ifndef VEXLOR_TESTS_COM_UI_TEST_CONTAINER_H_
#define VEXLOR_TESTS_COM_UI_TEST_CONTAINER_H_

#include <windows.h>
#include <ocidl.h>

namespace vexlor::ui_test {

class TestContainer final : public IOleClientSite,
                            public IOleInPlaceSite,
                            public IDispatch {
 public:
  TestContainer();
  ~TestContainer();
  TestContainer(const TestContainer&) = delete;
  TestContainer& operator=(const TestContainer&) = delete;

  // Creates and shows the window; false when there is no window system.
  bool Open();
  HWND window() const { return window_; }
  // Where the control sits in the window, in pixels: its 890 HIMETRIC.
  RECT control_rect() const { return control_rect_; }
  bool in_place_active() const { return in_place_active_; }

  // From another thread: asks the window's thread to hold still the next
  // time it dispatches messages (inside a progress report, while a batch
  // call runs) and waits until it does; sent messages (reading a window's
  // texts, repainting it) are still served meanwhile. False when `stop`
  // is signalled first. Resume lets it go on.
  bool Hold(HANDLE stop);
  void Resume();
  // On the window's thread: drops hold requests that came too late.
  void DropHoldRequests();

  // IUnknown: the container lives on the stack and outlives its users.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  // IOleClientSite
  HRESULT STDMETHODCALLTYPE SaveObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** m) override;
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** c) override;
  HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override {
    return E_NOTIMPL;
  }

  // IOleInPlaceSite
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override;
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(
      IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
      LPRECT clip, LPOLEINPLACEFRAMEINFO info) override;
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override;
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

  // IDispatch: the ambient properties.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID,
                                          DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID, LCID, WORD flags,
                                   DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                   UINT*) override;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam,
                                     LPARAM lparam);
  void HoldStill();

  HWND window_ = nullptr;
  RECT control_rect_ = {};
  bool in_place_active_ = false;
  HANDLE held_;
  HANDLE resume_;
};

}  // namespace vexlor::ui_test

#endif  // VEXLOR_TESTS_COM_UI_TEST_CONTAINER_H_

// The control's windows as a person sees them, in a container under a
// window system (Wine on a virtual display in the project's tests).
//
// Registers the DLL, embeds the control in a window through OleCreate and
// activates it in place, then checks the window texts, the design-time
// face (face_checks.h), the progress windows of the batch methods against
// the library's window model (progress_checks.h), the About box and the
// property page, deactivates the control and unregisters the DLL.
//
// Usage: com_ui_host DLL SCREENSHOT_DIR en|de
// The last argument is the language the run expects the thread's user
// interface to have. Prints one line per failed check and a summary; the
// exit code is the number of failures.

#include <windows.h>
#include <ole2.h>

#include <cstdio>
#include <string>

#include "tests/com_ui/checks.h"
#include "tests/com_ui/face_checks.h"
#include "tests/com_ui/progress_checks.h"
#include "tests/com_ui/test_container.h"

namespace vexlor::ui_test {

namespace {

IOleObject* EmbedControl(TestContainer& container) {
  IStorage* storage = nullptr;
  IOleObject* control = nullptr;
  HRESULT hr = StgCreateDocfile(nullptr,
                                STGM_CREATE | STGM_READWRITE |
                                    STGM_SHARE_EXCLUSIVE | STGM_DELETEONRELEASE,
                                0, &storage);
  if (SUCCEEDED(hr)) {
    hr = OleCreate(kControlClsid, IID_IOleObject, OLERENDER_DRAW, nullptr,
                   &container, storage, reinterpret_cast<void**>(&control));
    storage->Release();
  }
  Check(SUCCEEDED(hr) && control != nullptr, "OleCreate makes the control");
  if (control == nullptr) return nullptr;
  RECT rect = container.control_rect();
  Check(control->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &container, 0,
                        container.window(), &rect) == S_OK &&
            container.in_place_active(),
        "the control activates in place");
  IOleInPlaceObject* in_place = nullptr;
  HWND window = nullptr;
  if (SUCCEEDED(control->QueryInterface(IID_IOleInPlaceObject,
                                        reinterpret_cast<void**>(&in_place)))) {
    in_place->GetWindow(&window);
    in_place->Release();
  }
  Check(window != nullptr && GetParent(window) == container.window() &&
            IsWindowVisible(window),
        "in place, its window shows in the container's while designing");
  return control;
}

void Deactivate(IOleObject* control, const TestContainer& container) {
  IOleInPlaceObject* in_place = nullptr;
  HWND window = nullptr;
  if (SUCCEEDED(control->QueryInterface(IID_IOleInPlaceObject,
                                        reinterpret_cast<void**>(&in_place)))) {
    in_place->GetWindow(&window);
    in_place->InPlaceDeactivate();
    in_place->Release();
  }
  Check(!container.in_place_active() && !IsWindow(window),
        "deactivated, the control's window is gone");
  control->Close(OLECLOSE_NOSAVE);
  control->SetClientSite(nullptr);
}

using ServerEntry = HRESULT(STDAPICALLTYPE*)();

HRESULT CallServer(HMODULE dll, const char* entry) {
  auto function = reinterpret_cast<ServerEntry>(
      reinterpret_cast<void*>(GetProcAddress(dll, entry)));
  return function != nullptr ? function() : E_FAIL;
}

}  // namespace

int Run(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s DLL SCREENSHOT_DIR en|de\n", argv[0]);
    return 2;
  }
  // Lines reach the runner as they happen, even if a window hangs.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  StartWatchdog(240);
  const std::string shots = argv[2];
  const Language language = PRIMARYLANGID(GetThreadUILanguage()) == LANG_GERMAN
                                ? Language::kGerman
                                : Language::kEnglish;
  Check((language == Language::kGerman) == (std::string(argv[3]) == "de"),
        std::string("the thread's user-interface language is ") + argv[3]);
  OleInitialize(nullptr);
  HMODULE dll = LoadLibraryW(Wide(argv[1]).c_str());
  Check(dll != nullptr && CallServer(dll, "DllRegisterServer") == S_OK,
        "the DLL registers");
  CheckWindowTexts(dll, language);

  Phase("embedding");
  TestContainer container;
  if (!container.Open()) {
    Check(false, "a window opens (is there a display?)");
  } else if (IOleObject* control = EmbedControl(container)) {
    Phase("design-time face");
    CheckDesignTimeFace(control, dll, shots);
    CheckPersistence(control);
    IDispatch* dispatch = nullptr;
    control->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
    CheckProgressWindows(dispatch, container, language, shots);
    Phase("About box");
    CheckAboutBox(dispatch, container, language, shots);
    Phase("property page");
    CheckPropertyPage(control, container, language, shots);
    Phase("closing");
    dispatch->Release();
    Deactivate(control, container);
    control->Release();
  }

  Check(dll != nullptr && CallServer(dll, "DllUnregisterServer") == S_OK,
        "the DLL unregisters");
  OleUninitialize();
  std::printf("com_ui_host: %d checks, %d failed\n", CheckCount(),
              FailureCount());
  return FailureCount();
}

}  // namespace vexlor::ui_test

int main(int argc, char** argv) { return vexlor::ui_test::Run(argc, argv); }

// The entry points of the in-process server.
#include <windows.h>
#include <olectl.h>

#include <string>

#include "com/boundary.h"
#include "com/class_factory.h"
#include "com/com_module.h"
#include "com/win_registry.h"
#include "vexlor/control/module.h"
#include "vexlor/text.h"

namespace {

// The module's registration codes are handed to the host unchanged.
static_assert(vexlor::kSelfRegOk == S_OK);
static_assert(vexlor::kSelfRegTypeLibError == SELFREG_E_TYPELIB);
static_assert(vexlor::kSelfRegClassError == SELFREG_E_CLASS);

std::string ModulePathUtf8() {
  std::wstring path = vexlor::com::ModulePath();
  return vexlor::platform::Utf16ToUtf8(
      std::u16string(path.begin(), path.end()));
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    vexlor::com::SetModuleHandle(instance);
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* out) {
  return vexlor::com::GetClassObject(clsid, riid, out);
}

STDAPI DllCanUnloadNow() { return vexlor::com::CanUnload() ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
  return vexlor::com::Guarded([]() -> HRESULT {
    std::string path = ModulePathUtf8();
    if (path.empty()) return SELFREG_E_CLASS;
    vexlor::com::WinRegistry registry;
    return vexlor::DllRegisterServer(registry, path);
  });
}

STDAPI DllUnregisterServer() {
  return vexlor::com::Guarded([]() -> HRESULT {
    vexlor::com::WinRegistry registry;
    return vexlor::DllUnregisterServer(registry);
  });
}

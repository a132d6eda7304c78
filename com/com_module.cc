#include "com/com_module.h"

#include <atomic>

#include "com/guids.h"

namespace vexlor::com {

namespace {

HMODULE g_module = nullptr;
std::atomic<long> g_objects{0};

}  // namespace

void SetModuleHandle(HMODULE module) { g_module = module; }
HMODULE ModuleHandle() { return g_module; }

std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(g_module, path.data(),
                                 static_cast<DWORD>(path.size()));
    if (n == 0) return std::wstring();
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    // Truncated: long paths need a larger buffer.
    if (path.size() >= 32768) return std::wstring();
    path.resize(path.size() * 2);
  }
}

void AddObjectRef() { ++g_objects; }
void ReleaseObjectRef() { --g_objects; }
bool CanUnload() { return g_objects.load() == 0; }

ITypeLib* LoadModuleTypeLib(HRESULT* status) {
  // Loaded on each request rather than cached: a cached reference would
  // keep the library alive past DllCanUnloadNow, and the objects that need
  // it keep their own reference.
  ITypeLib* lib = nullptr;
  std::wstring path = ModulePath();
  *status =
      path.empty() ? E_FAIL : LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib);
  return SUCCEEDED(*status) ? lib : nullptr;
}

ITypeInfo* ModuleTypeInfo(REFGUID guid, HRESULT* status) {
  ITypeLib* lib = LoadModuleTypeLib(status);
  if (lib == nullptr) return nullptr;
  ITypeInfo* info = nullptr;
  *status = lib->GetTypeInfoOfGuid(guid, &info);
  lib->Release();
  return SUCCEEDED(*status) ? info : nullptr;
}

}  // namespace vexlor::com

#include "com/win_registry.h"

#include <windows.h>
#include <oleauto.h>

#include "com/guids.h"
#include "vexlor/text.h"

namespace vexlor::com {

namespace {

std::wstring Wide(const std::string& utf8) {
  std::u16string text = platform::Utf8ToUtf16(utf8);
  return std::wstring(text.begin(), text.end());
}

class Key {
 public:
  explicit Key(const std::string& path) {
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, Wide(path).c_str(), 0, nullptr, 0,
                        KEY_WRITE, nullptr, &key_, nullptr) != ERROR_SUCCESS) {
      key_ = nullptr;
    }
  }
  ~Key() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// The registry view of the other architecture, or 0 when the system has
// only one (32-bit Windows).
REGSAM OtherView() {
  if (sizeof(void*) == 8) return KEY_WOW64_32KEY;
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64 ? KEY_WOW64_64KEY
                                                              : 0;
}

const char* ThisArchitecture() {
  return sizeof(void*) == 8 ? "win64" : "win32";
}

}  // namespace

bool WinRegistry::OtherViewRegistered() {
  if (other_view_registered_ < 0) {
    other_view_registered_ = 0;
    const REGSAM view = OtherView();
    HKEY key = nullptr;
    std::wstring path =
        Wide(std::string("CLSID\\") + kControlClsid + "\\InprocServer32");
    if (view != 0 && RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0,
                                   KEY_READ | view, &key) == ERROR_SUCCESS) {
      RegCloseKey(key);
      other_view_registered_ = 1;
    }
  }
  return other_view_registered_ == 1;
}

bool WinRegistry::RegisterTypeLib(const std::string&, int, int,
                                  const std::string& module_path) {
  std::wstring path = Wide(module_path);
  ITypeLib* lib = nullptr;
  if (FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib))) return false;
  HRESULT status = ::RegisterTypeLib(lib, path.data(), nullptr);
  lib->Release();
  return SUCCEEDED(status);
}

bool WinRegistry::UnregisterTypeLib(const std::string& libid, int major,
                                    int minor) {
  if (OtherViewRegistered()) {
    // The library stays registered for the other architecture; only the
    // path of this architecture's module goes.
    std::string own = "TypeLib\\" + libid + "\\" + std::to_string(major) + "." +
                      std::to_string(minor) + "\\0\\" + ThisArchitecture();
    return DeleteTree(own);
  }
  const SYSKIND kind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
  HRESULT status =
      UnRegisterTypeLib(GuidFromText(libid.c_str()), static_cast<WORD>(major),
                        static_cast<WORD>(minor), 0, kind);
  // Removing a registration that is not there leaves what was asked for.
  return SUCCEEDED(status) || status == TYPE_E_REGISTRYACCESS ||
         status == TYPE_E_LIBNOTREGISTERED;
}

bool WinRegistry::SetValue(const std::string& key, const std::string& name,
                           const std::string& value) {
  Key handle(key);
  if (handle.get() == nullptr) return false;
  std::wstring data = Wide(value);
  std::wstring value_name = Wide(name);
  return RegSetValueExW(
             handle.get(), name.empty() ? nullptr : value_name.c_str(), 0,
             REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
             static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))) ==
         ERROR_SUCCESS;
}

bool WinRegistry::CreateKey(const std::string& key) {
  Key handle(key);
  return handle.get() != nullptr;
}

bool WinRegistry::DeleteTree(const std::string& key) {
  // Class keys are per view; everything else is shared.
  const bool shared =
      key.rfind("CLSID\\", 0) != 0 && key.rfind("TypeLib\\", 0) != 0;
  if (shared && OtherViewRegistered()) return true;
  LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, Wide(key).c_str());
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

}  // namespace vexlor::com

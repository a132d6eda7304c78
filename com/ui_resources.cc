#include "com/ui_resources.h"

#include <commctrl.h>

#include "com/com_module.h"
#include "vexlor/text.h"

namespace vexlor::com {

namespace {

// RT_DIALOG spelled for the wide functions, whatever UNICODE is.
const LPCWSTR kDialogType = MAKEINTRESOURCEW(5);

LANGID LanguageId(Language language) {
  return language == Language::kGerman
             ? MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN)
             : MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
}

}  // namespace

Language ThreadUiLanguage() {
  return PRIMARYLANGID(GetThreadUILanguage()) == LANG_GERMAN
             ? Language::kGerman
             : Language::kEnglish;
}

const DLGTEMPLATE* FindDialog(int id, Language language) {
  HMODULE module = ModuleHandle();
  HRSRC found = FindResourceExW(module, kDialogType, MAKEINTRESOURCEW(id),
                                LanguageId(language));
  if (found == nullptr) {
    found = FindResourceW(module, MAKEINTRESOURCEW(id), kDialogType);
  }
  if (found == nullptr) return nullptr;
  HGLOBAL loaded = LoadResource(module, found);
  if (loaded == nullptr) return nullptr;
  return static_cast<const DLGTEMPLATE*>(LockResource(loaded));
}

std::wstring WindowText(std::string_view utf8) {
  std::u16string wide = platform::Utf8ToUtf16(utf8);
  return std::wstring(wide.begin(), wide.end());
}

void InitCommonControlsOnce() {
  static const bool done = [] {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    return InitCommonControlsEx(&controls) != FALSE;
  }();
  (void)done;
}

}  // namespace vexlor::com

#include "com/about_dialog.h"

#include "com/com_module.h"
#include "com/resource_ids.h"
#include "com/ui_resources.h"

namespace vexlor::com {

namespace {

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wparam,
                                 LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    const auto* line = reinterpret_cast<const std::wstring*>(lparam);
    SetDlgItemTextW(dialog, VEXLOR_IDC_ABOUT_VERSION, line->c_str());
    return TRUE;
  }
  if (message == WM_COMMAND &&
      (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
    EndDialog(dialog, LOWORD(wparam));
    return TRUE;
  }
  return FALSE;
}

}  // namespace

void ShowAboutBox(HWND owner, const std::string& about_text) {
  const DLGTEMPLATE* dialog_template =
      FindDialog(VEXLOR_IDD_ABOUT, ThreadUiLanguage());
  if (dialog_template == nullptr) return;
  std::wstring first_line =
      WindowText(about_text.substr(0, about_text.find('\n')));
  DialogBoxIndirectParamW(ModuleHandle(), dialog_template, owner,
                          AboutDialogProc,
                          reinterpret_cast<LPARAM>(&first_line));
}

}  // namespace vexlor::com

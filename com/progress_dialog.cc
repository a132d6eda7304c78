#include "com/progress_dialog.h"

#include <commctrl.h>

#include <utility>

#include "com/com_module.h"
#include "com/ui_resources.h"

namespace vexlor::com {

namespace {

constexpr int kFirstTextItem = kItemClusterCurrent;  // 202
constexpr int kLastTextItem = kItemFoundLabel;       // 210

INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wparam,
                                    LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lparam);
    return TRUE;
  }
  // The Cancel button and, through the dialog manager, the close box.
  if (message == WM_COMMAND && LOWORD(wparam) == IDCANCEL) {
    auto* window =
        reinterpret_cast<ProgressWindow*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (window != nullptr) window->OnCancel();
    return TRUE;
  }
  return FALSE;
}

}  // namespace

ProgressDialogPresenter::ProgressDialogPresenter(std::function<HWND()> owner)
    : owner_(std::move(owner)) {}

ProgressDialogPresenter::~ProgressDialogPresenter() {
  for (Open& open : open_) DestroyWindow(open.dialog);
}

Language ProgressDialogPresenter::language() const {
  return ThreadUiLanguage();
}

void ProgressDialogPresenter::Show(ProgressWindow& window) {
  if (Find(window) != nullptr) return;
  const DLGTEMPLATE* dialog_template =
      FindDialog(window.dialog().id, window.language());
  if (dialog_template == nullptr) return;
  InitCommonControlsOnce();
  HWND owner = owner_ ? owner_() : nullptr;
  // The slot is taken first: a dialog that exists must be in open_, where
  // Close finds it, or it would outlive its model and call it when dead.
  open_.push_back(Open{&window, nullptr, {}, {}});
  HWND dialog = CreateDialogIndirectParamW(ModuleHandle(), dialog_template,
                                           owner, ProgressDialogProc,
                                           reinterpret_cast<LPARAM>(&window));
  if (dialog == nullptr) {
    open_.pop_back();
    return;
  }
  open_.back().dialog = dialog;
  Sync(open_.back());
  ShowWindow(dialog, SW_SHOWNORMAL);
  SetForegroundWindow(dialog);
  UpdateWindow(dialog);
}

void ProgressDialogPresenter::Refresh(ProgressWindow& window) {
  Open* open = Find(window);
  if (open != nullptr) Sync(*open);
}

void ProgressDialogPresenter::PumpMessages(ProgressWindow&) {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // The host's own loop must still see its quit request; the batch
      // call goes on and the host ends after it returns.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void ProgressDialogPresenter::Close(ProgressWindow& window) {
  for (auto it = open_.begin(); it != open_.end(); ++it) {
    if (it->window == &window) {
      // A message still on its way must not reach a model that is gone.
      SetWindowLongPtrW(it->dialog, DWLP_USER, 0);
      DestroyWindow(it->dialog);
      open_.erase(it);
      return;
    }
  }
}

ProgressDialogPresenter::Open* ProgressDialogPresenter::Find(
    const ProgressWindow& window) {
  for (Open& open : open_) {
    if (open.window == &window) return &open;
  }
  return nullptr;
}

void ProgressDialogPresenter::Sync(Open& open) {
  const ProgressWindow& window = *open.window;
  std::wstring caption = WindowText(window.caption());
  if (caption != open.caption) {
    SetWindowTextW(open.dialog, caption.c_str());
    open.caption = std::move(caption);
  }
  for (int id = kFirstTextItem; id <= kLastTextItem; ++id) {
    HWND item = GetDlgItem(open.dialog, id);
    if (item == nullptr) continue;
    std::wstring text = WindowText(window.Text(id));
    std::wstring& shown = open.texts[id - kFirstTextItem];
    if (text != shown) {
      SetWindowTextW(item, text.c_str());
      shown = std::move(text);
    }
  }
  HWND bar = GetDlgItem(open.dialog, kItemBar);
  if (bar == nullptr) return;
  if (window.bar_low() != open.bar_low || window.bar_high() != open.bar_high) {
    SendMessageW(bar, PBM_SETRANGE32, window.bar_low(), window.bar_high());
    open.bar_low = window.bar_low();
    open.bar_high = window.bar_high();
  }
  if (window.bar_position() != open.bar_position) {
    SendMessageW(bar, PBM_SETPOS, window.bar_position(), 0);
    open.bar_position = window.bar_position();
  }
}

}  // namespace vexlor::com

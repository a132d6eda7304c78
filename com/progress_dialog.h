// The progress windows of the batch methods as real dialogs.
//
// ProgressDialogPresenter shows each window model (progress_window.h) as a
// modeless dialog built from the module's template 202 or 203 in the
// thread's user-interface language, owned by the container's window so
// that it stays over it, centred and brought to the foreground. The dialog
// only mirrors the model: caption, status line, value fields, found label
// and the bar's range and position are copied from it whenever it changes,
// so the dialog and the terminal panel on Linux show the same texts. The
// Cancel button (and the wait window's close box) calls the model's
// OnCancel; the window stays open until the model is destroyed.
//
// Each report pumps the thread's message queue: every waiting message,
// for any window, is removed, translated and dispatched, without the
// dialog manager's keyboard handling. Where no window can be created (no
// window station, as under a service or a display-less test run) the
// model runs on without a dialog.
#ifndef VEXLOR_COM_PROGRESS_DIALOG_H_
#define VEXLOR_COM_PROGRESS_DIALOG_H_

#include <windows.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "vexlor/progress_window.h"

namespace vexlor::com {

class ProgressDialogPresenter final : public WindowPresenter {
 public:
  // `owner` names the window the dialogs are shown over, asked when each
  // one opens; it may return null (then the dialog has no owner).
  explicit ProgressDialogPresenter(std::function<HWND()> owner);
  // Destroys any dialog still open.
  ~ProgressDialogPresenter() override;
  ProgressDialogPresenter(const ProgressDialogPresenter&) = delete;
  ProgressDialogPresenter& operator=(const ProgressDialogPresenter&) = delete;

  void Show(ProgressWindow& window) override;
  void Refresh(ProgressWindow& window) override;
  void PumpMessages(ProgressWindow& window) override;
  void Close(ProgressWindow& window) override;
  Language language() const override;

 private:
  // One open dialog and the texts it shows, so that a report repaints only
  // what changed.
  struct Open {
    ProgressWindow* window;
    HWND dialog;
    std::wstring caption;
    // Items 202 to 210.
    std::array<std::wstring, 9> texts;
    int bar_low = -1;
    int bar_high = -1;
    int bar_position = -1;
  };

  Open* Find(const ProgressWindow& window);
  static void Sync(Open& open);

  std::function<HWND()> owner_;
  std::vector<Open> open_;
};

}  // namespace vexlor::com

#endif  // VEXLOR_COM_PROGRESS_DIALOG_H_

// The progress windows of the batch methods, as window models, and how a
// host shows them.
//
// A batch method called with ShowProgress keeps a window model for its
// duration: template 202 (bar, status line, cluster sizes, elapsed and
// remaining time, record and found counters) for the search-type methods,
// template 203 (bar, status line, elapsed and remaining time) for
// DeleteDupes. The model keeps the texts of its items exactly as a dialog
// would show them. How a window reaches the screen is up to a
// WindowPresenter: a host may supply one; otherwise a window is drawn as a panel on the terminal when stderr is a terminal, and
// not drawn at all when it is not. The model and its Cancel behaviour work
// either way. Cancel (the button, the close box, Ctrl-C in the terminal
// panel) only sets the window's canceled flag; the window stays open until
// it is destroyed.
//
// Ownership: the control owns its windows; a presenter sees each one from
// Show to Close and must not keep a reference after Close. A presenter is
// not owned by the control (CVexlorCtrl::set_window_presenter).
// Errors: a presenter answers only with Cancel. An exception it throws
// leaves the batch member that called it (std::bad_alloc as the "Out of
// Memory" state), and the window is closed on the way out.
// Threads: every presenter call comes on the thread of the batch call.
#ifndef VEXLOR_PROGRESS_WINDOW_H_
#define VEXLOR_PROGRESS_WINDOW_H_

#include <signal.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "vexlor/export.h"
#include "vexlor/resources.h"

namespace vexlor {

class ProgressWindow;

// Shows windows for a host. Every call comes on the thread of the batch
// call, synchronously.
class WindowPresenter {
 public:
  virtual ~WindowPresenter() = default;
  // The window was created and is to be shown.
  virtual void Show(ProgressWindow& window) = 0;
  // Some text or the bar of the window changed.
  virtual void Refresh(ProgressWindow& window) = 0;
  // The window's message pump: handle pending input now; a Cancel click
  // becomes window.OnCancel().
  virtual void PumpMessages(ProgressWindow& window) { (void)window; }
  // The window is being destroyed.
  virtual void Close(ProgressWindow& window) = 0;
  // The language windows are shown in, so that the texts of a window come
  // from the same language as the template it is shown with. By default
  // the user's language.
  virtual Language language() const { return UserLanguage(); }
};

class VEXLOR_EXPORT ProgressWindow {
 public:
  virtual ~ProgressWindow();
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;

  // The Cancel command: sets the canceled flag, which is never reset.
  void OnCancel() { canceled_ = true; }
  bool canceled() const { return canceled_; }

  // Sets the status line (item 209) and the bar's range to 0..100.
  void SetStatus(std::string_view text);

  // The current text of item `id` (202 to 210, 2 for the Cancel button);
  // "" for an id the window does not have.
  std::string_view Text(int id) const;
  const std::string& caption() const { return caption_; }
  // Position and range of the bar (item 201).
  int bar_position() const { return bar_position_; }
  int bar_low() const { return bar_low_; }
  int bar_high() const { return bar_high_; }
  bool shown() const { return shown_; }
  const DialogTemplate& dialog() const { return *dialog_; }
  Language language() const { return language_; }

 protected:
  // `presenter` may be null: then the terminal panel when stderr is a
  // terminal, else no drawing.
  ProgressWindow(int template_id, Language language,
                 WindowPresenter* presenter);

  // Sets the caption and shows the window.
  void ShowWithCaption(std::string_view caption);
  // Bar position: the percent rounded down, within 0..100.
  void SetBar(double percent);
  void SetText(int id, std::string_view text);
  void Refresh();
  void Pump();

 private:
  const DialogTemplate* dialog_;
  Language language_;
  std::unique_ptr<WindowPresenter> own_presenter_;
  WindowPresenter* presenter_;
  std::string caption_;
  // Texts of items 200 to 210; index 0 holds the Cancel button's text.
  std::array<std::string, 11> texts_;
  int bar_position_ = 0;
  int bar_low_ = 0;
  int bar_high_ = 100;
  bool canceled_ = false;
  bool shown_ = false;
};

// Draws a window as a panel of a few lines on a terminal, redrawn in place,
// and makes Ctrl-C its Cancel button while it is shown: a SIGINT handler
// that marks the interrupt is installed at Show and the previous handler is
// restored at Close; the pump turns a marked interrupt into OnCancel.
// Redraws are at most one per `min_interval`; Show, a status change and
// Close always draw.
class VEXLOR_EXPORT TerminalPanel : public WindowPresenter {
 public:
  explicit TerminalPanel(
      std::FILE* out,
      std::chrono::milliseconds min_interval = std::chrono::milliseconds(100));
  ~TerminalPanel() override;

  void Show(ProgressWindow& window) override;
  void Refresh(ProgressWindow& window) override;
  void PumpMessages(ProgressWindow& window) override;
  void Close(ProgressWindow& window) override;

  // The lines of the panel for the window's current state.
  static std::string Render(const ProgressWindow& window);

 private:
  void Draw(const ProgressWindow& window);
  void Erase();

  std::FILE* out_;
  std::chrono::milliseconds min_interval_;
  std::chrono::steady_clock::time_point last_draw_{};
  std::string last_status_;
  int lines_drawn_ = 0;
  bool handler_installed_ = false;
#ifdef _WIN32
  // The C runtime there has signal() only.
  void (*old_handler_)(int) = nullptr;
#else
  struct sigaction old_handler_ {};
#endif
};

}  // namespace vexlor

#endif  // VEXLOR_PROGRESS_WINDOW_H_

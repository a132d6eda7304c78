#include "vexlor/progress_window.h"

#include <unistd.h>

#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <system_error>

#include "vexlor/control/progress_dialogs.h"
#include "vexlor/tables/batch_context.h"
#include "vexlor/tables/string_ids.h"

namespace vexlor {

namespace {

// Text slot of an item id: 200 to 210, and 2 (the Cancel button) at 0.
int Slot(int id) {
  if (id == kItemCancel) return 0;
  if (id >= 201 && id <= 210) return id - 200;
  return -1;
}

volatile std::sig_atomic_t interrupted_by_user = 0;

void OnInterrupt(int) {
  interrupted_by_user = 1;
#ifdef _WIN32
  // The Windows C runtime resets the handler before calling it.
  std::signal(SIGINT, OnInterrupt);
#endif
}

// Puts OnInterrupt in place for SIGINT, or back the handler it replaced.
#ifdef _WIN32
bool InstallInterruptHandler(void (**old)(int)) {
  *old = std::signal(SIGINT, OnInterrupt);
  return *old != SIG_ERR;
}
void RestoreInterruptHandler(void (*old)(int)) { std::signal(SIGINT, old); }
#else
bool InstallInterruptHandler(struct sigaction* old) {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  return sigaction(SIGINT, &action, old) == 0;
}
void RestoreInterruptHandler(const struct sigaction& old) {
  sigaction(SIGINT, &old, nullptr);
}
#endif

std::string FormatInt(int32_t value) {
  char buffer[16];
  int n = std::snprintf(buffer, sizeof buffer, "%i", value);
  return std::string(buffer, n);
}

// "&Cancel" -> "Cancel": the accelerator marker is not shown.
std::string WithoutAccelerator(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c != '&') out.push_back(c);
  }
  return out;
}

}  // namespace

ProgressWindow::ProgressWindow(int template_id, Language language,
                               WindowPresenter* presenter)
    : dialog_(&Dialog(template_id, language)),
      language_(language),
      presenter_(presenter) {
  if (presenter_ == nullptr && isatty(STDERR_FILENO)) {
    own_presenter_ = std::make_unique<TerminalPanel>(stderr);
    presenter_ = own_presenter_.get();
  }
  caption_.assign(dialog_->caption);
  for (const DialogItem& item : dialog_->items) {
    int slot = Slot(item.id);
    if (slot >= 0) texts_[slot].assign(item.text);
  }
}

ProgressWindow::~ProgressWindow() {
  if (shown_ && presenter_ != nullptr) presenter_->Close(*this);
}

void ProgressWindow::SetStatus(std::string_view text) {
  texts_[Slot(kItemStatus)].assign(text);
  bar_low_ = 0;
  bar_high_ = 100;
  Refresh();
}

std::string_view ProgressWindow::Text(int id) const {
  int slot = Slot(id);
  if (slot < 0) return {};
  // Only items of this window's template have a text.
  for (const DialogItem& item : dialog_->items) {
    if (item.id == id) return texts_[slot];
  }
  return {};
}

void ProgressWindow::ShowWithCaption(std::string_view caption) {
  caption_.assign(caption);
  shown_ = true;
  if (presenter_ != nullptr) presenter_->Show(*this);
}

void ProgressWindow::SetBar(double percent) {
  double whole = std::floor(percent);
  if (!(whole > 0)) {
    bar_position_ = 0;  // negative and not-a-number alike
  } else if (whole >= 100) {
    bar_position_ = 100;
  } else {
    bar_position_ = static_cast<int>(whole);
  }
  if (bar_position_ < bar_low_) bar_position_ = bar_low_;
  if (bar_position_ > bar_high_) bar_position_ = bar_high_;
}

void ProgressWindow::SetText(int id, std::string_view text) {
  int slot = Slot(id);
  if (slot >= 0) texts_[slot].assign(text);
}

void ProgressWindow::Refresh() {
  if (shown_ && presenter_ != nullptr) presenter_->Refresh(*this);
}

void ProgressWindow::Pump() {
  if (shown_ && presenter_ != nullptr) presenter_->PumpMessages(*this);
}

CProgressDlg::CProgressDlg(WindowPresenter* presenter, Language language)
    : ProgressWindow(kDialogProgress, language, presenter) {}

void CProgressDlg::Create(std::string_view title,
                          std::string_view found_label) {
  SetText(kItemFoundLabel, found_label);
  ShowWithCaption(title);
}

void CProgressDlg::SetFoundLabel(std::string_view text) {
  SetText(kItemFoundLabel, text);
  Refresh();
}

void CProgressDlg::UpdateProgress(double percent, const ProgressFields& f,
                                  std::string_view elapsed,
                                  std::string_view eta) {
  SetBar(percent);
  SetText(kItemClusterCurrent,
          f.cluster_current < 0 ? "-" : FormatInt(f.cluster_current));
  SetText(kItemClusterMax, f.cluster_max < 0 ? "-" : FormatInt(f.cluster_max));
  char buffer[400];
  if (f.cluster_average < 0) {
    SetText(kItemClusterAverage, "-");
  } else {
    // "%.1f" with a point, whatever numeric locale the host set.
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, f.cluster_average,
                      std::chars_format::fixed, 1);
    SetText(kItemClusterAverage,
            std::string_view(
                buffer, result.ec == std::errc() ? result.ptr - buffer : 0));
  }
  SetText(kItemElapsed, elapsed);
  SetText(kItemEta, eta);
  if (f.record_no < 0) {
    SetText(kItemRecord, "-");
  } else {
    int n = std::snprintf(buffer, sizeof buffer, "%i / %i", f.record_no,
                          f.record_count);
    SetText(kItemRecord, std::string_view(buffer, n));
  }
  if (f.found < 0) {
    SetText(kItemFound, "-");
  } else {
    int n = std::snprintf(buffer, sizeof buffer, "%i  (%i)", f.found, f.found2);
    SetText(kItemFound, std::string_view(buffer, n));
  }
  Refresh();
  Pump();
}

CWaitDlg::CWaitDlg(WindowPresenter* presenter, Language language)
    : ProgressWindow(kDialogWait, language, presenter) {}

void CWaitDlg::Create(std::string_view title) {
  SetStatus(ResourceString(kStrInitializing, language()));
  ShowWithCaption(title);
}

void CWaitDlg::UpdateProgress(double percent, std::string_view elapsed,
                              std::string_view eta) {
  SetBar(percent);
  SetText(kItemElapsed, elapsed);
  SetText(kItemEta, eta);
  Refresh();
  Pump();
}

TerminalPanel::TerminalPanel(std::FILE* out,
                             std::chrono::milliseconds min_interval)
    : out_(out), min_interval_(min_interval) {}

TerminalPanel::~TerminalPanel() {
  if (handler_installed_) RestoreInterruptHandler(old_handler_);
}

void TerminalPanel::Show(ProgressWindow& window) {
  if (!handler_installed_) {
    interrupted_by_user = 0;
    handler_installed_ = InstallInterruptHandler(&old_handler_);
  }
  Draw(window);
}

void TerminalPanel::Refresh(ProgressWindow& window) {
  std::string_view status = window.Text(kItemStatus);
  auto now = std::chrono::steady_clock::now();
  if (status != last_status_ || now - last_draw_ >= min_interval_) {
    Draw(window);
  }
}

void TerminalPanel::PumpMessages(ProgressWindow& window) {
  if (interrupted_by_user) window.OnCancel();
}

void TerminalPanel::Close(ProgressWindow&) {
  Erase();
  if (handler_installed_) {
    RestoreInterruptHandler(old_handler_);
    handler_installed_ = false;
  }
}

std::string TerminalPanel::Render(const ProgressWindow& w) {
  const bool search = w.dialog().id == kDialogProgress;
  const DialogTemplate& d = w.dialog();
  std::string out;
  auto line = [&out](std::string_view text) {
    out.append(" ");
    out.append(text);
    out.append("\n");
  };
  line(w.caption());
  line(w.Text(kItemStatus));
  constexpr int kBarWidth = 40;
  int filled = w.bar_high() > w.bar_low()
                   ? (w.bar_position() - w.bar_low()) * kBarWidth /
                         (w.bar_high() - w.bar_low())
                   : 0;
  char percent[16];
  std::snprintf(percent, sizeof percent, "] %3d%%", w.bar_position());
  line("[" + std::string(filled, '#') + std::string(kBarWidth - filled, '.') +
       percent);
  // Label texts of the template, in template order.
  std::string labels[7];
  int n = 0;
  for (const DialogItem& item : d.items) {
    if ((item.kind == ItemKind::kLabel || item.kind == ItemKind::kGroupBox) &&
        item.id == kItemStatic && n < 7) {
      labels[n++].assign(item.text);
    }
  }
  if (search) {
    // labels: group, cur., max., avg, Elapsed, ETA, Record
    line(labels[0] + "  " + labels[1] + " " +
         std::string(w.Text(kItemClusterCurrent)) + "  " + labels[2] + " " +
         std::string(w.Text(kItemClusterMax)) + "  " + labels[3] + " " +
         std::string(w.Text(kItemClusterAverage)));
    line(labels[4] + " " + std::string(w.Text(kItemElapsed)) + "  " +
         labels[5] + " " + std::string(w.Text(kItemEta)));
    line(labels[6] + " " + std::string(w.Text(kItemRecord)) + "  " +
         std::string(w.Text(kItemFoundLabel)) + " " +
         std::string(w.Text(kItemFound)));
  } else {
    // labels: Elapsed, ETA
    line(labels[0] + " " + std::string(w.Text(kItemElapsed)) + "  " +
         labels[1] + " " + std::string(w.Text(kItemEta)));
  }
  line("[" + WithoutAccelerator(w.Text(kItemCancel)) + ": Ctrl-C]");
  return out;
}

void TerminalPanel::Draw(const ProgressWindow& window) {
  last_draw_ = std::chrono::steady_clock::now();
  last_status_.assign(window.Text(kItemStatus));
  std::string text = Render(window);
  std::string frame;
  if (lines_drawn_ > 0) {
    frame += "\x1b[" + std::to_string(lines_drawn_) + "A";
  }
  int lines = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    frame += "\r\x1b[2K";
    frame.append(text, start, end - start);
    frame += "\n";
    ++lines;
    start = end + 1;
  }
  lines_drawn_ = lines;
  std::fwrite(frame.data(), 1, frame.size(), out_);
  std::fflush(out_);
}

void TerminalPanel::Erase() {
  if (lines_drawn_ == 0) return;
  std::string frame = "\x1b[" + std::to_string(lines_drawn_) + "A\r\x1b[J";
  std::fwrite(frame.data(), 1, frame.size(), out_);
  std::fflush(out_);
  lines_drawn_ = 0;
}

}  // namespace vexlor

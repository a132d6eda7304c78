// ProgressReporter: how one batch call reports its progress and learns of
// cancellation, either through a progress window or through the control's
// events, never both.
//
// A call opens the reporter, begins each stage (which restarts the stage
// clock and makes the stage's first report), reports every N records, may
// make one closing report, and closes it. With a window, each report
// updates the window, runs its message pump and then merges the window's
// canceled flag into the control's; without one, each report raises the
// stage's event (Progress or ProgressDupeSearch) to every connected sink,
// which may call Cancel. The stage clock counts whole seconds of calendar
// time from an injectable clock.
#ifndef VEXLOR_CONTROL_PROGRESS_REPORTER_H_
#define VEXLOR_CONTROL_PROGRESS_REPORTER_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "vexlor/control/progress_dialogs.h"
#include "vexlor/control/sink_list.h"
#include "vexlor/event_sink.h"
#include "vexlor/progress_window.h"
#include "vexlor/resources.h"
#include "vexlor/tables/batch_context.h"

namespace vexlor {

// Calendar time in whole seconds.
using StageClock = std::function<int64_t()>;

// The system's calendar time, time(nullptr).
int64_t SystemClockSeconds();

// Formats a span of seconds as "%H:%M:%S": two digits each, hours modulo
// 24 (90061 seconds give "01:01:01"); a negative span reads as 0.
std::string FormatSpan(int64_t seconds);

// Returns trunc(elapsed * 100 / percent - elapsed), computed in double;
// 0 when percent is 0, negative or not a number, or when the result is
// negative; at most INT32_MAX.
int32_t EtaSeconds(int32_t elapsed, double percent);

class ProgressReporter : public ProgressSink {
 public:
  // `canceled` is the control's cancellation flag and `sinks` its connected
  // event sinks; both must outlive the reporter. `presenter` shows windows
  // (null: the default, see progress_window.h). `clock` null means
  // SystemClockSeconds.
  ProgressReporter(bool& canceled, SinkList& sinks,
                   WindowPresenter* presenter = nullptr,
                   StageClock clock = nullptr);
  // Closes the window, if any.
  ~ProgressReporter() override;
  ProgressReporter(const ProgressReporter&) = delete;
  ProgressReporter& operator=(const ProgressReporter&) = delete;

  // With show_progress false nothing is created and every report becomes
  // an event. Otherwise a CProgressDlg (kSearch; caption string title_id,
  // found label string found_label_id) or a CWaitDlg (kWait; caption
  // string title_id, status string 211) is created and shown, its texts in
  // the presenter's language (the user's without a presenter). A window
  // still open from an earlier Open is closed first.
  void Open(bool show_progress, ProgressWindowKind kind, int title_id,
            int found_label_id) override;
  // Restarts the stage clock (elapsed and ETA 0, texts "00:00") and makes
  // the stage's first report with percent 0: SetStatus(string status_id)
  // and an update of the window, or the stage's event.
  void BeginStage(int status_id, ProgressEvent event,
                  const ProgressFields& fields) override;
  // Computes elapsed and ETA afresh and reports them with `percent` and
  // `fields`; with a window, then merges its canceled flag into the
  // control's (a flag already set stays set).
  void Report(double percent, const ProgressFields& fields) override;
  // The closing report: elapsed and ETA as at the last report. The event
  // carries `percent`; the window keeps the percent of its last report and
  // then shows string status_id as its status.
  void ReportAgain(double percent, const ProgressFields& fields,
                   int status_id) override;
  // The control's cancellation flag.
  bool IsCanceled() override { return canceled_; }
  // Destroys the window, if any. Safe to call more than once.
  void Close() override;

  // The open window, or null.
  ProgressWindow* window() const { return window_.get(); }
  int32_t elapsed_seconds() const { return elapsed_; }
  int32_t eta_seconds() const { return eta_; }
  const std::string& elapsed_text() const { return elapsed_text_; }
  const std::string& eta_text() const { return eta_text_; }

 private:
  void Deliver(double percent, const ProgressFields& fields);
  void RaiseEvent(double percent, const ProgressFields& fields);
  void MergeWindowCancel();

  bool& canceled_;
  SinkList& sinks_;
  WindowPresenter* presenter_;
  StageClock clock_;
  Language language_ = Language::kEnglish;
  std::unique_ptr<ProgressWindow> window_;
  CProgressDlg* search_window_ = nullptr;
  CWaitDlg* wait_window_ = nullptr;
  ProgressEvent event_ = ProgressEvent::kProgress;
  int64_t stage_start_ = 0;
  int32_t elapsed_ = 0;
  int32_t eta_ = 0;
  double window_percent_ = 0;
  std::string elapsed_text_;
  std::string eta_text_;
  // Reused for every event, so a report allocates nothing once warm.
  std::u16string elapsed_wide_;
  std::u16string eta_wide_;
};

}  // namespace vexlor

#endif  // VEXLOR_CONTROL_PROGRESS_REPORTER_H_

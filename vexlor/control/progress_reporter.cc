#include "vexlor/control/progress_reporter.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>

namespace vexlor {

namespace {

constexpr char kStartText[] = "00:00";

void Widen(const std::string& text, std::u16string* out) {
  out->clear();
  for (char c : text) out->push_back(static_cast<unsigned char>(c));
}

}  // namespace

int64_t SystemClockSeconds() {
  return static_cast<int64_t>(std::time(nullptr));
}

std::string FormatSpan(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  char buffer[16];
  int n = std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d",
                        static_cast<int>(seconds / 3600 % 24),
                        static_cast<int>(seconds / 60 % 60),
                        static_cast<int>(seconds % 60));
  return std::string(buffer, n);
}

int32_t EtaSeconds(int32_t elapsed, double percent) {
  if (!(percent > 0)) return 0;
  double eta = elapsed * 100.0 / percent - elapsed;
  if (!(eta > 0)) return 0;
  if (eta >= std::numeric_limits<int32_t>::max()) {
    return std::numeric_limits<int32_t>::max();
  }
  return static_cast<int32_t>(eta);
}

ProgressReporter::ProgressReporter(bool& canceled, SinkList& sinks,
                                   WindowPresenter* presenter, StageClock clock)
    : canceled_(canceled),
      sinks_(sinks),
      presenter_(presenter),
      clock_(clock ? std::move(clock) : StageClock(SystemClockSeconds)),
      elapsed_text_(kStartText),
      eta_text_(kStartText) {
  elapsed_wide_.reserve(16);
  eta_wide_.reserve(16);
}

ProgressReporter::~ProgressReporter() { Close(); }

void ProgressReporter::Open(bool show_progress, ProgressWindowKind kind,
                            int title_id, int found_label_id) {
  Close();
  if (!show_progress) return;
  language_ = presenter_ != nullptr ? presenter_->language() : UserLanguage();
  std::string_view title = ResourceString(title_id, language_);
  if (kind == ProgressWindowKind::kSearch) {
    auto window = std::make_unique<CProgressDlg>(presenter_, language_);
    search_window_ = window.get();
    window_ = std::move(window);
    search_window_->Create(title, ResourceString(found_label_id, language_));
  } else {
    auto window = std::make_unique<CWaitDlg>(presenter_, language_);
    wait_window_ = window.get();
    window_ = std::move(window);
    wait_window_->Create(title);
  }
}

void ProgressReporter::BeginStage(int status_id, ProgressEvent event,
                                  const ProgressFields& fields) {
  stage_start_ = clock_();
  elapsed_ = 0;
  eta_ = 0;
  elapsed_text_.assign(kStartText);
  eta_text_.assign(kStartText);
  event_ = event;
  if (window_) window_->SetStatus(ResourceString(status_id, language_));
  Deliver(0.0, fields);
}

void ProgressReporter::Report(double percent, const ProgressFields& fields) {
  int64_t span = clock_() - stage_start_;
  if (span < 0) span = 0;
  if (span > std::numeric_limits<int32_t>::max()) {
    span = std::numeric_limits<int32_t>::max();
  }
  elapsed_ = static_cast<int32_t>(span);
  eta_ = EtaSeconds(elapsed_, percent);
  elapsed_text_ = FormatSpan(elapsed_);
  eta_text_ = FormatSpan(eta_);
  Deliver(percent, fields);
  MergeWindowCancel();
}

void ProgressReporter::ReportAgain(double percent, const ProgressFields& fields,
                                   int status_id) {
  if (window_) {
    Deliver(window_percent_, fields);
    MergeWindowCancel();
    window_->SetStatus(ResourceString(status_id, language_));
  } else {
    Deliver(percent, fields);
  }
}

void ProgressReporter::Close() {
  search_window_ = nullptr;
  wait_window_ = nullptr;
  window_.reset();
}

void ProgressReporter::Deliver(double percent, const ProgressFields& fields) {
  if (search_window_ != nullptr) {
    window_percent_ = percent;
    search_window_->UpdateProgress(percent, fields, elapsed_text_, eta_text_);
  } else if (wait_window_ != nullptr) {
    window_percent_ = percent;
    wait_window_->UpdateProgress(percent, elapsed_text_, eta_text_);
  } else {
    RaiseEvent(percent, fields);
  }
}

void ProgressReporter::RaiseEvent(double percent, const ProgressFields& f) {
  Widen(elapsed_text_, &elapsed_wide_);
  Widen(eta_text_, &eta_wide_);
  sinks_.ForEach([&](EventSink& sink) {
    if (event_ == ProgressEvent::kProgress) {
      sink.Progress(1, percent, elapsed_, elapsed_wide_, eta_, eta_wide_);
    } else {
      sink.ProgressDupeSearch(
          percent, f.record_no, static_cast<double>(f.record_count),
          f.cluster_current, f.cluster_max, f.cluster_average, f.found,
          f.found2, elapsed_, elapsed_wide_, eta_, eta_wide_);
    }
  });
}

void ProgressReporter::MergeWindowCancel() {
  if (window_ && !canceled_) canceled_ = window_->canceled();
}

}  // namespace vexlor

// Events and interrupts (events.h).
#include "python/module/events.h"

#include <unistd.h>

#include <cstdio>
#include <memory>

#include "python/module/conversion.h"

namespace vexlor::python {

void PythonSink::Progress(int16_t Action, double PercentDone,
                          int32_t ElapsedSeconds,
                          std::u16string_view ElapsedString, int32_t ETASeconds,
                          std::u16string_view ETAString) {
  py::gil_scoped_acquire gil;
  Deliver("Progress", py::make_tuple(Action, PercentDone, ElapsedSeconds,
                                     FromUtf16(ElapsedString), ETASeconds,
                                     FromUtf16(ETAString)));
}

void PythonSink::ProgressDupeSearch(double PercentDone, int32_t RecordNo,
                                    double RecordCount, int32_t DepthCurrent,
                                    int32_t DepthMax, double DepthAvg,
                                    int32_t DupesFound, int32_t DupesFound2,
                                    int32_t ElapsedSeconds,
                                    std::u16string_view ElapsedString,
                                    int32_t ETASeconds,
                                    std::u16string_view ETAString) {
  py::gil_scoped_acquire gil;
  Deliver("ProgressDupeSearch",
          py::make_tuple(PercentDone, RecordNo, RecordCount, DepthCurrent,
                         DepthMax, DepthAvg, DupesFound, DupesFound2,
                         ElapsedSeconds, FromUtf16(ElapsedString), ETASeconds,
                         FromUtf16(ETAString)));
}

void PythonSink::Deliver(const char* name, py::tuple args) {
  if (!pending_->is_none()) return;
  if (!py::hasattr(target_, name)) return;
  try {
    target_.attr(name)(*args);
  } catch (py::error_already_set& e) {
    *pending_ = py::make_tuple(e.type(), e.value(), e.trace());
    control_->Cancel();
  }
}

// Python's own handler only marks the signal, and the mark is acted on when
// the lock is held. At the call's events and its window's message pump, at
// most every kInterval, the watch takes the lock and lets the handler run.
// Taking the lock at every event would make a busy second thread stall the
// call at each one. Windows are drawn as the control would draw them, on a
// terminal panel when stderr is one (whose own Ctrl-C handler makes Ctrl-C
// its Cancel button while it is shown).
InterruptWatch::InterruptWatch(CVexlorCtrl* control, py::object* pending)
    : control_(control), pending_(pending) {
  control_->Advise(this);
  control_->set_window_presenter(this);
}

InterruptWatch::~InterruptWatch() {
  control_->set_window_presenter(nullptr);
  control_->Unadvise(this);
}

void InterruptWatch::Show(ProgressWindow& window) {
  if (panel_ == nullptr && isatty(STDERR_FILENO)) {
    panel_ = std::make_unique<TerminalPanel>(stderr);
  }
  if (panel_ != nullptr) panel_->Show(window);
}

void InterruptWatch::Refresh(ProgressWindow& window) {
  if (panel_ != nullptr) panel_->Refresh(window);
}

void InterruptWatch::PumpMessages(ProgressWindow& window) {
  if (panel_ != nullptr) panel_->PumpMessages(window);
  if (Check()) window.OnCancel();
}

void InterruptWatch::Close(ProgressWindow& window) {
  if (panel_ != nullptr) panel_->Close(window);
}

bool InterruptWatch::Check() {
  const auto now = std::chrono::steady_clock::now();
  if (now - last_ < kInterval) return false;
  last_ = now;
  py::gil_scoped_acquire gil;
  if (PyErr_CheckSignals() == 0) return false;
  PyObject *type, *value, *trace;
  PyErr_Fetch(&type, &value, &trace);
  PyErr_NormalizeException(&type, &value, &trace);
  auto own = [](PyObject* o) {
    return o == nullptr ? py::none() : py::reinterpret_steal<py::object>(o);
  };
  py::object raised = py::make_tuple(own(type), own(value), own(trace));
  if (pending_->is_none()) *pending_ = raised;
  control_->Cancel();
  return true;
}

}  // namespace vexlor::python

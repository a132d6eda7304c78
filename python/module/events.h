// Events and interrupts of the Python module: a Python object's methods as
// an event sink, and the watch for Ctrl-C while a batch call runs without
// the interpreter lock.
#ifndef VEXLOR_PYTHON_MODULE_EVENTS_H_
#define VEXLOR_PYTHON_MODULE_EVENTS_H_

#include <pybind11/pybind11.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string_view>

#include "vexlor/progress_window.h"
#include "vexlor/vexlor_ctrl.h"

namespace vexlor::python {

namespace py = pybind11;

// Forwards events to a Python object's Progress / ProgressDupeSearch, where
// it has them. An exception in the object ends the call as a cancellation
// would: it is kept in *pending (a (type, value, traceback) tuple; None
// while nothing was raised) for the caller to raise once the call has
// returned, and no further event reaches the object. The control and
// *pending must outlive the sink.
class PythonSink : public EventSink {
 public:
  PythonSink(py::object target, CVexlorCtrl* control, py::object* pending)
      : target_(std::move(target)), control_(control), pending_(pending) {}

  const py::object& target() const { return target_; }

  void Progress(int16_t Action, double PercentDone, int32_t ElapsedSeconds,
                std::u16string_view ElapsedString, int32_t ETASeconds,
                std::u16string_view ETAString) override;
  void ProgressDupeSearch(double PercentDone, int32_t RecordNo,
                          double RecordCount, int32_t DepthCurrent,
                          int32_t DepthMax, double DepthAvg, int32_t DupesFound,
                          int32_t DupesFound2, int32_t ElapsedSeconds,
                          std::u16string_view ElapsedString, int32_t ETASeconds,
                          std::u16string_view ETAString) override;

 private:
  void Deliver(const char* name, py::tuple args);

  py::object target_;
  CVexlorCtrl* control_;
  py::object* pending_;
};

// Watches for Ctrl-C while a batch call runs without the interpreter
// lock, from construction to destruction: it is connected to the control
// as a sink and presents its windows. A KeyboardInterrupt (or whatever the
// signal handler raised) cancels the call, as the Cancel button would, and
// is kept in *pending as PythonSink keeps an exception.
class InterruptWatch : public EventSink, public WindowPresenter {
 public:
  InterruptWatch(CVexlorCtrl* control, py::object* pending);
  ~InterruptWatch() override;
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  void Progress(int16_t, double, int32_t, std::u16string_view, int32_t,
                std::u16string_view) override {
    Check();
  }
  void ProgressDupeSearch(double, int32_t, double, int32_t, int32_t, double,
                          int32_t, int32_t, int32_t, std::u16string_view,
                          int32_t, std::u16string_view) override {
    Check();
  }

  void Show(ProgressWindow& window) override;
  void Refresh(ProgressWindow& window) override;
  void PumpMessages(ProgressWindow& window) override;
  void Close(ProgressWindow& window) override;

 private:
  static constexpr std::chrono::milliseconds kInterval{50};

  // True when a signal handler raised: the call is to be cancelled.
  bool Check();

  CVexlorCtrl* control_;
  py::object* pending_;
  std::unique_ptr<TerminalPanel> panel_;
  std::chrono::steady_clock::time_point last_ =
      std::chrono::steady_clock::now();
};

}  // namespace vexlor::python

#endif  // VEXLOR_PYTHON_MODULE_EVENTS_H_

// The receiver of a control's progress events.
//
// A host connects any number of sinks; each event goes to every connected
// sink, synchronously, in the order of connection, on the caller's thread.
// A sink may call back into the control (Cancel, CanceledByUser, LastError,
// the single-string methods), and connect or disconnect sinks, itself
// included (CVexlorCtrl::Advise and Unadvise say what then holds).
//
// Ownership: the control does not own its sinks; a sink must stay alive
// while it is connected. Errors: a sink has nothing to report back but
// Cancel; an exception it throws leaves the batch member that raised the
// event (std::bad_alloc as the "Out of Memory" state). Threads: events come
// on the thread of the batch call, never on a worker thread.
#ifndef VEXLOR_EVENT_SINK_H_
#define VEXLOR_EVENT_SINK_H_

#include <cstdint>
#include <string_view>

namespace vexlor {

class EventSink {
 public:
  virtual ~EventSink() = default;

  // Event 1. Action is always 1.
  virtual void Progress(int16_t Action, double PercentDone,
                        int32_t ElapsedSeconds,
                        std::u16string_view ElapsedString, int32_t ETASeconds,
                        std::u16string_view ETAString) {
    (void)Action, (void)PercentDone, (void)ElapsedSeconds, (void)ElapsedString,
        (void)ETASeconds, (void)ETAString;
  }

  // Event 2.
  virtual void ProgressDupeSearch(double PercentDone, int32_t RecordNo,
                                  double RecordCount, int32_t DepthCurrent,
                                  int32_t DepthMax, double DepthAvg,
                                  int32_t DupesFound, int32_t DupesFound2,
                                  int32_t ElapsedSeconds,
                                  std::u16string_view ElapsedString,
                                  int32_t ETASeconds,
                                  std::u16string_view ETAString) {
    (void)PercentDone, (void)RecordNo, (void)RecordCount, (void)DepthCurrent,
        (void)DepthMax, (void)DepthAvg, (void)DupesFound, (void)DupesFound2,
        (void)ElapsedSeconds, (void)ElapsedString, (void)ETASeconds,
        (void)ETAString;
  }
};

}  // namespace vexlor

#endif  // VEXLOR_EVENT_SINK_H_

#include "vexlor/control/control_context.h"

#include <utility>

namespace vexlor {

ControlContext::ControlContext(CVexlorCtrl& ctrl, StageClock clock)
    : ctrl_(ctrl),
      csv_{ctrl.GetCSVDelimiter(), ctrl.GetCSVTextInQuotes(),
           ctrl.GetCSVColumnHeaders(), ctrl.GetLogFormat().rule},
      reporter_(ctrl.canceled_flag(), ctrl.sinks(), ctrl.window_presenter(),
                std::move(clock)) {}

}  // namespace vexlor

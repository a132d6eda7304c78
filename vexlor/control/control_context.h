// The batch context of one call on a CVexlorCtrl: the control's options,
// field list, error state, cancellation flag and labels, and a progress
// reporter that shows the control's windows or raises its events.
#ifndef VEXLOR_CONTROL_CONTROL_CONTEXT_H_
#define VEXLOR_CONTROL_CONTROL_CONTEXT_H_

#include <string>

#include "vexlor/control/progress_reporter.h"
#include "vexlor/records/field_coll.h"
#include "vexlor/tables/batch_context.h"
#include "vexlor/tables/column_options.h"
#include "vexlor/vexlor_ctrl.h"

namespace vexlor {

class ControlContext : public BatchContext {
 public:
  // `clock` null means the system clock. The control must outlive the
  // context; the reporter's window is closed when the context ends.
  explicit ControlContext(CVexlorCtrl& ctrl, StageClock clock = nullptr);

  ColumnOptions& options() override { return ctrl_.column_options(); }
  FieldColl& fields() override { return ctrl_.field_list(); }
  ProgressSink& progress() override { return reporter_; }
  const CsvSettings& csv() override { return csv_; }
  bool& canceled() override { return ctrl_.canceled_flag(); }
  void ClearLastError() override { ctrl_.ClearLastError(); }
  void SetOutOfMemoryError() override { ctrl_.SetOutOfMemoryError(); }
  bool HasError() override { return ctrl_.HasError(); }
  std::string NewGuidString() override { return ctrl_.NewGuidString(); }

  ProgressReporter& reporter() { return reporter_; }

 private:
  CVexlorCtrl& ctrl_;
  CsvSettings csv_;
  ProgressReporter reporter_;
};

}  // namespace vexlor

#endif  // VEXLOR_CONTROL_CONTROL_CONTEXT_H_

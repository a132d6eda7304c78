// A progress sink for searches nobody watches (a cluster's pair finders, the
// persisted index): it shows nothing and is never cancelled.
#ifndef VEXLOR_TABLES_STAGES_SILENT_SINK_H_
#define VEXLOR_TABLES_STAGES_SILENT_SINK_H_

#include "vexlor/tables/batch_context.h"

namespace vexlor {

class SilentSink : public ProgressSink {
 public:
  void Open(bool, ProgressWindowKind, int, int) override {}
  void BeginStage(int, ProgressEvent, const ProgressFields&) override {}
  void Report(double, const ProgressFields&) override {}
  void ReportAgain(double, const ProgressFields&, int) override {}
  bool IsCanceled() override { return false; }
  void Close() override {}
};

}  // namespace vexlor

#endif  // VEXLOR_TABLES_STAGES_SILENT_SINK_H_

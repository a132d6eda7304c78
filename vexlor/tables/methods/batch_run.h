// What every batch method of the tables does around its own work: a call
// starts with a clear error state and cancellation flag, takes its tables,
// opens the progress window (or events), keeps the identifier column out of
// the comparison, turns running out of memory into the error state, and
// ends with a closing report. The methods differ only in their stages.
#ifndef VEXLOR_TABLES_METHODS_BATCH_RUN_H_
#define VEXLOR_TABLES_METHODS_BATCH_RUN_H_

#include <cstdint>
#include <new>
#include <optional>

#include "vexlor/tables/batch_context.h"
#include "vexlor/tables/stages/match_progress.h"
#include "vexlor/tables/table_model.h"
#include "vexlor/variant.h"
#include "vexlor/variant_array.h"

namespace vexlor {

class BatchRun {
 public:
  // Clears the error state and the cancellation flag.
  explicit BatchRun(BatchContext& ctx);
  BatchRun(const BatchRun&) = delete;
  BatchRun& operator=(const BatchRun&) = delete;

  BatchContext& ctx() { return ctx_; }
  ProgressSink& progress() { return ctx_.progress(); }

  // The table of `argument` (table_model.h), or null when it is none. With
  // `lock` it stays locked until the run ends: host code runs during every
  // report, and a locked table cannot change size under the loops.
  platform::VariantArray* TakeTable(const platform::Variant& argument,
                                    bool lock);

  // Both tables, locked until the run ends; null when either is not a
  // table (nothing is locked then).
  const TablePair* TakeTables(const platform::Variant& first,
                              const platform::Variant& second);

  // Opens the progress window (or events). The reporter is closed when the
  // run ends, after the method's own state is gone, or by CloseProgress.
  void OpenProgress(bool show_progress, int title_id, int found_label_id,
                    ProgressWindowKind kind = ProgressWindowKind::kSearch);
  void CloseProgress() { reporter_.Close(); }

  // Begins the first stage of a fuzzy method, which reports percent only.
  void BeginIndexing(int status_id);

  // The identifier column (when it is one of the columns options exist
  // for) is neither clustered nor compared, from now on and after the call.
  void SwitchOffIdColumn(int32_t column);

  // Runs `stage`; running out of memory in it sets the error state.
  template <class Stage>
  void Guarded(Stage&& stage) {
    try {
      stage();
    } catch (const std::bad_alloc&) {
      ctx_.SetOutOfMemoryError();
    }
  }

  // Whether the call has to end here: cancelled or failed.
  bool Stopped() { return ctx_.canceled() || ctx_.HasError(); }

  // Sets the out-of-memory error and returns `result`, what the method
  // returns then.
  platform::Variant OutOfMemory(platform::Variant result = platform::Variant());

  // The closing report at 100 percent. False, with the error state set,
  // when memory ran out for it: the call then returns Empty.
  bool CloseReport(const ProgressFields& fields, int status_id);

 private:
  BatchContext& ctx_;
  // Declared before the reporter: the tables stay locked while it closes.
  std::optional<TablePair> tables_;
  std::optional<platform::ArrayLock> lock_;
  ReporterScope reporter_;
};

}  // namespace vexlor

#endif  // VEXLOR_TABLES_METHODS_BATCH_RUN_H_

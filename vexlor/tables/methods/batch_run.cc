#include "vexlor/tables/methods/batch_run.h"

#include "vexlor/tables/column_options.h"

namespace vexlor {

using platform::Variant;
using platform::VariantArray;

BatchRun::BatchRun(BatchContext& ctx) : ctx_(ctx), reporter_(ctx.progress()) {
  ctx_.ClearLastError();
  ctx_.canceled() = false;
}

VariantArray* BatchRun::TakeTable(const Variant& argument, bool lock) {
  VariantArray* table = AcceptTable(argument);
  if (table != nullptr && lock) lock_.emplace(table);
  return table;
}

const TablePair* BatchRun::TakeTables(const Variant& first,
                                      const Variant& second) {
  tables_.emplace(first, second);
  return tables_->ok() ? &*tables_ : nullptr;
}

void BatchRun::OpenProgress(bool show_progress, int title_id,
                            int found_label_id, ProgressWindowKind kind) {
  reporter_.Open(show_progress, title_id, found_label_id, kind);
}

void BatchRun::BeginIndexing(int status_id) {
  ctx_.progress().BeginStage(status_id, ProgressEvent::kProgress,
                             ProgressFields{1, 0, 0.0, -1, -1, -1, -1});
}

void BatchRun::SwitchOffIdColumn(int32_t column) {
  if (!ColumnOptions::InRange(column)) return;
  ctx_.options().cluster[column] = false;
  ctx_.options().dupe_search[column] = false;
}

Variant BatchRun::OutOfMemory(Variant result) {
  ctx_.SetOutOfMemoryError();
  return result;
}

bool BatchRun::CloseReport(const ProgressFields& fields, int status_id) {
  try {
    ctx_.progress().ReportAgain(100.0, fields, status_id);
  } catch (const std::bad_alloc&) {
    ctx_.SetOutOfMemoryError();
    return false;
  }
  return true;
}

}  // namespace vexlor

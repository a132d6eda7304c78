// The context of a cluster's pair finders: their own column options and
// field list, no host to report to, never cancelled.
#ifndef VEXLOR_TABLES_DISTRIBUTED_FINDER_CONTEXT_H_
#define VEXLOR_TABLES_DISTRIBUTED_FINDER_CONTEXT_H_

#include <new>
#include <string>

#include "vexlor/records/field_coll.h"
#include "vexlor/tables/batch_context.h"
#include "vexlor/tables/column_options.h"
#include "vexlor/tables/stages/silent_sink.h"

namespace vexlor {

class FinderContext : public BatchContext {
 public:
  explicit FinderContext(const ColumnOptions& columns) : columns_(columns) {}
  ColumnOptions& options() override { return columns_; }
  FieldColl& fields() override { return fields_; }
  ProgressSink& progress() override { return sink_; }
  const CsvSettings& csv() override { return csv_; }
  bool& canceled() override { return canceled_; }
  void ClearLastError() override {}
  void SetOutOfMemoryError() override { throw std::bad_alloc(); }
  bool HasError() override { return false; }
  std::string NewGuidString() override { return std::string(); }

 private:
  ColumnOptions columns_;
  FieldColl fields_;
  SilentSink sink_;
  CsvSettings csv_;
  bool canceled_ = false;
};

}  // namespace vexlor

#endif  // VEXLOR_TABLES_DISTRIBUTED_FINDER_CONTEXT_H_

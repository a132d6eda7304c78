// A batch context for tests of the batch units: options, CSV settings and
// error state held in plain members, and a reporter that records every call
// and can run host code after each one (to cancel, for instance).
#ifndef VEXLOR_TESTS_TABLES_FAKE_BATCH_CONTEXT_H_
#define VEXLOR_TESTS_TABLES_FAKE_BATCH_CONTEXT_H_

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "vexlor/records/field_coll.h"
#include "vexlor/tables/batch_context.h"
#include "vexlor/tables/column_options.h"
#include "vexlor/variant.h"
#include "vexlor/variant_array.h"

namespace vexlor::testing {

struct ProgressCall {
  enum Kind { kOpen, kBegin, kReport, kAgain, kClose } kind;
  double percent = 0;
  ProgressFields fields;
  int status = 0;
  ProgressEvent event = ProgressEvent::kProgress;
};

class RecordingSink : public ProgressSink {
 public:
  explicit RecordingSink(bool& canceled) : canceled_(canceled) {}
  void Open(bool show, ProgressWindowKind kind, int title,
            int found_label) override {
    show_progress = show;
    window_kind = kind;
    title_id = title;
    found_label_id = found_label;
    Add({ProgressCall::kOpen, 0, {}, 0, {}});
  }
  void BeginStage(int status, ProgressEvent event,
                  const ProgressFields& fields) override {
    Add({ProgressCall::kBegin, 0, fields, status, event});
  }
  void Report(double percent, const ProgressFields& fields) override {
    Add({ProgressCall::kReport, percent, fields, 0, {}});
  }
  void ReportAgain(double percent, const ProgressFields& fields,
                   int status) override {
    Add({ProgressCall::kAgain, percent, fields, status, {}});
  }
  bool IsCanceled() override { return canceled_; }
  void Close() override { Add({ProgressCall::kClose, 0, {}, 0, {}}); }

  std::vector<ProgressCall> Of(ProgressCall::Kind kind) const {
    std::vector<ProgressCall> out;
    for (const ProgressCall& c : calls) {
      if (c.kind == kind) out.push_back(c);
    }
    return out;
  }

  std::vector<ProgressCall> calls;
  // Runs after each recorded call, as host code would during a report.
  std::function<void(const ProgressCall&)> on_call;
  bool show_progress = false;
  ProgressWindowKind window_kind = ProgressWindowKind::kSearch;
  int title_id = 0;
  int found_label_id = 0;

 private:
  void Add(ProgressCall call) {
    calls.push_back(call);
    if (on_call) on_call(calls.back());
  }
  bool& canceled_;
};

class FakeBatchContext : public BatchContext {
 public:
  FakeBatchContext() : sink(canceled_flag) {}
  ColumnOptions& options() override { return column_options; }
  FieldColl& fields() override { return field_list; }
  ProgressSink& progress() override { return sink; }
  const CsvSettings& csv() override { return csv_settings; }
  bool& canceled() override { return canceled_flag; }
  void ClearLastError() override { error = 0; }
  void SetOutOfMemoryError() override { error = -1; }
  bool HasError() override { return error != 0; }
  std::string NewGuidString() override { return ""; }

  ColumnOptions column_options;
  FieldColl field_list;
  CsvSettings csv_settings;
  int error = 0;
  bool canceled_flag = false;
  RecordingSink sink;
};

// A table from rows of cells; short rows are padded with Empty.
inline platform::Variant MakeTable(
    const std::vector<std::vector<platform::Variant>>& rows,
    size_t columns = 0) {
  for (const auto& row : rows) columns = std::max(columns, row.size());
  platform::Variant t = platform::VariantArray::NewTable(
      static_cast<uint32_t>(columns), static_cast<uint32_t>(rows.size()));
  for (size_t r = 0; r < rows.size(); ++r) {
    for (size_t c = 0; c < rows[r].size(); ++c) {
      t.AsArray()->cell(static_cast<uint32_t>(c), static_cast<uint32_t>(r)) =
          rows[r][c];
    }
  }
  return t;
}

// True when both hold no table, or tables of the same shape and cells.
inline bool SameTable(const platform::Variant& a, const platform::Variant& b) {
  if (a.vt() != b.vt()) return false;
  const platform::VariantArray* x = a.AsArray();
  const platform::VariantArray* y = b.AsArray();
  if (x == nullptr || y == nullptr) return x == y;
  if (x->columns() != y->columns() || x->rows() != y->rows()) return false;
  for (uint32_t r = 0; r < x->rows(); ++r) {
    for (uint32_t c = 0; c < x->columns(); ++c) {
      if (!platform::SameValue(x->cell(c, r), y->cell(c, r))) return false;
    }
  }
  return true;
}

}  // namespace vexlor::testing

#endif  // VEXLOR_TESTS_TABLES_FAKE_BATCH_CONTEXT_H_

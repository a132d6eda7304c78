// What a batch method needs of the control, handed to it for one call.
//
// The control builds one context per call; the batch units see only this,
// so they can be tested with a fake context and never include the control.
#ifndef VEXLOR_TABLES_BATCH_CONTEXT_H_
#define VEXLOR_TABLES_BATCH_CONTEXT_H_

#include <cstdint>
#include <string>

#include "vexlor/output/csv_format.h"
#include "vexlor/records/field_coll.h"
#include "vexlor/tables/column_options.h"

namespace vexlor {

// The optional values of a progress report; a negative value is "not
// available" (a window shows "-").
struct ProgressFields {
  int32_t cluster_current = -1;
  int32_t cluster_max = -1;
  double cluster_average = -1.0;
  int32_t record_no = -1;
  int32_t record_count = -1;
  int32_t found = -1;
  int32_t found2 = -1;
};

enum class ProgressEvent { kProgress, kProgressDupeSearch };
enum class ProgressWindowKind { kSearch, kWait };

// The reporting side of one batch call: a progress window or events.
class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void Open(bool show_progress, ProgressWindowKind kind, int title_id,
                    int found_label_id) = 0;
  virtual void BeginStage(int status_id, ProgressEvent event,
                          const ProgressFields& fields) = 0;
  virtual void Report(double percent, const ProgressFields& fields) = 0;
  virtual void ReportAgain(double percent, const ProgressFields& fields,
                           int status_id) = 0;
  virtual bool IsCanceled() = 0;
  virtual void Close() = 0;
};

// The delimited-text settings of the control, for log lines.
struct CsvSettings {
  std::u16string delimiter = u";";
  bool text_in_quotes = true;
  bool column_headers = true;
  CsvRule rule = CsvRule::kOneLine;

  // The format of a log's lines in `encoding`.
  CsvFormat LogFormat(TextEncoding encoding) const {
    CsvFormat format;
    format.delimiter = delimiter;
    format.text_in_quotes = text_in_quotes;
    format.column_headers = column_headers;
    format.encoding = encoding;
    format.rule = rule;
    return format;
  }
};

class BatchContext {
 public:
  virtual ~BatchContext() = default;
  virtual ColumnOptions& options() = 0;
  virtual FieldColl& fields() = 0;
  virtual ProgressSink& progress() = 0;
  virtual const CsvSettings& csv() = 0;
  // The cancellation flag of the control: cleared at the start of a call,
  // set by Cancel.
  virtual bool& canceled() = 0;
  virtual void ClearLastError() = 0;
  virtual void SetOutOfMemoryError() = 0;
  virtual bool HasError() = 0;
  // A new group label (38-character GUID text), or "" when none can be made.
  virtual std::string NewGuidString() = 0;
};

}  // namespace vexlor

#endif  // VEXLOR_TABLES_BATCH_CONTEXT_H_

// CVexlorCtrl: the one object a host sees.
//
// It owns what outlives a single call (the field list of the record
// comparison, the per-column options, the CSV settings, the cancellation
// flag and the error state) and has every member of the dispatch interface
// under its exact name. Members take and return the types of the interface:
// short = int16_t, long = int32_t, bool, string = UTF-16, table = Variant.
// Calls by name or dispatch identifier go through member_table.h.
#ifndef VEXLOR_CONTROL_VEXLOR_CTRL_H_
#define VEXLOR_CONTROL_VEXLOR_CTRL_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "vexlor/control/event_sink.h"
#include "vexlor/platform/guid.h"
#include "vexlor/platform/variant.h"
#include "vexlor/records/field_coll.h"
#include "vexlor/tables/column_options.h"
#include "vexlor/tables/return_results.h"

namespace vexlor {

class WindowPresenter;

class CVexlorCtrl {
 public:
  using Variant = platform::Variant;

  // A control with random labels.
  CVexlorCtrl();
  // A control whose labels and NewGUID texts come from a seeded, so
  // reproducible, sequence.
  explicit CVexlorCtrl(uint64_t label_seed);
  // A control with any GUID source (tests: one that fails).
  explicit CVexlorCtrl(std::unique_ptr<platform::GuidSource> guids);
  ~CVexlorCtrl();
  CVexlorCtrl(const CVexlorCtrl&) = delete;
  CVexlorCtrl& operator=(const CVexlorCtrl&) = delete;

  // Properties (DISPID 2, 3, 4).
  std::u16string GetCSVDelimiter() const { return csv_delimiter_; }
  void SetCSVDelimiter(std::u16string_view value);
  bool GetCSVTextInQuotes() const { return csv_text_in_quotes_; }
  void SetCSVTextInQuotes(bool value);
  bool GetCSVColumnHeaders() const { return csv_column_headers_; }
  void SetCSVColumnHeaders(bool value);
  // The framework's modified flag: set by any CSV property change.
  bool IsModified() const { return modified_; }

  // Single-string methods.
  std::u16string metaphone(std::u16string_view S, int16_t length);
  std::u16string dmetaphone(std::u16string_view S, int16_t length);
  std::u16string soundex(std::u16string_view S, int16_t length,
                         bool firstchar);
  int32_t CompareStrings(std::u16string_view SearchString,
                         std::u16string_view MatchString, bool IgnoreCase);
  std::u16string Normalize(std::u16string_view S, bool uppercase);
  int32_t EditDistance(std::u16string_view S1, std::u16string_view S2);
  double Difference(std::u16string_view S1, std::u16string_view S2);

  // Field-list methods.
  void ListCompareInit();
  void ListSetCompare(std::u16string_view FieldName, std::u16string_view Value);
  double ListCalcDiff();
  void ListAddField(std::u16string_view FieldName, std::u16string_view Value,
                    double Weight, bool CompareNull);

  std::u16string NewGUID();
  void Cancel();
  void Reset();
  void SetColumnOption(int16_t ColumnIndex, bool Cluster, bool DupeSearch,
                       double Weight, bool CompareNull,
                       std::u16string_view ColumnName);
  bool CanceledByUser() const { return canceled_; }
  int32_t LastError() const { return last_error_; }
  std::u16string LastErrorDescription() const;
  void AboutBox();

  // Batch methods. Host code runs inside a batch call (its events, the
  // window's message pump) and may call back into the control; a batch
  // method called from there would share the running call's field list,
  // column options, error state and cancellation flag, so it does nothing
  // and returns Empty. VariantArray2CSVFile still writes its file from
  // there, but leaves the error state to the running call.
  Variant DupeSearch(const Variant& varArray, int32_t IDColumnIndex,
                     double Threshold, double ClusterThreshold,
                     std::u16string_view Options, int16_t ReturnResults,
                     bool ShowProgress);
  Variant FuzzyMerge(const Variant& varArray, const Variant& varImport,
                     int32_t IDColumnIndex, double Threshold,
                     double ClusterThreshold, std::u16string_view Options,
                     int16_t ReturnResults, bool ShowProgress,
                     std::u16string_view LogFilenameImported,
                     std::u16string_view LogFilenameRejected);
  bool VariantArray2CSVFile(const Variant& varArray,
                            std::u16string_view Filename);
  Variant DeleteDupes(const Variant& varArray, int32_t FIDColumnIndex,
                      int32_t MaxColumnIndex, int16_t DeleteOrder,
                      int16_t ReturnResults, bool ShowProgress,
                      std::u16string_view LogFilenameDeleted);
  Variant FuzzyMatch(const Variant& varArray, const Variant& varMatch,
                     int32_t IDColumnIndex, double Threshold,
                     double ClusterThreshold, std::u16string_view Options,
                     int16_t ReturnResults, bool ShowProgress,
                     std::u16string_view LogFilenamePositive,
                     std::u16string_view LogFilenameNegative);
  Variant ExactMatchByColumn(const Variant& varArray, const Variant& varMatch,
                             int32_t MatchColumnIndex, int16_t ReturnResults,
                             bool ShowProgress);

  // Events: connect and disconnect sinks (not owned).
  void Advise(EventSink* sink);
  void Unadvise(EventSink* sink);
  const std::vector<EventSink*>& sinks() const { return sinks_; }

  // Internal operations of the batch methods.
  void ClearLastError();
  void SetOutOfMemoryError();
  bool HasError() const { return last_error_ != 0; }
  // A new label: the text NewGUID returns, as Windows-1252 bytes.
  std::string NewGuidString();
  ColumnOptions& column_options() { return options_; }
  const ColumnOptions& column_options() const { return options_; }
  FieldColl& field_list() { return *field_list_; }
  bool& canceled_flag() { return canceled_; }
  // How progress windows are shown (not owned); null, the default, draws
  // them on the terminal when stderr is one.
  void set_window_presenter(WindowPresenter* presenter) {
    window_presenter_ = presenter;
  }
  WindowPresenter* window_presenter() const { return window_presenter_; }
  // How AboutBox shows its text; by default it is written to stderr.
  void set_about_presenter(std::function<void(const std::string&)> show) {
    about_presenter_ = std::move(show);
  }

 private:
  std::unique_ptr<FieldColl> field_list_;
  bool canceled_ = false;
  // True while a batch method runs.
  bool batch_running_ = false;
  ColumnOptions options_;
  int32_t last_error_ = 0;
  std::string last_error_description_;
  std::u16string csv_delimiter_ = u";";
  bool csv_text_in_quotes_ = true;
  bool csv_column_headers_ = true;
  bool modified_ = false;
  std::unique_ptr<platform::GuidSource> guids_;
  std::vector<EventSink*> sinks_;
  WindowPresenter* window_presenter_ = nullptr;
  std::function<void(const std::string&)> about_presenter_;
};

}  // namespace vexlor

#endif  // VEXLOR_CONTROL_VEXLOR_CTRL_H_

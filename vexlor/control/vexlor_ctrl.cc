#include "vexlor/vexlor_ctrl.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "vexlor/control/about.h"
#include "vexlor/control/control_context.h"
#include "vexlor/control/sink_list.h"
#include "vexlor/match_options.h"
#include "vexlor/output/csv_export.h"
#include "vexlor/output/csv_format.h"
#include "vexlor/platform/guid.h"
#include "vexlor/records/field_coll.h"
#include "vexlor/strings/double_metaphone.h"
#include "vexlor/strings/edit_distance.h"
#include "vexlor/strings/gestalt_similarity.h"
#include "vexlor/strings/normalize.h"
#include "vexlor/strings/pattern_compare.h"
#include "vexlor/strings/phonex.h"
#include "vexlor/strings/soundex.h"
#include "vexlor/tables/column_options.h"
#include "vexlor/tables/methods/delete_dupes.h"
#include "vexlor/tables/methods/dupe_search.h"
#include "vexlor/tables/methods/exact_match.h"
#include "vexlor/tables/methods/fuzzy_match.h"
#include "vexlor/tables/methods/fuzzy_merge.h"
#include "vexlor/tables/table_model.h"
#include "vexlor/text.h"
#include "vexlor/variant_array.h"

namespace vexlor {

using platform::AnsiToUtf16;
using platform::Utf16ToAnsi;
using platform::Utf16ToUtf8;
using platform::Utf8ToUtf16;
using platform::Variant;

namespace {

// Marks a batch call as running for its duration; a call made while one
// runs (from host code inside it) is not entered.
class BatchScope {
 public:
  explicit BatchScope(bool& running) : running_(running), entered_(!running) {
    running_ = true;
  }
  ~BatchScope() {
    if (entered_) running_ = false;
  }
  BatchScope(const BatchScope&) = delete;
  BatchScope& operator=(const BatchScope&) = delete;
  bool entered() const { return entered_; }

 private:
  bool& running_;
  bool entered_;
};

}  // namespace

struct CVexlorCtrl::State {
  explicit State(std::unique_ptr<platform::GuidSource> guid_source)
      : guids(std::move(guid_source)) {}

  FieldColl field_list;
  bool canceled = false;
  // True while a batch method runs.
  bool batch_running = false;
  ColumnOptions options;
  const FsModel* scoring_model = nullptr;
  FsModel* scoring_model_out = nullptr;
  int32_t last_error = 0;
  std::string last_error_description;
  std::u16string csv_delimiter = u";";
  bool csv_text_in_quotes = true;
  bool csv_column_headers = true;
  bool modified = false;
  LogFormat log_format;
  std::unique_ptr<platform::GuidSource> guids;
  SinkList sinks;
  WindowPresenter* window_presenter = nullptr;
  std::function<void(const std::string&)> about_presenter;
};

CVexlorCtrl::CVexlorCtrl()
    : CVexlorCtrl(std::make_unique<platform::RandomGuidSource>()) {}

CVexlorCtrl::CVexlorCtrl(uint64_t label_seed)
    : CVexlorCtrl(std::make_unique<platform::SeededGuidSource>(label_seed)) {}

CVexlorCtrl::CVexlorCtrl(std::unique_ptr<platform::GuidSource> guids)
    : state_(std::make_unique<State>(std::move(guids))) {
  state_->options.Reset();
}

// No cancellation to signal: a batch method runs only within a member call,
// and a control must outlive its calls (a host holds its reference across
// each one), so a flag set here would have no reader.
CVexlorCtrl::~CVexlorCtrl() = default;

std::u16string CVexlorCtrl::GetCSVDelimiter() const {
  return state_->csv_delimiter;
}

bool CVexlorCtrl::GetCSVTextInQuotes() const {
  return state_->csv_text_in_quotes;
}

bool CVexlorCtrl::GetCSVColumnHeaders() const {
  return state_->csv_column_headers;
}

bool CVexlorCtrl::IsModified() const { return state_->modified; }

const LogFormat& CVexlorCtrl::GetLogFormat() const {
  return state_->log_format;
}

void CVexlorCtrl::SetLogFormat(const LogFormat& format) {
  state_->log_format = format;
}

bool CVexlorCtrl::CanceledByUser() const { return state_->canceled; }

int32_t CVexlorCtrl::LastError() const { return state_->last_error; }

bool CVexlorCtrl::HasError() const { return state_->last_error != 0; }

ColumnOptions& CVexlorCtrl::column_options() { return state_->options; }

const ColumnOptions& CVexlorCtrl::column_options() const {
  return state_->options;
}

FieldColl& CVexlorCtrl::field_list() { return state_->field_list; }

void CVexlorCtrl::set_window_presenter(WindowPresenter* presenter) {
  state_->window_presenter = presenter;
}

WindowPresenter* CVexlorCtrl::window_presenter() const {
  return state_->window_presenter;
}

void CVexlorCtrl::set_scoring_model(const FsModel* model, FsModel* model_out) {
  state_->scoring_model = model;
  state_->scoring_model_out = model_out;
}

void CVexlorCtrl::set_about_presenter(
    std::function<void(const std::string&)> show) {
  state_->about_presenter = std::move(show);
}

bool& CVexlorCtrl::canceled_flag() { return state_->canceled; }

SinkList& CVexlorCtrl::sinks() { return state_->sinks; }

void CVexlorCtrl::SetCSVDelimiter(std::u16string_view value) {
  state_->csv_delimiter.assign(value);
  state_->modified = true;
}

void CVexlorCtrl::SetCSVTextInQuotes(bool value) {
  state_->csv_text_in_quotes = value;
  state_->modified = true;
}

void CVexlorCtrl::SetCSVColumnHeaders(bool value) {
  state_->csv_column_headers = value;
  state_->modified = true;
}

std::u16string CVexlorCtrl::metaphone(std::u16string_view S, int16_t length) {
  return AnsiToUtf16(Phonex(Utf16ToAnsi(S), length));
}

std::u16string CVexlorCtrl::dmetaphone(std::u16string_view S, int16_t length) {
  return AnsiToUtf16(DoubleMetaphone(Utf16ToAnsi(S), length));
}

std::u16string CVexlorCtrl::soundex(std::u16string_view S, int16_t length,
                                    bool firstchar) {
  return AnsiToUtf16(Soundex(Utf16ToAnsi(S), length, firstchar));
}

int32_t CVexlorCtrl::CompareStrings(std::u16string_view SearchString,
                                    std::u16string_view MatchString,
                                    bool IgnoreCase) {
  return ::vexlor::CompareStrings(Utf16ToAnsi(SearchString),
                                  Utf16ToAnsi(MatchString), IgnoreCase);
}

std::u16string CVexlorCtrl::Normalize(std::u16string_view S, bool uppercase) {
  return AnsiToUtf16(NormalizeText(Utf16ToAnsi(S), uppercase));
}

int32_t CVexlorCtrl::EditDistance(std::u16string_view S1,
                                  std::u16string_view S2) {
  return ::vexlor::EditDistance(Utf16ToAnsi(S1), Utf16ToAnsi(S2));
}

double CVexlorCtrl::Difference(std::u16string_view S1, std::u16string_view S2) {
  return GestaltSimilarity(Utf16ToAnsi(S1), Utf16ToAnsi(S2));
}

// The UTF-8 members go through UTF-16 so that a text gives the same result
// whichever form it came in, invalid sequences included.
std::string CVexlorCtrl::metaphone(std::string_view S, int16_t length) {
  return Utf16ToUtf8(metaphone(Utf8ToUtf16(S), length));
}

std::string CVexlorCtrl::dmetaphone(std::string_view S, int16_t length) {
  return Utf16ToUtf8(dmetaphone(Utf8ToUtf16(S), length));
}

std::string CVexlorCtrl::soundex(std::string_view S, int16_t length,
                                 bool firstchar) {
  return Utf16ToUtf8(soundex(Utf8ToUtf16(S), length, firstchar));
}

int32_t CVexlorCtrl::CompareStrings(std::string_view SearchString,
                                    std::string_view MatchString,
                                    bool IgnoreCase) {
  return CompareStrings(Utf8ToUtf16(SearchString), Utf8ToUtf16(MatchString),
                        IgnoreCase);
}

std::string CVexlorCtrl::Normalize(std::string_view S, bool uppercase) {
  return Utf16ToUtf8(Normalize(Utf8ToUtf16(S), uppercase));
}

int32_t CVexlorCtrl::EditDistance(std::string_view S1, std::string_view S2) {
  return EditDistance(Utf8ToUtf16(S1), Utf8ToUtf16(S2));
}

double CVexlorCtrl::Difference(std::string_view S1, std::string_view S2) {
  return Difference(Utf8ToUtf16(S1), Utf8ToUtf16(S2));
}

void CVexlorCtrl::ListCompareInit() { state_->field_list.ListCompareInit(); }

void CVexlorCtrl::ListSetCompare(std::u16string_view FieldName,
                                 std::u16string_view Value) {
  state_->field_list.ListSetCompare(Utf16ToAnsi(FieldName), Utf16ToAnsi(Value));
}

double CVexlorCtrl::ListCalcDiff() { return state_->field_list.ListCalcDiff(); }

void CVexlorCtrl::ListAddField(std::u16string_view FieldName,
                               std::u16string_view Value, double Weight,
                               bool CompareNull) {
  state_->field_list.ListAddField(Utf16ToAnsi(FieldName), Utf16ToAnsi(Value),
                                  Weight, CompareNull);
}

std::string CVexlorCtrl::NewGuidString() {
  platform::Guid guid;
  if (!state_->guids->Create(&guid) || guid.IsZero()) return std::string();
  return platform::FormatGuid(guid);
}

std::u16string CVexlorCtrl::NewGUID() { return AnsiToUtf16(NewGuidString()); }

void CVexlorCtrl::Cancel() { state_->canceled = true; }

void CVexlorCtrl::Reset() {
  state_->options.Reset();
  ClearLastError();
}

void CVexlorCtrl::SetColumnOption(int16_t ColumnIndex, bool Cluster,
                                  bool DupeSearch, double Weight,
                                  bool CompareNull,
                                  std::u16string_view ColumnName) {
  state_->options.Set(ColumnIndex, Cluster, DupeSearch, Weight, CompareNull,
                      ColumnName);
}

std::u16string CVexlorCtrl::LastErrorDescription() const {
  return AnsiToUtf16(state_->last_error_description);
}

void CVexlorCtrl::AboutBox() {
  if (state_->about_presenter) {
    state_->about_presenter(AboutText());
  } else {
    std::fputs(AboutText().c_str(), stderr);
  }
}

void CVexlorCtrl::ClearLastError() {
  state_->last_error = 0;
  state_->last_error_description.clear();
}

void CVexlorCtrl::SetOutOfMemoryError() {
  state_->last_error = -1;
  state_->last_error_description = kOutOfMemoryDescription;
}

void CVexlorCtrl::Advise(EventSink* sink) { state_->sinks.Add(sink); }

void CVexlorCtrl::Unadvise(EventSink* sink) { state_->sinks.Remove(sink); }

MatchOptions CVexlorCtrl::WithModel(MatchOptions options) const {
  options.model = state_->scoring_model;
  options.model_out = state_->scoring_model_out;
  return options;
}

template <typename Call>
Variant CVexlorCtrl::RunBatch(Call&& call) {
  BatchScope batch(state_->batch_running);
  if (!batch.entered()) return Variant();
  try {
    ControlContext context(*this);
    return call(context);
  } catch (const std::bad_alloc&) {
    SetOutOfMemoryError();
    return Variant();
  }
}

Variant CVexlorCtrl::DupeSearch(const Variant& varArray, int32_t IDColumnIndex,
                                double Threshold, double ClusterThreshold,
                                std::u16string_view Options,
                                int16_t ReturnResults, bool ShowProgress) {
  return RunBatch([&](ControlContext& context) {
    return ::vexlor::DupeSearch(
        context, varArray, IDColumnIndex, Threshold, ClusterThreshold,
        ReturnResults, ShowProgress, CandidateScan{},
        WithModel(ParseMatchOptions(Options, OptionsReader::kDupeSearch)));
  });
}

Variant CVexlorCtrl::DupeSearch(const Variant& varArray, int32_t IDColumnIndex,
                                double Threshold, double ClusterThreshold,
                                const MatchOptions& Options,
                                int16_t ReturnResults, bool ShowProgress) {
  return RunBatch([&](ControlContext& context) {
    return ::vexlor::DupeSearch(context, varArray, IDColumnIndex, Threshold,
                                ClusterThreshold, ReturnResults, ShowProgress,
                                CandidateScan{}, Options);
  });
}

// What Options holds that the method does not read is ignored.
Variant CVexlorCtrl::FuzzyMerge(const Variant& varArray,
                                const Variant& varImport, int32_t IDColumnIndex,
                                double Threshold, double ClusterThreshold,
                                std::u16string_view Options,
                                int16_t ReturnResults, bool ShowProgress,
                                std::u16string_view LogFilenameImported,
                                std::u16string_view LogFilenameRejected) {
  return RunBatch([&](ControlContext& context) {
    return ::vexlor::FuzzyMerge(
        context, varArray, varImport, IDColumnIndex, Threshold,
        ClusterThreshold, ReturnResults, ShowProgress, LogFilenameImported,
        LogFilenameRejected, state_->log_format.encoding, CandidateScan{},
        WithModel(ParseMatchOptions(Options, OptionsReader::kFuzzyMerge)));
  });
}

Variant CVexlorCtrl::FuzzyMerge(const Variant& varArray,
                                const Variant& varImport, int32_t IDColumnIndex,
                                double Threshold, double ClusterThreshold,
                                const MatchOptions& Options,
                                int16_t ReturnResults, bool ShowProgress,
                                std::u16string_view LogFilenameImported,
                                std::u16string_view LogFilenameRejected) {
  return RunBatch([&](ControlContext& context) {
    return ::vexlor::FuzzyMerge(
        context, varArray, varImport, IDColumnIndex, Threshold,
        ClusterThreshold, ReturnResults, ShowProgress, LogFilenameImported,
        LogFilenameRejected, state_->log_format.encoding, CandidateScan{},
        Options);
  });
}

bool CVexlorCtrl::VariantArray2CSVFile(const Variant& varArray,
                                       std::u16string_view Filename) {
  // Inside a running batch call the error state belongs to that call.
  const bool nested = state_->batch_running;
  if (!nested) ClearLastError();
  try {
    platform::VariantArray* table = AcceptTable(varArray);
    if (table == nullptr) return false;
    platform::ArrayLock lock(table);
    CsvFormat format;
    format.delimiter = state_->csv_delimiter;
    format.text_in_quotes = state_->csv_text_in_quotes;
    format.column_headers = state_->csv_column_headers;
    // Linux file names are bytes, read as UTF-8: so any name the host
    // passes can be created as given.
    return ExportCsvFile(*table, format, state_->options.names,
                         platform::Utf16ToUtf8(Filename));
  } catch (const std::bad_alloc&) {
    if (!nested) SetOutOfMemoryError();
    return false;
  }
}

Variant CVexlorCtrl::DeleteDupes(const Variant& varArray,
                                 int32_t FIDColumnIndex, int32_t MaxColumnIndex,
                                 int16_t DeleteOrder, int16_t ReturnResults,
                                 bool ShowProgress,
                                 std::u16string_view LogFilenameDeleted) {
  return RunBatch([&](ControlContext& context) {
    return ::vexlor::DeleteDupes(context, varArray, FIDColumnIndex,
                                 MaxColumnIndex, DeleteOrder, ReturnResults,
                                 ShowProgress, LogFilenameDeleted,
                                 state_->log_format.encoding);
  });
}

// What Options holds that the method does not read is ignored.
Variant CVexlorCtrl::FuzzyMatch(const Variant& varArray,
                                const Variant& varMatch, int32_t IDColumnIndex,
                                double Threshold, double ClusterThreshold,
                                std::u16string_view Options,
                                int16_t ReturnResults, bool ShowProgress,
                                std::u16string_view LogFilenamePositive,
                                std::u16string_view LogFilenameNegative) {
  return RunBatch([&](ControlContext& context) {
    return ::vexlor::FuzzyMatch(
        context, varArray, varMatch, IDColumnIndex, Threshold, ClusterThreshold,
        ReturnResults, ShowProgress, LogFilenamePositive, LogFilenameNegative,
        state_->log_format.encoding, CandidateScan{},
        WithModel(ParseMatchOptions(Options, OptionsReader::kFuzzyMatch)));
  });
}

Variant CVexlorCtrl::FuzzyMatch(const Variant& varArray,
                                const Variant& varMatch, int32_t IDColumnIndex,
                                double Threshold, double ClusterThreshold,
                                const MatchOptions& Options,
                                int16_t ReturnResults, bool ShowProgress,
                                std::u16string_view LogFilenamePositive,
                                std::u16string_view LogFilenameNegative) {
  return RunBatch([&](ControlContext& context) {
    return ::vexlor::FuzzyMatch(
        context, varArray, varMatch, IDColumnIndex, Threshold, ClusterThreshold,
        ReturnResults, ShowProgress, LogFilenamePositive, LogFilenameNegative,
        state_->log_format.encoding, CandidateScan{}, Options);
  });
}

Variant CVexlorCtrl::ExactMatchByColumn(const Variant& varArray,
                                        const Variant& varMatch,
                                        int32_t MatchColumnIndex,
                                        int16_t ReturnResults,
                                        bool ShowProgress) {
  return RunBatch([&](ControlContext& context) {
    return ::vexlor::ExactMatchByColumn(context, varArray, varMatch,
                                        MatchColumnIndex, ReturnResults,
                                        ShowProgress);
  });
}

}  // namespace vexlor

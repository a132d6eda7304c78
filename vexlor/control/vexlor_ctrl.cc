#include "vexlor/control/vexlor_ctrl.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "vexlor/control/about.h"
#include "vexlor/control/control_context.h"
#include "vexlor/output/csv_export.h"
#include "vexlor/platform/text.h"
#include "vexlor/platform/variant_array.h"
#include "vexlor/strings/double_metaphone.h"
#include "vexlor/strings/edit_distance.h"
#include "vexlor/strings/gestalt_similarity.h"
#include "vexlor/strings/normalize.h"
#include "vexlor/strings/pattern_compare.h"
#include "vexlor/strings/phonex.h"
#include "vexlor/strings/soundex.h"
#include "vexlor/tables/match_options.h"
#include "vexlor/tables/methods/delete_dupes.h"
#include "vexlor/tables/methods/dupe_search.h"
#include "vexlor/tables/methods/exact_match.h"
#include "vexlor/tables/methods/fuzzy_match.h"
#include "vexlor/tables/methods/fuzzy_merge.h"
#include "vexlor/tables/table_model.h"

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

CVexlorCtrl::CVexlorCtrl()
    : CVexlorCtrl(std::make_unique<platform::RandomGuidSource>()) {}

CVexlorCtrl::CVexlorCtrl(uint64_t label_seed)
    : CVexlorCtrl(std::make_unique<platform::SeededGuidSource>(label_seed)) {}

CVexlorCtrl::CVexlorCtrl(std::unique_ptr<platform::GuidSource> guids)
    : field_list_(std::make_unique<FieldColl>()), guids_(std::move(guids)) {
  options_.Reset();
}

// No cancellation to signal: a batch method runs only within a member call,
// and a control must outlive its calls (a host holds its reference across
// each one), so a flag set here would have no reader.
CVexlorCtrl::~CVexlorCtrl() = default;

void CVexlorCtrl::SetCSVDelimiter(std::u16string_view value) {
  csv_delimiter_.assign(value);
  modified_ = true;
}

void CVexlorCtrl::SetCSVTextInQuotes(bool value) {
  csv_text_in_quotes_ = value;
  modified_ = true;
}

void CVexlorCtrl::SetCSVColumnHeaders(bool value) {
  csv_column_headers_ = value;
  modified_ = true;
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

void CVexlorCtrl::ListCompareInit() { field_list_->ListCompareInit(); }

void CVexlorCtrl::ListSetCompare(std::u16string_view FieldName,
                                 std::u16string_view Value) {
  field_list_->ListSetCompare(Utf16ToAnsi(FieldName), Utf16ToAnsi(Value));
}

double CVexlorCtrl::ListCalcDiff() { return field_list_->ListCalcDiff(); }

void CVexlorCtrl::ListAddField(std::u16string_view FieldName,
                               std::u16string_view Value, double Weight,
                               bool CompareNull) {
  field_list_->ListAddField(Utf16ToAnsi(FieldName), Utf16ToAnsi(Value), Weight,
                            CompareNull);
}

std::string CVexlorCtrl::NewGuidString() {
  platform::Guid guid;
  if (!guids_->Create(&guid) || guid.IsZero()) return std::string();
  return platform::FormatGuid(guid);
}

std::u16string CVexlorCtrl::NewGUID() { return AnsiToUtf16(NewGuidString()); }

void CVexlorCtrl::Cancel() { canceled_ = true; }

void CVexlorCtrl::Reset() {
  options_.Reset();
  ClearLastError();
}

void CVexlorCtrl::SetColumnOption(int16_t ColumnIndex, bool Cluster,
                                  bool DupeSearch, double Weight,
                                  bool CompareNull,
                                  std::u16string_view ColumnName) {
  options_.Set(ColumnIndex, Cluster, DupeSearch, Weight, CompareNull,
               ColumnName);
}

std::u16string CVexlorCtrl::LastErrorDescription() const {
  return AnsiToUtf16(last_error_description_);
}

void CVexlorCtrl::AboutBox() {
  if (about_presenter_) {
    about_presenter_(AboutText());
  } else {
    std::fputs(AboutText().c_str(), stderr);
  }
}

void CVexlorCtrl::ClearLastError() {
  last_error_ = 0;
  last_error_description_.clear();
}

void CVexlorCtrl::SetOutOfMemoryError() {
  last_error_ = -1;
  last_error_description_ = kOutOfMemoryDescription;
}

void CVexlorCtrl::Advise(EventSink* sink) { sinks_.Add(sink); }

void CVexlorCtrl::Unadvise(EventSink* sink) { sinks_.Remove(sink); }

MatchOptions CVexlorCtrl::WithModel(MatchOptions options) const {
  options.model = scoring_model_;
  options.model_out = scoring_model_out_;
  return options;
}

template <typename Call>
Variant CVexlorCtrl::RunBatch(Call&& call) {
  BatchScope batch(batch_running_);
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
        LogFilenameRejected, log_format_.encoding, CandidateScan{},
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
        LogFilenameRejected, log_format_.encoding, CandidateScan{}, Options);
  });
}

bool CVexlorCtrl::VariantArray2CSVFile(const Variant& varArray,
                                       std::u16string_view Filename) {
  // Inside a running batch call the error state belongs to that call.
  const bool nested = batch_running_;
  if (!nested) ClearLastError();
  try {
    platform::VariantArray* table = AcceptTable(varArray);
    if (table == nullptr) return false;
    platform::ArrayLock lock(table);
    CsvFormat format;
    format.delimiter = csv_delimiter_;
    format.text_in_quotes = csv_text_in_quotes_;
    format.column_headers = csv_column_headers_;
    // Linux file names are bytes, read as UTF-8: so any name the host
    // passes can be created as given.
    return ExportCsvFile(*table, format, options_.names,
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
    return ::vexlor::DeleteDupes(
        context, varArray, FIDColumnIndex, MaxColumnIndex, DeleteOrder,
        ReturnResults, ShowProgress, LogFilenameDeleted, log_format_.encoding);
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
        log_format_.encoding, CandidateScan{},
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
        log_format_.encoding, CandidateScan{}, Options);
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

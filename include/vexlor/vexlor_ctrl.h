// CVexlorCtrl: the one object a host sees.
//
// It owns what outlives a single call (the field list of the record
// comparison, the per-column options, the CSV settings, the cancellation
// flag and the error state) and has every member of the dispatch interface
// under its exact name. Members take and return the types of the interface:
// short = int16_t, long = int32_t, bool, string = UTF-16, table = Variant.
// Calls by name or dispatch identifier go through member_table.h.
//
// Example:
//
//   vexlor::CVexlorCtrl ctrl(/*label_seed=*/7);
//   ctrl.SetColumnOption(0, true, true, 1.0, false, u"Name");
//   vexlor::platform::Variant labelled =
//       ctrl.DupeSearch(table, -1, 80.0, 0.5, u"", vexlor::DRR_ALL, false);
//   if (ctrl.LastError() != 0) { /* ran out of memory */ }
//
// Errors: no member throws for bad input, and none raises for an argument
// that is not a table; such a call returns Empty (or false). The one error
// state is "Out of Memory" (LastError() -1), set by a batch method or
// VariantArray2CSVFile that ran out of memory; every other member leaves it
// alone.
//
// Threading: a control is used from one thread at a time. A batch method
// raises its events, shows its progress window and calls the presenters on
// the calling thread, before it returns; worker threads it may start never
// run host code. Strings passed in are read during the call only; nothing
// the control returns refers back into it.
//
// Ownership: every table a member returns belongs to the caller, and the
// arguments are read, never kept. Event sinks, the window presenter and a
// scoring model are the host's: the control keeps pointers to them and
// never deletes them. A control must outlive every call into it.
#ifndef VEXLOR_VEXLOR_CTRL_H_
#define VEXLOR_VEXLOR_CTRL_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "vexlor/event_sink.h"
#include "vexlor/export.h"
#include "vexlor/log_format.h"
#include "vexlor/match_options.h"
#include "vexlor/return_results.h"
#include "vexlor/variant.h"

namespace vexlor {

struct ColumnOptions;
class FieldColl;
class FsModel;
class WindowPresenter;
class SinkList;
namespace platform {
class GuidSource;
}

// LastErrorDescription after running out of memory.
inline constexpr char kOutOfMemoryDescription[] = "Out of Memory";

class VEXLOR_EXPORT CVexlorCtrl {
 public:
  using Variant = platform::Variant;

  // A new control: every column Cluster and DupeSearch with Weight 1.0 (as
  // after Reset), an empty field list, CSV settings ";", quoted text and a
  // header line, no error. Labels and NewGUID texts are random.
  CVexlorCtrl();
  // The same, but labels and NewGUID texts come from a sequence seeded with
  // `label_seed`: two controls with the same seed give the same texts.
  explicit CVexlorCtrl(uint64_t label_seed);
  // The same with any GUID source, which the control takes over (tests: one
  // that fails; platform/guid.h, not installed). `guids` must not be null.
  explicit CVexlorCtrl(std::unique_ptr<platform::GuidSource> guids);
  // A control must outlive every call into it, events included.
  ~CVexlorCtrl();
  CVexlorCtrl(const CVexlorCtrl&) = delete;
  CVexlorCtrl& operator=(const CVexlorCtrl&) = delete;

  // Properties CSVDelimiter, CSVTextInQuotes and CSVColumnHeaders: how
  // VariantArray2CSVFile and the log files of the batch methods write their
  // lines. The delimiter is put between fields as it is, of any length
  // (empty joins the fields); CSVTextInQuotes encloses string cells and
  // header names in double quotes; CSVColumnHeaders writes a header line
  // first. Each setter marks the control modified; nothing else reacts.
  std::u16string GetCSVDelimiter() const;
  void SetCSVDelimiter(std::u16string_view value);
  bool GetCSVTextInQuotes() const;
  void SetCSVTextInQuotes(bool value);
  bool GetCSVColumnHeaders() const;
  void SetCSVColumnHeaders(bool value);
  // Whether a CSV property was set since construction (the design-time
  // face saves the control then). Never cleared.
  bool IsModified() const;

  // The format of the log files of FuzzyMerge, FuzzyMatch and DeleteDupes
  // (see LogFormat). Not a property of the automation interface, and not
  // counted as a modification. VariantArray2CSVFile keeps the library's
  // rule whatever this says.
  const LogFormat& GetLogFormat() const;
  void SetLogFormat(const LogFormat& format);

  // Single-string methods. Each converts its text arguments to Windows-1252
  // (characters it lacks are transliterated, include/vexlor/text.h) and works on
  // those bytes; string results come back as UTF-16. They are total over
  // their inputs, touch no state of the control and raise no events; each
  // is linear in its input (EditDistance and Difference: in the product of
  // the two lengths at worst). The rules are in vexlor/strings/.
  //
  // metaphone: the Phonex code of `S`, padded with '0' or cut to `length`
  // characters ("" for a `length` of 0 or less).
  std::u16string metaphone(std::u16string_view S, int16_t length);
  // dmetaphone: the primary Double Metaphone key of `S`, cut to `length`.
  std::u16string dmetaphone(std::u16string_view S, int16_t length);
  // soundex: the Soundex code of `S` in `length` characters; `firstchar`
  // codes the first letter as a digit too instead of keeping it.
  std::u16string soundex(std::u16string_view S, int16_t length, bool firstchar);
  // CompareStrings: the least error count (0 to 7) with which the wildcard
  // pattern `MatchString` occurs in `SearchString`, 8 when it does not
  // occur with fewer, -1 for an invalid pattern; the pattern's length for
  // an empty `SearchString`, the text's length for an empty pattern.
  // `IgnoreCase` folds letters first.
  int32_t CompareStrings(std::u16string_view SearchString,
                         std::u16string_view MatchString, bool IgnoreCase);
  // Normalize: the comparison key of a name, company or address: accents
  // folded, punctuation blanked, the replacement list applied; in upper
  // case when `uppercase`, else in the text's own case.
  std::u16string Normalize(std::u16string_view S, bool uppercase);
  // EditDistance: the Levenshtein distance of `S1` and `S2` in bytes.
  int32_t EditDistance(std::u16string_view S1, std::u16string_view S2);
  // Difference: the gestalt (Ratcliff/Obershelp) similarity of `S1` and
  // `S2` in percent, 0 to 100.
  double Difference(std::u16string_view S1, std::u16string_view S2);

  // The same seven members for C++ callers that hold UTF-8 text: arguments
  // are read as UTF-8 (invalid sequences count as unconvertible
  // characters), string results are UTF-8. Identical results to the UTF-16
  // members for the same text.
  std::string metaphone(std::string_view S, int16_t length);
  std::string dmetaphone(std::string_view S, int16_t length);
  std::string soundex(std::string_view S, int16_t length, bool firstchar);
  int32_t CompareStrings(std::string_view SearchString,
                         std::string_view MatchString, bool IgnoreCase);
  std::string Normalize(std::string_view S, bool uppercase);
  int32_t EditDistance(std::string_view S1, std::string_view S2);
  double Difference(std::string_view S1, std::string_view S2);

  // Field-list methods: a weighted comparison of two records, field by
  // field, in the control's one field list (records/field_coll.h). The
  // batch methods use the same list and leave their last compared pair in
  // it.
  //
  // ListCompareInit: empties the list. O(1).
  void ListCompareInit();
  // ListSetCompare: sets the second record's value of the field named
  // `FieldName` (exact bytes); a name not in the list is ignored. O(fields).
  void ListSetCompare(std::u16string_view FieldName, std::u16string_view Value);
  // ListCalcDiff: the weighted similarity in percent of the two records:
  // fields of Weight above 1.0 are keys (equal or the result is 0), the
  // others are compared fuzzily and weighted. 0 for an empty list.
  double ListCalcDiff();
  // ListAddField: appends a field with its first record's `Value`.
  // `CompareNull` compares the field even when a text is empty.
  void ListAddField(std::u16string_view FieldName, std::u16string_view Value,
                    double Weight, bool CompareNull);

  // NewGUID: a new identifier as 38 characters, "{XXXXXXXX-XXXX-XXXX-XXXX-
  // XXXXXXXXXXXX}" in upper-case hexadecimal; "" when the GUID source
  // fails (no error state).
  std::u16string NewGUID();
  // Cancel: asks the running batch method to stop at its next record. Meant
  // for an event handler or the progress window; called while nothing runs
  // it only makes CanceledByUser true until the next batch method starts.
  void Cancel();
  // Reset: every column back to Cluster and DupeSearch on, CompareNull off,
  // Weight 1.0, no names; clears the error state. Keeps the field list, the
  // cancellation flag and the CSV settings.
  void Reset();
  // SetColumnOption: the options of column `ColumnIndex` (0 to 399; any
  // other index changes nothing). `ColumnName` heads the column in log
  // files and in exported tables.
  void SetColumnOption(int16_t ColumnIndex, bool Cluster, bool DupeSearch,
                       double Weight, bool CompareNull,
                       std::u16string_view ColumnName);
  // CanceledByUser: whether the last batch method stopped because of
  // Cancel or the window's Cancel button (until the next one starts).
  bool CanceledByUser() const;
  // LastError: 0, or -1 when the last batch method (or
  // VariantArray2CSVFile) ran out of memory.
  int32_t LastError() const;
  // LastErrorDescription: "" or "Out of Memory", with LastError.
  std::u16string LastErrorDescription() const;
  // AboutBox: shows the About text (about.h) through the about presenter,
  // or on stderr when none is set.
  void AboutBox();

  // Batch methods. Each takes tables as Variants holding a 2-D array of
  // variants, columns in dimension 1 and rows in dimension 2
  // (tables/table_model.h says what is accepted), and returns a new table
  // that the caller owns; the arguments are read, never changed. Each
  // clears the error state when it starts and, except VariantArray2CSVFile,
  // the cancellation flag. An argument that is not a table gives Empty
  // without error. Cancelled (Cancel or the window's button), a method
  // stops after its current record and CanceledByUser stays true. Out of
  // memory sets LastError to -1. What comes back in those two cases (Empty,
  // a partial table, or a table variant holding no array), and the exact
  // rules and costs, are in the method's unit under vexlor/tables/.
  //
  // Events: with sinks connected, Progress and ProgressDupeSearch reach
  // them on the calling thread at the method's reports (about every 10 to
  // 100 records and at the end); `ShowProgress` also shows a progress
  // window (through the window presenter, or on a terminal). `Options`:
  // "Name=Value;..." settings (include/vexlor/match_options.h); what a method does
  // not know is ignored, and an empty text gives the documented behaviour.
  // The Cluster, DupeSearch, Weight and CompareNull options of columns 0 to
  // 399 choose what is indexed and compared; later columns are not.
  //
  // Host code runs inside a batch call (its events, the window's message
  // pump) and may call back into the control; a batch method called from
  // there would share the running call's field list, column options, error
  // state and cancellation flag, so it does nothing and returns Empty.
  // VariantArray2CSVFile still writes its file from there, but leaves the
  // error state to the running call.
  //
  // DupeSearch: labels each record of `varArray` with a 38-character GUID
  // text shared by its group of similar records (weighted similarity at
  // least `Threshold` percent among the candidates that share at least
  // `ClusterThreshold` of their trigrams). DRR_ALL returns the table with a
  // label column added; DRR_DUPES only the rows of shared labels, grouped,
  // or Empty when there are none. Column `IDColumnIndex` (-1 for none) and
  // the columns of empty cells lose their options for good.
  Variant DupeSearch(const Variant& varArray, int32_t IDColumnIndex,
                     double Threshold, double ClusterThreshold,
                     std::u16string_view Options, int16_t ReturnResults,
                     bool ShowProgress);
  // FuzzyMerge: merges the records of `varImport` that resemble no master
  // record into `varArray`; MRR_IMPORT, MRR_ALL, MRR_DUPES or
  // MRR_CLEANMERGED choose the rows returned. The import records taken and
  // rejected are written to the two log files when their names are not
  // empty (an existing file is replaced).
  Variant FuzzyMerge(const Variant& varArray, const Variant& varImport,
                     int32_t IDColumnIndex, double Threshold,
                     double ClusterThreshold, std::u16string_view Options,
                     int16_t ReturnResults, bool ShowProgress,
                     std::u16string_view LogFilenameImported,
                     std::u16string_view LogFilenameRejected);
  // VariantArray2CSVFile: writes the table to the file `Filename` (UTF-8
  // path; created or replaced) as delimited text by the CSV properties,
  // columns 0 to 400, headed by the column names when CSVColumnHeaders is
  // set. False when the argument is not a table, the file cannot be
  // written, or memory runs out (that alone sets the error state).
  bool VariantArray2CSVFile(const Variant& varArray,
                            std::u16string_view Filename);
  // DeleteDupes: of each group of rows that share a label in column
  // `FIDColumnIndex` (below 0: found automatically), keeps the first or
  // last by `DeleteOrder`; DER_CLEAN returns the rows kept, DER_DELETED
  // the rows deleted, columns 0 to `MaxColumnIndex` (below 0: all). The
  // deleted rows go to the log file when its name is not empty.
  Variant DeleteDupes(const Variant& varArray, int32_t FIDColumnIndex,
                      int32_t MaxColumnIndex, int16_t DeleteOrder,
                      int16_t ReturnResults, bool ShowProgress,
                      std::u16string_view LogFilenameDeleted);
  // FuzzyMatch: the master table `varArray` with a "Match" column added:
  // for each master record, 0, or the 1-based row of the first record of
  // `varMatch` that resembles it; MAR_ALL, MAR_POSITIVE or MAR_NEGATIVE
  // choose the master rows returned. The match records that matched and
  // those that did not go to the two log files when their names are not
  // empty.
  Variant FuzzyMatch(const Variant& varArray, const Variant& varMatch,
                     int32_t IDColumnIndex, double Threshold,
                     double ClusterThreshold, std::u16string_view Options,
                     int16_t ReturnResults, bool ShowProgress,
                     std::u16string_view LogFilenamePositive,
                     std::u16string_view LogFilenameNegative);
  // ExactMatchByColumn: marks the master rows whose text in column
  // `MatchColumnIndex` occurs, exactly, in the same column of `varMatch`;
  // returns the rows MAR_ALL, MAR_POSITIVE or MAR_NEGATIVE select, columns
  // 0 to 400, or Empty when none is selected. Uses no column options.
  Variant ExactMatchByColumn(const Variant& varArray, const Variant& varMatch,
                             int32_t MatchColumnIndex, int16_t ReturnResults,
                             bool ShowProgress);

  // DupeSearch, FuzzyMerge and FuzzyMatch with their settings given as
  // MatchOptions (match_options.h) instead of the Options text: for C++
  // hosts that read the settings themselves, or hand over a pair observer
  // or a fitted model, which no text can carry. Otherwise the members
  // above, exactly.
  Variant DupeSearch(const Variant& varArray, int32_t IDColumnIndex,
                     double Threshold, double ClusterThreshold,
                     const MatchOptions& Options, int16_t ReturnResults,
                     bool ShowProgress);
  Variant FuzzyMerge(const Variant& varArray, const Variant& varImport,
                     int32_t IDColumnIndex, double Threshold,
                     double ClusterThreshold, const MatchOptions& Options,
                     int16_t ReturnResults, bool ShowProgress,
                     std::u16string_view LogFilenameImported,
                     std::u16string_view LogFilenameRejected);
  Variant FuzzyMatch(const Variant& varArray, const Variant& varMatch,
                     int32_t IDColumnIndex, double Threshold,
                     double ClusterThreshold, const MatchOptions& Options,
                     int16_t ReturnResults, bool ShowProgress,
                     std::u16string_view LogFilenamePositive,
                     std::u16string_view LogFilenameNegative);

  // Events: connects `sink` (not owned), which must stay alive until it is
  // disconnected or the control ends. Every event goes to every sink in
  // the order of connection. A null sink is ignored; a sink connected twice
  // hears each event twice. Callable from inside an event: the new sink
  // hears the events after the current one. Amortised O(1).
  void Advise(EventSink* sink);
  // Disconnects the earliest connection of `sink`; unknown sinks are
  // ignored. Once it returns, the control makes no further call on that
  // connection, even when called from inside an event (the current event
  // included), so the sink may be destroyed then; a sink that destroys
  // itself inside its own event must touch nothing of itself afterwards.
  // O(sinks).
  void Unadvise(EventSink* sink);

  // For C++ hosts. The per-column options as the batch methods read and
  // change them (SetColumnOption and Reset are the interface's way).
  // Both types are the library's own (tables/column_options.h,
  // records/field_coll.h, not installed): these are for the hosts built
  // with the library, the command line and the Python module.
  ColumnOptions& column_options();
  const ColumnOptions& column_options() const;
  // The field list the List* members and the batch methods share.
  FieldColl& field_list();
  // Sets the error state to "Out of Memory", as a batch method does when it
  // runs out: for hosts that run out of memory on the control's behalf.
  void SetOutOfMemoryError();
  // How progress windows are shown (not owned; it must outlive the calls
  // that show windows); null, the default, draws them on the terminal when
  // stderr is one and shows nothing otherwise.
  void set_window_presenter(WindowPresenter* presenter);
  // Scoring=Estimated for C++ hosts, for the batch calls that follow: the
  // model to score with instead of estimating one, and where to put the
  // model that scored; null for neither. Both must outlive those calls.
  // The members taking MatchOptions read the model from those instead.
  void set_scoring_model(const FsModel* model, FsModel* model_out);
  // How AboutBox shows its text; by default it is written to stderr.
  void set_about_presenter(std::function<void(const std::string&)> show);

 private:
  // A batch call's view of the control.
  friend class ControlContext;

  // Runs `call(context)` as a batch call: nothing while another batch
  // call runs, the error state "Out of Memory" when memory runs out.
  template <typename Call>
  Variant RunBatch(Call&& call);
  void ClearLastError();
  // `options` with the model set_scoring_model gave.
  MatchOptions WithModel(MatchOptions options) const;
  bool HasError() const;
  // A new label: the text NewGUID returns, as Windows-1252 bytes.
  std::string NewGuidString();
  bool& canceled_flag();
  SinkList& sinks();
  WindowPresenter* window_presenter() const;

  // Everything the control keeps, out of sight of the hosts: its types
  // are the library's internals, and the control's layout can change
  // without a host being rebuilt.
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace vexlor

#endif  // VEXLOR_VEXLOR_CTRL_H_

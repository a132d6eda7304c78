#include "vexlor/member_table.h"

#include <string>

#include "vexlor/platform/coerce.h"

namespace vexlor {

using platform::CoerceStatus;
using platform::Variant;
using platform::VarType;
using platform::VT_BOOL;
using platform::VT_BSTR;
using platform::VT_EMPTY;
using platform::VT_I2;
using platform::VT_I4;
using platform::VT_R8;
using platform::VT_VARIANT;

namespace {

std::vector<MemberInfo> BuildMembers() {
  const ParamInfo table{"varArray", VT_VARIANT};
  const ParamInfo show{"ShowProgress", VT_BOOL};
  const ParamInfo options{"Options", VT_BSTR};
  return {
      {kDispidCSVDelimiter,
       "CSVDelimiter",
       MemberKind::kProperty,
       VT_BSTR,
       {},
       "delimiter between the fields of CSV and log lines (default \";\")"},
      {kDispidCSVTextInQuotes,
       "CSVTextInQuotes",
       MemberKind::kProperty,
       VT_BOOL,
       {},
       "whether CSV text fields are enclosed in double quotes (default true)"},
      {kDispidCSVColumnHeaders,
       "CSVColumnHeaders",
       MemberKind::kProperty,
       VT_BOOL,
       {},
       "whether CSV files start with a header line (default true)"},
      {kDispidMetaphone,
       "metaphone",
       MemberKind::kMethod,
       VT_BSTR,
       {{"S", VT_BSTR}, {"length", VT_I2}},
       "the Phonex code of a name, padded with 0 to length"},
      {kDispidDmetaphone,
       "dmetaphone",
       MemberKind::kMethod,
       VT_BSTR,
       {{"S", VT_BSTR}, {"length", VT_I2}},
       "the Double Metaphone primary key of a name, cut to length"},
      {kDispidSoundex,
       "soundex",
       MemberKind::kMethod,
       VT_BSTR,
       {{"S", VT_BSTR}, {"length", VT_I2}, {"firstchar", VT_BOOL}},
       "the Soundex code of a name; firstchar true codes the first letter too"},
      {kDispidCompareStrings,
       "CompareStrings",
       MemberKind::kMethod,
       VT_I4,
       {{"SearchString", VT_BSTR},
        {"MatchString", VT_BSTR},
        {"IgnoreCase", VT_BOOL}},
       "errors (0-8) with which a wildcard pattern occurs in a text; -1 for "
       "an invalid pattern"},
      {kDispidNormalize,
       "Normalize",
       MemberKind::kMethod,
       VT_BSTR,
       {{"S", VT_BSTR}, {"uppercase", VT_BOOL}},
       "the comparison key of a name, company or address"},
      {kDispidEditDistance,
       "EditDistance",
       MemberKind::kMethod,
       VT_I4,
       {{"S1", VT_BSTR}, {"S2", VT_BSTR}},
       "Levenshtein distance of two strings"},
      {kDispidListCompareInit,
       "ListCompareInit",
       MemberKind::kMethod,
       VT_EMPTY,
       {},
       "empties the field list"},
      {kDispidListSetCompare,
       "ListSetCompare",
       MemberKind::kMethod,
       VT_EMPTY,
       {{"FieldName", VT_BSTR}, {"Value", VT_BSTR}},
       "sets the second record's value of a field"},
      {kDispidListCalcDiff,
       "ListCalcDiff",
       MemberKind::kMethod,
       VT_R8,
       {},
       "weighted similarity in percent of the two records in the field list"},
      {kDispidNewGUID,
       "NewGUID",
       MemberKind::kMethod,
       VT_BSTR,
       {},
       "a new globally unique identifier as a 38-character text"},
      {kDispidDifference,
       "Difference",
       MemberKind::kMethod,
       VT_R8,
       {{"S1", VT_BSTR}, {"S2", VT_BSTR}},
       "gestalt (Ratcliff/Obershelp) similarity of two strings in percent"},
      {kDispidListAddField,
       "ListAddField",
       MemberKind::kMethod,
       VT_EMPTY,
       {{"FieldName", VT_BSTR},
        {"Value", VT_BSTR},
        {"Weight", VT_R8},
        {"CompareNull", VT_BOOL}},
       "adds a field with the first record's value to the field list"},
      {kDispidCancel,
       "Cancel",
       MemberKind::kMethod,
       VT_EMPTY,
       {},
       "asks the running batch method to stop"},
      {kDispidDupeSearch,
       "DupeSearch",
       MemberKind::kMethod,
       VT_VARIANT,
       {table,
        {"IDColumnIndex", VT_I4},
        {"Threshold", VT_R8},
        {"ClusterThreshold", VT_R8},
        options,
        {"ReturnResults", VT_I2, "DupeReturnResults"},
        show},
       "labels groups of similar records of a table"},
      {kDispidReset,
       "Reset",
       MemberKind::kMethod,
       VT_EMPTY,
       {},
       "restores the default column options and clears the error state"},
      {kDispidSetColumnOption,
       "SetColumnOption",
       MemberKind::kMethod,
       VT_EMPTY,
       {{"ColumnIndex", VT_I2},
        {"Cluster", VT_BOOL},
        {"DupeSearch", VT_BOOL},
        {"Weight", VT_R8},
        {"CompareNull", VT_BOOL},
        {"ColumnName", VT_BSTR}},
       "sets the options of one column (0-399)"},
      {kDispidFuzzyMerge,
       "FuzzyMerge",
       MemberKind::kMethod,
       VT_VARIANT,
       {table,
        {"varImport", VT_VARIANT},
        {"IDColumnIndex", VT_I4},
        {"Threshold", VT_R8},
        {"ClusterThreshold", VT_R8},
        options,
        {"ReturnResults", VT_I2, "MergeReturnResults"},
        show,
        {"LogFilenameImported", VT_BSTR},
        {"LogFilenameRejected", VT_BSTR}},
       "merges an import table into a master table, keeping out look-alikes"},
      {kDispidVariantArray2CSVFile,
       "VariantArray2CSVFile",
       MemberKind::kMethod,
       VT_BOOL,
       {table, {"Filename", VT_BSTR}},
       "writes a table to a delimited text file"},
      {kDispidDeleteDupes,
       "DeleteDupes",
       MemberKind::kMethod,
       VT_VARIANT,
       {table,
        {"FIDColumnIndex", VT_I4},
        {"MaxColumnIndex", VT_I4},
        {"DeleteOrder", VT_I2, "DeleteOrders"},
        {"ReturnResults", VT_I2, "DeleteReturnResults"},
        show,
        {"LogFilenameDeleted", VT_BSTR}},
       "keeps the first or last record of each labelled group"},
      {kDispidFuzzyMatch,
       "FuzzyMatch",
       MemberKind::kMethod,
       VT_VARIANT,
       {table,
        {"varMatch", VT_VARIANT},
        {"IDColumnIndex", VT_I4},
        {"Threshold", VT_R8},
        {"ClusterThreshold", VT_R8},
        options,
        {"ReturnResults", VT_I2, "MatchReturnResults"},
        show,
        {"LogFilenamePositive", VT_BSTR},
        {"LogFilenameNegative", VT_BSTR}},
       "marks the master records that records of a second table resemble"},
      {kDispidExactMatchByColumn,
       "ExactMatchByColumn",
       MemberKind::kMethod,
       VT_VARIANT,
       {table,
        {"varMatch", VT_VARIANT},
        {"MatchColumnIndex", VT_I4},
        {"ReturnResults", VT_I2, "MatchReturnResults"},
        show},
       "marks the master records whose key occurs in a second table"},
      {kDispidCanceledByUser,
       "CanceledByUser",
       MemberKind::kMethod,
       VT_BOOL,
       {},
       "whether the last batch method was cancelled"},
      {kDispidLastError,
       "LastError",
       MemberKind::kMethod,
       VT_I4,
       {},
       "0, or -1 after a batch method ran out of memory"},
      {kDispidLastErrorDescription,
       "LastErrorDescription",
       MemberKind::kMethod,
       VT_BSTR,
       {},
       "\"\" or \"Out of Memory\""},
      {kDispidAboutBox,
       "AboutBox",
       MemberKind::kMethod,
       VT_EMPTY,
       {},
       "shows the About text"},
  };
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

// Converted arguments of one call, read by parameter position.
class Args {
 public:
  explicit Args(std::vector<Variant> values) : values_(std::move(values)) {}
  int16_t Short(int i) const { return values_[i].AsInt16(); }
  int32_t Long(int i) const { return values_[i].AsInt32(); }
  double Double(int i) const { return values_[i].AsDouble(); }
  bool Bool(int i) const { return values_[i].AsBool(); }
  std::u16string_view String(int i) const { return values_[i].AsString(); }
  const Variant& Table(int i) const { return values_[i]; }

 private:
  std::vector<Variant> values_;
};

Variant Str(std::u16string_view s) { return Variant::String(s); }

Variant CallMethod(CVexlorCtrl& c, int32_t dispid, const Args& a) {
  switch (dispid) {
    case kDispidMetaphone:
      return Str(c.metaphone(a.String(0), a.Short(1)));
    case kDispidDmetaphone:
      return Str(c.dmetaphone(a.String(0), a.Short(1)));
    case kDispidSoundex:
      return Str(c.soundex(a.String(0), a.Short(1), a.Bool(2)));
    case kDispidCompareStrings:
      return Variant::I4(c.CompareStrings(a.String(0), a.String(1), a.Bool(2)));
    case kDispidNormalize:
      return Str(c.Normalize(a.String(0), a.Bool(1)));
    case kDispidEditDistance:
      return Variant::I4(c.EditDistance(a.String(0), a.String(1)));
    case kDispidListCompareInit:
      c.ListCompareInit();
      return Variant();
    case kDispidListSetCompare:
      c.ListSetCompare(a.String(0), a.String(1));
      return Variant();
    case kDispidListCalcDiff:
      return Variant::R8(c.ListCalcDiff());
    case kDispidNewGUID:
      return Str(c.NewGUID());
    case kDispidDifference:
      return Variant::R8(c.Difference(a.String(0), a.String(1)));
    case kDispidListAddField:
      c.ListAddField(a.String(0), a.String(1), a.Double(2), a.Bool(3));
      return Variant();
    case kDispidCancel:
      c.Cancel();
      return Variant();
    case kDispidDupeSearch:
      return c.DupeSearch(a.Table(0), a.Long(1), a.Double(2), a.Double(3),
                          a.String(4), a.Short(5), a.Bool(6));
    case kDispidReset:
      c.Reset();
      return Variant();
    case kDispidSetColumnOption:
      c.SetColumnOption(a.Short(0), a.Bool(1), a.Bool(2), a.Double(3),
                        a.Bool(4), a.String(5));
      return Variant();
    case kDispidFuzzyMerge:
      return c.FuzzyMerge(a.Table(0), a.Table(1), a.Long(2), a.Double(3),
                          a.Double(4), a.String(5), a.Short(6), a.Bool(7),
                          a.String(8), a.String(9));
    case kDispidVariantArray2CSVFile:
      return Variant::Bool(c.VariantArray2CSVFile(a.Table(0), a.String(1)));
    case kDispidDeleteDupes:
      return c.DeleteDupes(a.Table(0), a.Long(1), a.Long(2), a.Short(3),
                           a.Short(4), a.Bool(5), a.String(6));
    case kDispidFuzzyMatch:
      return c.FuzzyMatch(a.Table(0), a.Table(1), a.Long(2), a.Double(3),
                          a.Double(4), a.String(5), a.Short(6), a.Bool(7),
                          a.String(8), a.String(9));
    case kDispidExactMatchByColumn:
      return c.ExactMatchByColumn(a.Table(0), a.Table(1), a.Long(2), a.Short(3),
                                  a.Bool(4));
    case kDispidCanceledByUser:
      return Variant::Bool(c.CanceledByUser());
    case kDispidLastError:
      return Variant::I4(c.LastError());
    case kDispidLastErrorDescription:
      return Str(c.LastErrorDescription());
    case kDispidAboutBox:
      c.AboutBox();
      return Variant();
    default:
      return Variant();
  }
}

Variant GetProperty(CVexlorCtrl& c, int32_t dispid) {
  switch (dispid) {
    case kDispidCSVDelimiter:
      return Str(c.GetCSVDelimiter());
    case kDispidCSVTextInQuotes:
      return Variant::Bool(c.GetCSVTextInQuotes());
    default:
      return Variant::Bool(c.GetCSVColumnHeaders());
  }
}

void PutProperty(CVexlorCtrl& c, int32_t dispid, const Variant& value) {
  switch (dispid) {
    case kDispidCSVDelimiter:
      c.SetCSVDelimiter(value.AsString());
      break;
    case kDispidCSVTextInQuotes:
      c.SetCSVTextInQuotes(value.AsBool());
      break;
    default:
      c.SetCSVColumnHeaders(value.AsBool());
      break;
  }
}

int32_t Fail(InvokeError* error, int32_t code, int arg, std::string message) {
  if (error != nullptr) {
    error->code = code;
    error->arg_index = arg;
    error->message = std::move(message);
  }
  return code;
}

// Converts one argument; on failure fills `error` with a message naming the
// member, the parameter and the offending value's type.
int32_t Convert(const MemberInfo& member, const ParamInfo& param, int index,
                const Variant& in, Variant* out, InvokeError* error) {
  CoerceStatus status = platform::ChangeType(in, param.type, out);
  if (status == CoerceStatus::kOk) return kInvokeOk;
  std::string where = std::string(member.name) + ": argument " +
                      std::to_string(index + 1) + " (" + param.name + ", " +
                      ParamTypeName(param) + ")";
  if (status == CoerceStatus::kOverflow) {
    return Fail(error, kInvokeOverflow, index, where + " is out of range");
  }
  return Fail(
      error, kInvokeTypeMismatch, index,
      where + " cannot take a value of type " + platform::TypeName(in.vt()));
}

}  // namespace

const std::vector<MemberInfo>& Members() {
  static const std::vector<MemberInfo> members = BuildMembers();
  return members;
}

const MemberInfo* FindMember(int32_t dispid) {
  for (const MemberInfo& m : Members()) {
    if (m.dispid == dispid) return &m;
  }
  return nullptr;
}

const MemberInfo* FindMember(std::string_view name) {
  for (const MemberInfo& m : Members()) {
    if (SameNameIgnoringCase(m.name, name)) return &m;
  }
  return nullptr;
}

int32_t GetIDsOfNames(std::string_view name) {
  const MemberInfo* m = FindMember(name);
  return m != nullptr ? m->dispid : kDispidUnknown;
}

const char* ParamTypeName(const ParamInfo& param) {
  if (param.enumeration != nullptr) return param.enumeration;
  switch (param.type) {
    case VT_I2:
      return "short";
    case VT_I4:
      return "long";
    case VT_R8:
      return "double";
    case VT_BOOL:
      return "bool";
    case VT_BSTR:
      return "string";
    default:
      return "table";
  }
}

const char* ResultTypeName(const MemberInfo& member) {
  if (member.result == VT_EMPTY) return "-";
  ParamInfo as_param{"", member.result};
  return ParamTypeName(as_param);
}

int32_t Invoke(CVexlorCtrl& control, int32_t dispid, uint16_t flags,
               std::span<const Variant> args, Variant* result,
               InvokeError* error) {
  const MemberInfo* member = FindMember(dispid);
  if (member == nullptr) {
    return Fail(error, kInvokeMemberNotFound, -1,
                "no member with dispatch identifier " + std::to_string(dispid));
  }
  Variant ignored;
  if (result == nullptr) result = &ignored;
  if (member->kind == MemberKind::kProperty) {
    bool put = (flags & kDispatchPropertyPut) != 0 || args.size() == 1;
    if (args.size() > 1 || (put && args.empty())) {
      return Fail(error, kInvokeBadParamCount, -1,
                  std::string(member->name) +
                      ": a property takes no argument to read, one to write");
    }
    if (!put) {
      *result = GetProperty(control, dispid);
      return kInvokeOk;
    }
    ParamInfo value{"value", member->result};
    Variant converted;
    int32_t status = Convert(*member, value, 0, args[0], &converted, error);
    if (status != kInvokeOk) return status;
    PutProperty(control, dispid, converted);
    *result = Variant();
    return kInvokeOk;
  }
  if (args.size() != member->params.size()) {
    return Fail(error, kInvokeBadParamCount, -1,
                std::string(member->name) + " takes " +
                    std::to_string(member->params.size()) + " argument" +
                    (member->params.size() == 1 ? "" : "s") + ", not " +
                    std::to_string(args.size()));
  }
  std::vector<Variant> converted(args.size());
  for (size_t i = 0; i < args.size(); ++i) {
    int32_t status = Convert(*member, member->params[i], static_cast<int>(i),
                             args[i], &converted[i], error);
    if (status != kInvokeOk) return status;
  }
  *result = CallMethod(control, dispid, Args(std::move(converted)));
  return kInvokeOk;
}

}  // namespace vexlor

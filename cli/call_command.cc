// `vexlor call MEMBER ARGS...` and `vexlor members`.
#include <iomanip>
#include <ostream>
#include <sstream>

#include "cli/command.h"
#include "vexlor/control/module.h"
#include "vexlor/member_table.h"
#include "vexlor/platform/coerce.h"
#include "vexlor/text.h"

namespace vexlor::cli {

namespace {

using platform::Variant;

std::string ResultText(const Variant& v) {
  switch (v.vt()) {
    case platform::VT_EMPTY:
      return "";
    case platform::VT_BSTR:
      return platform::Utf16ToUtf8(v.AsString());
    case platform::VT_BOOL:
      return v.AsBool() ? "True" : "False";
    case platform::VT_I4:
      return std::to_string(v.AsInt32());
    case platform::VT_R8:
      return platform::ShortestNumberText(v.AsDouble());
    default:
      return v.IsArray() ? "(table)" : "";
  }
}

std::string Signature(const MemberInfo& m) {
  std::string s = "(";
  for (size_t i = 0; i < m.params.size(); ++i) {
    if (i > 0) s += ", ";
    s += ParamTypeName(m.params[i]);
    s += " ";
    s += m.params[i].name;
  }
  return s + ")";
}

}  // namespace

int RunCall(const std::vector<std::string>& args, Io io) {
  if (args.empty()) {
    return Complain(io, kExitUsage,
                    "call needs a member name (see vexlor members)");
  }
  int32_t dispid = GetIDsOfNames(args[0]);
  if (dispid == kDispidUnknown) {
    return Complain(io, kExitUsage, "call: no member named '" + args[0] + "'");
  }
  std::vector<Variant> values;
  for (size_t i = 1; i < args.size(); ++i) {
    values.push_back(Variant::Utf8String(args[i]));
  }
  CVexlorCtrl control;
  Variant result;
  InvokeError error;
  if (Invoke(control, dispid, kDispatchMethod | kDispatchPropertyGet, values,
             &result, &error) != kInvokeOk) {
    return Complain(io, kExitUsage, "call " + error.message);
  }
  if (!result.IsEmpty()) io.out << ResultText(result) << "\n";
  return kExitOk;
}

int RunMembers(const std::vector<std::string>& args, Io io) {
  if (args.size() == 1 && args[0] == "--idl") {
    io.out << TypeLibraryIdl();
    return kExitOk;
  }
  if (!args.empty()) {
    return Complain(io, kExitUsage, "members takes no arguments but --idl");
  }
  io.out << "DISPID  member                 parameters -> result\n";
  for (const MemberInfo& m : Members()) {
    std::ostringstream line;
    line << std::setw(6) << m.dispid << "  " << std::left << std::setw(22)
         << m.name << " ";
    if (m.kind == MemberKind::kProperty) {
      line << "property -> " << ResultTypeName(m);
    } else {
      line << Signature(m) << " -> " << ResultTypeName(m);
    }
    io.out << line.str() << "\n";
  }
  return kExitOk;
}

}  // namespace vexlor::cli

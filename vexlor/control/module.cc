#include "vexlor/control/module.h"

#include <sstream>

#include "vexlor/member_table.h"
#include "vexlor/return_results.h"

namespace vexlor {

namespace {

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string ClassKey(const char* clsid) {
  return std::string("CLSID\\") + clsid;
}

bool RegisterControlClass(RegistryStore& s, const std::string& path) {
  const std::string key = ClassKey(kControlClsid);
  const std::string version =
      std::to_string(kTypeLibMajor) + "." + std::to_string(kTypeLibMinor);
  return s.SetValue(key, "", kControlTypeName) &&
         s.SetValue(key + "\\ProgID", "", kControlProgId) &&
         s.SetValue(key + "\\InprocServer32", "", path) &&
         s.SetValue(key + "\\InprocServer32", "ThreadingModel", "Apartment") &&
         s.CreateKey(key + "\\Control") &&
         s.SetValue(key + "\\ToolboxBitmap32", "", path + ", 1") &&
         s.SetValue(key + "\\MiscStatus", "", std::to_string(kMiscStatus)) &&
         s.SetValue(key + "\\TypeLib", "", kTypeLibId) &&
         s.SetValue(key + "\\Version", "", version) &&
         s.SetValue(kControlProgId, "", kControlTypeName) &&
         s.SetValue(std::string(kControlProgId) + "\\CLSID", "", kControlClsid);
}

bool RegisterPageClass(RegistryStore& s, const std::string& path) {
  const std::string key = ClassKey(kPropPageClsid);
  return s.SetValue(key, "", kPropPageTypeName) &&
         s.SetValue(key + "\\InprocServer32", "", path);
}

const char* IdlType(platform::VarType type) {
  switch (type) {
    case platform::VT_I2:
      return "short";
    case platform::VT_I4:
      return "long";
    case platform::VT_R8:
      return "double";
    case platform::VT_BOOL:
      return "VARIANT_BOOL";
    case platform::VT_BSTR:
      return "BSTR";
    case platform::VT_VARIANT:
      return "VARIANT";
    default:
      return "void";
  }
}

void AppendEnum(std::ostringstream& out, const Enumeration& e) {
  out << "  typedef enum {\n";
  for (const EnumConstant& c : e.constants) {
    out << "    " << c.name << " = " << c.value << ",\n";
  }
  out << "  } " << e.name << ";\n\n";
}

}  // namespace

std::unique_ptr<CVexlorCtrl> CreateControl(std::string_view name) {
  if (SameIgnoringCase(name, kControlProgId) ||
      SameIgnoringCase(name, kControlClsid)) {
    return std::make_unique<CVexlorCtrl>();
  }
  return nullptr;
}

std::unique_ptr<CVexlorPropPage> CreatePropPage(std::string_view name) {
  if (SameIgnoringCase(name, kPropPageProgId) ||
      SameIgnoringCase(name, kPropPageClsid)) {
    return std::make_unique<CVexlorPropPage>();
  }
  return nullptr;
}

int32_t DllRegisterServer(RegistryStore& store, const std::string& path) {
  if (!store.RegisterTypeLib(kTypeLibId, kTypeLibMajor, kTypeLibMinor, path)) {
    return kSelfRegTypeLibError;
  }
  if (!RegisterControlClass(store, path) || !RegisterPageClass(store, path)) {
    return kSelfRegClassError;
  }
  return kSelfRegOk;
}

int32_t DllUnregisterServer(RegistryStore& store) {
  if (!store.UnregisterTypeLib(kTypeLibId, kTypeLibMajor, kTypeLibMinor)) {
    return kSelfRegTypeLibError;
  }
  bool ok = store.DeleteTree(ClassKey(kControlClsid));
  ok = store.DeleteTree(kControlProgId) && ok;
  ok = store.DeleteTree(ClassKey(kPropPageClsid)) && ok;
  return ok ? kSelfRegOk : kSelfRegClassError;
}

Extent OnSetExtent(Extent) { return Extent{890, 890}; }

std::string TypeLibraryIdl() {
  auto bare = [](const char* guid) {
    std::string s(guid);
    return s.substr(1, s.size() - 2);
  };
  std::ostringstream out;
  // A complete file for an IDL compiler: the automation types come from
  // the system's IDL, and the About box's identifier from the control
  // headers, which no IDL file declares.
  out << "import \"oaidl.idl\";\nimport \"ocidl.idl\";\n\n"
      << "#ifndef DISPID_ABOUTBOX\n#define DISPID_ABOUTBOX (-552)\n#endif\n\n";
  out << "[ uuid(" << bare(kTypeLibId) << "), version(1.0),\n"
      << "  helpstring(\"Vexlor Control\") ]\n"
      << "library VEXLORLib\n{\n"
      << "  importlib(\"stdole32.tlb\");\n\n";
  for (const Enumeration& e : kEnumerations) AppendEnum(out, e);
  out << "  [ uuid(" << bare(kDispatchIid) << ") ]\n"
      << "  dispinterface _DVexlor\n  {\n    properties:\n";
  for (const MemberInfo& m : Members()) {
    if (m.kind != MemberKind::kProperty) continue;
    out << "      [id(" << m.dispid << ")] " << IdlType(m.result) << " "
        << m.name << ";\n";
  }
  out << "    methods:\n";
  for (const MemberInfo& m : Members()) {
    if (m.kind != MemberKind::kMethod) continue;
    out << "      [id("
        << (m.dispid == -552 ? "DISPID_ABOUTBOX" : std::to_string(m.dispid))
        << ")] " << IdlType(m.result) << " " << m.name << "(";
    for (size_t i = 0; i < m.params.size(); ++i) {
      const ParamInfo& p = m.params[i];
      out << (i ? ", " : "")
          << (p.enumeration ? p.enumeration : IdlType(p.type)) << " " << p.name;
    }
    out << ");\n";
  }
  out << "  };\n\n"
      << "  [ uuid(" << bare(kEventsIid) << ") ]\n"
      << "  dispinterface _DVexlorEvents\n  {\n    properties:\n    methods:\n"
      << "      [id(1)] void Progress(short Action, double PercentDone, "
         "long ElapsedSeconds, BSTR ElapsedString, long ETASeconds, "
         "BSTR ETAString);\n"
      << "      [id(2)] void ProgressDupeSearch(double PercentDone, long "
         "RecordNo, double RecordCount, long DepthCurrent, long DepthMax, "
         "double DepthAvg, long DupesFound, long DupesFound2, long "
         "ElapsedSeconds, BSTR ElapsedString, long ETASeconds, BSTR "
         "ETAString);\n"
      << "  };\n\n"
      << "  [ uuid(" << bare(kControlClsid) << "),\n"
      << "    helpstring(\"Vexlor Control\"), control ]\n"
      << "  coclass Vexlor\n  {\n"
      << "    [default] dispinterface _DVexlor;\n"
      << "    [default, source] dispinterface _DVexlorEvents;\n"
      << "  };\n};\n";
  return out.str();
}

}  // namespace vexlor

// The _vexlor extension: a thin shim between Python values and the control.
//
// One file per job: value conversion (conversion.h), events and interrupts
// (events.h), the control wrapper (control.h), the direct calls of the
// single-string members (direct_calls.h), the pair finders of
// vexlor.distributed (pair_finders.h) and their split-index form
// (split_index.h), and the persisted index (persisted_index.h). Each defines its part of the module here; a new part
// is a new file with its Define function and one line below. The Pythonic
// surface lives in vexlor/__init__.py.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <string>
#include <vector>

#include "python/module/control.h"
#include "python/module/conversion.h"
#include "python/module/direct_calls.h"
#include "python/module/pair_finders.h"
#include "python/module/persisted_index.h"
#include "python/module/split_index.h"
#include "vexlor/match_options.h"
#include "vexlor/member_table.h"
#include "vexlor/return_results.h"
#include "vexlor/text.h"

namespace vexlor::python {
namespace {

py::list MemberList() {
  py::list out;
  for (const MemberInfo& m : Members()) {
    py::list params;
    for (const ParamInfo& p : m.params) {
      params.append(py::make_tuple(p.name, ParamTypeName(p)));
    }
    out.append(
        py::make_tuple(m.dispid, m.name,
                       m.kind == MemberKind::kProperty ? "property" : "method",
                       params, ResultTypeName(m), m.summary));
  }
  return out;
}

py::list EnumerationList() {
  py::list out;
  for (const Enumeration& e : kEnumerations) {
    py::list constants;
    for (const EnumConstant& c : e.constants) {
      constants.append(py::make_tuple(c.name, c.value));
    }
    out.append(py::make_tuple(e.name, constants));
  }
  return out;
}

// What an Options text holds that the batch method `method` does not read:
// the control ignores it, the Python layer refuses it.
std::vector<std::string> OptionsProblems(const std::string& text,
                                         const std::string& method) {
  const OptionsReader reader =
      method == "DupeSearch"   ? OptionsReader::kDupeSearch
      : method == "FuzzyMatch" ? OptionsReader::kFuzzyMatch
                               : OptionsReader::kFuzzyMerge;
  std::vector<std::string> skipped;
  ParseMatchOptions(platform::Utf8ToUtf16(text), reader, &skipped);
  return skipped;
}

}  // namespace

PYBIND11_MODULE(_vexlor, m) {
  m.doc() = "Vexlor: fuzzy matching of names, addresses and records";
  m.def("members", &MemberList);
  m.def("_enumerations", &EnumerationList);
  m.def("dispid_of",
        [](const std::string& name) { return GetIDsOfNames(name); });
  m.def("_options_problems", &OptionsProblems);
  DefineConversion(m);
  DefineControl(m);
  DefineDirectCalls(m);
  DefinePersistedIndex(m);
  DefinePairFinders(m);
  DefineSplitIndex(m);
}

}  // namespace vexlor::python

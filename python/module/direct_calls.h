// Direct calls of the single-string members (EditDistance, Normalize,
// Soundex, ...): with plain str, int and bool arguments they go straight to
// the string functions, skipping the dispatch; anything else falls back to
// the dispatch method, so results and errors stay the dispatch's.
#ifndef VEXLOR_PYTHON_MODULE_DIRECT_CALLS_H_
#define VEXLOR_PYTHON_MODULE_DIRECT_CALLS_H_

#include <pybind11/pybind11.h>

namespace vexlor::python {

namespace py = pybind11;

// _direct_method(cls, dispid, method), which the package calls for each
// member method of vexlor.Control. After DefineControl: a direct call
// checks that the instance's `_c` is a _Control.
void DefineDirectCalls(py::module_& m);

}  // namespace vexlor::python

#endif  // VEXLOR_PYTHON_MODULE_DIRECT_CALLS_H_

// The pair finders of vexlor.distributed's workers (pair_ranges.h), each
// over its own copy of a table and of a control's column options.
#ifndef VEXLOR_PYTHON_MODULE_PAIR_FINDERS_H_
#define VEXLOR_PYTHON_MODULE_PAIR_FINDERS_H_

#include <pybind11/pybind11.h>

namespace vexlor::python {

namespace py = pybind11;

// vexlor._vexlor._DupePairFinder and _MatchPairFinder; find() gives the
// found words as bytes.
void DefinePairFinders(py::module_& m);

}  // namespace vexlor::python

#endif  // VEXLOR_PYTHON_MODULE_PAIR_FINDERS_H_

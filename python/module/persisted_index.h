// The persisted index (record_index.h) for vexlor.Index, which lines
// frames up with its columns: rows in, answers as tuples out.
#ifndef VEXLOR_PYTHON_MODULE_PERSISTED_INDEX_H_
#define VEXLOR_PYTHON_MODULE_PERSISTED_INDEX_H_

#include <pybind11/pybind11.h>

namespace vexlor::python {

namespace py = pybind11;

// vexlor._vexlor._Index.
void DefinePersistedIndex(py::module_& m);

}  // namespace vexlor::python

#endif  // VEXLOR_PYTHON_MODULE_PERSISTED_INDEX_H_

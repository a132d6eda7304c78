// vexlor.distributed's finders over one block of a table under the bounded
// candidate rule (block_pair_finder.h), and the merge of their words
// (block_words.h): each worker holds its block of rows only.
#ifndef VEXLOR_PYTHON_MODULE_SPLIT_INDEX_H_
#define VEXLOR_PYTHON_MODULE_SPLIT_INDEX_H_

#include <pybind11/pybind11.h>

namespace vexlor::python {

namespace py = pybind11;

// vexlor._vexlor._BlockPairFinder, _block_cuts, _merge_block_words and
// _keys_over_bucket; words travel as bytes.
void DefineSplitIndex(py::module_& m);

}  // namespace vexlor::python

#endif  // VEXLOR_PYTHON_MODULE_SPLIT_INDEX_H_

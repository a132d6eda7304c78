// Python values as variants and back: the cell and table rules of the
// Python contract, shared by every part of the module that takes or gives
// cells. The package's own classes (Empty, Null, Variant, Table, ByRef,
// NO_ARRAY, DispatchError) are handed over once at import, by _register.
#ifndef VEXLOR_PYTHON_MODULE_CONVERSION_H_
#define VEXLOR_PYTHON_MODULE_CONVERSION_H_

#include <pybind11/pybind11.h>

#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "vexlor/variant.h"

namespace vexlor::python {

namespace py = pybind11;

// Python classes of the package, handed over at import.
struct PackageTypes {
  py::object empty, null, variant, table, by_ref, no_array, dispatch_error;
  py::object datetime, date, decimal, timedelta;
};

// Never freed: the interpreter may outlive a static's destructor.
PackageTypes& Types();

// The UTF-16 code units of a str (surrogate pairs beyond the BMP). Throws
// py::error_already_set when the text cannot be read.
std::u16string ToUtf16(py::handle text);
// A str of UTF-16 text; lone surrogates pass through.
py::str FromUtf16(std::u16string_view text);

// numpy's scalar types, told apart by module name so that numpy is never
// imported here.
bool IsNumpyScalar(py::handle value);

// One cell by the contract's rules (None is Null, int I4 or an exact R8,
// ...). TypeError for a value with no cell form, OverflowError for an
// integer beyond 2**53.
platform::Variant CellFromPython(py::handle value);

// A table of rows of cells with the given lower bounds and at least
// `min_columns` columns; cells missing from short rows are Null. Ctrl-C
// raises from here between rows.
platform::Variant TableFromRows(py::handle rows, int32_t column_lower,
                                int32_t row_lower, int64_t min_columns);

// Arguments that are references need a referent that lives for the call.
using Arena = std::deque<platform::Variant>;

// Any argument of a member: ByRef, NO_ARRAY, Table, rows, a flat list (a
// one-dimensional array, not a table) or a cell. Sets *exact when a Table
// came in, so that results come back as exact as they went.
platform::Variant ArgumentFromPython(py::handle value, Arena* arena,
                                     bool* exact);

// A cell as Python sees it; `exact` keeps the variant types that Python's
// own types would lose (Empty apart from Null, a short apart from an int).
py::object CellToPython(const platform::Variant& v, bool exact);
// A result: Empty as None, else as a cell.
py::object ResultToPython(const platform::Variant& v, bool exact);
py::object TableToPython(const platform::Variant& v, bool exact);

// Words of 32 or 64 bits as bytes in this machine's order, as the workers
// of vexlor.distributed and the labelling process exchange them.
template <class Word>
py::bytes WordsToBytes(const std::vector<Word>& words) {
  return py::bytes(reinterpret_cast<const char*>(words.data()),
                   words.size() * sizeof(Word));
}

// The words of `bytes`; a ValueError when they do not divide.
template <class Word>
std::vector<Word> BytesToWords(const py::bytes& bytes) {
  char* data = nullptr;
  Py_ssize_t size = 0;
  if (PyBytes_AsStringAndSize(bytes.ptr(), &data, &size) != 0) {
    throw py::error_already_set();
  }
  if (size % sizeof(Word) != 0) {
    throw py::value_error("the words are cut short");
  }
  std::vector<Word> words(static_cast<size_t>(size) / sizeof(Word));
  if (!words.empty()) std::memcpy(words.data(), data, size);
  return words;
}

// _register, which the package calls at import with its classes.
void DefineConversion(py::module_& m);

}  // namespace vexlor::python

#endif  // VEXLOR_PYTHON_MODULE_CONVERSION_H_

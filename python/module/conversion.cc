// The cell and table rules of the Python contract (conversion.h).
#include "python/module/conversion.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "vexlor/variant.h"
#include "vexlor/variant_array.h"

namespace vexlor::python {

using platform::Variant;
using platform::VariantArray;
using platform::VarType;

PackageTypes& Types() {
  static PackageTypes* types = new PackageTypes();
  return *types;
}

namespace {

constexpr int64_t kMaxExactDouble = int64_t{1} << 53;

[[noreturn]] void RaiseOverflow(const std::string& message) {
  PyErr_SetString(PyExc_OverflowError, message.c_str());
  throw py::error_already_set();
}

}  // namespace

std::u16string ToUtf16(py::handle text) {
  // One- and two-byte strings are their UTF-16 code units already; only
  // strings beyond the BMP need the codec (for their surrogate pairs).
  PyObject* object = text.ptr();
  if (PyUnicode_READY(object) < 0) throw py::error_already_set();
  const size_t size = static_cast<size_t>(PyUnicode_GET_LENGTH(object));
  if (PyUnicode_KIND(object) == PyUnicode_1BYTE_KIND) {
    const Py_UCS1* bytes = PyUnicode_1BYTE_DATA(object);
    return std::u16string(bytes, bytes + size);
  }
  if (PyUnicode_KIND(object) == PyUnicode_2BYTE_KIND) {
    const Py_UCS2* units = PyUnicode_2BYTE_DATA(object);
    return std::u16string(units, units + size);
  }
  py::bytes encoded = py::reinterpret_steal<py::bytes>(
      PyUnicode_AsEncodedString(text.ptr(), "utf-16-le", "surrogatepass"));
  if (!encoded) throw py::error_already_set();
  std::string bytes = encoded;
  std::u16string out(bytes.size() / 2, u'\0');
  std::memcpy(out.data(), bytes.data(), out.size() * 2);
  return out;
}

py::str FromUtf16(std::u16string_view text) {
  PyObject* s = PyUnicode_DecodeUTF16(
      reinterpret_cast<const char*>(text.data()),
      static_cast<Py_ssize_t>(text.size() * 2), "surrogatepass", nullptr);
  if (s == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(s);
}

namespace {

// Days since 1899-12-30 of a datetime or date.
double DateToDays(py::handle value) {
  py::object epoch = Types().datetime(1899, 12, 30);
  py::object moment = py::reinterpret_borrow<py::object>(value);
  if (!py::isinstance(value, Types().datetime)) {
    moment = Types().datetime(value.attr("year"), value.attr("month"),
                              value.attr("day"));
  } else if (!value.attr("tzinfo").is_none()) {
    moment = value.attr("replace")(py::arg("tzinfo") = py::none());
  }
  py::object span = moment - epoch;
  double seconds = span.attr("total_seconds")().cast<double>();
  return seconds / 86400.0;
}

py::object DaysToDate(double days) {
  py::object epoch = Types().datetime(1899, 12, 30);
  // Negative dates count whole days back and the fraction forward.
  double whole = std::trunc(days);
  double fraction = std::fabs(days - whole);
  int64_t micros = std::llround(fraction * 86400e6);
  return epoch + Types().timedelta(py::arg("days") = whole,
                                   py::arg("microseconds") = micros);
}

int64_t ToInt64(py::handle value) {
  int overflow = 0;
  long long v = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
  if (overflow != 0) RaiseOverflow("integer out of range for a 64-bit cell");
  if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
  return v;
}

Variant VariantFromTyped(int vt, py::handle value);

bool TypeNameStartsWith(py::handle value, std::string_view prefix) {
  return std::string_view(Py_TYPE(value.ptr())->tp_name).starts_with(prefix);
}

// pandas' NA and NaT, told apart by type name so that pandas is never
// imported here.
bool IsMissingMarker(py::handle value) {
  const std::string_view name = Py_TYPE(value.ptr())->tp_name;
  if (!name.ends_with("NAType") && !name.ends_with("NaTType")) return false;
  py::object module = py::type::handle_of(value).attr("__module__");
  return py::isinstance<py::str>(module) &&
         module.cast<std::string>().starts_with("pandas.");
}

}  // namespace

bool IsNumpyScalar(py::handle value) {
  return TypeNameStartsWith(value, "numpy.");
}

namespace {

// Currency where the value fits its 64-bit ten-thousandths, a Double
// beyond, Null for a NaN.
Variant CellFromDecimal(py::handle value) {
  if (value.attr("is_nan")().cast<bool>()) return Variant::Null();
  if (value.attr("is_finite")().cast<bool>()) {
    py::object scaled = (value * py::int_(10000)).attr("__round__")();
    int overflow = 0;
    long long v = PyLong_AsLongLongAndOverflow(scaled.ptr(), &overflow);
    if (overflow == 0 && !(v == -1 && PyErr_Occurred())) {
      return Variant::Currency(v);
    }
    PyErr_Clear();
  }
  py::object real = py::reinterpret_borrow<py::object>(value);
  return Variant::R8(py::float_(real).cast<double>());
}

// numpy's scalars as the Python values they stand for: booleans, integers
// (through __index__), reals, and datetime64 (NaT is Null).
Variant CellFromNumpy(py::handle value) {
  const std::string_view name = Py_TYPE(value.ptr())->tp_name;
  if (name == "numpy.bool_" || name == "numpy.bool") {
    return Variant::Bool(PyObject_IsTrue(value.ptr()) == 1);
  }
  if (name == "numpy.datetime64") {
    // NaT becomes None; a moment beyond datetime's years an int.
    py::object moment = value.attr("astype")("datetime64[us]").attr("item")();
    if (moment.is_none()) return Variant::Null();
    if (py::isinstance(moment, Types().date)) return CellFromPython(moment);
  } else if (PyIndex_Check(value.ptr())) {
    py::object whole =
        py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
    if (!whole) throw py::error_already_set();
    return CellFromPython(whole);
  } else if (PyNumber_Check(value.ptr()) && !PyComplex_Check(value.ptr())) {
    py::object real =
        py::reinterpret_steal<py::object>(PyNumber_Float(value.ptr()));
    if (real) return CellFromPython(real);
    PyErr_Clear();
  }
  throw py::type_error(
      std::string("a table cell cannot hold a value of type ") + name.data());
}

}  // namespace

Variant CellFromPython(py::handle value) {
  // Text first: most cells of a large table are.
  if (PyUnicode_CheckExact(value.ptr())) return Variant::String(ToUtf16(value));
  const PackageTypes& t = Types();
  if (value.is_none() || value.is(t.null)) return Variant::Null();
  if (value.is(t.empty)) return Variant();
  if (py::isinstance(value, t.variant)) {
    return VariantFromTyped(value.attr("vt").cast<int>(), value.attr("value"));
  }
  if (PyBool_Check(value.ptr())) return Variant::Bool(value.ptr() == Py_True);
  if (PyLong_Check(value.ptr())) {
    int overflow = 0;
    long long v = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
    if (overflow == 0 && v >= INT32_MIN && v <= INT32_MAX) {
      return Variant::I4(static_cast<int32_t>(v));
    }
    if (overflow == 0 && v > -kMaxExactDouble && v < kMaxExactDouble) {
      return Variant::R8(static_cast<double>(v));
    }
    RaiseOverflow("an integer cell beyond 2**53 cannot be held exactly");
  }
  if (PyFloat_Check(value.ptr())) {
    // NaN is how the data stack spells a missing number.
    const double d = PyFloat_AsDouble(value.ptr());
    return std::isnan(d) ? Variant::Null() : Variant::R8(d);
  }
  if (PyUnicode_Check(value.ptr())) return Variant::String(ToUtf16(value));
  // pandas' NaT is a datetime, so the missing markers go first.
  if (IsMissingMarker(value)) return Variant::Null();
  if (py::isinstance(value, t.datetime) || py::isinstance(value, t.date)) {
    return Variant::Date(DateToDays(value));
  }
  if (py::isinstance(value, t.decimal)) return CellFromDecimal(value);
  if (IsNumpyScalar(value)) return CellFromNumpy(value);
  throw py::type_error(
      std::string("a table cell cannot hold a value of type ") +
      py::str(py::type::of(value).attr("__name__")).cast<std::string>());
}

namespace {

Variant VariantFromTyped(int vt, py::handle value) {
  switch (vt) {
    case platform::VT_EMPTY:
      return Variant();
    case platform::VT_NULL:
      return Variant::Null();
    case platform::VT_I1:
      return Variant::I1(static_cast<int8_t>(ToInt64(value)));
    case platform::VT_I2:
      return Variant::I2(static_cast<int16_t>(ToInt64(value)));
    case platform::VT_I4:
      return Variant::I4(static_cast<int32_t>(ToInt64(value)));
    case platform::VT_INT:
      return Variant::Int(static_cast<int32_t>(ToInt64(value)));
    case platform::VT_I8:
      return Variant::I8(ToInt64(value));
    case platform::VT_UI1:
      return Variant::UI1(static_cast<uint8_t>(ToInt64(value)));
    case platform::VT_UI2:
      return Variant::UI2(static_cast<uint16_t>(ToInt64(value)));
    case platform::VT_UI4:
      return Variant::UI4(static_cast<uint32_t>(ToInt64(value)));
    case platform::VT_UINT:
      return Variant::UInt(static_cast<uint32_t>(ToInt64(value)));
    case platform::VT_UI8:
      return Variant::UI8(static_cast<uint64_t>(ToInt64(value)));
    case platform::VT_R4:
      return Variant::R4(value.cast<float>());
    case platform::VT_R8:
      return Variant::R8(value.cast<double>());
    case platform::VT_BOOL:
      return Variant::Bool(value.cast<bool>());
    case platform::VT_BSTR:
      return Variant::String(ToUtf16(value));
    case platform::VT_ERROR:
      return Variant::Error(static_cast<int32_t>(ToInt64(value)));
    case platform::VT_CY:
      return Variant::Currency(ToInt64(value));
    case platform::VT_DATE:
      if (PyFloat_Check(value.ptr()) || PyLong_Check(value.ptr())) {
        return Variant::Date(value.cast<double>());
      }
      return Variant::Date(DateToDays(value));
    case platform::VT_DISPATCH:
    case platform::VT_UNKNOWN:
    case platform::VT_DECIMAL:
      return Variant::Opaque(static_cast<VarType>(vt));
    default:
      throw py::value_error("unsupported variant type " + std::to_string(vt));
  }
}

// Converting a large table takes a while: Ctrl-C raises from there too,
// before or after the call, when there is nothing to clean up.
// Other Python threads get a turn at the same points.
void CheckSignalsEvery(uint32_t row) {
  constexpr uint32_t kRowsBetweenChecks = 2048;
  if (row % kRowsBetweenChecks != kRowsBetweenChecks - 1) return;
  if (PyErr_CheckSignals() != 0) throw py::error_already_set();
  py::gil_scoped_release others_run;
}

bool IsRow(py::handle value) {
  return value && (PyList_Check(value.ptr()) || PyTuple_Check(value.ptr()));
}

// The items of a sequence, as iterating over it gives them: a list or
// tuple itself, anything else (a list subclass too) one pass of its
// iterator into a new list, so that no __len__ is ever trusted. Converting
// a cell can run Python code that changes a list, so the size is read
// again at every access and each item is held while it is used.
class Items {
 public:
  explicit Items(py::handle sequence)
      : fast_(py::reinterpret_steal<py::object>(
            PySequence_Fast(sequence.ptr(), "a table must be a sequence"))) {
    if (!fast_) throw py::error_already_set();
  }
  size_t size() const {
    return static_cast<size_t>(PySequence_Fast_GET_SIZE(fast_.ptr()));
  }
  // Item `i`, or a null object when the sequence no longer reaches it.
  py::object at(size_t i) const {
    if (i >= size()) return py::object();
    return py::reinterpret_borrow<py::object>(
        PySequence_Fast_GET_ITEM(fast_.ptr(), static_cast<Py_ssize_t>(i)));
  }

 private:
  py::object fast_;
};

uint32_t ArrayExtent(size_t count, const char* what) {
  if (count > UINT32_MAX) RaiseOverflow(std::string("too many ") + what);
  return static_cast<uint32_t>(count);
}

}  // namespace

// Builds a table from rows of cells; cells missing from short rows are Null.
Variant TableFromRows(py::handle rows_object, int32_t column_lower,
                      int32_t row_lower, int64_t min_columns) {
  const Items rows(rows_object);
  size_t columns = static_cast<size_t>(std::max<int64_t>(min_columns, 0));
  for (size_t r = 0; r < rows.size(); ++r) {
    py::object row = rows.at(r);
    if (!IsRow(row)) {
      throw py::type_error("every row of a table must be a list or tuple");
    }
    columns = std::max(columns, Items(row).size());
  }
  Variant table = VariantArray::NewTable(ArrayExtent(columns, "columns"),
                                         ArrayExtent(rows.size(), "rows"),
                                         column_lower, row_lower);
  VariantArray* array = table.AsArray();
  for (uint32_t r = 0; r < array->rows(); ++r) {
    CheckSignalsEvery(r);
    py::object row = rows.at(r);
    if (row && !IsRow(row)) {
      throw py::type_error("every row of a table must be a list or tuple");
    }
    const Items cells(row ? row : py::tuple());
    for (uint32_t c = 0; c < array->columns(); ++c) {
      py::object cell = cells.at(c);
      array->cell(c, r) = cell ? CellFromPython(cell) : Variant::Null();
    }
  }
  return table;
}

Variant ArgumentFromPython(py::handle value, Arena* arena, bool* exact) {
  const PackageTypes& t = Types();
  if (py::isinstance(value, t.by_ref)) {
    arena->push_back(ArgumentFromPython(value.attr("value"), arena, exact));
    return Variant::ByRef(&arena->back());
  }
  if (value.is(t.no_array)) return Variant::Array(nullptr);
  if (py::isinstance(value, t.table)) {
    *exact = true;
    py::tuple lower = value.attr("lower_bounds");
    return TableFromRows(value.attr("rows"), lower[0].cast<int32_t>(),
                         lower[1].cast<int32_t>(),
                         value.attr("columns").cast<int64_t>());
  }
  if (IsRow(value)) {
    const Items items(value);
    bool all_rows = true;
    for (size_t i = 0; i < items.size(); ++i) {
      all_rows = all_rows && IsRow(items.at(i));
    }
    if (all_rows) return TableFromRows(value, 0, 0, 0);
    // A flat list travels as a one-dimensional array: not a table.
    Variant array = Variant::Array(
        VariantArray::Create({{0, ArrayExtent(items.size(), "items")}}));
    VariantArray* cells = array.AsArray();
    for (size_t i = 0; i < cells->size(); ++i) {
      py::object item = items.at(i);
      cells->data()[i] = item ? CellFromPython(item) : Variant::Null();
    }
    return array;
  }
  return CellFromPython(value);
}

namespace {

py::object TypedToPython(const Variant& v, py::object value) {
  return Types().variant(static_cast<int>(v.vt()), value);
}

}  // namespace

py::object CellToPython(const Variant& v, bool exact) {
  const PackageTypes& t = Types();
  switch (v.vt()) {
    case platform::VT_EMPTY:
      return exact ? t.empty : py::none();
    case platform::VT_NULL:
      return exact ? t.null : py::none();
    case platform::VT_I4:
      return py::int_(v.AsInt32());
    case platform::VT_R8:
      return py::float_(v.AsDouble());
    case platform::VT_BSTR:
      return FromUtf16(v.AsString());
    case platform::VT_BOOL:
      return py::bool_(v.AsBool());
    case platform::VT_DATE:
      return DaysToDate(v.AsDate());
    case platform::VT_CY:
      return t.decimal(py::int_(v.AsCurrency())) / t.decimal(10000);
    case platform::VT_I2:
      return exact ? TypedToPython(v, py::int_(v.AsInt16()))
                   : py::int_(v.AsInt16());
    case platform::VT_I1:
    case platform::VT_I8:
      return exact ? TypedToPython(v, py::int_(v.AsInt64()))
                   : py::int_(v.AsInt64());
    case platform::VT_INT:
      return exact ? TypedToPython(v, py::int_(v.AsInt32()))
                   : py::int_(v.AsInt32());
    case platform::VT_UI1:
    case platform::VT_UI2:
    case platform::VT_UI4:
    case platform::VT_UINT:
    case platform::VT_UI8:
      return exact ? TypedToPython(v, py::int_(v.AsUInt64()))
                   : py::int_(v.AsUInt64());
    case platform::VT_R4:
      return exact ? TypedToPython(v, py::float_(v.AsFloat()))
                   : py::float_(v.AsFloat());
    case platform::VT_ERROR:
      return TypedToPython(v, py::int_(v.AsError()));
    default:
      if (v.IsArray()) return TableToPython(v, exact);
      return TypedToPython(v, py::none());
  }
}

py::object TableToPython(const Variant& v, bool exact) {
  VariantArray* array = v.AsArray();
  if (array == nullptr) return Types().no_array;
  if (array->dims() != 2) {
    py::list items;
    for (size_t i = 0; i < array->size(); ++i) {
      items.append(CellToPython(array->data()[i], exact));
    }
    return items;
  }
  py::list rows;
  for (uint32_t r = 0; r < array->rows(); ++r) {
    CheckSignalsEvery(r);
    py::list row;
    for (uint32_t c = 0; c < array->columns(); ++c) {
      row.append(CellToPython(array->cell(c, r), exact));
    }
    rows.append(row);
  }
  if (!exact) return rows;
  return Types().table(
      rows, py::make_tuple(array->LowerBound(0), array->LowerBound(1)),
      array->columns());
}

py::object ResultToPython(const Variant& v, bool exact) {
  if (v.IsEmpty()) return py::none();
  return CellToPython(v, exact);
}
void DefineConversion(py::module_& m) {
  m.def("_register", [](py::object empty, py::object null, py::object variant,
                        py::object table, py::object by_ref,
                        py::object no_array, py::object dispatch_error) {
    PackageTypes& t = Types();
    t.empty = empty;
    t.null = null;
    t.variant = variant;
    t.table = table;
    t.by_ref = by_ref;
    t.no_array = no_array;
    t.dispatch_error = dispatch_error;
    py::module_ dt = py::module_::import("datetime");
    t.datetime = dt.attr("datetime");
    t.date = dt.attr("date");
    t.timedelta = dt.attr("timedelta");
    t.decimal = py::module_::import("decimal").attr("Decimal");
  });
}

}  // namespace vexlor::python

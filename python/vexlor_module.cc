// The _vexlor extension: a thin shim between Python values and the control.
//
// It converts Python values to variants and back (the cell and table rules
// of the Python contract), calls members through the member table, and
// delivers events to Python sinks. The single-string members also have a
// direct entry that skips the dispatch when the arguments are plain str,
// int and bool. The Pythonic surface lives in vexlor/__init__.py.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "vexlor/control/control_context.h"
#include "vexlor/match_options.h"
#include "vexlor/member_table.h"
#include "vexlor/progress_window.h"
#include "vexlor/return_results.h"
#include "vexlor/strings/double_metaphone.h"
#include "vexlor/strings/edit_distance.h"
#include "vexlor/strings/gestalt_similarity.h"
#include "vexlor/strings/normalize.h"
#include "vexlor/strings/pattern_compare.h"
#include "vexlor/strings/phonex.h"
#include "vexlor/strings/soundex.h"
#include "vexlor/tables/column_options.h"
#include "vexlor/tables/distributed/pair_ranges.h"
#include "vexlor/tables/index/record_index.h"
#include "vexlor/tables/scoring/fs_model.h"
#include "vexlor/text.h"
#include "vexlor/variant.h"
#include "vexlor/variant_array.h"
#include "vexlor/vexlor_ctrl.h"

namespace py = pybind11;

namespace vexlor::python {

using platform::Variant;
using platform::VariantArray;
using platform::VarType;

namespace {

// Python classes of the package, handed over at import.
struct PackageTypes {
  py::object empty, null, variant, table, by_ref, no_array, dispatch_error;
  py::object datetime, date, decimal, timedelta;
};

PackageTypes& Types() {
  static PackageTypes* types = new PackageTypes();
  return *types;
}

constexpr int64_t kMaxExactDouble = int64_t{1} << 53;

[[noreturn]] void RaiseOverflow(const std::string& message) {
  PyErr_SetString(PyExc_OverflowError, message.c_str());
  throw py::error_already_set();
}

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
Variant CellFromPython(py::handle value);

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

bool IsNumpyScalar(py::handle value) {
  return TypeNameStartsWith(value, "numpy.");
}

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

// Arguments that are references need a referent that lives for the call.
using Arena = std::deque<Variant>;

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

py::object TypedToPython(const Variant& v, py::object value) {
  return Types().variant(static_cast<int>(v.vt()), value);
}

py::object TableToPython(const Variant& v, bool exact);

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

// Forwards events to a Python object's Progress / ProgressDupeSearch.
class PythonSink : public EventSink {
 public:
  PythonSink(py::object target, CVexlorCtrl* control, py::object* pending)
      : target_(std::move(target)), control_(control), pending_(pending) {}

  const py::object& target() const { return target_; }

  void Progress(int16_t Action, double PercentDone, int32_t ElapsedSeconds,
                std::u16string_view ElapsedString, int32_t ETASeconds,
                std::u16string_view ETAString) override {
    py::gil_scoped_acquire gil;
    Deliver("Progress", py::make_tuple(Action, PercentDone, ElapsedSeconds,
                                       FromUtf16(ElapsedString), ETASeconds,
                                       FromUtf16(ETAString)));
  }

  void ProgressDupeSearch(double PercentDone, int32_t RecordNo,
                          double RecordCount, int32_t DepthCurrent,
                          int32_t DepthMax, double DepthAvg, int32_t DupesFound,
                          int32_t DupesFound2, int32_t ElapsedSeconds,
                          std::u16string_view ElapsedString, int32_t ETASeconds,
                          std::u16string_view ETAString) override {
    py::gil_scoped_acquire gil;
    Deliver("ProgressDupeSearch",
            py::make_tuple(PercentDone, RecordNo, RecordCount, DepthCurrent,
                           DepthMax, DepthAvg, DupesFound, DupesFound2,
                           ElapsedSeconds, FromUtf16(ElapsedString), ETASeconds,
                           FromUtf16(ETAString)));
  }

 private:
  // An exception in a sink ends the call as a cancellation would; it is
  // raised to the caller once the call has returned.
  void Deliver(const char* name, py::tuple args) {
    if (!pending_->is_none()) return;
    if (!py::hasattr(target_, name)) return;
    try {
      target_.attr(name)(*args);
    } catch (py::error_already_set& e) {
      *pending_ = py::make_tuple(e.type(), e.value(), e.trace());
      control_->Cancel();
    }
  }

  py::object target_;
  CVexlorCtrl* control_;
  py::object* pending_;
};

// Watches for Ctrl-C while a batch call runs without the interpreter
// lock: Python's own handler only marks the signal, and the mark is acted
// on when the lock is held. At the call's events and its window's message
// pump, at most every kInterval, the watch takes the lock and lets the
// handler run; a KeyboardInterrupt (or whatever the handler raised)
// cancels the call, as the Cancel button would, and is raised once the
// call has cleaned up. Taking the lock at every event would make a busy
// second thread stall the call at each one. Windows are drawn as the
// control would draw them, on a terminal panel when stderr is one (whose
// own Ctrl-C handler makes Ctrl-C its Cancel button while it is shown).
class InterruptWatch : public EventSink, public WindowPresenter {
 public:
  InterruptWatch(CVexlorCtrl* control, py::object* pending)
      : control_(control), pending_(pending) {
    control_->Advise(this);
    control_->set_window_presenter(this);
  }
  ~InterruptWatch() override {
    control_->set_window_presenter(nullptr);
    control_->Unadvise(this);
  }
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  void Progress(int16_t, double, int32_t, std::u16string_view, int32_t,
                std::u16string_view) override {
    Check();
  }
  void ProgressDupeSearch(double, int32_t, double, int32_t, int32_t, double,
                          int32_t, int32_t, int32_t, std::u16string_view,
                          int32_t, std::u16string_view) override {
    Check();
  }

  void Show(ProgressWindow& window) override {
    if (panel_ == nullptr && isatty(STDERR_FILENO)) {
      panel_ = std::make_unique<TerminalPanel>(stderr);
    }
    if (panel_ != nullptr) panel_->Show(window);
  }
  void Refresh(ProgressWindow& window) override {
    if (panel_ != nullptr) panel_->Refresh(window);
  }
  void PumpMessages(ProgressWindow& window) override {
    if (panel_ != nullptr) panel_->PumpMessages(window);
    if (Check()) window.OnCancel();
  }
  void Close(ProgressWindow& window) override {
    if (panel_ != nullptr) panel_->Close(window);
  }

 private:
  static constexpr std::chrono::milliseconds kInterval{50};

  // True when a signal handler raised: the call is to be cancelled.
  bool Check() {
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < kInterval) return false;
    last_ = now;
    py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() == 0) return false;
    PyObject *type, *value, *trace;
    PyErr_Fetch(&type, &value, &trace);
    PyErr_NormalizeException(&type, &value, &trace);
    auto own = [](PyObject* o) {
      return o == nullptr ? py::none() : py::reinterpret_steal<py::object>(o);
    };
    py::object raised = py::make_tuple(own(type), own(value), own(trace));
    if (pending_->is_none()) *pending_ = raised;
    control_->Cancel();
    return true;
  }

  CVexlorCtrl* control_;
  py::object* pending_;
  std::unique_ptr<TerminalPanel> panel_;
  std::chrono::steady_clock::time_point last_ =
      std::chrono::steady_clock::now();
};

// Whether a member takes a table: the batch methods, which run long
// enough to work without the interpreter lock.
bool TakesTable(const MemberInfo& member) {
  for (const ParamInfo& p : member.params) {
    if (p.type == platform::VT_VARIANT) return true;
  }
  return false;
}

class Control {
 public:
  explicit Control(py::object label_seed) {
    if (label_seed.is_none()) {
      control_ = std::make_unique<CVexlorCtrl>();
    } else {
      control_ = std::make_unique<CVexlorCtrl>(label_seed.cast<uint64_t>());
    }
  }
  ~Control() {
    for (auto& sink : sinks_) control_->Unadvise(sink.get());
  }

  // A call by dispatch identifier. `strict`: the arguments are Python
  // values of the parameters' types (a direct member call); otherwise they
  // are converted as late binding converts.
  py::object Call(int32_t dispid, py::tuple args, bool strict, bool put) {
    const MemberInfo* member = FindMember(dispid);
    if (member == nullptr) throw py::attribute_error("no such member");
    Occupancy occupancy(this);
    Arena arena;
    bool exact = false;
    std::vector<Variant> values;
    values.reserve(args.size());
    for (size_t i = 0; i < args.size(); ++i) {
      const ParamInfo* param = nullptr;
      ParamInfo property_value{"value", member->result};
      if (member->kind == MemberKind::kProperty) {
        param = &property_value;
      } else if (i < member->params.size()) {
        param = &member->params[i];
      }
      values.push_back(
          strict && param != nullptr
              ? StrictArgument(*member, *param, i, args[i], &arena, &exact)
              : LooseArgument(args[i], &arena, &exact));
    }
    if (strict && member->kind == MemberKind::kMethod &&
        values.size() != member->params.size()) {
      throw py::type_error(std::string(member->name) + "() takes " +
                           std::to_string(member->params.size()) +
                           " arguments (" + std::to_string(values.size()) +
                           " given)");
    }
    Variant result;
    InvokeError error;
    pending_ = py::none();
    const uint16_t flags =
        put ? kDispatchPropertyPut : kDispatchMethod | kDispatchPropertyGet;
    int32_t status;
    if (TakesTable(*member)) {
      InterruptWatch watch(control_.get(), &pending_);
      py::gil_scoped_release release;
      status = Invoke(*control_, dispid, flags, values, &result, &error);
    } else {
      status = Invoke(*control_, dispid, flags, values, &result, &error);
    }
    if (!pending_.is_none()) {
      py::tuple info = pending_;
      pending_ = py::none();
      py::object type = info[0], value = info[1], trace = info[2];
      PyErr_Restore(type.release().ptr(), value.release().ptr(),
                    trace.is_none() ? nullptr : trace.release().ptr());
      throw py::error_already_set();
    }
    if (status != kInvokeOk) {
      PyErr_SetString(Types().dispatch_error.ptr(), error.message.c_str());
      throw py::error_already_set();
    }
    return ResultToPython(result, exact);
  }

  // DupeSearch labelling from the words of the finders of every range
  // (pair_ranges.h). Returns (result, missed): with missed the result is
  // not to be used.
  py::tuple ReplayDupes(py::handle rows, int32_t id_column, double threshold,
                        double cluster_threshold, const std::string& options,
                        int16_t return_results, py::bytes words) {
    Occupancy occupancy(this);
    Arena arena;
    bool exact = false;
    const Variant table = ArgumentFromPython(rows, &arena, &exact);
    const MatchOptions parsed = ParseMatchOptions(
        platform::Utf8ToUtf16(options), OptionsReader::kDupeSearch);
    const std::vector<uint32_t> found_words = Words(words);
    FoundPairs found{found_words};
    Variant result;
    {
      py::gil_scoped_release release;
      ControlContext context(*control_);
      result = ReplayDupeSearch(context, table, id_column, threshold,
                                cluster_threshold, return_results, false,
                                parsed, found);
    }
    return py::make_tuple(ResultToPython(result, exact), found.missed);
  }

  // FuzzyMatch labelling from the words of the finders of every range of
  // `others`, without logs; as ReplayDupes.
  py::tuple ReplayMatch(py::handle rows, py::handle others, int32_t id_column,
                        double threshold, double cluster_threshold,
                        const std::string& options, int16_t return_results,
                        py::bytes words) {
    Occupancy occupancy(this);
    Arena arena;
    bool exact = false;
    const Variant master = ArgumentFromPython(rows, &arena, &exact);
    const Variant second = ArgumentFromPython(others, &arena, &exact);
    const MatchOptions parsed = ParseMatchOptions(
        platform::Utf8ToUtf16(options), OptionsReader::kFuzzyMatch);
    const std::vector<uint32_t> found_words = Words(words);
    FoundPairs found{found_words};
    Variant result;
    {
      py::gil_scoped_release release;
      ControlContext context(*control_);
      result =
          ReplayFuzzyMatch(context, master, second, id_column, threshold,
                           cluster_threshold, return_results, false, u"", u"",
                           control_->GetLogFormat().encoding, parsed, found);
    }
    return py::make_tuple(ResultToPython(result, exact), found.missed);
  }

  const ColumnOptions& column_options() const {
    return control_->column_options();
  }
  // Scoring=Estimated for the calls that follow: `model` is the JSON of a
  // saved model to score with (None: estimate one); after each call the
  // model that scored is ModelOut's JSON.
  // ValueError for a malformed model.
  void SetModel(py::object model) {
    Occupancy occupancy(this);
    given_.reset();
    if (!model.is_none()) {
      auto parsed = std::make_unique<FsModel>();
      std::string error;
      if (!ParseFsModelJson(model.cast<std::string>(), parsed.get(), &error)) {
        throw py::value_error(error);
      }
      given_ = std::move(parsed);
    }
    used_ = FsModel();
    control_->set_scoring_model(given_.get(), &used_);
  }
  std::string ModelOut() const { return used_.ToJson(); }

  void Connect(py::object sink) {
    Occupancy occupancy(this);
    auto adapter =
        std::make_unique<PythonSink>(sink, control_.get(), &pending_);
    control_->Advise(adapter.get());
    sinks_.push_back(std::move(adapter));
  }

  void Disconnect(py::object sink) {
    Occupancy occupancy(this);
    for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
      if ((*it)->target().is(sink)) {
        PythonSink* adapter = it->get();
        // From inside an event the adapter may be the one running: it is
        // freed when the outermost call returns.
        if (!occupancy.outermost()) retired_.push_back(std::move(*it));
        control_->Unadvise(adapter);
        sinks_.erase(it);
        return;
      }
    }
  }

 private:
  static std::vector<uint32_t> Words(const py::bytes& bytes) {
    char* data = nullptr;
    Py_ssize_t size = 0;
    if (PyBytes_AsStringAndSize(bytes.ptr(), &data, &size) != 0) {
      throw py::error_already_set();
    }
    std::vector<uint32_t> words(static_cast<size_t>(size) / 4);
    if (!words.empty()) std::memcpy(words.data(), data, words.size() * 4);
    return words;
  }

  Variant LooseArgument(py::handle value, Arena* arena, bool* exact) {
    return ArgumentFromPython(value, arena, exact);
  }

  static std::string Where(const MemberInfo& m, const ParamInfo& p) {
    return std::string(m.name) + "(): argument '" + p.name + "'";
  }

  // Integers, and numpy's integer scalars, which are no int subclass.
  static int64_t StrictInteger(const MemberInfo& m, const ParamInfo& p,
                               py::handle value, int64_t lo, int64_t hi) {
    py::object whole = py::reinterpret_borrow<py::object>(value);
    if (!PyLong_Check(value.ptr())) {
      if (!IsNumpyScalar(value) || !PyIndex_Check(value.ptr())) {
        throw py::type_error(Where(m, p) + " must be int");
      }
      whole = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
      if (!whole) throw py::error_already_set();
    }
    int overflow = 0;
    long long v = PyLong_AsLongLongAndOverflow(whole.ptr(), &overflow);
    if (overflow != 0 || v < lo || v > hi) {
      PyErr_SetString(
          PyExc_OverflowError,
          (Where(m, p) + " is out of range for a " + ParamTypeName(p)).c_str());
      throw py::error_already_set();
    }
    return v;
  }

  Variant StrictArgument(const MemberInfo& m, const ParamInfo& p, size_t,
                         py::handle value, Arena* arena, bool* exact) {
    switch (p.type) {
      case platform::VT_I2:
        return Variant::I2(
            static_cast<int16_t>(StrictInteger(m, p, value, -32768, 32767)));
      case platform::VT_I4:
        return Variant::I4(static_cast<int32_t>(
            StrictInteger(m, p, value, INT32_MIN, INT32_MAX)));
      case platform::VT_R8:
        if (!PyFloat_Check(value.ptr()) && !PyLong_Check(value.ptr()) &&
            !(IsNumpyScalar(value) && PyNumber_Check(value.ptr()))) {
          throw py::type_error(Where(m, p) + " must be float");
        }
        return Variant::R8(value.cast<double>());
      case platform::VT_BOOL:
        if (!PyBool_Check(value.ptr()) && !PyLong_Check(value.ptr()) &&
            !IsNumpyScalar(value)) {
          throw py::type_error(Where(m, p) + " must be bool");
        }
        return Variant::Bool(PyObject_IsTrue(value.ptr()) == 1);
      case platform::VT_BSTR:
        if (!PyUnicode_Check(value.ptr())) {
          throw py::type_error(Where(m, p) + " must be str");
        }
        return Variant::String(ToUtf16(value));
      default:
        return ArgumentFromPython(value, arena, exact);
    }
  }

  // One thread at a time uses the control. The thread inside a call may
  // call again (from an event), which the control itself answers; another
  // thread waits without the interpreter lock, which the running call
  // needs for its events.
  class Occupancy {
   public:
    explicit Occupancy(Control* control) : control_(control) {
      if (control_->owner_.load() == std::this_thread::get_id()) return;
      if (!control_->busy_.try_lock()) {
        py::gil_scoped_release release;
        control_->busy_.lock();
      }
      control_->owner_.store(std::this_thread::get_id());
      owns_ = true;
    }
    ~Occupancy() {
      if (!owns_) return;
      control_->retired_.clear();
      control_->owner_.store(std::thread::id());
      control_->busy_.unlock();
    }
    Occupancy(const Occupancy&) = delete;
    Occupancy& operator=(const Occupancy&) = delete;

    // False inside a call of the same control (from an event).
    bool outermost() const { return owns_; }

   private:
    Control* control_;
    bool owns_ = false;
  };

  // Scoring=Estimated: the model given and the one that scored (SetModel);
  // before control_, which points at them, so that they outlive it.
  std::unique_ptr<FsModel> given_;
  FsModel used_;
  std::unique_ptr<CVexlorCtrl> control_;
  std::vector<std::unique_ptr<PythonSink>> sinks_;
  // Disconnected inside a call, freed when it ends.
  std::vector<std::unique_ptr<PythonSink>> retired_;
  py::object pending_ = py::none();
  std::mutex busy_;
  std::atomic<std::thread::id> owner_{};
};

// The pair finders of pair_ranges.h, each over its own copy of a table and
// of a control's column options; find() gives the words as bytes.
py::bytes WordBytes(const std::vector<uint32_t>& words) {
  return py::bytes(reinterpret_cast<const char*>(words.data()),
                   words.size() * sizeof(uint32_t));
}

class DupeFinder {
 public:
  DupeFinder(const Control& control, py::handle rows, int32_t id_column,
             double threshold, double cluster_threshold,
             const std::string& options) {
    Arena arena;
    bool exact = false;
    const Variant table = ArgumentFromPython(rows, &arena, &exact);
    const MatchOptions parsed = ParseMatchOptions(
        platform::Utf8ToUtf16(options), OptionsReader::kDupeSearch);
    py::gil_scoped_release release;
    finder_ = std::make_unique<DupePairFinder>(control.column_options(), table,
                                               id_column, threshold,
                                               cluster_threshold, parsed);
  }

  uint32_t rows() const { return finder_->rows(); }

  py::bytes Find(uint32_t begin, uint32_t end) {
    std::vector<uint32_t> words;
    {
      py::gil_scoped_release release;
      finder_->Find(begin, end, &words);
    }
    return WordBytes(words);
  }

 private:
  std::unique_ptr<DupePairFinder> finder_;
};

class MatchFinder {
 public:
  MatchFinder(const Control& control, py::handle rows, int32_t id_column,
              double threshold, double cluster_threshold,
              const std::string& options) {
    Arena arena;
    bool exact = false;
    const Variant master = ArgumentFromPython(rows, &arena, &exact);
    const MatchOptions parsed = ParseMatchOptions(
        platform::Utf8ToUtf16(options), OptionsReader::kFuzzyMatch);
    py::gil_scoped_release release;
    finder_ = std::make_unique<MatchPairFinder>(control.column_options(),
                                                master, id_column, threshold,
                                                cluster_threshold, parsed);
  }

  py::bytes Find(py::handle records) {
    Arena arena;
    bool exact = false;
    const Variant table = ArgumentFromPython(records, &arena, &exact);
    std::vector<uint32_t> words;
    {
      py::gil_scoped_release release;
      finder_->Find(table, &words);
    }
    return WordBytes(words);
  }

 private:
  std::unique_ptr<MatchPairFinder> finder_;
};

// The persisted index (record_index.h) for vexlor.Index, which lines
// frames up with its columns: rows in, answers as tuples out.
class PyIndex {
 public:
  // Makes the index from `rows` (the index's columns) with the groups
  // `labels` and the settings of `control` (column options) and the rest.
  static void Create(const std::string& path, const Control& control,
                     const std::vector<std::string>& names, py::handle rows,
                     const std::vector<std::string>& labels, int id_column,
                     double threshold, double cluster_threshold,
                     const std::string& options,
                     const std::string& model_json) {
    IndexSettings settings;
    for (const std::string& name : names) {
      settings.names.push_back(platform::Utf8ToUtf16(name));
    }
    settings.columns = control.column_options();
    settings.id_column = id_column;
    settings.threshold = threshold;
    settings.cluster_threshold = cluster_threshold;
    settings.options = ParseMatchOptions(platform::Utf8ToUtf16(options),
                                         OptionsReader::kDupeSearch);
    settings.model_json = model_json;
    Variant table =
        TableFromRows(rows, 0, 0, static_cast<int64_t>(names.size()));
    std::string error;
    bool made;
    {
      py::gil_scoped_release release;
      made =
          RecordIndex::Create(path, settings, *table.AsArray(), labels, &error);
    }
    if (!made) throw py::value_error(error);
  }

  PyIndex(const std::string& path, py::object label_seed) {
    std::optional<uint64_t> seed;
    if (!label_seed.is_none()) seed = label_seed.cast<uint64_t>();
    std::string error;
    {
      py::gil_scoped_release release;
      index_ = RecordIndex::Open(path, seed, &error);
    }
    if (index_ == nullptr) throw py::value_error(error);
  }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const std::u16string& n : Open().settings().names) {
      names.push_back(platform::Utf16ToUtf8(n));
    }
    return names;
  }

  // Per record (group or None, similarity or None, [(id, group,
  // similarity), ...]).
  py::list Search(py::handle rows, bool store) {
    Variant table = TableFromRows(
        rows, 0, 0, static_cast<int64_t>(Open().settings().names.size()));
    std::vector<RecordResult> results;
    std::string error;
    bool done;
    {
      py::gil_scoped_release release;
      done = store ? index_->Add(*table.AsArray(), &results, &error)
                   : index_->Match(*table.AsArray(), &results, &error);
    }
    if (!done) throw py::value_error(error);
    py::list out;
    for (const RecordResult& r : results) {
      py::list matches;
      for (const RecordMatch& m : r.matches) {
        matches.append(py::make_tuple(m.id, m.group, m.similarity));
      }
      out.append(py::make_tuple(
          r.group.empty() ? py::object(py::none()) : py::str(r.group),
          std::isnan(r.similarity) ? py::object(py::none())
                                   : py::float_(r.similarity),
          matches));
    }
    return out;
  }

  // (rows, groups) of every record.
  py::tuple Export() {
    py::list rows, groups;
    std::string error;
    const bool read = Open().Export(
        8192,
        [&](const VariantArray& chunk,
            std::span<const std::string* const> labels) {
          for (uint32_t r = 0; r < chunk.rows(); ++r) {
            py::list row;
            for (uint32_t c = 0; c < chunk.columns(); ++c) {
              row.append(CellToPython(chunk.cell(c, r), false));
            }
            rows.append(row);
            groups.append(py::str(*labels[r]));
          }
        },
        &error);
    if (!read) throw py::value_error(error);
    return py::make_tuple(rows, groups);
  }

  py::dict Info() {
    const IndexInfo info = Open().Info();
    const IndexSettings& s = Open().settings();
    py::dict out;
    out["records"] = info.records;
    out["groups"] = info.groups;
    out["file_bytes"] = info.file_bytes;
    out["threshold"] = s.threshold;
    out["cluster_threshold"] = s.cluster_threshold;
    out["options"] = SettingsOptionsText(s);
    return out;
  }

  void Close() { index_.reset(); }

 private:
  RecordIndex& Open() const {
    if (index_ == nullptr) throw py::value_error("the index is closed");
    return *index_;
  }
  std::unique_ptr<RecordIndex> index_;
};

// Direct calls of the single-string members.
//
// A method call through the dispatch converts every argument to a variant
// and a wide string, looks the member up and converts the result back: some
// hundreds of nanoseconds, many times the work on a name. These members
// read and change nothing of the control, so when the arguments are plain
// str, int and bool they can go straight to the string functions with the
// Windows-1252 bytes. Anything else (other types, keywords, a wrong count,
// a number out of range, a control not set up) takes the dispatch path, so
// results and errors stay those of the dispatch.

// The Windows-1252 form of a str, as the dispatch would hand it on.
class AnsiArgument {
 public:
  // Returns false with a Python error set when the text cannot be read.
  bool Load(PyObject* text) {
    if (PyUnicode_READY(text) < 0) return false;
    const Py_ssize_t n = PyUnicode_GET_LENGTH(text);
    const size_t size = static_cast<size_t>(n);
    // ASCII and the Latin-1 letters are the same bytes in Windows-1252;
    // only U+0080..U+009F (controls in Unicode, letters and signs at those
    // bytes in Windows-1252) need the boundary conversion.
    if (PyUnicode_IS_ASCII(text)) {
      view_ = {static_cast<const char*>(PyUnicode_DATA(text)), size};
      return true;
    }
    switch (PyUnicode_KIND(text)) {
      case PyUnicode_1BYTE_KIND: {
        const Py_UCS1* bytes = PyUnicode_1BYTE_DATA(text);
        if (!HasC1Controls(bytes, size)) {
          view_ = {reinterpret_cast<const char*>(bytes), size};
          return true;
        }
        std::u16string wide(bytes, bytes + size);
        platform::Utf16ToAnsiInto(wide, &owned_);
        break;
      }
      case PyUnicode_2BYTE_KIND: {
        // The code units the UTF-16 encoder with surrogatepass would give.
        std::u16string wide(size, u'\0');
        std::memcpy(wide.data(), PyUnicode_2BYTE_DATA(text), size * 2);
        platform::Utf16ToAnsiInto(wide, &owned_);
        break;
      }
      default:
        platform::Utf16ToAnsiInto(ToUtf16(text), &owned_);
        break;
    }
    view_ = owned_;
    return true;
  }

  std::string_view view() const { return view_; }

  static bool HasC1Controls(const unsigned char* bytes, size_t size) {
    for (size_t i = 0; i < size; ++i) {
      if (bytes[i] >= 0x80 && bytes[i] < 0xA0) return true;
    }
    return false;
  }

 private:
  std::string_view view_;
  std::string owned_;
};

// A str of Windows-1252 text, as FromUtf16(AnsiToUtf16(text)) gives it.
PyObject* StrFromAnsi(std::string_view text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  if (AnsiArgument::HasC1Controls(bytes, text.size())) {
    return FromUtf16(platform::AnsiToUtf16(text)).release().ptr();
  }
  return PyUnicode_DecodeLatin1(text.data(),
                                static_cast<Py_ssize_t>(text.size()), nullptr);
}

struct DirectMember {
  const MemberInfo* member = nullptr;
  // The dispatch method the direct entry stands in for.
  PyObject* fallback = nullptr;
};

constexpr int32_t kDirectDispids[] = {kDispidMetaphone, kDispidDmetaphone,
                                      kDispidSoundex,   kDispidCompareStrings,
                                      kDispidNormalize, kDispidEditDistance,
                                      kDispidDifference};

DirectMember& DirectSlot(int32_t dispid) {
  static DirectMember slots[std::size(kDirectDispids)];
  for (size_t i = 0; i < std::size(kDirectDispids); ++i) {
    if (kDirectDispids[i] == dispid) return slots[i];
  }
  std::abort();
}

PyObject* g_control_type = nullptr;
PyObject* g_control_attribute = nullptr;  // "_c", interned

// The direct call: true with *out the result (or null with an error set),
// false when the call must go through the dispatch.
bool CallDirect(const MemberInfo& member, PyObject* self, PyObject* const* args,
                Py_ssize_t nargs, PyObject** out) {
  constexpr size_t kMaxParams = 3;
  const size_t count = member.params.size();
  if (static_cast<size_t>(nargs) != count || count > kMaxParams) return false;
  int16_t shorts[kMaxParams] = {};
  bool bools[kMaxParams] = {};
  for (size_t i = 0; i < count; ++i) {
    PyObject* arg = args[i];
    switch (member.params[i].type) {
      case platform::VT_BSTR:
        if (!PyUnicode_CheckExact(arg)) return false;
        break;
      case platform::VT_I2: {
        if (!PyLong_CheckExact(arg)) return false;
        int overflow = 0;
        long v = PyLong_AsLongAndOverflow(arg, &overflow);
        if (overflow != 0 || v < INT16_MIN || v > INT16_MAX) return false;
        shorts[i] = static_cast<int16_t>(v);
        break;
      }
      case platform::VT_BOOL:
        if (!PyBool_Check(arg)) return false;
        bools[i] = arg == Py_True;
        break;
      default:
        return false;
    }
  }
  // The dispatch path calls through the instance's control; one that lacks
  // it (a subclass that skipped __init__, a replaced _c) fails or behaves
  // there as it always did.
  PyObject* control = PyObject_GetAttr(self, g_control_attribute);
  if (control == nullptr) {
    PyErr_Clear();
    return false;
  }
  const bool is_control =
      Py_TYPE(control) == reinterpret_cast<PyTypeObject*>(g_control_type);
  Py_DECREF(control);
  if (!is_control) return false;

  AnsiArgument text[2];
  for (size_t i = 0, t = 0; i < count; ++i) {
    if (member.params[i].type != platform::VT_BSTR) continue;
    if (t == std::size(text)) return false;
    if (!text[t++].Load(args[i])) {
      *out = nullptr;
      return true;
    }
  }
  const std::string_view s1 = text[0].view(), s2 = text[1].view();
  switch (member.dispid) {
    case kDispidMetaphone:
      *out = StrFromAnsi(Phonex(s1, shorts[1]));
      break;
    case kDispidDmetaphone:
      *out = StrFromAnsi(DoubleMetaphone(s1, shorts[1]));
      break;
    case kDispidSoundex:
      *out = StrFromAnsi(Soundex(s1, shorts[1], bools[2]));
      break;
    case kDispidCompareStrings:
      *out = PyLong_FromLong(::vexlor::CompareStrings(s1, s2, bools[2]));
      break;
    case kDispidNormalize:
      *out = StrFromAnsi(NormalizeText(s1, bools[1]));
      break;
    case kDispidEditDistance:
      *out = PyLong_FromLong(::vexlor::EditDistance(s1, s2));
      break;
    case kDispidDifference:
      *out = PyFloat_FromDouble(GestaltSimilarity(s1, s2));
      break;
    default:
      return false;
  }
  return true;
}

// The dispatch method with the same arguments: fallback(self, *args, **kw).
PyObject* CallFallback(PyObject* fallback, PyObject* self,
                       PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) {
  const Py_ssize_t nkw = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
  std::vector<PyObject*> all(static_cast<size_t>(1 + nargs + nkw));
  all[0] = self;
  for (Py_ssize_t i = 0; i < nargs + nkw; ++i) all[1 + i] = args[i];
  return PyObject_Vectorcall(fallback, all.data(),
                             static_cast<size_t>(1 + nargs), kwnames);
}

template <int32_t kDispid>
PyObject* DirectEntry(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) {
  const DirectMember& slot = DirectSlot(kDispid);
  if (kwnames == nullptr || PyTuple_GET_SIZE(kwnames) == 0) {
    try {
      PyObject* result = nullptr;
      if (CallDirect(*slot.member, self, args, nargs, &result)) return result;
    } catch (py::error_already_set& e) {
      e.restore();
      return nullptr;
    } catch (const std::bad_alloc&) {
      return PyErr_NoMemory();
    } catch (const std::exception& e) {
      PyErr_SetString(PyExc_RuntimeError, e.what());
      return nullptr;
    }
  }
  return CallFallback(slot.fallback, self, args, nargs, kwnames);
}

using DirectFunction = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t,
                                     PyObject*);

template <size_t... I>
constexpr auto MakeDirectEntries(std::index_sequence<I...>) {
  return std::array<DirectFunction, sizeof...(I)>{
      &DirectEntry<kDirectDispids[I]>...};
}

// The method of `cls` for member `dispid`: a direct entry that falls back
// to `method`, or `method` itself for members without one.
py::object DirectMethod(py::object cls, int32_t dispid, py::object method) {
  static constexpr auto kEntries =
      MakeDirectEntries(std::make_index_sequence<std::size(kDirectDispids)>());
  const MemberInfo* member = FindMember(dispid);
  size_t index = 0;
  while (index < std::size(kDirectDispids) && kDirectDispids[index] != dispid)
    ++index;
  if (member == nullptr || index == std::size(kDirectDispids) ||
      !PyType_Check(cls.ptr())) {
    return method;
  }
  DirectMember& slot = DirectSlot(dispid);
  slot.member = member;
  Py_XDECREF(slot.fallback);
  slot.fallback = method.inc_ref().ptr();
  // Method definitions must outlive their descriptors.
  static std::deque<std::pair<PyMethodDef, std::string>> definitions;
  auto& [def, doc] = definitions.emplace_back();
  // A leading "name($self, ...)\n--\n\n" is how inspect.signature and
  // help() learn a builtin method's parameters.
  doc = std::string(member->name) + "($self";
  for (const ParamInfo& p : member->params) doc += std::string(", ") + p.name;
  doc += ")\n--\n\n" + py::str(method.attr("__doc__")).cast<std::string>();
  def.ml_name = member->name;
  def.ml_meth = reinterpret_cast<PyCFunction>(
      reinterpret_cast<void (*)()>(kEntries[index]));
  def.ml_flags = METH_FASTCALL | METH_KEYWORDS;
  def.ml_doc = doc.c_str();
  PyObject* descriptor =
      PyDescr_NewMethod(reinterpret_cast<PyTypeObject*>(cls.ptr()), &def);
  if (descriptor == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(descriptor);
}

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

}  // namespace

PYBIND11_MODULE(_vexlor, m) {
  m.doc() = "Vexlor: fuzzy matching of names, addresses and records";
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
  m.def("members", &MemberList);
  m.def("_enumerations", [] {
    py::list out;
    for (const Enumeration& e : kEnumerations) {
      py::list constants;
      for (const EnumConstant& c : e.constants) {
        constants.append(py::make_tuple(c.name, c.value));
      }
      out.append(py::make_tuple(e.name, constants));
    }
    return out;
  });
  m.def("_direct_method", &DirectMethod, py::arg("cls"), py::arg("dispid"),
        py::arg("method"));
  m.def("dispid_of",
        [](const std::string& name) { return GetIDsOfNames(name); });
  // What an Options text holds that the batch method `method` does not
  // read: the control ignores it, the Python layer refuses it.
  m.def("_options_problems",
        [](const std::string& text, const std::string& method) {
          const OptionsReader reader =
              method == "DupeSearch"   ? OptionsReader::kDupeSearch
              : method == "FuzzyMatch" ? OptionsReader::kFuzzyMatch
                                       : OptionsReader::kFuzzyMerge;
          std::vector<std::string> skipped;
          ParseMatchOptions(platform::Utf8ToUtf16(text), reader, &skipped);
          return skipped;
        });
  py::class_<Control>(m, "_Control")
      .def(py::init<py::object>(), py::arg("label_seed") = py::none())
      .def("call", &Control::Call, py::arg("dispid"), py::arg("args"),
           py::arg("strict"), py::arg("put") = false)
      .def("_set_model", &Control::SetModel)
      .def("_model_out", &Control::ModelOut)
      .def("connect", &Control::Connect)
      .def("disconnect", &Control::Disconnect)
      .def("replay_dupes", &Control::ReplayDupes)
      .def("replay_match", &Control::ReplayMatch);
  py::class_<PyIndex>(m, "_Index")
      .def(py::init<const std::string&, py::object>())
      .def_static("create", &PyIndex::Create)
      .def_property_readonly("names", &PyIndex::Names)
      .def("search", &PyIndex::Search)
      .def("export", &PyIndex::Export)
      .def("info", &PyIndex::Info)
      .def("close", &PyIndex::Close);
  py::class_<DupeFinder>(m, "_DupePairFinder")
      .def(py::init<const Control&, py::handle, int32_t, double, double,
                    const std::string&>())
      .def_property_readonly("rows", &DupeFinder::rows)
      .def("find", &DupeFinder::Find);
  py::class_<MatchFinder>(m, "_MatchPairFinder")
      .def(py::init<const Control&, py::handle, int32_t, double, double,
                    const std::string&>())
      .def("find", &MatchFinder::Find);
  g_control_type = py::type::of<Control>().inc_ref().ptr();
  g_control_attribute = PyUnicode_InternFromString("_c");
}

}  // namespace vexlor::python

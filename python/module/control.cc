// The control wrapper (control.h).
#include "python/module/control.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "vexlor/match_options.h"
#include "vexlor/tables/distributed/found_pairs.h"
#include "vexlor/text.h"

namespace vexlor::python {

using platform::Variant;

namespace {

// Whether a member takes a table: the batch methods, which run long
// enough to work without the interpreter lock.
bool TakesTable(const MemberInfo& member) {
  for (const ParamInfo& p : member.params) {
    if (p.type == platform::VT_VARIANT) return true;
  }
  return false;
}

// The settings of a replay: the Options text with the found pairs, except
// under an estimated model, whose estimation matches sampled records of its
// own that the words do not follow (and with the model scoring, nothing was
// found anyway).
MatchOptions ReplayOptions(const std::string& text, OptionsReader reader,
                           FoundPairs* found) {
  MatchOptions options = ParseMatchOptions(platform::Utf8ToUtf16(text), reader);
  if (options.scoring != Scoring::kEstimated) options.found_pairs = found;
  found->missed = false;
  return options;
}

std::string Where(const MemberInfo& m, const ParamInfo& p) {
  return std::string(m.name) + "(): argument '" + p.name + "'";
}

// Integers, and numpy's integer scalars, which are no int subclass.
int64_t StrictInteger(const MemberInfo& m, const ParamInfo& p, py::handle value,
                      int64_t lo, int64_t hi) {
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

}  // namespace

// One thread at a time uses the control. The thread inside a call may
// call again (from an event), which the control itself answers; another
// thread waits without the interpreter lock, which the running call
// needs for its events.
class Control::Occupancy {
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

Control::Control(py::object label_seed) {
  if (label_seed.is_none()) {
    control_ = std::make_unique<CVexlorCtrl>();
  } else {
    control_ = std::make_unique<CVexlorCtrl>(label_seed.cast<uint64_t>());
  }
}

Control::~Control() {
  for (auto& sink : sinks_) control_->Unadvise(sink.get());
}

template <typename Body>
void Control::RunUnlocked(Body&& body) {
  pending_ = py::none();
  {
    InterruptWatch watch(control_.get(), &pending_);
    py::gil_scoped_release release;
    body();
  }
  RaisePending();
}

void Control::RaisePending() {
  if (pending_.is_none()) return;
  py::tuple info = pending_;
  pending_ = py::none();
  py::object type = info[0], value = info[1], trace = info[2];
  PyErr_Restore(type.release().ptr(), value.release().ptr(),
                trace.is_none() ? nullptr : trace.release().ptr());
  throw py::error_already_set();
}

py::object Control::Call(int32_t dispid, py::tuple args, bool strict,
                         bool put) {
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
            ? StrictArgument(*member, *param, args[i], &arena, &exact)
            : ArgumentFromPython(args[i], &arena, &exact));
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
  const uint16_t flags =
      put ? kDispatchPropertyPut : kDispatchMethod | kDispatchPropertyGet;
  int32_t status = kInvokeOk;
  if (TakesTable(*member)) {
    RunUnlocked([&] {
      status = Invoke(*control_, dispid, flags, values, &result, &error);
    });
  } else {
    pending_ = py::none();
    status = Invoke(*control_, dispid, flags, values, &result, &error);
    RaisePending();
  }
  if (status != kInvokeOk) {
    PyErr_SetString(Types().dispatch_error.ptr(), error.message.c_str());
    throw py::error_already_set();
  }
  return ResultToPython(result, exact);
}

py::tuple Control::ReplayDupes(py::handle rows, int32_t id_column,
                               double threshold, double cluster_threshold,
                               const std::string& options,
                               int16_t return_results, py::bytes words) {
  Occupancy occupancy(this);
  Arena arena;
  bool exact = false;
  const Variant table = ArgumentFromPython(rows, &arena, &exact);
  const std::vector<uint32_t> found_words = BytesToWords<uint32_t>(words);
  FoundPairs found{found_words};
  const MatchOptions replay =
      ReplayOptions(options, OptionsReader::kDupeSearch, &found);
  Variant result;
  RunUnlocked([&] {
    result =
        control_->DupeSearch(table, id_column, threshold, cluster_threshold,
                             replay, return_results, false);
  });
  return py::make_tuple(ResultToPython(result, exact), found.missed);
}

py::tuple Control::ReplayMatch(py::handle rows, py::handle others,
                               int32_t id_column, double threshold,
                               double cluster_threshold,
                               const std::string& options,
                               int16_t return_results, py::bytes words) {
  Occupancy occupancy(this);
  Arena arena;
  bool exact = false;
  const Variant master = ArgumentFromPython(rows, &arena, &exact);
  const Variant second = ArgumentFromPython(others, &arena, &exact);
  const std::vector<uint32_t> found_words = BytesToWords<uint32_t>(words);
  FoundPairs found{found_words};
  const MatchOptions replay =
      ReplayOptions(options, OptionsReader::kFuzzyMatch, &found);
  Variant result;
  RunUnlocked([&] {
    result = control_->FuzzyMatch(master, second, id_column, threshold,
                                  cluster_threshold, replay, return_results,
                                  false, u"", u"");
  });
  return py::make_tuple(ResultToPython(result, exact), found.missed);
}

void Control::SetModel(py::object model) {
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

void Control::Connect(py::object sink) {
  Occupancy occupancy(this);
  auto adapter = std::make_unique<PythonSink>(sink, control_.get(), &pending_);
  control_->Advise(adapter.get());
  sinks_.push_back(std::move(adapter));
}

void Control::Disconnect(py::object sink) {
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

Variant Control::StrictArgument(const MemberInfo& m, const ParamInfo& p,
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

void DefineControl(py::module_& m) {
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
}

}  // namespace vexlor::python

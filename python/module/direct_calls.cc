// Direct calls of the single-string members (direct_calls.h).
//
// A method call through the dispatch converts every argument to a variant
// and a wide string, looks the member up and converts the result back: some
// hundreds of nanoseconds, many times the work on a name. These members
// read and change nothing of the control, so when the arguments are plain
// str, int and bool they can go straight to the string functions with the
// Windows-1252 bytes. Anything else (other types, keywords, a wrong count,
// a number out of range, a control not set up) takes the dispatch path, so
// results and errors stay those of the dispatch.

#include "python/module/direct_calls.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "python/module/control.h"
#include "python/module/conversion.h"
#include "vexlor/member_table.h"
#include "vexlor/strings/double_metaphone.h"
#include "vexlor/strings/edit_distance.h"
#include "vexlor/strings/gestalt_similarity.h"
#include "vexlor/strings/normalize.h"
#include "vexlor/strings/pattern_compare.h"
#include "vexlor/strings/phonex.h"
#include "vexlor/strings/soundex.h"
#include "vexlor/text.h"

namespace vexlor::python {

namespace {

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
}  // namespace

void DefineDirectCalls(py::module_& m) {
  m.def("_direct_method", &DirectMethod, py::arg("cls"), py::arg("dispid"),
        py::arg("method"));
  g_control_type = py::type::of<Control>().inc_ref().ptr();
  g_control_attribute = PyUnicode_InternFromString("_c");
}

}  // namespace vexlor::python

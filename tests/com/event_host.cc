// A compiled automation client of the registered control: it creates the
// control by ProgID, connects an event sink of its own through the
// connection point, runs a duplicate search through IDispatch::Invoke and
// checks the events that arrive, cancels a second search from inside a
// sink call, and checks the dispatch errors, the class information and
// the module's unload answer. Script hosts cannot reach most of this.
//
// Prints one line per failed check and a summary line; the exit code is the
// number of failures.

#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// {6F3A2C10-8B4D-4E7A-9C21-5D0E7B3F1A01}, the control's class.
const CLSID kControlClsid = {0x6F3A2C10,
                             0x8B4D,
                             0x4E7A,
                             {0x9C, 0x21, 0x5D, 0x0E, 0x7B, 0x3F, 0x1A, 0x01}};
// {6F3A2C10-8B4D-4E7A-9C21-5D0E7B3F1A04}, the events dispinterface.
const IID kEventsIid = {0x6F3A2C10,
                        0x8B4D,
                        0x4E7A,
                        {0x9C, 0x21, 0x5D, 0x0E, 0x7B, 0x3F, 0x1A, 0x04}};

constexpr DISPID kDispidCSVDelimiter = 2;
constexpr DISPID kDispidSoundex = 7;
constexpr DISPID kDispidEditDistance = 10;
constexpr DISPID kDispidListAddField = 16;
constexpr DISPID kDispidCancel = 17;
constexpr DISPID kDispidDupeSearch = 18;
constexpr DISPID kDispidUnused = 19;
constexpr DISPID kDispidCanceledByUser = 27;
constexpr DISPID kDispidLastError = 28;
constexpr DISPID kEventProgress = 1;
constexpr DISPID kEventProgressDupeSearch = 2;

// 305 rows keep every periodic report below 100 percent; the counts and
// figures below are what the Linux command reports for the same table.
constexpr int kRows = 305;
constexpr int kProgressEvents = 4;
constexpr int kDupeSearchEvents = 32;
constexpr int kLastDepthMax = 202;
constexpr int kLastDupesFound = 55;
constexpr int kLastDupesFound2 = 402;
constexpr int kCancelAtEvent = 5;

int checks = 0;
int failures = 0;

void Check(bool ok, const std::string& what) {
  ++checks;
  if (!ok) {
    ++failures;
    std::printf("FAIL %s\n", what.c_str());
  }
}

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

// One event as the sink received it; `types` lists the argument types in
// declaration order ("2 5 3 8 3 8" for Progress).
struct Event {
  DISPID id = 0;
  std::string types;
  double percent = 0;
  int action = 0;
  int record_no = 0;
  double record_count = 0;
  int depth_max = 0;
  int found = 0;
  int found2 = 0;
  std::wstring elapsed;
};

HRESULT CallControl(IDispatch* control, DISPID id, WORD flags,
                    std::vector<VARIANT> args, VARIANT* result,
                    UINT* arg_error = nullptr);

// An event sink that lives on the stack and records what arrives; it can
// cancel the running call from inside the n-th ProgressDupeSearch.
class Sink : public IDispatch {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == kEventsIid) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID,
                                          DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD,
                                   DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    events.push_back(Read(id, *params));
    if (id == kEventProgressDupeSearch && ++dupe_search_events == cancel_at) {
      VARIANT ignored;
      VariantInit(&ignored);
      Check(CallControl(control, kDispidCancel, DISPATCH_METHOD, {},
                        &ignored) == S_OK,
            "Cancel from inside an event");
    }
    return S_OK;
  }

  ULONG references = 1;
  std::vector<Event> events;
  IDispatch* control = nullptr;
  int cancel_at = -1;
  int dupe_search_events = 0;

 private:
  // Arguments arrive last first.
  static const VARIANT& Arg(const DISPPARAMS& params, UINT i) {
    return params.rgvarg[params.cArgs - 1 - i];
  }
  static Event Read(DISPID id, const DISPPARAMS& params) {
    Event e;
    e.id = id;
    for (UINT i = 0; i < params.cArgs; ++i) {
      e.types += (i ? " " : "") + std::to_string(Arg(params, i).vt);
    }
    if (id == kEventProgress && params.cArgs == 6) {
      e.action = Arg(params, 0).iVal;
      e.percent = Arg(params, 1).dblVal;
      e.elapsed = Arg(params, 3).bstrVal ? Arg(params, 3).bstrVal : L"";
    } else if (id == kEventProgressDupeSearch && params.cArgs == 12) {
      e.percent = Arg(params, 0).dblVal;
      e.record_no = Arg(params, 1).lVal;
      e.record_count = Arg(params, 2).dblVal;
      e.depth_max = Arg(params, 4).lVal;
      e.found = Arg(params, 6).lVal;
      e.found2 = Arg(params, 7).lVal;
      e.elapsed = Arg(params, 9).bstrVal ? Arg(params, 9).bstrVal : L"";
    }
    return e;
  }
};

// Invokes `id` with `args` in declaration order; the variants in `args`
// are cleared afterwards.
HRESULT CallControl(IDispatch* control, DISPID id, WORD flags,
                    std::vector<VARIANT> args, VARIANT* result,
                    UINT* arg_error) {
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params = {reversed.data(), nullptr,
                       static_cast<UINT>(reversed.size()), 0};
  if (flags == DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &put;
    params.cNamedArgs = 1;
  }
  UINT ignored = 0;
  HRESULT hr =
      control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result,
                      nullptr, arg_error ? arg_error : &ignored);
  for (VARIANT& v : reversed) VariantClear(&v);
  return hr;
}

VARIANT Str(const wchar_t* text) {
  VARIANT v;
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(text);
  return v;
}
VARIANT I2(short value) {
  VARIANT v;
  v.vt = VT_I2;
  v.iVal = value;
  return v;
}
VARIANT I4(long value) {
  VARIANT v;
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}
VARIANT R8(double value) {
  VARIANT v;
  v.vt = VT_R8;
  v.dblVal = value;
  return v;
}
VARIANT Bool(bool value) {
  VARIANT v;
  v.vt = VT_BOOL;
  v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

// Rows of (row number, name, town) whose names repeat in pairs with a
// one-letter variant, columns first as the control expects.
VARIANT GroupTable() {
  static const wchar_t* const kNames[] = {L"Meier",  L"Schulz", L"Hoffmann",
                                          L"Becker", L"Wagner", L"Zimmermann"};
  SAFEARRAYBOUND bounds[2] = {{3, 0}, {kRows, 0}};
  VARIANT table;
  table.vt = VT_ARRAY | VT_VARIANT;
  table.parray = SafeArrayCreate(VT_VARIANT, 2, bounds);
  for (LONG r = 0; r < kRows; ++r) {
    std::wstring name = kNames[(r / 2) % 6];
    if (r % 2 == 1) name += L"s";
    name += L" " + std::to_wstring(r / 12);
    VARIANT cells[3] = {I4(r), Str(name.c_str()),
                        Str(r % 3 == 0 ? L"Berlin" : L"Hamburg")};
    for (LONG c = 0; c < 3; ++c) {
      LONG index[2] = {c, r};
      SafeArrayPutElement(table.parray, index, &cells[c]);
      VariantClear(&cells[c]);
    }
  }
  return table;
}

// DupeSearch of the group table with every label (ShowProgress false, so
// events instead of a window).
HRESULT DupeSearch(IDispatch* control, VARIANT* result) {
  return CallControl(
      control, kDispidDupeSearch, DISPATCH_METHOD,
      {GroupTable(), I4(0), R8(80), R8(0.5), Str(L""), I2(1), Bool(false)},
      result);
}

std::string Shape(const VARIANT& v) {
  if (v.vt != (VT_ARRAY | VT_VARIANT) || v.parray == nullptr ||
      SafeArrayGetDim(v.parray) != 2) {
    return "vt " + std::to_string(v.vt);
  }
  LONG columns = 0, rows = 0;
  SafeArrayGetUBound(v.parray, 1, &columns);
  SafeArrayGetUBound(v.parray, 2, &rows);
  return std::to_string(columns + 1) + "x" + std::to_string(rows + 1);
}

void CheckClassInfo(IDispatch* control) {
  IProvideClassInfo2* info = nullptr;
  HRESULT hr = control->QueryInterface(IID_IProvideClassInfo2,
                                       reinterpret_cast<void**>(&info));
  Check(hr == S_OK, "IProvideClassInfo2 " + Hex(hr));
  if (hr != S_OK) return;
  GUID source = GUID_NULL;
  hr = info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source);
  Check(hr == S_OK && source == kEventsIid, "default source IID " + Hex(hr));
  ITypeInfo* type = nullptr;
  hr = info->GetClassInfo(&type);
  Check(hr == S_OK, "GetClassInfo " + Hex(hr));
  if (hr == S_OK) {
    TYPEATTR* attributes = nullptr;
    if (type->GetTypeAttr(&attributes) == S_OK) {
      Check(attributes->guid == kControlClsid &&
                attributes->typekind == TKIND_COCLASS,
            "class info describes the control's coclass");
      type->ReleaseTypeAttr(attributes);
    }
    type->Release();
  }
  info->Release();
}

void CheckNames(IDispatch* control) {
  struct Case {
    const wchar_t* name;
    DISPID id;
    HRESULT hr;
  } const cases[] = {
      {L"dupesearch", kDispidDupeSearch, S_OK},
      {L"SOUNDEX", kDispidSoundex, S_OK},
      {L"CanceledByUser", kDispidCanceledByUser, S_OK},
      {L"csvdelimiter", kDispidCSVDelimiter, S_OK},
      {L"aboutbox", DISPID_ABOUTBOX, S_OK},
      {L"NoSuchMember", DISPID_UNKNOWN, DISP_E_UNKNOWNNAME},
  };
  for (const Case& k : cases) {
    LPOLESTR name = const_cast<LPOLESTR>(k.name);
    DISPID id = 0;
    HRESULT hr =
        control->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    std::string what(k.name, k.name + wcslen(k.name));
    Check(hr == k.hr && id == k.id, "GetIDsOfNames " + what + ": " + Hex(hr) +
                                        " id " + std::to_string(id));
  }
}

void CheckInvokeErrors(IDispatch* control) {
  struct Case {
    const char* what;
    DISPID id;
    std::vector<VARIANT> args;
    HRESULT hr;
    UINT arg_error;  // index in the reversed argument list; ~0u: not set
  } cases[] = {
      {"one argument of two",
       kDispidEditDistance,
       {Str(L"a")},
       DISP_E_BADPARAMCOUNT,
       ~0u},
      {"text for the weight",
       kDispidListAddField,
       {Str(L"a"), Str(L"b"), Str(L"abc"), Bool(false)},
       DISP_E_TYPEMISMATCH,
       1},
      {"70000 for a short",
       kDispidSoundex,
       {Str(L"Lee"), I4(70000), Bool(false)},
       DISP_E_OVERFLOW,
       1},
      {"identifier 19", kDispidUnused, {}, DISP_E_MEMBERNOTFOUND, ~0u},
  };
  for (Case& k : cases) {
    VARIANT result;
    VariantInit(&result);
    UINT arg_error = ~0u;
    HRESULT hr = CallControl(control, k.id, DISPATCH_METHOD, k.args, &result,
                             &arg_error);
    Check(hr == k.hr, std::string(k.what) + ": " + Hex(hr));
    if (k.arg_error != ~0u) {
      Check(arg_error == k.arg_error,
            std::string(k.what) + ": puArgErr " + std::to_string(arg_error));
    }
    VariantClear(&result);
  }
  VARIANT result;
  VariantInit(&result);
  HRESULT hr = CallControl(control, kDispidSoundex, DISPATCH_METHOD,
                           {Str(L"Robert"), I4(4), Bool(false)}, &result);
  Check(hr == S_OK && result.vt == VT_BSTR &&
            std::wstring(result.bstrVal) == L"r163",
        "soundex through Invoke " + Hex(hr));
  VariantClear(&result);
  hr = CallControl(control, kDispidCSVDelimiter, DISPATCH_PROPERTYPUT,
                   {Str(L",")}, nullptr);
  Check(hr == S_OK, "CSVDelimiter put " + Hex(hr));
  hr = CallControl(control, kDispidCSVDelimiter, DISPATCH_PROPERTYGET, {},
                   &result);
  Check(hr == S_OK && result.vt == VT_BSTR &&
            std::wstring(result.bstrVal) == L",",
        "CSVDelimiter get " + Hex(hr));
  VariantClear(&result);
}

void CheckSearchEvents(const std::vector<Event>& events) {
  int progress = 0, dupe_search = 0, last_record = -1;
  bool order = true, range = true, types = true;
  for (const Event& e : events) {
    if (e.id == kEventProgress) {
      ++progress;
      order = order && dupe_search == 0;
      types = types && e.types == "2 5 3 8 3 8" && e.action == 1;
    } else if (e.id == kEventProgressDupeSearch) {
      ++dupe_search;
      types = types && e.types == "5 3 5 3 3 5 3 3 3 8 3 8";
      order = order && e.record_no > last_record && e.record_count == kRows;
      last_record = e.record_no;
    } else {
      order = false;
    }
    range = range && e.percent >= 0 && e.percent <= 100;
  }
  Check(progress == kProgressEvents && dupe_search == kDupeSearchEvents,
        "event counts " + std::to_string(progress) + " and " +
            std::to_string(dupe_search));
  Check(order, "Progress events first, then RecordNo increasing");
  Check(range, "PercentDone within 0 to 100");
  Check(types, "event argument types and Action 1");
  if (events.empty()) return;
  Check(events.front().percent == 0 && events.front().elapsed == L"00:00",
        "first event at 0 percent with 00:00");
  const Event& last = events.back();
  Check(last.percent == 100 && last.record_no == kRows &&
            last.depth_max == kLastDepthMax && last.found == kLastDupesFound &&
            last.found2 == kLastDupesFound2,
        "closing event: 100 percent, RecordNo " +
            std::to_string(last.record_no) + ", DepthMax " +
            std::to_string(last.depth_max) + ", found " +
            std::to_string(last.found) + " (" + std::to_string(last.found2) +
            ")");
}

void CheckEvents(IDispatch* control) {
  IConnectionPointContainer* container = nullptr;
  HRESULT hr = control->QueryInterface(IID_IConnectionPointContainer,
                                       reinterpret_cast<void**>(&container));
  Check(hr == S_OK, "IConnectionPointContainer " + Hex(hr));
  if (hr != S_OK) return;
  IConnectionPoint* point = nullptr;
  hr = container->FindConnectionPoint(kEventsIid, &point);
  Check(hr == S_OK, "FindConnectionPoint " + Hex(hr));
  container->Release();
  if (hr != S_OK) return;
  Sink sink;
  sink.control = control;
  DWORD cookie = 0;
  hr = point->Advise(&sink, &cookie);
  Check(hr == S_OK && cookie != 0, "Advise " + Hex(hr));

  VARIANT result;
  VariantInit(&result);
  hr = DupeSearch(control, &result);
  Check(hr == S_OK && Shape(result) == "4x305",
        "DupeSearch through Invoke: " + Hex(hr) + " " + Shape(result));
  VariantClear(&result);
  CheckSearchEvents(sink.events);

  sink.events.clear();
  sink.dupe_search_events = 0;
  sink.cancel_at = kCancelAtEvent;
  hr = DupeSearch(control, &result);
  Check(hr == S_OK && result.vt == VT_EMPTY,
        "cancelled DupeSearch returns Empty: " + Hex(hr) + " " + Shape(result));
  VariantClear(&result);
  Check(sink.dupe_search_events == kCancelAtEvent,
        "no event after Cancel: " + std::to_string(sink.dupe_search_events));
  hr =
      CallControl(control, kDispidCanceledByUser, DISPATCH_METHOD, {}, &result);
  Check(hr == S_OK && result.vt == VT_BOOL && result.boolVal == VARIANT_TRUE,
        "CanceledByUser after Cancel");
  hr = CallControl(control, kDispidLastError, DISPATCH_METHOD, {}, &result);
  Check(hr == S_OK && result.vt == VT_I4 && result.lVal == 0,
        "LastError after Cancel");

  hr = point->Unadvise(cookie);
  Check(hr == S_OK, "Unadvise " + Hex(hr));
  Check(sink.references == 1,
        "sink released: " + std::to_string(sink.references) + " references");
  sink.events.clear();
  hr = DupeSearch(control, &result);
  VariantClear(&result);
  Check(sink.events.empty(), "no events after Unadvise");
  point->Release();
}

using CanUnloadNow = HRESULT(WINAPI*)();

int Run() {
  CLSID clsid = GUID_NULL;
  HRESULT hr = CLSIDFromProgID(L"VEXLOR.VexlorCtrl.1", &clsid);
  Check(hr == S_OK && clsid == kControlClsid, "CLSIDFromProgID " + Hex(hr));
  IDispatch* control = nullptr;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                        reinterpret_cast<void**>(&control));
  Check(hr == S_OK, "CoCreateInstance " + Hex(hr));
  if (hr != S_OK) return failures;
  HMODULE module = GetModuleHandleW(L"vexlor.dll");
  Check(module != nullptr, "vexlor.dll loaded in the process");
  CanUnloadNow can_unload_now = nullptr;
  if (module != nullptr) {
    can_unload_now =
        reinterpret_cast<CanUnloadNow>(reinterpret_cast<void (*)()>(
            GetProcAddress(module, "DllCanUnloadNow")));
  }
  Check(can_unload_now != nullptr, "DllCanUnloadNow exported");

  CheckClassInfo(control);
  CheckNames(control);
  CheckInvokeErrors(control);
  CheckEvents(control);

  if (can_unload_now != nullptr) {
    Check(can_unload_now() == S_FALSE,
          "DllCanUnloadNow while the control lives");
  }
  control->Release();
  if (can_unload_now != nullptr) {
    hr = can_unload_now();
    Check(hr == S_OK, "DllCanUnloadNow after the last release " + Hex(hr));
  }
  return failures;
}

}  // namespace

int main() {
  HRESULT hr = CoInitialize(nullptr);
  Check(SUCCEEDED(hr), "CoInitialize " + Hex(hr));
  Run();
  CoUninitialize();
  std::printf("event_host: %d checks, %d failed\n", checks, failures);
  return failures > 255 ? 255 : failures;
}

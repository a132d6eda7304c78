#include "tests/com_ui/progress_checks.h"

#include <commctrl.h>

#include <cstdlib>
#include <cwctype>
#include <functional>
#include <iterator>
#include <set>
#include <thread>
#include <vector>

#include "tests/com_ui/checks.h"
#include "tests/com_ui/window_probe.h"
#include "vexlor/member_table.h"
#include "vexlor/progress_window.h"
#include "vexlor/tables/string_ids.h"
#include "vexlor/variant_array.h"
#include "vexlor/vexlor_ctrl.h"

namespace vexlor::ui_test {

namespace {

using platform::Variant;

constexpr DISPID kDispidCanceledByUser = 27;

// Tables: names that repeat with small differences, so that every method
// finds work in both stages; the same cells for the library and for COM.

constexpr int kColumns = 3;

std::wstring Cell(int column, int row, int salt) {
  static const wchar_t* const kNames[] = {L"Meier",  L"Schulz", L"Hoffmann",
                                          L"Becker", L"Wagner", L"Zimmermann"};
  if (column == 0) return std::to_wstring(row);
  if (column == 2) return row % 3 == 0 ? L"Berlin" : L"Hamburg";
  std::wstring name = kNames[(row / 2 + salt) % 6];
  if (row % 2 == 1) name += L"s";
  return name + L" " + std::to_wstring(row / 12);
}

Variant LibraryTable(int rows, int salt) {
  Variant table = platform::VariantArray::NewTable(kColumns, rows);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < kColumns; ++c) {
      std::wstring text = Cell(c, r, salt);
      table.AsArray()->cell(c, r) =
          Variant::String(std::u16string(text.begin(), text.end()));
    }
  }
  return table;
}

// The value as a caller of the DLL passes it; the calls here use numbers,
// flags, texts and tables of texts.
VARIANT ToCom(const Variant& v) {
  VARIANT out;
  VariantInit(&out);
  if (const platform::VariantArray* cells = v.AsArray()) {
    SAFEARRAYBOUND bounds[2] = {{cells->columns(), 0}, {cells->rows(), 0}};
    out.vt = VT_ARRAY | VT_VARIANT;
    out.parray = SafeArrayCreate(VT_VARIANT, 2, bounds);
    for (LONG r = 0; r < static_cast<LONG>(cells->rows()); ++r) {
      for (LONG c = 0; c < static_cast<LONG>(cells->columns()); ++c) {
        VARIANT cell = ToCom(cells->cell(c, r));
        LONG at[2] = {c, r};
        SafeArrayPutElement(out.parray, at, &cell);
        VariantClear(&cell);
      }
    }
  } else if (v.IsString()) {
    std::u16string_view text = v.AsString();
    out.vt = VT_BSTR;
    out.bstrVal =
        SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                          static_cast<UINT>(text.size()));
  } else if (v.vt() == platform::VT_BOOL) {
    out.vt = VT_BOOL;
    out.boolVal = v.AsBool() ? VARIANT_TRUE : VARIANT_FALSE;
  } else {
    out.vt = VT_R8;
    out.dblVal = v.AsDouble();
  }
  return out;
}

// The states of a progress window as the model has them at each report:
// caption, items 202 to 210 and the bar. Elapsed and remaining time depend
// on the clock, so they are left out (and checked for their form alone).

std::wstring StateKey(std::wstring caption,
                      const std::function<std::wstring(int)>& item, int bar) {
  std::wstring key = caption;
  for (int id = kItemClusterCurrent; id <= kItemFoundLabel; ++id) {
    bool clock = id == kItemElapsed || id == kItemEta;
    key += L"|" + (clock ? L"*" : item(id));
  }
  return key + L"|" + std::to_wstring(bar);
}

class RecordingPresenter final : public WindowPresenter {
 public:
  explicit RecordingPresenter(Language language) : language_(language) {}
  void Show(ProgressWindow&) override {}
  void Refresh(ProgressWindow&) override {}
  void Close(ProgressWindow&) override {}
  Language language() const override { return language_; }
  void PumpMessages(ProgressWindow& w) override {
    states.insert(StateKey(
        Wide(w.caption()), [&w](int id) { return Wide(w.Text(id)); },
        w.bar_position()));
  }
  std::set<std::wstring> states;

 private:
  Language language_;
};

bool IsClockText(const std::wstring& t) {
  if (t == L"00:00") return true;
  if (t.size() != 8 || t[2] != L':' || t[5] != L':') return false;
  for (size_t i : {0, 1, 3, 4, 6, 7}) {
    if (!iswdigit(t[i])) return false;
  }
  return true;
}

struct Tables {
  Variant master = LibraryTable(1000, 0);
  Variant second = LibraryTable(300, 3);
};

// An argument of a batch call, given to the library and to the DLL alike.
struct Arg {
  enum Kind { kMaster, kSecond, kNumber, kFlag, kText } kind;
  double number = 0;
};
constexpr Arg kMaster = {Arg::kMaster}, kSecond = {Arg::kSecond},
              kShow = {Arg::kFlag, 1}, kNoText = {Arg::kText};
constexpr Arg N(double value) { return {Arg::kNumber, value}; }

struct BatchCase {
  const char* name;
  DISPID dispid;
  int title_id;
  bool wait_window;
  std::vector<Arg> args;
};

// clang-format off
const BatchCase kBatchCases[] = {
    {"DupeSearch", 18, kStrFuzzyDuplicateSearch, false,
     {kMaster, N(0), N(80), N(0.5), kNoText, N(DRR_ALL), kShow}},
    {"FuzzyMerge", 22, kStrFuzzyMerge, false,
     {kMaster, kSecond, N(0), N(80), N(0.5), kNoText, N(MRR_ALL), kShow,
      kNoText, kNoText}},
    {"FuzzyMatch", 25, kStrFuzzyMatch, false,
     {kMaster, kSecond, N(0), N(80), N(0.5), kNoText, N(MAR_ALL), kShow,
      kNoText, kNoText}},
    {"ExactMatchByColumn", 26, kStrFuzzyMatch, false,
     {kMaster, kSecond, N(1), N(MAR_ALL), kShow}},
    {"DeleteDupes", 24, kStrDeleteDuplicates, true,
     {kMaster, N(2), N(2), N(DO_KEEP_FIRST), N(DER_CLEAN), kShow, kNoText}},
};
// clang-format on

std::vector<Variant> LibraryArgs(const BatchCase& c, const Tables& t) {
  std::vector<Variant> out;
  for (const Arg& a : c.args) {
    out.push_back(a.kind == Arg::kMaster   ? t.master
                  : a.kind == Arg::kSecond ? t.second
                  : a.kind == Arg::kNumber ? Variant::R8(a.number)
                  : a.kind == Arg::kFlag   ? Variant::Bool(a.number != 0)
                                           : Variant::String(u""));
  }
  return out;
}

// The person at the progress window, on the second thread.

struct ProgressProbe {
  TestContainer* container = nullptr;
  std::wstring title;
  const DialogTemplate* layout = nullptr;
  const std::set<std::wstring>* states = nullptr;
  std::string screenshot;
  // Set when the batch call has returned.
  HANDLE returned = nullptr;
  // What the probe saw.
  HWND dialog = nullptr;
  bool pressed = false;
  std::vector<std::string> problems;

  void Problem(const std::string& what) { problems.push_back(what); }
};

void CheckLayout(HWND dialog, HWND container, ProgressProbe* probe) {
  const DialogTemplate& t = *probe->layout;
  RECT size = {0, 0, t.width, t.height};
  MapDialogRect(dialog, &size);
  RECT client;
  GetClientRect(dialog, &client);
  if (client.right != size.right || client.bottom != size.bottom) {
    probe->Problem("client size differs from the template's");
  }
  LONG style = GetWindowLongW(dialog, GWL_STYLE);
  if (((style & WS_SYSMENU) != 0) != t.close_box) {
    probe->Problem("close box differs from the template's");
  }
  if (GetWindow(dialog, GW_OWNER) != container) {
    probe->Problem("not owned by the container's window");
  }
  if (GetForegroundWindow() != dialog) probe->Problem("not in the foreground");
  MONITORINFO monitor = {sizeof monitor, {}, {}, 0};
  GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST),
                  &monitor);
  RECT frame;
  GetWindowRect(dialog, &frame);
  if (std::abs((frame.left + frame.right) -
               (monitor.rcWork.left + monitor.rcWork.right)) > 2 ||
      std::abs((frame.top + frame.bottom) -
               (monitor.rcWork.top + monitor.rcWork.bottom)) > 2) {
    probe->Problem("not centred");
  }
  HWND child = GetWindow(dialog, GW_CHILD);
  for (const DialogItem& item : t.items) {
    std::string where = "item " + std::to_string(item.id) + " '" +
                        std::string(item.text) + "': ";
    if (child == nullptr) {
      probe->Problem(where + "missing");
      return;
    }
    wchar_t class_name[64];
    GetClassNameW(child, class_name, 64);
    std::wstring want_class =
        item.kind == ItemKind::kProgressBar ? L"msctls_progress32"
        : item.kind == ItemKind::kButton || item.kind == ItemKind::kGroupBox
            ? L"Button"
            : L"Static";
    if (lstrcmpiW(class_name, want_class.c_str()) != 0) {
      probe->Problem(where + "class " + Narrow(class_name));
    }
    if (GetDlgCtrlID(child) != item.id) probe->Problem(where + "other id");
    // The dialog manager converts place and size each on its own.
    RECT place = {item.x, item.y, item.width, item.height};
    MapDialogRect(dialog, &place);
    RECT want = {place.left, place.top, place.left + place.right,
                 place.top + place.bottom};
    RECT got;
    GetWindowRect(child, &got);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&got), 2);
    if (!EqualRect(&want, &got)) probe->Problem(where + "other place or size");
    bool fixed_text = item.id == kItemStatic || item.kind == ItemKind::kButton;
    if (fixed_text && WindowTextOf(child) != Wide(item.text)) {
      probe->Problem(where + "text " + Narrow(WindowTextOf(child)));
    }
    // (The bar's border is not checked: a themed bar drops WS_BORDER and
    // draws its frame itself.)
    LONG s = GetWindowLongW(child, GWL_STYLE);
    if (want_class == L"Static") {
      LONG align = item.kind == ItemKind::kValue ? SS_RIGHT : SS_LEFTNOWORDWRAP;
      if ((s & SS_TYPEMASK) != align || !(s & SS_NOPREFIX)) {
        probe->Problem(where + "alignment or prefix style");
      }
    }
    child = GetWindow(child, GW_HWNDNEXT);
  }
  if (child != nullptr) probe->Problem("more items than the template");
}

// Looks at the window at reports until one of the last stage's periodic
// reports, then saves it and presses Cancel.
void WatchProgress(ProgressProbe* probe, bool wait_window) {
  HWND dialog = WaitForWindow(probe->title, true, probe->returned);
  probe->dialog = dialog;
  if (dialog == nullptr) return probe->Problem("no window appeared");
  for (int look = 0;; ++look) {
    if (!probe->container->Hold(probe->returned)) {
      return probe->Problem("the call ended before a periodic report");
    }
    if (look == 0) CheckLayout(dialog, probe->container->window(), probe);
    int bar = static_cast<int>(
        SendDlgItemMessageW(dialog, kItemBar, PBM_GETPOS, 0, 0));
    std::wstring key = StateKey(
        WindowTextOf(dialog), [dialog](int id) { return ItemText(dialog, id); },
        bar);
    if (probe->states->count(key) == 0) {
      probe->Problem("a state the model never had: " + Narrow(key));
    }
    for (int id : {kItemElapsed, kItemEta}) {
      if (!IsClockText(ItemText(dialog, id))) {
        probe->Problem("time text " + Narrow(ItemText(dialog, id)));
      }
    }
    bool periodic =
        bar > 0 && (wait_window || ItemText(dialog, kItemRecord) != L"-");
    if (periodic) {
      if (!SaveScreenshot(dialog, probe->screenshot)) {
        probe->Problem("no screenshot " + probe->screenshot);
      }
      Press(dialog, IDCANCEL);
      probe->pressed = true;
    }
    probe->container->Resume();
    if (periodic) return;
  }
}

void CheckProgressWindow(IDispatch* control, const BatchCase& c,
                         const Tables& tables, TestContainer& container,
                         Language language, const std::string& shots) {
  RecordingPresenter recorder(language);
  CVexlorCtrl model;
  model.set_window_presenter(&recorder);
  Variant ignored;
  InvokeError error;
  std::vector<Variant> args = LibraryArgs(c, tables);
  Invoke(model, c.dispid, DISPATCH_METHOD, args, &ignored, &error);

  const char* tag = language == Language::kGerman ? "de" : "en";
  ProgressProbe probe;
  probe.container = &container;
  probe.title = Wide(ResourceString(c.title_id, language));
  probe.layout =
      &Dialog(c.wait_window ? kDialogWait : kDialogProgress, language);
  probe.states = &recorder.states;
  probe.screenshot = shots + "/progress-" + c.name + "-" + tag + ".png";
  probe.returned = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  Phase(c.name);
  std::thread person(WatchProgress, &probe, c.wait_window);
  VARIANT result;
  VariantInit(&result);
  std::vector<VARIANT> com_args;
  for (const Variant& arg : args) com_args.push_back(ToCom(arg));
  HRESULT hr = Call(control, c.dispid, std::move(com_args), &result);
  SetEvent(probe.returned);
  person.join();
  container.DropHoldRequests();
  CloseHandle(probe.returned);
  VariantClear(&result);

  std::string name = std::string(c.name) + " (" + tag + "): ";
  Check(hr == S_OK, name + "the call succeeds");
  for (const std::string& problem : probe.problems)
    Check(false, name + problem);
  Check(probe.pressed, name + "Cancel pressed during a periodic report");
  VARIANT canceled;
  VariantInit(&canceled);
  Check(Call(control, kDispidCanceledByUser, {}, &canceled) == S_OK &&
            canceled.vt == VT_BOOL && canceled.boolVal == VARIANT_TRUE,
        name + "CanceledByUser after Cancel");
  Check(probe.dialog == nullptr || !IsWindow(probe.dialog),
        name + "the window is gone after the call");
}

}  // namespace

void CheckProgressWindows(IDispatch* control, TestContainer& container,
                          Language language, const std::string& shots) {
  Tables tables;
  for (const BatchCase& c : kBatchCases) {
    CheckProgressWindow(control, c, tables, container, language, shots);
  }
}

void CheckWindowTexts(HMODULE dll, Language language) {
  for (int id = kStrComputingClusters; id <= kStrMatchData; ++id) {
    wchar_t text[128];
    int n = LoadStringW(dll, id, text, static_cast<int>(std::size(text)));
    Check(
        std::wstring(text, n > 0 ? n : 0) == Wide(ResourceString(id, language)),
        "string " + std::to_string(id) + " is the window model's");
  }
}

}  // namespace vexlor::ui_test

// The automation object as a host meets it: what a failure inside a call
// tells the host, events whose sinks change the connections, and the
// progress dialog when memory runs out while it opens.
#include "com/automation_object.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>

#include "com/com_module.h"
#include "com/com_object.h"
#include "com/guids.h"
#include "com/progress_dialog.h"
#include "tests/control/control_test_support.h"
#include "vexlor/control/progress_dialogs.h"
#include "vexlor/platform/testing/allocation_walk.h"

namespace vexlor::com {
namespace {

AutomationObject* NewObject() {
  void* out = nullptr;
  EXPECT_EQ(AutomationObject::Create(IID_IDispatch, &out), S_OK);
  return static_cast<AutomationObject*>(static_cast<IDispatch*>(out));
}

TEST(AutomationObjectTest, ExceptionsBecomeErrorsWithTheirDescription) {
  struct Case {
    const char* name;
    std::function<void()> raise;
    HRESULT scode;
    const wchar_t* description;
  };
  const Case kCases[] = {
      {"std::exception", [] { throw std::runtime_error("no display here"); },
       E_FAIL, L"no display here"},
      {"std::bad_alloc", [] { throw std::bad_alloc(); }, E_OUTOFMEMORY,
       L"Out of Memory"},
      {"anything else", [] { throw 7; }, E_UNEXPECTED, L"Unexpected failure"},
  };
  AutomationObject* object = NewObject();
  LPOLESTR name = const_cast<LPOLESTR>(L"AboutBox");
  DISPID about = 0;
  ASSERT_EQ(object->GetIDsOfNames(IID_NULL, &name, 1, 0, &about), S_OK);
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  for (const Case& c : kCases) {
    object->control().set_about_presenter(
        [&](const std::string&) { c.raise(); });
    EXCEPINFO info;
    EXPECT_EQ(object->Invoke(about, IID_NULL, 0, DISPATCH_METHOD, &none,
                             nullptr, &info, nullptr),
              DISP_E_EXCEPTION)
        << c.name;
    EXPECT_EQ(info.scode, c.scode) << c.name;
    EXPECT_STREQ(info.bstrDescription, c.description) << c.name;
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrSource);
    EXPECT_EQ(object->Invoke(about, IID_NULL, 0, DISPATCH_METHOD, &none,
                             nullptr, nullptr, nullptr),
              c.scode)
        << c.name << " without EXCEPINFO";
  }
  object->Release();
}

// An events sink that runs `on_event` at each event.
class TestSink final : public ComObject<IDispatch> {
 public:
  std::function<void()> on_event;

  // clang-format off
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    on_event();
    return S_OK;
  }
  void* FindInterface(REFIID) override { return static_cast<IDispatch*>(this); }
  // clang-format on
};

// Each control's connection point counts its own events under way, so
// controls of two apartments never share one count; a sink may disconnect
// itself in its event.
TEST(AutomationObjectTest, EachConnectionPointCountsItsOwnEvents) {
  AutomationObject* objects[2] = {NewObject(), NewObject()};
  IConnectionPoint* points[2] = {};
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(objects[i]->FindConnectionPoint(EventsIid(), &points[i]), S_OK);
  }
  auto delivering = [&](int i) {
    return static_cast<EventConnectionPoint*>(points[i])->delivering();
  };
  auto* sink = new TestSink();
  DWORD cookie = 0;
  int heard = 0;
  bool seen[2] = {false, true};
  sink->on_event = [&] {
    ++heard;
    seen[0] = delivering(0);
    seen[1] = delivering(1);
    EXPECT_EQ(points[0]->Unadvise(cookie), S_OK);
  };
  ASSERT_EQ(points[0]->Advise(sink, &cookie), S_OK);
  sink->Release();  // the connection holds it now
  objects[0]->control().DupeSearch(testing::GroupTable(24), 0, 80, 0.5, u"",
                                   DRR_ALL, false);
  EXPECT_EQ(heard, 1);
  EXPECT_TRUE(seen[0]);
  EXPECT_FALSE(seen[1]);
  EXPECT_FALSE(delivering(0));
  for (int i = 0; i < 2; ++i) points[i]->Release(), objects[i]->Release();
}

BOOL CALLBACK CountWindow(HWND, LPARAM counter) {
  ++*reinterpret_cast<int*>(counter);
  return TRUE;
}

int CountThreadWindows() {
  int count = 0;
  EnumThreadWindows(GetCurrentThreadId(), CountWindow,
                    reinterpret_cast<LPARAM>(&count));
  return count;
}

// Memory running out while a progress dialog opens leaves no dialog behind
// that would outlive its model.
TEST(AutomationObjectTest, ProgressDialogOpensWholeOrNotAtAll) {
  // The dialog templates are resources of the server's DLL.
  const char* dll = std::getenv("VEXLOR_COM_DLL");
  if (dll == nullptr) GTEST_SKIP() << "VEXLOR_COM_DLL not set";
  std::wstring path = L"Z:";
  for (const char* p = dll; *p; ++p) path.push_back(*p == '/' ? L'\\' : *p);
  HMODULE module =
      LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  SetModuleHandle(module);
  // Opens a dialog and answers how many windows the thread then has.
  auto open = [] {
    ProgressDialogPresenter presenter([] { return HWND{}; });
    CProgressDlg window(&presenter, Language::kEnglish);
    window.Create("Search", "Found");
    return CountThreadWindows();
  };
  if (open() == 0) GTEST_SKIP() << "no window can be created here";
  ASSERT_EQ(CountThreadWindows(), 0);
  platform::testing::WalkAllocationFailures([&](int64_t n) {
    const bool failed = platform::testing::FailsAt(n, [&] {
      try {
        open();
      } catch (const std::bad_alloc&) {
      }
    });
    EXPECT_EQ(CountThreadWindows(), 0);
    return failed;
  });
}

}  // namespace
}  // namespace vexlor::com

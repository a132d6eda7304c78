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
// controls of two apartments never share one count; and a sink that
// disconnects itself and connects another in its event is safe.
TEST(AutomationObjectTest, EachConnectionPointCountsItsOwnEvents) {
  AutomationObject* x = NewObject();
  AutomationObject* y = NewObject();
  IConnectionPoint* x_point = nullptr;
  IConnectionPoint* y_point = nullptr;
  ASSERT_EQ(x->FindConnectionPoint(EventsIid(), &x_point), S_OK);
  ASSERT_EQ(y->FindConnectionPoint(EventsIid(), &y_point), S_OK);
  auto* x_events = static_cast<EventConnectionPoint*>(x_point);
  auto* y_events = static_cast<EventConnectionPoint*>(y_point);

  auto* first = new TestSink();
  auto* second = new TestSink();
  DWORD first_cookie = 0, second_cookie = 0;
  int first_heard = 0, second_heard = 0;
  bool x_delivering = false, y_delivering = true;
  first->on_event = [&] {
    if (++first_heard > 1) return;
    x_delivering = x_events->delivering();
    y_delivering = y_events->delivering();
    EXPECT_EQ(x_point->Unadvise(first_cookie), S_OK);
    EXPECT_EQ(x_point->Advise(second, &second_cookie), S_OK);
  };
  second->on_event = [&] { ++second_heard; };
  ASSERT_EQ(x_point->Advise(first, &first_cookie), S_OK);
  first->Release();  // the connection holds it now

  x->control().DupeSearch(testing::GroupTable(24), 0, 80, 0.5, u"", DRR_ALL,
                          false);
  EXPECT_EQ(first_heard, 1);
  EXPECT_GT(second_heard, 0);
  EXPECT_TRUE(x_delivering);
  EXPECT_FALSE(y_delivering);
  EXPECT_FALSE(x_events->delivering());

  x_point->Unadvise(second_cookie);
  second->Release();
  x_point->Release();
  y_point->Release();
  x->Release();
  y->Release();
}

int CountThreadWindows() {
  int count = 0;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND, LPARAM counter) -> BOOL {
        ++*reinterpret_cast<int*>(counter);
        return TRUE;
      },
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

#include "tests/com_ui/checks.h"

#include <atomic>
#include <cstdio>
#include <thread>

namespace vexlor::ui_test {

namespace {

int checks = 0;
int failures = 0;
std::atomic<const char*> phase{"starting"};

}  // namespace

void Check(bool ok, const std::string& what) {
  ++checks;
  if (!ok) {
    ++failures;
    std::printf("FAIL %s\n", what.c_str());
  }
}

void Phase(const char* what) { phase = what; }

void StartWatchdog(int seconds) {
  std::thread([seconds] {
    Sleep(static_cast<DWORD>(seconds) * 1000);
    std::printf("FAIL the run takes more than %d s, in: %s\n", seconds,
                phase.load());
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 99);
  }).detach();
}

int CheckCount() { return checks; }
int FailureCount() { return failures; }

std::wstring Wide(std::string_view utf8) {
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(),
                              static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                      out.data(), n);
  return out;
}

std::string Narrow(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(),
                              static_cast<int>(text.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                      out.data(), n, nullptr, nullptr);
  return out;
}

HRESULT Call(IDispatch* control, DISPID id, std::vector<VARIANT> args,
             VARIANT* result) {
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPPARAMS params = {reversed.data(), nullptr,
                       static_cast<UINT>(reversed.size()), 0};
  UINT arg_error = 0;
  HRESULT hr = control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT,
                               DISPATCH_METHOD | DISPATCH_PROPERTYGET, &params,
                               result, nullptr, &arg_error);
  for (VARIANT& v : reversed) VariantClear(&v);
  return hr;
}

}  // namespace vexlor::ui_test

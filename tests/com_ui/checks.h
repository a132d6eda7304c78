// What the parts of the UI test host share: the counters behind its
// summary line, the control's identifiers, calls through IDispatch, and
// text between the library's UTF-8 and the window system's UTF-16.
#ifndef VEXLOR_TESTS_COM_UI_CHECKS_H_
#define VEXLOR_TESTS_COM_UI_CHECKS_H_

#include <windows.h>
#include <oaidl.h>

#include <string>
#include <string_view>
#include <vector>

namespace vexlor::ui_test {

// {6F3A2C10-8B4D-4E7A-9C21-5D0E7B3F1A01} and ...02: the control, its page.
inline constexpr CLSID kControlClsid = {
    0x6F3A2C10,
    0x8B4D,
    0x4E7A,
    {0x9C, 0x21, 0x5D, 0x0E, 0x7B, 0x3F, 0x1A, 0x01}};
inline constexpr CLSID kPageClsid = {
    0x6F3A2C10,
    0x8B4D,
    0x4E7A,
    {0x9C, 0x21, 0x5D, 0x0E, 0x7B, 0x3F, 0x1A, 0x02}};

// Counts a check and prints "FAIL what" when it failed.
void Check(bool ok, const std::string& what);
int CheckCount();
int FailureCount();

// Names what the run is doing, for the watchdog's message.
void Phase(const char* what);
// Ends the process with a failure when the run takes longer than
// `seconds`, naming the phase it hangs in: a window that nobody closes
// must fail the test, not stall it.
void StartWatchdog(int seconds);

std::wstring Wide(std::string_view utf8);
std::string Narrow(const std::wstring& text);

// Invokes `id` with `args` in declaration order, clearing them afterwards.
HRESULT Call(IDispatch* control, DISPID id, std::vector<VARIANT> args,
             VARIANT* result);

}  // namespace vexlor::ui_test

#endif  // VEXLOR_TESTS_COM_UI_CHECKS_H_

// Looking at the control's windows from a second thread, as a person
// would: finding a window by its title, reading texts, pressing buttons and
// saving what the screen shows. Reading another thread's window sends it a
// message, so the window's thread must be dispatching (in a report, in a
// modal loop, or held by TestContainer::Hold).
#ifndef VEXLOR_TESTS_COM_UI_WINDOW_PROBE_H_
#define VEXLOR_TESTS_COM_UI_WINDOW_PROBE_H_

#include <windows.h>

#include <string>

namespace vexlor::ui_test {

// The top-level window of this process whose title contains `title`
// (exactly equals it when `exact`) and which is visible; waits for it up
// to 30 s. Null when `stop` is signalled first or time runs out.
HWND WaitForWindow(const std::wstring& title, bool exact, HANDLE stop);

std::wstring WindowTextOf(HWND window);
std::wstring ItemText(HWND dialog, int id);

// Clicks button `id` of `dialog` as the mouse would.
void Press(HWND dialog, int id);

// Asks every visible top-level window of this process but `keep` to
// close: what a test does when it cannot find the modal window it waits
// for, so that the run goes on.
void CloseOtherWindows(HWND keep);

// Repaints `window` and saves the screen's pixels in its rectangle.
bool SaveScreenshot(HWND window, const std::string& path);

}  // namespace vexlor::ui_test

#endif  // VEXLOR_TESTS_COM_UI_WINDOW_PROBE_H_

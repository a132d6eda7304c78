// The About box: dialog 1 of the module, shown modally over the container's
// window. Its first line is the first line of the library's About text (the
// name and version); the rights notice and the pointer to documentation and
// updates are the template's own, in the thread's user-interface language.
#ifndef VEXLOR_COM_ABOUT_DIALOG_H_
#define VEXLOR_COM_ABOUT_DIALOG_H_

#include <windows.h>

#include <string>

namespace vexlor::com {

// Shows the box over `owner` (may be null) and returns when the user
// closes it. Returns at once when no window can be created.
void ShowAboutBox(HWND owner, const std::string& about_text);

}  // namespace vexlor::com

#endif  // VEXLOR_COM_ABOUT_DIALOG_H_

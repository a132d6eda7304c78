// The control's own window while it is active in place: a child of the
// container's window at the place the container gives, painting the
// design-time picture. The control is invisible at run time, so the
// window is shown only while the container is in design mode.
#ifndef VEXLOR_COM_CONTROL_WINDOW_H_
#define VEXLOR_COM_CONTROL_WINDOW_H_

#include <windows.h>

namespace vexlor::com {

// Creates the window under `parent` at `position` (client coordinates of
// the parent), visible or hidden. Null when it cannot be created.
HWND CreateControlWindow(HWND parent, const RECT& position, bool visible);

// Destroys a window made by CreateControlWindow (one its parent already
// took down is fine). The window class goes with the last window, so that
// the module can be unloaded without leaving a class behind whose window
// procedure is gone.
void DestroyControlWindow(HWND window);

}  // namespace vexlor::com

#endif  // VEXLOR_COM_CONTROL_WINDOW_H_

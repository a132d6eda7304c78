// How the control looks on a form in a designer: a raised edge around its
// rectangle and, inside the edge, the module's bitmap 201 stretched to fill
// what is left. Containers get it through IViewObject::Draw; the control's
// own window paints it while the control is active in place.
#ifndef VEXLOR_COM_DESIGN_TIME_PICTURE_H_
#define VEXLOR_COM_DESIGN_TIME_PICTURE_H_

#include <windows.h>

namespace vexlor::com {

// Draws into `dc` at `bounds` (logical units of `dc`). The edge is always
// drawn; returns false when the bitmap could not be loaded or rendered.
// Loads the bitmap on each call, as drawing is rare.
bool DrawDesignTimePicture(HDC dc, const RECT& bounds);

}  // namespace vexlor::com

#endif  // VEXLOR_COM_DESIGN_TIME_PICTURE_H_

// The control as a form designer and its user meet it: the design-time
// face (status bits, fixed extent, property pages, the picture drawn
// through IViewObject and compared pixel by pixel with the edge and bitmap
// 201, saving and loading), the About box and the property page in its
// frame. Modal windows are found, read, saved as screenshots and closed by
// a second thread.
#ifndef VEXLOR_TESTS_COM_UI_FACE_CHECKS_H_
#define VEXLOR_TESTS_COM_UI_FACE_CHECKS_H_

#include <windows.h>
#include <ocidl.h>

#include <string>

#include "tests/com_ui/test_container.h"
#include "vexlor/resources.h"

namespace vexlor::ui_test {

// `dll` is the loaded module, whose bitmap 201 the drawing must show;
// design-time.png goes to `shots`.
void CheckDesignTimeFace(IOleObject* control, HMODULE dll,
                         const std::string& shots);
void CheckPersistence(IOleObject* control);
// about-LANGUAGE.png and property-page-LANGUAGE.png go to `shots`.
void CheckAboutBox(IDispatch* control, TestContainer& container,
                   Language language, const std::string& shots);
void CheckPropertyPage(IOleObject* control, TestContainer& container,
                       Language language, const std::string& shots);

}  // namespace vexlor::ui_test

#endif  // VEXLOR_TESTS_COM_UI_FACE_CHECKS_H_

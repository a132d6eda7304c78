// The progress windows of the five batch methods, seen by a person.
//
// Each method runs on the embedded control with ShowProgress on tables
// large enough for several reports, while a second thread finds the window
// by its run-time title, holds the host's thread still at a report, reads
// the window and compares it with the window model of the library: the
// template (every item's class, id, place, size, alignment and fixed
// text) and the state (caption, status, values, found label, bar), which
// must be one the model itself produced for the same call. At one of the
// last stage's periodic reports it saves a screenshot and presses Cancel;
// the call must then end cancelled and the window be gone.
#ifndef VEXLOR_TESTS_COM_UI_PROGRESS_CHECKS_H_
#define VEXLOR_TESTS_COM_UI_PROGRESS_CHECKS_H_

#include <windows.h>
#include <oaidl.h>

#include <string>

#include "tests/com_ui/test_container.h"
#include "vexlor/resources.h"

namespace vexlor::ui_test {

// Screenshots go to `shots`/progress-METHOD-LANGUAGE.png.
void CheckProgressWindows(IDispatch* control, TestContainer& container,
                          Language language, const std::string& shots);

// The module's strings 201 to 213, as the platform picks them for the
// thread, are the window model's texts in `language`.
void CheckWindowTexts(HMODULE dll, Language language);

}  // namespace vexlor::ui_test

#endif  // VEXLOR_TESTS_COM_UI_PROGRESS_CHECKS_H_

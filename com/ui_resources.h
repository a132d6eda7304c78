// The module's windows in the language they are shown in.
//
// The module carries its dialogs and texts in English and German. A window
// takes the German ones when the thread's user-interface language is
// German (any German region), the English ones otherwise, and its template
// and the texts filled in at run time always come from the same language.
#ifndef VEXLOR_COM_UI_RESOURCES_H_
#define VEXLOR_COM_UI_RESOURCES_H_

#include <windows.h>

#include <string>
#include <string_view>

#include "vexlor/resources.h"

namespace vexlor::com {

// The language of the calling thread's user interface. O(1).
Language ThreadUiLanguage();

// The dialog template `id` of this module in `language`; where the module
// has none in that language, the one the platform's resource lookup
// chooses; null when the module has no such dialog. The template lives as
// long as the module.
const DLGTEMPLATE* FindDialog(int id, Language language);

// A window text (UTF-8, as the window models keep them) as UTF-16.
std::wstring WindowText(std::string_view utf8);

// Makes the common controls (the progress bar) available to dialogs.
// Cheap after the first call.
void InitCommonControlsOnce();

}  // namespace vexlor::com

#endif  // VEXLOR_COM_UI_RESOURCES_H_

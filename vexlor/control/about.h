// The About text and the version of the library.
#ifndef VEXLOR_CONTROL_ABOUT_H_
#define VEXLOR_CONTROL_ABOUT_H_

#include <string>

#include "vexlor/export.h"

namespace vexlor {

inline constexpr const char* kVersion = "5.7.0";

// Three lines: name and version, the rights notice, where to find
// information and updates.
VEXLOR_EXPORT std::string AboutText();

}  // namespace vexlor

#endif  // VEXLOR_CONTROL_ABOUT_H_

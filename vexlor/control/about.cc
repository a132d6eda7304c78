#include "vexlor/control/about.h"

namespace vexlor {

std::string AboutText() {
  return std::string("Vexlor Control, Version ") + kVersion +
         "\n"
         "Copyright (c) 2026 The Vexlor developers. All rights reserved.\n"
         "Documentation and updates: see the README and docs/ of the Vexlor "
         "distribution.\n";
}

}  // namespace vexlor

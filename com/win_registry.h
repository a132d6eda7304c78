// The module's registration written to the Windows registry: the classes
// below HKEY_CLASSES_ROOT and the type library through the automation
// runtime.
#ifndef VEXLOR_COM_WIN_REGISTRY_H_
#define VEXLOR_COM_WIN_REGISTRY_H_

#include <string>

#include "vexlor/control/module.h"

namespace vexlor::com {

// Key paths, value names and values arrive as UTF-8 and are written as
// UTF-16, so a module path outside the ANSI code page survives.
class WinRegistry : public RegistryStore {
 public:
  bool RegisterTypeLib(const std::string& libid, int major, int minor,
                       const std::string& module_path) override;
  bool UnregisterTypeLib(const std::string& libid, int major,
                         int minor) override;
  bool SetValue(const std::string& key, const std::string& name,
                const std::string& value) override;
  bool CreateKey(const std::string& key) override;
  bool DeleteTree(const std::string& key) override;
};

}  // namespace vexlor::com

#endif  // VEXLOR_COM_WIN_REGISTRY_H_

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
//
// On 64-bit Windows the 32-bit and the 64-bit server register side by side:
// class keys live in a view of the registry per architecture, but the
// ProgID and the type library's keys are shared. While the other
// architecture's server is still registered, unregistering leaves the
// shared keys to it and removes only what is this architecture's own.
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

 private:
  // Whether the control class is registered in the other architecture's
  // view; asked once, before anything is removed.
  bool OtherViewRegistered();

  int other_view_registered_ = -1;  // not asked yet
};

}  // namespace vexlor::com

#endif  // VEXLOR_COM_WIN_REGISTRY_H_

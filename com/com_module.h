// What the in-process server keeps for its whole life: its own module
// handle and path, the count of live objects and server locks that
// DllCanUnloadNow answers from, and the type library embedded in the
// module.
#ifndef VEXLOR_COM_COM_MODULE_H_
#define VEXLOR_COM_COM_MODULE_H_

#include <windows.h>
#include <oaidl.h>

#include <string>

namespace vexlor::com {

// Set once by DllMain.
void SetModuleHandle(HMODULE module);
HMODULE ModuleHandle();
// The full path of this DLL as UTF-16; empty when it cannot be read.
std::wstring ModulePath();

// Every COM object of the server counts itself in and out, as does every
// IClassFactory::LockServer(TRUE) call.
void AddObjectRef();
void ReleaseObjectRef();
bool CanUnload();

// The module's type library (resource TYPELIB 1), loaded once without
// registering it. Returns an added reference, or nullptr with `*status`
// set when it cannot be loaded.
ITypeLib* LoadModuleTypeLib(HRESULT* status);
// Type information of one interface or class of that library, by its GUID;
// an added reference or nullptr.
ITypeInfo* ModuleTypeInfo(REFGUID guid, HRESULT* status);

// Counts an object in for its lifetime.
class ObjectCount {
 public:
  ObjectCount() { AddObjectRef(); }
  ~ObjectCount() { ReleaseObjectRef(); }
  ObjectCount(const ObjectCount&) = delete;
  ObjectCount& operator=(const ObjectCount&) = delete;
};

}  // namespace vexlor::com

#endif  // VEXLOR_COM_COM_MODULE_H_

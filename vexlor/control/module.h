// The module shell: what makes the control creatable and registrable.
//
// Class factories create the control and its property page by ProgID or
// class identifier. Registration describes the entries a host registers
// for the module and hands them to a registry the host supplies; the
// identifiers are fixed for this build. The design-time face is reduced to
// its one rule that a host can observe: the control's fixed extent.
#ifndef VEXLOR_CONTROL_MODULE_H_
#define VEXLOR_CONTROL_MODULE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "vexlor/export.h"
#include "vexlor/vexlor_ctrl.h"

namespace vexlor {

// Identifiers of this build, as registry texts.
inline constexpr const char* kControlClsid =
    "{6F3A2C10-8B4D-4E7A-9C21-5D0E7B3F1A01}";
inline constexpr const char* kPropPageClsid =
    "{6F3A2C10-8B4D-4E7A-9C21-5D0E7B3F1A02}";
inline constexpr const char* kTypeLibId =
    "{6F3A2C10-8B4D-4E7A-9C21-5D0E7B3F1A00}";
inline constexpr const char* kDispatchIid =
    "{6F3A2C10-8B4D-4E7A-9C21-5D0E7B3F1A03}";
inline constexpr const char* kEventsIid =
    "{6F3A2C10-8B4D-4E7A-9C21-5D0E7B3F1A04}";
inline constexpr const char* kControlProgId = "VEXLOR.VexlorCtrl.1";
inline constexpr const char* kPropPageProgId = "VEXLOR.VexlorPropPage.1";
inline constexpr const char* kControlTypeName = "Vexlor Control";
inline constexpr const char* kPropPageTypeName = "Vexlor Property Page";
inline constexpr uint32_t kMiscStatus = 0x20591;  // 132497
inline constexpr int kTypeLibMajor = 1;
inline constexpr int kTypeLibMinor = 0;

// Return codes of registration, with the values a Windows host expects from
// its self-registration entry points.
inline constexpr int32_t kSelfRegOk = 0;
inline constexpr int32_t kSelfRegTypeLibError =
    static_cast<int32_t>(0x80040200);
inline constexpr int32_t kSelfRegClassError = static_cast<int32_t>(0x80040201);

// The property page: caption "General", no properties exchanged.
class CVexlorPropPage {
 public:
  const char* caption() const { return "General"; }
  int dialog_id() const { return 200; }
};

// Creates a control by ProgID or class identifier (letter case ignored);
// nullptr for any other name.
VEXLOR_EXPORT std::unique_ptr<CVexlorCtrl> CreateControl(
    std::string_view progid_or_clsid);
VEXLOR_EXPORT std::unique_ptr<CVexlorPropPage> CreatePropPage(
    std::string_view progid_or_clsid);

// The store that registration writes to, supplied by the host. Keys are
// paths below the classes root ("CLSID\\{...}\\InprocServer32"); the empty
// value name is the key's default value.
class RegistryStore {
 public:
  virtual ~RegistryStore() = default;
  virtual bool RegisterTypeLib(const std::string& libid, int major, int minor,
                               const std::string& module_path) = 0;
  virtual bool UnregisterTypeLib(const std::string& libid, int major,
                                 int minor) = 0;
  // Creates the key (and its parents) and sets one value.
  virtual bool SetValue(const std::string& key, const std::string& name,
                        const std::string& value) = 0;
  // Creates the key without a value.
  virtual bool CreateKey(const std::string& key) = 0;
  // Deletes a key with everything below it.
  virtual bool DeleteTree(const std::string& key) = 0;
};

// Registers the type library, then the control class and the page class.
// kSelfRegOk, or kSelfRegTypeLibError / kSelfRegClassError when the store refuses.
VEXLOR_EXPORT int32_t DllRegisterServer(RegistryStore& store,
                                        const std::string& module_path);
// Unregisters the type library, then the classes; same return codes.
VEXLOR_EXPORT int32_t DllUnregisterServer(RegistryStore& store);

// The design-time extent in HIMETRIC units: whatever a container asks for,
// the control keeps 890 x 890.
struct Extent {
  int32_t cx = 0;
  int32_t cy = 0;
};
VEXLOR_EXPORT Extent OnSetExtent(Extent requested);

// The type library as IDL: enumerations, _DVexlor, _DVexlorEvents and the
// coclass, with this build's identifiers.
VEXLOR_EXPORT std::string TypeLibraryIdl();

}  // namespace vexlor

#endif  // VEXLOR_CONTROL_MODULE_H_

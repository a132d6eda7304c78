#include "com/verb_enum.h"

#include <cwchar>
#include <iterator>

#include "com/single_item_enum.h"

namespace vexlor::com {

namespace {

constexpr wchar_t kPropertiesName[] = L"&Properties...";

// The Properties verb, with a name the caller frees with the task
// allocator.
struct PropertiesVerb {
  HRESULT Copy(OLEVERB* out) const {
    auto* name = static_cast<LPOLESTR>(CoTaskMemAlloc(sizeof kPropertiesName));
    if (name == nullptr) return E_OUTOFMEMORY;
    std::wmemcpy(name, kPropertiesName, std::size(kPropertiesName));
    out->lVerb = OLEIVERB_PROPERTIES;
    out->lpszVerbName = name;
    out->fuFlags = MF_ENABLED;
    out->grfAttribs = OLEVERBATTRIB_ONCONTAINERMENU;
    return S_OK;
  }
};

}  // namespace

HRESULT CreateVerbEnum(IEnumOLEVERB** out) {
  return SingleItemEnum<IEnumOLEVERB, OLEVERB, PropertiesVerb>::Create(
      IID_IEnumOLEVERB, PropertiesVerb(), out);
}

}  // namespace vexlor::com

#include "com/dispatch_call.h"

#include <cctype>
#include <optional>
#include <string>
#include <vector>

#include "com/variant_bridge.h"
#include "vexlor/member_table.h"

namespace vexlor::com {

namespace {

// The member table's invoke flags and result codes are automation's, so
// they pass between the two unchanged.
static_assert(kDispatchMethod == DISPATCH_METHOD);
static_assert(kDispatchPropertyGet == DISPATCH_PROPERTYGET);
static_assert(kDispatchPropertyPut == DISPATCH_PROPERTYPUT);
static_assert(kInvokeOk == S_OK);
static_assert(kInvokeMemberNotFound == DISP_E_MEMBERNOTFOUND);
static_assert(kInvokeTypeMismatch == DISP_E_TYPEMISMATCH);
static_assert(kInvokeUnknownName == DISP_E_UNKNOWNNAME);
static_assert(kInvokeOverflow == DISP_E_OVERFLOW);
static_assert(kInvokeBadParamCount == DISP_E_BADPARAMCOUNT);

// Member and parameter names are ASCII; anything else matches nothing.
std::optional<std::string> AsciiName(const OLECHAR* name) {
  if (name == nullptr) return std::nullopt;
  std::string out;
  for (; *name; ++name) {
    if (*name >= 0x80) return std::nullopt;
    out.push_back(static_cast<char>(*name));
  }
  return out;
}

bool SameIgnoringCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return i == a.size() && b[i] == '\0';
}

DISPID ParamId(const MemberInfo* member, const OLECHAR* name) {
  std::optional<std::string> ascii = AsciiName(name);
  if (member == nullptr || !ascii) return DISPID_UNKNOWN;
  for (size_t i = 0; i < member->params.size(); ++i) {
    if (SameIgnoringCase(*ascii, member->params[i].name)) {
      return static_cast<DISPID>(i);
    }
  }
  return DISPID_UNKNOWN;
}

// Where each parameter's argument sits in rgvarg, or -1 when it is absent.
// Returns an error code when the named arguments cannot be placed.
HRESULT PlaceArguments(const MemberInfo& member, WORD flags,
                       const DISPPARAMS& params, std::vector<int>* slots) {
  const bool put =
      (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  const UINT positional = params.cArgs - params.cNamedArgs;
  if (member.kind == MemberKind::kProperty) {
    // A property takes only its value, named DISPID_PROPERTYPUT when put.
    if (params.cNamedArgs > 1 ||
        (params.cNamedArgs == 1 &&
         (!put || params.rgdispidNamedArgs[0] != DISPID_PROPERTYPUT))) {
      return DISP_E_NONAMEDARGS;
    }
    for (UINT i = 0; i < params.cArgs; ++i) {
      slots->push_back(static_cast<int>(params.cArgs - 1 - i));
    }
    return S_OK;
  }
  if (params.cArgs > member.params.size()) return DISP_E_BADPARAMCOUNT;
  slots->assign(member.params.size(), -1);
  for (UINT i = 0; i < positional; ++i) {
    (*slots)[i] = static_cast<int>(params.cArgs - 1 - i);
  }
  for (UINT n = 0; n < params.cNamedArgs; ++n) {
    DISPID id = params.rgdispidNamedArgs[n];
    if (id < 0 || static_cast<size_t>(id) >= member.params.size() ||
        (*slots)[id] != -1) {
      return DISP_E_PARAMNOTFOUND;
    }
    (*slots)[id] = static_cast<int>(n);
  }
  return S_OK;
}

}  // namespace

HRESULT LookUpNames(LPOLESTR* names, UINT count, DISPID* dispids) {
  if (count == 0) return S_OK;
  if (names == nullptr || dispids == nullptr) return E_POINTER;
  std::optional<std::string> name = AsciiName(names[0]);
  const MemberInfo* member = name ? FindMember(*name) : nullptr;
  dispids[0] = member ? member->dispid : DISPID_UNKNOWN;
  HRESULT status = member ? S_OK : DISP_E_UNKNOWNNAME;
  for (UINT i = 1; i < count; ++i) {
    dispids[i] = ParamId(member, names[i]);
    if (dispids[i] == DISPID_UNKNOWN) status = DISP_E_UNKNOWNNAME;
  }
  return status;
}

HRESULT CallMember(CVexlorCtrl& control, DISPID dispid, WORD flags,
                   const DISPPARAMS& params, VARIANT* result, UINT* arg_error) {
  const MemberInfo* member = FindMember(static_cast<int32_t>(dispid));
  if (member == nullptr) return DISP_E_MEMBERNOTFOUND;
  const bool call_or_get =
      (flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) != 0;
  if (member->kind == MemberKind::kMethod && !call_or_get) {
    return DISP_E_MEMBERNOTFOUND;  // a method cannot be assigned to
  }
  if (params.cArgs > 0 && params.rgvarg == nullptr) return E_INVALIDARG;
  if (params.cNamedArgs > params.cArgs ||
      (params.cNamedArgs > 0 && params.rgdispidNamedArgs == nullptr)) {
    return E_INVALIDARG;
  }
  std::vector<int> slots;
  HRESULT placed = PlaceArguments(*member, flags, params, &slots);
  if (FAILED(placed)) return placed;
  for (size_t i = 0; i < slots.size(); ++i) {
    if (slots[i] < 0) {
      // A missing parameter: all of them are required.
      return i < params.cArgs - params.cNamedArgs || params.cNamedArgs > 0
                 ? DISP_E_PARAMNOTFOUND
                 : DISP_E_BADPARAMCOUNT;
    }
  }
  ReferenceTargets targets;
  std::vector<platform::Variant> args(slots.size());
  for (size_t i = 0; i < slots.size(); ++i) {
    HRESULT status =
        ToLibraryVariant(params.rgvarg[slots[i]], &args[i], &targets);
    if (FAILED(status)) return status;
  }
  platform::Variant value;
  InvokeError error;
  int32_t status = Invoke(control, dispid, flags, args, &value, &error);
  if (status != kInvokeOk) {
    if (arg_error != nullptr && error.arg_index >= 0 &&
        static_cast<size_t>(error.arg_index) < slots.size()) {
      *arg_error = static_cast<UINT>(slots[error.arg_index]);
    }
    return status;
  }
  if (result == nullptr) return S_OK;
  VariantInit(result);
  return ToOleVariant(value, result);
}

}  // namespace vexlor::com

// The dispatch interface of the control: every member with its dispatch
// identifier, name, parameters and result, and late-bound calls by name or
// identifier with automation's argument conversion.
//
// Ownership: the table is static and lives as long as the program; Invoke
// borrows the control and the arguments for the call only, and the result
// belongs to the caller. Errors: Invoke returns a code (kInvokeOk or one of
// the kInvoke* errors below) with an InvokeError that says which argument
// and why; it never throws for bad arguments and never touches the
// control's error state. Threads: as the control, one thread at a time.
#ifndef VEXLOR_MEMBER_TABLE_H_
#define VEXLOR_MEMBER_TABLE_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vexlor/export.h"
#include "vexlor/variant.h"
#include "vexlor/vexlor_ctrl.h"

namespace vexlor {

// The dispatch identifiers of the members: the member table, the Python
// module's direct calls and the Windows face name them from here.
enum Dispid : int32_t {
  kDispidUnknown = -1,
  kDispidCSVDelimiter = 2,
  kDispidCSVTextInQuotes = 3,
  kDispidCSVColumnHeaders = 4,
  kDispidMetaphone = 5,
  kDispidDmetaphone = 6,
  kDispidSoundex = 7,
  kDispidCompareStrings = 8,
  kDispidNormalize = 9,
  kDispidEditDistance = 10,
  kDispidListCompareInit = 11,
  kDispidListSetCompare = 12,
  kDispidListCalcDiff = 13,
  kDispidNewGUID = 14,
  kDispidDifference = 15,
  kDispidListAddField = 16,
  kDispidCancel = 17,
  kDispidDupeSearch = 18,
  kDispidReset = 20,
  kDispidSetColumnOption = 21,
  kDispidFuzzyMerge = 22,
  kDispidVariantArray2CSVFile = 23,
  kDispidDeleteDupes = 24,
  kDispidFuzzyMatch = 25,
  kDispidExactMatchByColumn = 26,
  kDispidCanceledByUser = 27,
  kDispidLastError = 28,
  kDispidLastErrorDescription = 29,
  kDispidAboutBox = -552,
};

// Invoke flags. The values are automation's, so the Windows face passes its
// flags and result codes through unchanged; the names are our own, so this
// header reads the same before or after the Windows headers.
inline constexpr uint16_t kDispatchMethod = 1;
inline constexpr uint16_t kDispatchPropertyGet = 2;
inline constexpr uint16_t kDispatchPropertyPut = 4;

// Result codes of Invoke.
inline constexpr int32_t kInvokeOk = 0;
inline constexpr int32_t kInvokeMemberNotFound =
    static_cast<int32_t>(0x80020003);
inline constexpr int32_t kInvokeTypeMismatch = static_cast<int32_t>(0x80020005);
inline constexpr int32_t kInvokeUnknownName = static_cast<int32_t>(0x80020006);
inline constexpr int32_t kInvokeOverflow = static_cast<int32_t>(0x8002000A);
inline constexpr int32_t kInvokeBadParamCount =
    static_cast<int32_t>(0x8002000E);

struct ParamInfo {
  const char* name;
  // VT_I2 short, VT_I4 long, VT_R8 double, VT_BOOL bool, VT_BSTR string,
  // VT_VARIANT table.
  platform::VarType type;
  // The enumeration a short parameter stands for, or nullptr.
  const char* enumeration = nullptr;
};

enum class MemberKind { kMethod, kProperty };

struct MemberInfo {
  int32_t dispid;
  const char* name;
  MemberKind kind;
  // VT_EMPTY for no result; VT_VARIANT for a table.
  platform::VarType result;
  std::vector<ParamInfo> params;
  // One line of meaning, for `vexlor members` and the documentation.
  const char* summary;
};

// Every member, in dispatch-identifier order (AboutBox last).
VEXLOR_EXPORT const std::vector<MemberInfo>& Members();
VEXLOR_EXPORT const MemberInfo* FindMember(int32_t dispid);
// Case-insensitive, as automation resolves names.
VEXLOR_EXPORT const MemberInfo* FindMember(std::string_view name);
// The identifier of a name, or kDispidUnknown.
VEXLOR_EXPORT int32_t GetIDsOfNames(std::string_view name);

// The type as the member table prints it: short, long, double, bool,
// string, table.
VEXLOR_EXPORT const char* ParamTypeName(const ParamInfo& param);
VEXLOR_EXPORT const char* ResultTypeName(const MemberInfo& member);

struct InvokeError {
  int32_t code = kInvokeOk;
  // 0-based index of the offending argument, or -1.
  int arg_index = -1;
  std::string message;
};

// Calls member `dispid` of `control` with `args` in parameter order,
// converting each argument to its parameter's type. Properties: no argument
// reads, one argument writes. Returns kInvokeOk with the result in `*result`
// (Empty for members without one), or an error code with `*error` filled:
// unknown member, wrong argument count, type mismatch, overflow. A failed
// call leaves the control untouched.
VEXLOR_EXPORT int32_t Invoke(CVexlorCtrl& control, int32_t dispid,
                             uint16_t flags,
                             std::span<const platform::Variant> args,
                             platform::Variant* result, InvokeError* error);

}  // namespace vexlor

#endif  // VEXLOR_MEMBER_TABLE_H_

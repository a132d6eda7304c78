// The ReturnResults and DeleteOrder values of the batch methods, under the
// names of the type library. The control's members, the member table's
// interface description and the batch units all read them from here.
//
// Constants only: no ownership, no errors, any thread.
#ifndef VEXLOR_RETURN_RESULTS_H_
#define VEXLOR_RETURN_RESULTS_H_

#include <array>
#include <cstdint>
#include <span>

namespace vexlor {

enum DupeReturnResults : int16_t { DRR_DUPES = 0, DRR_ALL = 1 };
enum MergeReturnResults : int16_t {
  MRR_IMPORT = 0,
  MRR_ALL = 1,
  MRR_DUPES = 2,
  MRR_CLEANMERGED = 3
};
enum DeleteOrders : int16_t { DO_KEEP_FIRST = 0, DO_KEEP_LAST = 1 };
enum MatchReturnResults : int16_t {
  MAR_ALL = 0,
  MAR_POSITIVE = 1,
  MAR_NEGATIVE = 2
};
enum DeleteReturnResults : int16_t { DER_CLEAN = 0, DER_DELETED = 1 };

// The enumerations by name, for the faces that publish them (the type
// library's IDL, the Python module), so that no face spells them again.
struct EnumConstant {
  const char* name;
  int16_t value;
};
struct Enumeration {
  const char* name;
  std::span<const EnumConstant> constants;
};

namespace return_results_internal {
inline constexpr EnumConstant kDupe[] = {{"DRR_DUPES", DRR_DUPES},
                                         {"DRR_ALL", DRR_ALL}};
inline constexpr EnumConstant kMerge[] = {{"MRR_IMPORT", MRR_IMPORT},
                                          {"MRR_ALL", MRR_ALL},
                                          {"MRR_DUPES", MRR_DUPES},
                                          {"MRR_CLEANMERGED", MRR_CLEANMERGED}};
inline constexpr EnumConstant kDeleteOrder[] = {
    {"DO_KEEP_FIRST", DO_KEEP_FIRST}, {"DO_KEEP_LAST", DO_KEEP_LAST}};
inline constexpr EnumConstant kMatch[] = {{"MAR_ALL", MAR_ALL},
                                          {"MAR_POSITIVE", MAR_POSITIVE},
                                          {"MAR_NEGATIVE", MAR_NEGATIVE}};
inline constexpr EnumConstant kDelete[] = {{"DER_CLEAN", DER_CLEAN},
                                           {"DER_DELETED", DER_DELETED}};
}  // namespace return_results_internal

// In the type library's order.
inline constexpr std::array<Enumeration, 5> kEnumerations = {{
    {"DupeReturnResults", return_results_internal::kDupe},
    {"MergeReturnResults", return_results_internal::kMerge},
    {"DeleteOrders", return_results_internal::kDeleteOrder},
    {"MatchReturnResults", return_results_internal::kMatch},
    {"DeleteReturnResults", return_results_internal::kDelete},
}};

}  // namespace vexlor

#endif  // VEXLOR_RETURN_RESULTS_H_

// The ReturnResults and DeleteOrder values of the batch methods, under the
// names of the type library. The control's members, the member table's
// interface description and the batch units all read them from here.
#ifndef VEXLOR_TABLES_RETURN_RESULTS_H_
#define VEXLOR_TABLES_RETURN_RESULTS_H_

#include <cstdint>

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

}  // namespace vexlor

#endif  // VEXLOR_TABLES_RETURN_RESULTS_H_

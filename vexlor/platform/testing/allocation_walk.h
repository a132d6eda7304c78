// The allocation-failure walk of the tests: run a piece of code once for
// each of its allocations, failing that one, until a run completes.
//
//   WalkAllocationFailures([&](int64_t n) {
//     Variant result;
//     const bool failed = FailsAt(n, [&] { result = Call(); });
//     ... check what a failed (or, at the end, complete) run left ...
//     return failed;
//   });
#ifndef VEXLOR_PLATFORM_TESTING_ALLOCATION_WALK_H_
#define VEXLOR_PLATFORM_TESTING_ALLOCATION_WALK_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "vexlor/platform/testing/failing_allocator.h"

namespace vexlor::platform::testing {

// Runs `code` with the `fail_at`-th allocation failing (0: none) and
// returns whether that failure was injected. Exceptions pass through.
template <typename Code>
bool FailsAt(int64_t fail_at, Code&& code) {
  FailingAllocatorScope scope(fail_at);
  code();
  return scope.failed();
}

// How many allocations `code` makes.
template <typename Code>
int64_t AllocationCount(Code&& code) {
  FailingAllocatorScope scope(0);
  code();
  return scope.count();
}

// Calls `run(n)` for n = first, first + 1, ... under a trace naming n;
// `run` returns whether its n-th allocation failed (FailsAt). The walk ends
// after the first run that completed without reaching its failure, and
// returns how many runs failed. A walk that does not end within `limit`
// runs is a test failure.
template <typename Run>
int64_t WalkAllocationFailures(Run&& run, int64_t limit = 100000,
                               int64_t first = 1) {
  for (int64_t n = first; n < first + limit; ++n) {
    SCOPED_TRACE("failing allocation " + std::to_string(n));
    if (!run(n)) return n - first;
  }
  ADD_FAILURE() << "the allocation walk did not end within " << limit
                << " runs";
  return limit;
}

}  // namespace vexlor::platform::testing

#endif  // VEXLOR_PLATFORM_TESTING_ALLOCATION_WALK_H_

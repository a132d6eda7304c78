// Allocation-failure injection for tests.
//
// Linking this unit replaces the global operator new of the test binary
// with one that counts the allocations made while a FailingAllocatorScope
// is armed and throws std::bad_alloc at the n-th one, so that a test can
// walk every allocation of a call: fail the 1st, the 2nd, ... until the
// call completes without reaching the failure.
#ifndef VEXLOR_PLATFORM_TESTING_FAILING_ALLOCATOR_H_
#define VEXLOR_PLATFORM_TESTING_FAILING_ALLOCATOR_H_

#include <cstdint>

namespace vexlor::platform::testing {

class FailingAllocatorScope {
 public:
  // Fails the `fail_at`-th allocation (1-based) made while this scope
  // lives; 0 fails none and only counts.
  explicit FailingAllocatorScope(int64_t fail_at);
  ~FailingAllocatorScope();
  FailingAllocatorScope(const FailingAllocatorScope&) = delete;
  FailingAllocatorScope& operator=(const FailingAllocatorScope&) = delete;

  // Allocations counted so far in this scope.
  int64_t count() const;
  // True once the failure was injected.
  bool failed() const;
};

}  // namespace vexlor::platform::testing

#endif  // VEXLOR_PLATFORM_TESTING_FAILING_ALLOCATOR_H_

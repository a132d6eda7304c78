#include "vexlor/platform/testing/failing_allocator.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace vexlor::platform::testing {

namespace {

// Batch methods allocate on worker threads too.
std::atomic<bool> armed = false;
std::atomic<int64_t> counted = 0;
std::atomic<int64_t> fail_at_allocation = 0;
std::atomic<bool> injected = false;

// Counts an allocation; whether it is the one to fail.
bool FailsNow() {
  if (!armed.load(std::memory_order_relaxed)) return false;
  const int64_t n = counted.fetch_add(1, std::memory_order_relaxed) + 1;
  if (n != fail_at_allocation.load(std::memory_order_relaxed)) return false;
  injected = true;
  return true;
}

void* Allocate(std::size_t size) {
  if (FailsNow()) throw std::bad_alloc();
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

void* AllocateAligned(std::size_t size, std::align_val_t align) {
  if (FailsNow()) throw std::bad_alloc();
  std::size_t a = static_cast<std::size_t>(align);
  std::size_t rounded = (size + a - 1) / a * a;
#ifdef _WIN32
  // The Windows C runtime has no aligned_alloc, and what _aligned_malloc
  // returns must go back through _aligned_free.
  void* p = _aligned_malloc(rounded == 0 ? a : rounded, a);
#else
  void* p = std::aligned_alloc(a, rounded == 0 ? a : rounded);
#endif
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

void FreeAligned(void* p) {
#ifdef _WIN32
  _aligned_free(p);
#else
  std::free(p);
#endif
}

}  // namespace

FailingAllocatorScope::FailingAllocatorScope(int64_t fail_at) {
  counted = 0;
  injected = false;
  fail_at_allocation = fail_at;
  armed = true;
}

FailingAllocatorScope::~FailingAllocatorScope() {
  armed = false;
  fail_at_allocation = 0;
}

int64_t FailingAllocatorScope::count() const { return counted; }
bool FailingAllocatorScope::failed() const { return injected; }

}  // namespace vexlor::platform::testing

using vexlor::platform::testing::Allocate;
using vexlor::platform::testing::AllocateAligned;
using vexlor::platform::testing::FreeAligned;

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new(std::size_t size, std::align_val_t align) {
  return AllocateAligned(size, align);
}
void* operator new[](std::size_t size, std::align_val_t align) {
  return AllocateAligned(size, align);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { FreeAligned(p); }
void operator delete[](void* p, std::align_val_t) noexcept { FreeAligned(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
  FreeAligned(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
  FreeAligned(p);
}

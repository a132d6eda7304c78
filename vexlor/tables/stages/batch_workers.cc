#include "vexlor/tables/stages/batch_workers.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <system_error>

namespace vexlor {

namespace {
std::atomic<unsigned> set_count{0};
}  // namespace

void SetBatchThreadCount(unsigned threads) { set_count = threads; }

unsigned BatchThreadCount() {
  if (const unsigned set = set_count.load(); set != 0) return set;
  static const unsigned count = [] {
    if (const char* text = std::getenv("VEXLOR_THREADS")) {
      char* end = nullptr;
      const long n = std::strtol(text, &end, 10);
      if (end != text && *end == '\0' && n >= 1 && n <= 64) {
        return static_cast<unsigned>(n);
      }
    }
    // Every processor the machine has; the small-table rule of the batch
    // methods keeps them from costing more than they bring.
    return std::clamp(std::thread::hardware_concurrency(), 1u, 64u);
  }();
  return count;
}

BatchWorkers::BatchWorkers(unsigned threads) {
  if (threads > 1) workers_.reserve(threads - 1);
  try {
    for (unsigned t = 1; t < threads; ++t) {
      workers_.emplace_back([this, t] { WorkerLoop(t); });
    }
  } catch (const std::system_error&) {
    // The workers started so far will do; none at all is the caller's to
    // handle.
    if (workers_.empty()) throw;
  } catch (...) {
    Stop();
    throw;
  }
}

BatchWorkers::~BatchWorkers() { Stop(); }

void BatchWorkers::Stop() noexcept {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  start_.notify_all();
  for (std::thread& w : workers_) w.join();
  workers_.clear();
}

void BatchWorkers::Work(unsigned thread) {
  for (;;) {
    uint32_t i;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (next_ >= count_ || error_) return;
      i = next_++;
    }
    try {
      call_(body_, i, thread);
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!error_) error_ = std::current_exception();
      return;
    }
  }
}

void BatchWorkers::WorkerLoop(unsigned thread) {
  uint64_t seen = 0;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      start_.wait(lock, [&] { return stop_ || job_ != seen; });
      if (stop_) return;
      seen = job_;
    }
    Work(thread);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      --busy_;
    }
    done_.notify_one();
  }
}

void BatchWorkers::Dispatch(uint32_t count, void* body, Call call) {
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    count_ = count;
    next_ = 0;
    body_ = body;
    call_ = call;
    error_ = nullptr;
    busy_ = count > 0 ? static_cast<unsigned>(workers_.size()) : 0;
    wake = busy_ > 0;
    if (wake) ++job_;
  }
  if (wake) start_.notify_all();
}

void BatchWorkers::Finish() {
  Work(0);
  std::exception_ptr error;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [&] { return busy_ == 0; });
    error = error_;
    error_ = nullptr;
    count_ = 0;
  }
  if (error) std::rethrow_exception(error);
}

}  // namespace vexlor

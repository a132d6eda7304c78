// Threads that share the independent part of a batch method's work with
// the calling thread: the candidate lists of a run of records. Everything
// a host can see (events, results, the order of comparisons) stays on the
// calling thread; the workers only read.
#ifndef VEXLOR_TABLES_STAGES_BATCH_WORKERS_H_
#define VEXLOR_TABLES_STAGES_BATCH_WORKERS_H_

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace vexlor {

// How many threads a batch method uses, the calling one included: the
// environment variable VEXLOR_THREADS when it holds a number from 1 to 64,
// otherwise the number of processors (1 when unknown, at most 64). O(1)
// after the first call.
unsigned BatchThreadCount();

// From now on BatchThreadCount gives `threads` (0: its own count again),
// for tests that compare thread counts within one process.
void SetBatchThreadCount(unsigned threads);

class BatchWorkers {
 public:
  // Starts threads - 1 workers (none for 0 or 1). Throws std::system_error
  // when no thread can be started; fewer workers than asked are kept.
  explicit BatchWorkers(unsigned threads);
  // Stops and joins the workers.
  ~BatchWorkers();
  BatchWorkers(const BatchWorkers&) = delete;
  BatchWorkers& operator=(const BatchWorkers&) = delete;

  // The calling thread and the workers together.
  unsigned threads() const {
    return static_cast<unsigned>(workers_.size()) + 1;
  }

  // Calls body(i, t) once for every i in [0, count), on the calling thread
  // (t = 0) and the workers (t = 1 to threads() - 1), each taking the next
  // i as it is free; returns when all calls have returned. A call that
  // throws stops the others from taking more; the first exception is
  // thrown again here. Allocates nothing.
  template <class Body>
  void Run(uint32_t count, Body& body) {
    Start(count, body);
    Finish();
  }

  // Run in two halves: Start sets the workers going and returns at once,
  // so that the caller can do other work meanwhile (body must stay alive
  // and what it reads unchanged); Finish takes what the workers have not
  // yet taken, waits for them and throws again what a call threw. Without
  // workers Finish does all of it. A Start must be followed by a Finish
  // before the next Start.
  template <class Body>
  void Start(uint32_t count, Body& body) {
    Dispatch(count, &body, [](void* b, uint32_t i, unsigned t) {
      (*static_cast<Body*>(b))(i, t);
    });
  }
  void Finish();

 private:
  using Call = void (*)(void* body, uint32_t i, unsigned thread);
  void Dispatch(uint32_t count, void* body, Call call);
  // Takes indices of the current job until none is left.
  void Work(unsigned thread);
  void WorkerLoop(unsigned thread);
  // Stops and joins the workers.
  void Stop() noexcept;

  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable start_;
  std::condition_variable done_;
  uint64_t job_ = 0;   // the number of the current job
  unsigned busy_ = 0;  // workers still in the current job
  bool stop_ = false;
  // The current job.
  uint32_t count_ = 0;
  uint32_t next_ = 0;  // the next index to take, under mutex_
  void* body_ = nullptr;
  Call call_ = nullptr;
  std::exception_ptr error_;
};

}  // namespace vexlor

#endif  // VEXLOR_TABLES_STAGES_BATCH_WORKERS_H_

// The threads that find work ahead of the calling thread (work_ahead.h),
// made at the first batch worth them, and the query state of each.
#ifndef VEXLOR_TABLES_STAGES_AHEAD_WORKERS_H_
#define VEXLOR_TABLES_STAGES_AHEAD_WORKERS_H_

#include <cstddef>
#include <memory>
#include <vector>

#include "vexlor/tables/stages/batch_workers.h"
#include "vexlor/tables/stages/work_ahead.h"

namespace vexlor {

class AheadWorkers {
 public:
  // The pool; null before Start, or when none could be made.
  BatchWorkers* pool() const { return pool_.get(); }

  // Makes a pool of `threads` threads, each with a query state. Returns
  // false when the system gave no thread, now or at an earlier Start: one
  // thread will do from then on.
  bool Start(unsigned threads);

  // At least `count` query states, for work on the calling thread.
  void EnsureQueries(size_t count) {
    if (queries_.size() < count) queries_.resize(count);
  }
  ThreadQuery& query(unsigned thread) { return queries_[thread]; }

  // Joins the threads and frees the states. Never fails.
  void Free();

 private:
  std::unique_ptr<BatchWorkers> pool_;
  bool unavailable_ = false;
  std::vector<ThreadQuery> queries_;
};

}  // namespace vexlor

#endif  // VEXLOR_TABLES_STAGES_AHEAD_WORKERS_H_

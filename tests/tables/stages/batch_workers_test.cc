#include "vexlor/tables/stages/batch_workers.h"

#include <atomic>
#include <new>
#include <stdexcept>
#include <vector>

#include "gtest/gtest.h"

namespace vexlor {
namespace {

TEST(BatchWorkersTest, EveryIndexOnceOnSomeThread) {
  for (unsigned threads : {0u, 1u, 2u, 4u}) {
    BatchWorkers workers(threads);
    EXPECT_EQ(workers.threads(), threads < 2 ? 1u : threads);
    for (uint32_t count : {0u, 1u, 2u, 37u, 1000u}) {
      std::vector<std::atomic<int>> calls(count);
      std::atomic<bool> thread_in_range = true;
      auto body = [&](uint32_t i, unsigned t) {
        calls[i].fetch_add(1);
        if (t >= workers.threads()) thread_in_range = false;
      };
      workers.Run(count, body);
      for (uint32_t i = 0; i < count; ++i) {
        ASSERT_EQ(calls[i].load(), 1) << threads << " threads, index " << i;
      }
      EXPECT_TRUE(thread_in_range);
    }
  }
}

TEST(BatchWorkersTest, CallerWorksWhileTheWorkersRun) {
  BatchWorkers workers(2);
  std::vector<std::atomic<int>> calls(200);
  auto body = [&](uint32_t i, unsigned) { calls[i].fetch_add(1); };
  for (int round = 0; round < 50; ++round) {
    workers.Start(200, body);
    volatile int sum = 0;
    for (int k = 0; k < 1000; ++k) sum = sum + k;
    workers.Finish();
  }
  for (const auto& c : calls) ASSERT_EQ(c.load(), 50);
  workers.Finish();  // nothing started: returns at once
}

TEST(BatchWorkersTest, FirstExceptionIsThrownToTheCallerAndWorkGoesOn) {
  for (unsigned threads : {1u, 2u}) {
    BatchWorkers workers(threads);
    auto failing = [](uint32_t i, unsigned) {
      if (i == 5) throw std::bad_alloc();
    };
    EXPECT_THROW(workers.Run(100, failing), std::bad_alloc);
    std::atomic<int> calls = 0;
    auto counting = [&](uint32_t, unsigned) { ++calls; };
    workers.Run(10, counting);
    EXPECT_EQ(calls.load(), 10);
  }
}

TEST(BatchWorkersTest, ThreadCountIsSensible) {
  EXPECT_GE(BatchThreadCount(), 1u);
  EXPECT_LE(BatchThreadCount(), 64u);
}

}  // namespace
}  // namespace vexlor

#include "vexlor/platform/temporary_file.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/output/temp_dir.h"

namespace vexlor::platform {
namespace {

// Writers on several threads beside one target each get a name of their
// own; a committed file replaces the target, an abandoned one leaves
// nothing behind.
TEST(TemporaryFileTest, WritersNeverShareANameAndLeaveNoLitter) {
  testing::TempDir dir;
  const std::string target = dir.File("out.csv");
  constexpr int kThreads = 4;
  constexpr int kEach = 2000;
  std::vector<std::vector<std::string>> names(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) names[t].push_back(TemporaryName(target));
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::set<std::string> distinct;
  for (const auto& some : names) distinct.insert(some.begin(), some.end());
  EXPECT_EQ(distinct.size(), size_t{kThreads * kEach});

  testing::WriteBytes(target, "old");
  {
    TemporaryFile abandoned;
    ASSERT_TRUE(abandoned.Create(target));
    ASSERT_TRUE(abandoned.file().Write("lost"));
  }
  EXPECT_EQ(testing::ReadBytes(target), "old");
  TemporaryFile file;
  ASSERT_TRUE(file.Create(target));
  ASSERT_TRUE(file.file().Write("new"));
  ASSERT_TRUE(file.Commit(target));
  EXPECT_EQ(testing::ReadBytes(target), "new");
  EXPECT_EQ(testing::CountEntries(dir.path()), 1);
}

}  // namespace
}  // namespace vexlor::platform

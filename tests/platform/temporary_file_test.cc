#include "vexlor/platform/temporary_file.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

namespace vexlor::platform {
namespace {

// Writers on several threads beside one target each get a name of their
// own. (Writing, committing and abandoning are the output tests' part.)
TEST(TemporaryFileTest, WritersNeverShareAName) {
  const std::string target = "out.csv";
  constexpr int kThreads = 4, kEach = 2000;
  std::vector<std::string> names[kThreads];
  std::vector<std::thread> threads;
  for (auto& some : names) {
    threads.emplace_back([&] {
      for (int i = 0; i < kEach; ++i) some.push_back(TemporaryName(target));
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::set<std::string> distinct;
  for (const auto& some : names) distinct.insert(some.begin(), some.end());
  EXPECT_EQ(distinct.size(), size_t{kThreads * kEach});
}

}  // namespace
}  // namespace vexlor::platform

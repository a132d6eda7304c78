// The order in which the review offers groups: with match probabilities,
// the groups that hold an uncertain pair come before all others.
#include <gtest/gtest.h>

#include <vector>

#include "review/review_data.h"

namespace vexlor::cli {
namespace {

TEST(ReviewOrderTest, UncertainPairsComeFirst) {
  struct Case {
    const char* name;
    bool probabilities;
    std::vector<uint32_t> order;      // group indexes as shown
    std::vector<uint32_t> uncertain;  // per group
  } cases[] = {
      // Without probabilities the largest group leads, then the weakest.
      {"similarities", false, {0, 2, 1}, {0, 0, 0}},
      // Group 1's pair at 80 and group 2's at 20 are in doubt; 81 and 19
      // are not.
      {"probabilities", true, {2, 1, 0}, {0, 1, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReviewData data;
    data.state.rows = 9;
    data.state.groups = {{1, 2, 3}, {4, 5}, {6, 7}};
    data.pairs = {{1, 2, 81}, {1, 3, 90}, {2, 3, 19}, {4, 5, 80}, {6, 7, 20}};
    data.probabilities = c.probabilities;
    OrderGroups(&data);
    EXPECT_EQ(data.order, c.order);
    EXPECT_EQ(data.uncertain, c.uncertain);
  }
}

}  // namespace
}  // namespace vexlor::cli

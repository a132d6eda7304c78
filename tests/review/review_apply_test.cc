// `vexlor apply`: decisions files turned into labels, and the files it
// refuses. The page that writes the decisions is tested in a browser by
// tests/review/review_page_test.py.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command.h"
#include "tests/cli/command_file_test.h"

namespace vexlor::cli {
namespace {

const std::string kA = "{AAAAAAAA-0000-0000-0000-000000000000}";
const std::string kB = "{BBBBBBBB-0000-0000-0000-000000000000}";
const std::string kC = "{CCCCCCCC-0000-0000-0000-000000000000}";
std::string Numbered(int n) {
  std::string digits = std::to_string(n);
  return "{00000000-0000-0000-0000-" + std::string(12 - digits.size(), '0') +
         digits + "}";
}

// Rows 1..6 labelled A A B C B A: groups {1, 2, 6} and {3, 5}; row 4 alone.
const std::vector<std::string> kLabels = {kA, kA, kB, kC, kB, kA};
const std::string kGroups = R"("rows": 6, "groups": [[1, 2, 6], [3, 5]])";

std::string Table(const std::vector<std::string>& labels) {
  std::string csv = "name,FuzzyDupesID\r\n";
  for (size_t i = 0; i < labels.size(); ++i) {
    csv += "r" + std::to_string(i + 1) + "," + labels[i] + "\r\n";
  }
  return csv;
}

std::string Decisions(const std::string& groups, const std::string& list) {
  return R"({"format": "vexlor-review", "version": 1, )" + groups +
         R"(, "decisions": [)" + list + "]}";
}

class ApplyTest : public testing::CommandFileTest {
 protected:
  void SetUp() override {
#ifdef VEXLOR_NO_REVIEW
    GTEST_SKIP() << "built without review (libcpp-httplib-dev, "
                    "nlohmann-json3-dev)";
#endif
  }
  int Apply(const std::string& table, const std::string& decisions,
            std::string* out, std::string* err) {
    std::istringstream in;
    std::ostringstream outs, errs;
    const std::string path = File("out.csv");
    std::remove(path.c_str());
    const int status = cli::Run({"apply", Write("in.csv", table),
                                 Write("d.json", decisions), "-o", path},
                                {in, outs, errs});
    *out = Read(path);
    *err = errs.str();
    return status;
  }
};

TEST_F(ApplyTest, DecisionsBecomeLabels) {
  struct Case {
    const char* name;
    std::string decisions;
    std::vector<std::string> labels;
  };
  const Case cases[] = {
      {"none", "", kLabels},
      {"accepted", R"({"group": 1, "reviewed": true})", kLabels},
      {"split",
       R"({"group": 1, "reviewed": true, "split": [2, 6]})",
       {kA, Numbered(2), kB, kC, kB, Numbered(6)}},
      {"merged into an earlier group",
       R"({"group": 3, "reviewed": true, "merge_into": 1})",
       {kA, kA, kA, kC, kA, kA}},
      {"merged into a later group, split first",
       R"({"group": 1, "split": [1], "merge_into": 3})",
       {Numbered(1), kB, kB, kC, kB, kB}},
  };
  for (const Case& c : cases) {
    std::string out, err;
    EXPECT_EQ(
        Apply(Table(kLabels), Decisions(kGroups, c.decisions), &out, &err),
        kExitOk)
        << c.name << ": " << err;
    EXPECT_EQ(out, Table(c.labels)) << c.name;
  }
}

// A search run by the review leaves no label column: one is added, its
// labels numbered by group in order of first row.
TEST_F(ApplyTest, TableWithoutLabelsGetsAColumn) {
  std::string out, err;
  ASSERT_EQ(Apply("name\nr1\nr2\nr3\nr4\n",
                  Decisions(R"("rows": 4, "groups": [[2, 4]])",
                            R"({"group": 2, "split": [4]})"),
                  &out, &err),
            kExitOk)
      << err;
  EXPECT_EQ(out, "name,FuzzyDupesID\r\nr1," + Numbered(1) + "\r\nr2," +
                     Numbered(2) + "\r\nr3," + Numbered(3) + "\r\nr4," +
                     Numbered(4) + "\r\n");
}

// A match review: MASTER rows 1 and 3 matched FILE rows 2 and 1.
const std::string kMatched =
    "name,Match,Similarity\r\nr1,2,90\r\nr2,0,\r\n"
    "r3,1,95\r\n";
std::string MatchDecisions(const std::string& list) {
  return R"({"format": "vexlor-review", "version": 2, "kind": "match",
             "rows": 3, "other_rows": 2, "groups": [[1, 2], [3, 1]],
             "decisions": [)" +
         list + "]}";
}

TEST_F(ApplyTest, RejectedMatchesAreRemoved) {
  std::string out, err;
  ASSERT_EQ(Apply(kMatched, MatchDecisions(R"({"group": 1, "reviewed": true,
                                     "reject": true},
                                    {"group": 3, "reviewed": true})"),
                  &out, &err),
            kExitOk)
      << err;
  EXPECT_EQ(out, "name,Match,Similarity\r\nr1,0,\r\nr2,0,\r\nr3,1,95\r\n");
}

TEST_F(ApplyTest, RefusesWhatDoesNotFit) {
  struct Case {
    std::string table, decisions, message;
  };
  const Case cases[] = {
      {Table(kLabels), "{", "not a JSON object"},
      {Table(kLabels), R"({"format": "other", "version": 1})",
       "not a decisions file of vexlor review"},
      {Table(kLabels), R"({"format": 5, "version": 1})",
       "not a decisions file of vexlor review"},
      {Table(kLabels), Decisions(R"("rows": 7, "groups": [[1, 2]])", ""),
       "made for a table of 7 rows"},
      {Table(kLabels), Decisions(kGroups, R"({"group": 2})"),
       "starts no group"},
      {Table(kLabels), Decisions(kGroups, R"({"group": 1, "split": [4]})"),
       "is not one of its rows"},
      {Table(kLabels), Decisions(kGroups, R"({"group": 1, "merge_into": 3},
                             {"group": 3, "merge_into": 1})"),
       "merged into itself"},
      {Table(kLabels), Decisions(kGroups, R"({"group": 1, "merge_into": 1})"),
       "starts no other group"},
      {Table(kLabels),
       Decisions(R"("rows": 6, "groups": [[1, 2], [3, 5]])", ""),
       "do not form the groups"},
      {Table(kLabels), Decisions(R"("rows": 6, "groups": [[2, 1]])", ""),
       "ascending"},
      {Table(kLabels), Decisions(R"("rows": 6, "groups": [[1, 9]])", ""),
       "outside the table"},
      {kMatched, MatchDecisions(R"({"group": 1, "split": [1]})"),
       "splits or merges"},
      {kMatched, MatchDecisions(R"({"group": 2, "reject": true})"),
       "names no match"},
      {"name,Match\r\nr1,1\r\nr2,0\r\nr3,1\r\n", MatchDecisions(""),
       "does not hold the match"},
      {Table(kLabels), Decisions(kGroups, R"({"group": 1, "reject": true})"),
       "rejects no match"},
  };
  for (const Case& c : cases) {
    std::string out, err;
    EXPECT_EQ(Apply(c.table, c.decisions, &out, &err), kExitBadInput)
        << c.message;
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
    EXPECT_EQ(out, "") << c.message;
  }
}

}  // namespace
}  // namespace vexlor::cli

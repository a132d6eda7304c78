#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>

#include "cli/command.h"
#include "tests/cli/command_file_test.h"

namespace vexlor::cli {
namespace {

class DupesCommandTest : public testing::CommandFileTest {
 protected:
  int RunCommand(std::vector<std::string> args, std::string* err) {
    std::istringstream in;
    std::ostringstream out, errs;
    int status = cli::Run(args, {in, out, errs});
    *err = errs.str();
    return status;
  }
};

constexpr const char* kSample =
    "name,street\r\n"
    "Meier,Main Street 1\r\n"
    "Meyer,Main Street 1\r\n"
    "Schulz,Park Road 7\r\n";

TEST_F(DupesCommandTest, GroupsOnlyWithSeededLabelsAreReproducible) {
  std::string in = Write("in.csv", kSample);
  std::string out1 = dir_ + "/a.csv", out2 = dir_ + "/b.csv", err;
  for (const std::string& out : {out1, out2}) {
    ASSERT_EQ(RunCommand({"dupes", in, "--cluster-threshold", "0.3", "--return",
                          "dupes", "--label-seed", "3", "-o", out, "--progress",
                          "none"},
                         &err),
              kExitOk)
        << err;
  }
  std::string result = Read(out1);
  EXPECT_EQ(result, Read(out2));
  EXPECT_EQ(result.substr(0, result.find("\r\n")), "name,street,FuzzyDupesID");
  EXPECT_NE(result.find("Meier,Main Street 1,{"), std::string::npos);
  EXPECT_NE(result.find("Meyer"), std::string::npos);
  EXPECT_EQ(result.find("Schulz"), std::string::npos);
}

TEST_F(DupesCommandTest, BadInputNamesTheFileAndLine) {
  struct Case {
    std::string content;
    std::string message_part;
  } cases[] = {
      {"", "holds no table"},
      {"a,b\r\n\"open,x\r\n", "line 2"},
      {"a,b\r\nM\xFC"
       "ller,x\r\n",
       "line 2: text is not valid UTF-8"},
  };
  int i = 0;
  for (const Case& c : cases) {
    std::string path = Write("bad" + std::to_string(i++) + ".csv", c.content);
    std::string err;
    EXPECT_EQ(RunCommand({"dupes", path, "-o", dir_ + "/out.csv"}, &err),
              kExitBadInput);
    EXPECT_NE(err.find(path), std::string::npos) << err;
    EXPECT_NE(err.find(c.message_part), std::string::npos) << err;
  }
  std::string err;
  EXPECT_EQ(RunCommand({"dupes", dir_ + "/missing.csv"}, &err), kExitBadInput);
  EXPECT_NE(err.find("missing.csv"), std::string::npos);
  EXPECT_EQ(RunCommand({"dupes", Write("ok.csv", kSample), "--cluster", "nope"},
                       &err),
            kExitBadInput);
  EXPECT_NE(err.find("no column 'nope'"), std::string::npos);
  EXPECT_EQ(RunCommand({"dupes", dir_ + "/ok.csv", "--return", "some"}, &err),
            kExitUsage);
  EXPECT_EQ(RunCommand({"dupes", dir_ + "/ok.csv", "--progress", "loud"}, &err),
            kExitUsage);
}

TEST_F(DupesCommandTest, UnwritableOutputFailsAndLeavesNoFile) {
  std::string in = Write("in.csv", kSample), err;
  EXPECT_EQ(
      RunCommand({"dupes", in, "-o", dir_ + "/no/such/dir/out.csv"}, &err),
      kExitBadInput);
  EXPECT_FALSE(err.empty());
  EXPECT_EQ(RunCommand({"dupes", in, "-o", "/dev/full"}, &err), kExitBadInput);
  EXPECT_NE(err.find("No space left"), std::string::npos) << err;
}

TEST_F(DupesCommandTest, EventsModePrintsJsonLines) {
  std::string in = Write("in.csv", kSample);
  std::istringstream input;
  std::ostringstream out, err;
  ASSERT_EQ(
      cli::Run({"dupes", in, "--progress", "events", "-o", dir_ + "/o.csv"},
               {input, out, err}),
      kExitOk);
  std::string events = err.str();
  EXPECT_NE(events.find(
                "{\"event\": \"Progress\", \"Action\": 1, \"PercentDone\": 0"),
            std::string::npos)
      << events;
  EXPECT_NE(
      events.find("{\"event\": \"ProgressDupeSearch\", \"PercentDone\": 100"),
      std::string::npos)
      << events;
}

}  // namespace
}  // namespace vexlor::cli

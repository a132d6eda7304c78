#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command.h"
#include "tests/cli/command_file_test.h"

namespace vexlor::cli {
namespace {

class MatchMergeCommandTest : public testing::CommandFileTest {
 protected:
  void SetUp() override {
    master_ = Write("master.csv",
                    "name,street,id\r\n"
                    "Meier,Main Street 1,m1\r\n"
                    "Schulz,Park Road 7,m2\r\n"
                    "Becker,Hill Lane 3,m3\r\n");
    file_ = Write("file.csv",
                  "name,street,id\r\n"
                  "Baecker,Hill Lane 3,i1\r\n"
                  "Zimmer,Lake View 12,i2\r\n"
                  "Meyer,Main Street 1,i3\r\n"
                  "Zimmer,Lake View 12,i4\r\n");
  }

  // Runs the command in-process with the id column and the test's files;
  // returns its status, output and errors.
  int RunCommand(const std::string& command, std::vector<std::string> options,
                 std::string* out, std::string* err) {
    std::vector<std::string> args = {command,       master_, file_,
                                     "--id-column", "id",    "--progress",
                                     "none",        "-o",    File("out.csv")};
    args.insert(args.end(), options.begin(), options.end());
    std::remove(File("out.csv").c_str());
    std::istringstream in;
    std::ostringstream outs, errs;
    int status = cli::Run(args, {in, outs, errs});
    *out = Read(File("out.csv"));
    *err = errs.str();
    return status;
  }

  std::string master_, file_;
};

// Each line after the header without its labels: "name,id,rest..." with
// the 38-character labels replaced by their first appearance's number.
std::vector<std::string> Rows(const std::string& csv) {
  std::vector<std::string> rows, labels;
  std::istringstream in(csv);
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t open = line.find(",{");
    if (open != std::string::npos) {
      const std::string label = line.substr(open + 1, 38);
      size_t n = 0;
      while (n < labels.size() && labels[n] != label) ++n;
      if (n == labels.size()) labels.push_back(label);
      line.replace(open + 1, 38, "L" + std::to_string(n + 1));
    }
    rows.push_back(line);
  }
  return rows;
}

using Lines = std::vector<std::string>;

TEST_F(MatchMergeCommandTest, ReturnModes) {
  struct Case {
    std::string command;
    std::vector<std::string> options;
    std::string header;
    Lines rows;
  } cases[] = {
      {"match",
       {},
       "name,street,id,Match",
       {"Meier,Main Street 1,m1,3", "Schulz,Park Road 7,m2,0",
        "Becker,Hill Lane 3,m3,1"}},
      {"merge",
       {"--return", "import"},
       "name,street,id",
       {"Zimmer,Lake View 12,i2"}},
      {"merge",
       {"--return", "all"},
       "name,street,id,FuzzyDupesID,Source",
       {"Meier,Main Street 1,m1,L1,0", "Schulz,Park Road 7,m2,L2,0",
        "Becker,Hill Lane 3,m3,L3,0", "Baecker,Hill Lane 3,i1,L3,1",
        "Zimmer,Lake View 12,i2,L4,1", "Meyer,Main Street 1,i3,L1,1",
        "Zimmer,Lake View 12,i4,L4,1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command + " " + (c.options.empty() ? "" : c.options[1]));
    std::string out, err;
    ASSERT_EQ(RunCommand(c.command, c.options, &out, &err), kExitOk) << err;
    EXPECT_EQ(err, "");
    EXPECT_EQ(out.substr(0, out.find("\r\n")), c.header);
    EXPECT_EQ(Rows(out), c.rows) << out;
  }
}

TEST_F(MatchMergeCommandTest, LogsAndReproducibleLabels) {
  std::string out, err, again;
  ASSERT_EQ(RunCommand("match",
                       {"--log-positive", File("p.log"), "--log-negative",
                        File("n.log"), "--out-delimiter", ";"},
                       &out, &err),
            kExitOk)
      << err;
  EXPECT_EQ(Read(File("p.log")),
            "name;street;id\r\n"
            "Baecker;Hill Lane 3;i1\r\n"
            "Meyer;Main Street 1;i3\r\n");
  EXPECT_EQ(Read(File("n.log")),
            "name;street;id\r\n"
            "Zimmer;Lake View 12;i2\r\n"
            "Zimmer;Lake View 12;i4\r\n");
  const std::vector<std::string> merge = {
      "--return",       "dupes",       "--label-seed",   "11",
      "--log-imported", File("i.log"), "--log-rejected", File("r.log")};
  ASSERT_EQ(RunCommand("merge", merge, &out, &err), kExitOk) << err;
  ASSERT_EQ(RunCommand("merge", merge, &again, &err), kExitOk) << err;
  EXPECT_EQ(out, again);
  EXPECT_EQ(Rows(out).size(), 6u);
  EXPECT_EQ(Read(File("i.log")),
            "name,street,id\r\nZimmer,Lake View 12,i2\r\n");
}

TEST_F(MatchMergeCommandTest, Errors) {
  struct Case {
    std::string command;
    std::vector<std::string> options;
    int status;
    std::string message;
  } cases[] = {
      {"match", {"--return", "dupes"}, kExitUsage, "--return takes all"},
      {"merge", {"--return", "positive"}, kExitUsage, "--return takes import"},
      {"match", {"--cluster", "nope"}, kExitBadInput, "no column 'nope'"},
      {"merge",
       {"--log-rejected", "/nonexistent/dir/r.log"},
       kExitBadInput,
       "cannot create log"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    std::string out, err;
    EXPECT_EQ(RunCommand(c.command, c.options, &out, &err), c.status);
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
  }
  std::istringstream in;
  std::ostringstream outs, errs;
  EXPECT_EQ(cli::Run({"merge", master_}, {in, outs, errs}), kExitUsage);
}

// A usage error found late must not cost a log its content: every option is
// checked, and the log probed without truncating it, before the call that
// writes the log.
TEST_F(MatchMergeCommandTest, UsageErrorsLeaveLogsAlone) {
  const std::string keep = File("keep.csv");
  const std::vector<std::vector<std::string>> cases = {
      {"match", master_, file_, "--log-positive", keep},
      {"merge", master_, file_, "--log-rejected", keep},
      {"delete-dupes", master_, "--fid-column", "id", "--log", keep},
  };
  for (const char* bad : {"--progress=bogus", "--out-encoding=ebcdic"}) {
    for (std::vector<std::string> args : cases) {
      SCOPED_TRACE(args[0] + " " + bad);
      args.push_back(bad);
      Write("keep.csv", "precious\r\n");
      std::istringstream in;
      std::ostringstream out, err;
      EXPECT_EQ(cli::Run(args, {in, out, err}), kExitUsage) << err.str();
      EXPECT_EQ(Read(keep), "precious\r\n");
    }
  }
}

}  // namespace
}  // namespace vexlor::cli

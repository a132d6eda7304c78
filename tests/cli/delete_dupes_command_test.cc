#include <gtest/gtest.h>
#include <sys/wait.h>
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

class ExactDeleteCommandTest : public testing::CommandFileTest {
 protected:
  // Runs the command in-process; returns its status, output and errors.
  int RunCommand(std::vector<std::string> args, std::string* out,
                 std::string* err) {
    std::istringstream in;
    std::ostringstream outs, errs;
    args.push_back("--progress");
    args.push_back("none");
    std::string path = dir_ + "/out.csv";
    args.push_back("-o");
    args.push_back(path);
    std::remove(path.c_str());
    int status = cli::Run(args, {in, outs, errs});
    *out = Read(path);
    *err = errs.str();
    return status;
  }
};

const std::string kA = "{AAAAAAAA-0000-0000-0000-000000000000}";
const std::string kB = "{BBBBBBBB-0000-0000-0000-000000000000}";

// Labels a, b, a, a in the last column; a second label-like column left of
// it that automatic detection must pass over.
std::string Labelled() {
  return "name,other,FuzzyDupesID\r\n"
         "r0," +
         kB + "," + kA +
         "\r\n"
         "r1," +
         kB + "," + kB +
         "\r\n"
         "r2," +
         kA + "," + kA +
         "\r\n"
         "r3," +
         kA + "," + kA + "\r\n";
}

// The first field of every line after the header.
std::vector<std::string> Names(const std::string& csv) {
  std::vector<std::string> names;
  std::istringstream in(csv);
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::string first = line.substr(0, line.find(','));
    if (first.size() >= 2 && first.front() == '"') {
      first = first.substr(1, first.size() - 2);
    }
    names.push_back(first);
  }
  return names;
}

using Rows = std::vector<std::string>;

TEST_F(ExactDeleteCommandTest, KeepAndReturnModes) {
  const std::string in = Write("in.csv", Labelled());
  struct Case {
    std::vector<std::string> options;
    Rows rows;
  } cases[] = {
      {{}, {"r0", "r1"}},
      {{"--keep", "last"}, {"r1", "r3"}},
      {{"--return", "deleted"}, {"r2", "r3"}},
      {{"--keep", "last", "--return", "deleted"}, {"r0", "r2"}},
      // The middle column by name, then by index.
      {{"--fid-column", "other"}, {"r0", "r2"}},
      {{"--fid-column", "1", "--keep", "last"}, {"r1", "r3"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"delete-dupes", in};
    args.insert(args.end(), c.options.begin(), c.options.end());
    std::string out, err;
    ASSERT_EQ(RunCommand(args, &out, &err), kExitOk) << err;
    EXPECT_EQ(Names(out), c.rows) << out;
    EXPECT_EQ(out.substr(0, out.find("\r\n")), "name,other,FuzzyDupesID");
  }
}

TEST_F(ExactDeleteCommandTest, LogAndMaxColumn) {
  const std::string in = Write(
      "in.csv",
      "name,city,group\r\nM\xC3\xBCller,Bonn,g\r\nMeier,K\xC3\xB6ln,g\r\n");
  const std::string log = dir_ + "/deleted.csv";
  std::string out, err;
  ASSERT_EQ(
      RunCommand({"delete-dupes", in, "--fid-column", "group", "--max-column",
                  "city", "--log", log, "--out-delimiter", ";"},
                 &out, &err),
      kExitOk)
      << err;
  EXPECT_EQ(out, "name;city\r\nM\xC3\xBCller;Bonn\r\n");
  EXPECT_EQ(Read(log), "name;city\r\nMeier;K\xC3\xB6ln\r\n");
  // The log follows the output's encoding.
  ASSERT_EQ(RunCommand({"delete-dupes", in, "--fid-column", "2", "--log", log,
                        "--out-encoding", "cp1252"},
                       &out, &err),
            kExitOk)
      << err;
  EXPECT_EQ(Read(log), "name,city,group\r\nMeier,K\xF6ln,g\r\n");
}

TEST_F(ExactDeleteCommandTest, HeaderOnlyInputGivesHeaderOnlyOutput) {
  const std::string in = Write("in.csv", "name,FuzzyDupesID\r\n");
  std::string out, err;
  ASSERT_EQ(RunCommand({"delete-dupes", in}, &out, &err), kExitOk) << err;
  EXPECT_EQ(out, "name,FuzzyDupesID\r\n");
}

TEST_F(ExactDeleteCommandTest, Errors) {
  const std::string in = Write("in.csv", Labelled());
  const std::string plain = Write("plain.csv", "name,group\r\nx,a\r\n");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message_part;
  } cases[] = {
      {{"delete-dupes", plain}, kExitBadInput, "--fid-column"},
      {{"delete-dupes", in, "--fid-column", "nope"},
       kExitBadInput,
       "no column 'nope'"},
      {{"delete-dupes", in, "--max-column", "9"},
       kExitBadInput,
       "no column '9'"},
      {{"delete-dupes", in, "--log", dir_ + "/no/such/log.csv"},
       kExitBadInput,
       "cannot create log"},
      {{"delete-dupes", in, "--keep", "middle"}, kExitUsage, "first or last"},
      {{"delete-dupes", in, "--return", "all"}, kExitUsage, "clean or deleted"},
      {{"delete-dupes", in, in}, kExitUsage, "one FILE"},
      {{"delete-dupes", dir_ + "/missing.csv"}, kExitBadInput, "missing.csv"},
  };
  for (const Case& c : cases) {
    std::string out, err;
    EXPECT_EQ(RunCommand(c.args, &out, &err), c.status) << err;
    EXPECT_NE(err.find(c.message_part), std::string::npos) << err;
    EXPECT_EQ(out, "");
  }
}

// The built program in a pipeline: dupes labels the records, delete-dupes
// reads the labelled table from standard input. Needs VEXLOR_BINARY.
TEST_F(ExactDeleteCommandTest, PipelineFromDupes) {
  const char* binary = std::getenv("VEXLOR_BINARY");
  if (binary == nullptr || *binary == '\0') {
    GTEST_SKIP() << "VEXLOR_BINARY is not set";
  }
  const std::string in = Write("in.csv",
                               "name,street\r\n"
                               "Meier,Main Street 1\r\n"
                               "Meyer,Main Street 1\r\n"
                               "Schulz,Park Road 7\r\n"
                               "Meier,Main Street 1\r\n");
  const std::string b = std::string("'") + binary + "'";
  const std::string command = b + " dupes '" + in +
                              "' --cluster-threshold 0.3 --progress none | " +
                              b + " delete-dupes - --return deleted --log '" +
                              dir_ + "/log.csv' --progress none";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  const int status = pclose(pipe);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(Names(out), (Rows{"Meyer", "Meier"})) << out;
  EXPECT_EQ(out.substr(0, out.find("\r\n")), "name,street,FuzzyDupesID");
  EXPECT_EQ(Names(Read(dir_ + "/log.csv")), (Rows{"Meyer", "Meier"}));
}

TEST_F(ExactDeleteCommandTest, ExactMatchOnOneColumn) {
  const std::string master =
      Write("master.csv", "id,name\r\n1,x\r\n2,y\r\n3,x\r\n4,\r\n");
  const std::string match =
      Write("match.csv", "id,name\r\n7,x\r\n8,z\r\n9,\r\n");
  struct Case {
    std::vector<std::string> options;
    Rows rows;
  } cases[] = {
      {{"--column", "name"}, {"1", "2", "3", "4"}},
      {{"--column", "name", "--return", "positive"}, {"1"}},
      {{"--column", "1", "--return", "negative"}, {"2", "3", "4"}},
      {{"--column", "id", "--return", "positive"}, {}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"exact", master, match};
    args.insert(args.end(), c.options.begin(), c.options.end());
    std::string out, err;
    ASSERT_EQ(RunCommand(args, &out, &err), kExitOk) << err;
    EXPECT_EQ(Names(out), c.rows) << out;
    EXPECT_EQ(out.substr(0, out.find("\r\n")),
              c.options.size() == 2 ? "id,name,Matched" : "id,name");
  }
}

TEST_F(ExactDeleteCommandTest, ExactErrors) {
  const std::string master = Write("master.csv", "id,name\r\n1,x\r\n");
  const std::string swapped = Write("swapped.csv", "name,id\r\nx,1\r\n");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message_part;
  } cases[] = {
      {{"exact", master, swapped, "--column", "name", "--by-position"},
       kExitBadInput,
       "compared at one index"},
      {{"exact", master, master, "--column", "nope"},
       kExitBadInput,
       "no column 'nope'"},
      {{"exact", master, master}, kExitUsage, "--column"},
      {{"exact", master, master, "--column", "id", "--return", "some"},
       kExitUsage,
       "all, positive or negative"},
      {{"exact", master, "--column", "id"}, kExitUsage, "MASTER and FILE"},
  };
  for (const Case& c : cases) {
    std::string out, err;
    EXPECT_EQ(RunCommand(c.args, &out, &err), c.status) << err;
    EXPECT_NE(err.find(c.message_part), std::string::npos) << err;
  }
}

}  // namespace
}  // namespace vexlor::cli

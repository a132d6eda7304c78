#include "cli/distributed_run.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include "cli/command.h"
#include "tests/cli/command_file_test.h"

namespace vexlor::cli {
namespace {

class DistributedRunTest : public testing::CommandFileTest {
 protected:
  int RunCommand(std::vector<std::string> args, std::string* err) {
    std::istringstream in;
    std::ostringstream out, errs;
    const int status = cli::Run(args, {in, out, errs});
    *err = errs.str();
    return status;
  }
};

// Cells with quotes, commas and a line break travel to the helper and back.
constexpr const char* kTable =
    "id,name,street\r\n"
    "1,Meier,Main Street 1\r\n"
    "2,Meyer,\"Main Street 1, rear\"\r\n"
    "3,\"Schulz \"\"Jr\"\"\",Park Road 7\r\n"
    "4,Schultz Jr,\"Park\nRoad 7\"\r\n"
    "5,Meir,Main Street 1\r\n"
    "6,,\r\n";

bool DaskInstalled() {
  return std::system(
             "/usr/bin/python3 -c 'import distributed' "
             ">/dev/null 2>&1") == 0;
}

TEST_F(DistributedRunTest, SameOutputOnALocalCluster) {
#ifndef VEXLOR_PYTHON_MODULE_BUILT
  GTEST_SKIP() << "this build makes no Python module";
#endif
  if (!DaskInstalled()) GTEST_SKIP() << "no Dask for /usr/bin/python3";
  const std::string in = Write("in.csv", kTable);
  for (const char* grouping : {"chain", "clique"}) {
    std::string err, outputs[2];
    for (int cluster = 0; cluster < 2; ++cluster) {
      outputs[cluster] = dir_ + "/out" + std::to_string(cluster) + ".csv";
      std::vector<std::string> args = {
          "dupes", in,           "--id-column",   "id",       "-t",
          "70",    "--grouping", grouping,        "--scores", "--label-seed",
          "5",     "-o",         outputs[cluster]};
      if (cluster == 1) args.insert(args.end(), {"--workers", "2"});
      ASSERT_EQ(RunCommand(args, &err), kExitOk) << err;
    }
    EXPECT_EQ(Read(outputs[0]), Read(outputs[1])) << grouping;
  }
}

TEST_F(DistributedRunTest, MistakesAreNamed) {
  const std::string in = Write("in.csv", kTable);
  const struct {
    std::vector<std::string> args;
    const char* python;
    int status;
    const char* message;
  } cases[] = {
      {{"--workers", "0"}, nullptr, kExitUsage, "--workers takes a number"},
      {{"--workers", "2", "--scheduler", "a:1"},
       nullptr,
       kExitUsage,
       "exclude each other"},
      {{"--workers", "2"},
       "/nonexistent/python3",
       kExitBadInput,
       "need Python 3 (/nonexistent/python3"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"dupes", in};
    args.insert(args.end(), c.args.begin(), c.args.end());
    if (c.python != nullptr) setenv("VEXLOR_PYTHON", c.python, 1);
    std::string err;
    EXPECT_EQ(RunCommand(args, &err), c.status) << err;
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
    unsetenv("VEXLOR_PYTHON");
  }
}

}  // namespace
}  // namespace vexlor::cli

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "cli/command.h"

namespace vexlor::cli {
namespace {

struct Outcome {
  int status;
  std::string out, err;
};

Outcome Grep(std::vector<std::string> args) {
  args.insert(args.begin(), "grep");
  std::istringstream in;
  std::ostringstream out, err;
  int status = cli::Run(args, {in, out, err});
  return {status, out.str(), err.str()};
}

std::string WriteTemp(const std::string& content) {
  char name[] = "/tmp/vexlor_grep_XXXXXX";
  int fd = mkstemp(name);
  EXPECT_GE(fd, 0);
  close(fd);
  std::ofstream(name, std::ios::binary) << content;
  return name;
}

TEST(GrepCommandTest, PrintsLinesWithinTheErrorBound) {
  std::string file = WriteTemp(
      "Meier\r\nMayer\nMaier Hans\nM\xC3\xBCller\nSchmidt\nSchmid\n\nno "
      "newline at end M?ier");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out;
  } cases[] = {
      {{"M[ae][iy]er", file}, 0, "Meier\r\nMayer\nMaier Hans\n"},
      {{"--show-errors", "Schmidt", file}, 0, "0:Schmidt\n"},
      {{"-k", "1", "--show-errors", "-n", "Schmidt", file},
       0,
       "5:0:Schmidt\n6:1:Schmid\n"},
      {{"-k", "1", "-c", "Schmidt", file}, 0, "2\n"},
      {{"-c", "Zebra", file}, 1, "0\n"},
      {{"-l", "-k", "1", "Schmidt", file}, 0, file + "\n"},
      {{"-H", "-n", "Mayer", file}, 0, file + ":2:Mayer\n"},
      {{"-i", "schmidt|meier", file}, 0, "Meier\r\nSchmidt\n"},
      {{"M\xC3\xBCller", file}, 0, "M\xC3\xBCller\n"},
      {{"end M\\?ier", file}, 0, "no newline at end M?ier\n"},
      {{"Zebra", file}, 1, ""},
  };
  for (const Case& c : cases) {
    Outcome o = Grep(c.args);
    EXPECT_EQ(o.status, c.status) << c.args[0] << o.err;
    EXPECT_EQ(o.out, c.out) << c.args[0];
  }
  Outcome two = Grep({"Schmidt", file, file});
  EXPECT_EQ(two.out, file + ":Schmidt\n" + file + ":Schmidt\n");
  EXPECT_EQ(Grep({"-c", "Schmidt", file, file}).out,
            file + ":1\n" + file + ":1\n");
  EXPECT_EQ(Grep({"-h", "Schmidt", file, file}).out, "Schmidt\nSchmidt\n");
  std::remove(file.c_str());
}

TEST(GrepCommandTest, ErrorsExitWithTwo) {
  for (std::vector<std::string> args : {std::vector<std::string>{"[a-"},
                                        {"a|"},
                                        {"{a"},
                                        {"x", "/no/such/file"},
                                        {"-k", "8", "x"},
                                        {"--bogus", "x"},
                                        {}}) {
    Outcome o = Grep(args);
    EXPECT_EQ(o.status, 2);
    EXPECT_FALSE(o.err.empty());
  }
  EXPECT_NE(Grep({"[a-"}).err.find("invalid pattern"), std::string::npos);
}

}  // namespace
}  // namespace vexlor::cli

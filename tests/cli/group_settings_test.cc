// The grouping and review flags of `dupes`, `match` and `merge`, end to end.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command.h"
#include "tests/cli/command_file_test.h"

namespace vexlor::cli {
namespace {

class GroupSettingsTest : public testing::CommandFileTest {
 protected:
  // Runs the command with its output to a file, read into *out.
  int RunCommand(std::vector<std::string> args, std::string* out,
                 std::string* err) {
    std::istringstream in;
    std::ostringstream output, errors;
    const std::string result = File("result.csv");
    std::remove(result.c_str());
    args.insert(args.end(), {"--progress", "none", "-o", result});
    const int status = cli::Run(args, {in, output, errors});
    *out = status == kExitOk ? Read(result) : "";
    *err = errors.str();
    return status;
  }
};

// Two customers whose names are written both ways round, and a third, Meyer
// at Main Street 1, who resembles the Meiers only with the names the right
// way round.
constexpr const char* kPeople =
    "id,first,last,street\r\n"
    "a,Hans,Meier,Main Street 1\r\n"
    "b,Meier,Hans,Main Street 1\r\n"
    "c,Anna,Schulz,Park Road 7\r\n"
    "d,Schulz,Anna,Park Road 7\r\n"
    "e,Hans,Meyer,Main Street 1\r\n";

TEST_F(GroupSettingsTest, DupesGroupsAndWhatItAddsForReview) {
  const std::string in = Write("people.csv", kPeople);
  const std::string pairs = File("pairs.csv");
  std::string out, err;
  ASSERT_EQ(
      RunCommand({"dupes", in, "--id-column", "id", "--swap", "first,last",
                  "--grouping", "clique", "--labels", "number", "--group-size",
                  "--scores", "--return", "dupes", "--pairs", pairs,
                  "--cluster-threshold", "0.3"},
                 &out, &err),
      kExitOk)
      << err;
  // Without the swap only a and e would meet; numbers follow the rows.
  EXPECT_EQ(out,
            "id,first,last,street,FuzzyDupesID,"
            "Similarity,GroupSize\r\n"
            "a,Hans,Meier,Main Street 1,1,,3\r\n"
            "b,Meier,Hans,Main Street 1,1,100,3\r\n"
            "e,Hans,Meyer,Main Street 1,1,93.33333333,3\r\n"
            "c,Anna,Schulz,Park Road 7,2,,2\r\n"
            "d,Schulz,Anna,Park Road 7,2,100,2\r\n");
  const std::string written = Read(pairs);
  EXPECT_EQ(written.substr(0, written.find("\r\n")), "record,other,similarity");
  EXPECT_NE(written.find("\r\na,b,100\r\n"), std::string::npos) << written;
  // Near duplicates share min-hash bands: the bounded rule finds them too.
  std::string bounded;
  ASSERT_EQ(
      RunCommand({"dupes", in, "--id-column", "id", "--swap", "first,last",
                  "--grouping", "clique", "--labels", "number", "--group-size",
                  "--scores", "--return", "dupes", "--candidates", "bounded",
                  "--cluster-threshold", "0.3"},
                 &bounded, &err),
      kExitOk)
      << err;
  EXPECT_EQ(bounded, out);
}

TEST_F(GroupSettingsTest, MatchKeepsTheBestRecordAndItsId) {
  const std::string master =
      Write("master.csv", "id,name\r\nm1,Hans Meier\r\nm2,Anna Schulz\r\n");
  const std::string file =
      Write("file.csv", "id,name\r\nf1,Hans Meierr\r\nf2,Hans Meier\r\n");
  std::string first, best, err;
  const std::vector<std::string> args = {"match",       master,     file,
                                         "--id-column", "id",       "--scores",
                                         "--match-id",  "--return", "positive"};
  ASSERT_EQ(RunCommand(args, &first, &err), kExitOk) << err;
  std::vector<std::string> with_best = args;
  with_best.insert(with_best.end(), {"--match", "best"});
  ASSERT_EQ(RunCommand(with_best, &best, &err), kExitOk) << err;
  const std::string header = "id,name,Match,Similarity,MatchID\r\n";
  EXPECT_EQ(first, header + "m1,Hans Meier,1,95.23809524,f1\r\n");
  EXPECT_EQ(best, header + "m1,Hans Meier,2,100,f2\r\n");
}

TEST_F(GroupSettingsTest, FlagsAreCheckedBeforeAnyFileIsRead) {
  const std::string in = Write("people.csv", kPeople);
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;
  } cases[] = {
      {{"dupes", "missing.csv", "--grouping", "star"},
       kExitUsage,
       "--grouping takes chain, center or clique"},
      {{"dupes", "missing.csv", "--member-threshold", "x"},
       kExitUsage,
       "--member-threshold takes a number"},
      {{"dupes", "missing.csv", "--swap", "first"},
       kExitUsage,
       "--swap takes two different columns"},
      {{"dupes", "missing.csv", "--labels", "letters"},
       kExitUsage,
       "--labels takes guid or number"},
      {{"dupes", "missing.csv", "--match", "best"},
       kExitUsage,
       "unknown option"},
      {{"match", "missing.csv", "missing.csv", "--match", "last"},
       kExitUsage,
       "--match takes first or best"},
      {{"match", "missing.csv", "missing.csv", "--match-id"},
       kExitUsage,
       "--match-id needs --id-column"},
      {{"merge", "missing.csv", "missing.csv", "--grouping", "clique"},
       kExitUsage,
       "unknown option"},
      {{"merge", "missing.csv", "missing.csv", "--candidates", "some"},
       kExitUsage,
       "--candidates takes exact or bounded"},
      {{"dupes", in, "--swap", "first,surname"},
       kExitBadInput,
       "no column 'surname'"},
  };
  for (const Case& c : cases) {
    std::string out, err;
    EXPECT_EQ(RunCommand(c.args, &out, &err), c.status) << c.message;
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
  }
}

// A model fitted and saved by one run scores the same table alike when it
// is read back, and the flags that need a fitted model say so.
TEST_F(GroupSettingsTest, SavedModelScoresAsTheFittedOne) {
  const std::string in = Write("people.csv", kPeople);
  const std::string model = File("model.json");
  const std::vector<std::string> search = {
      "dupes",    in,       "--id-column",         "id", "--scores",
      "--labels", "number", "--cluster-threshold", "0.3"};
  std::string fitted, reread, err;
  std::vector<std::string> fit = search;
  fit.insert(fit.end(), {"--scoring", "estimated", "--model-out", model});
  ASSERT_EQ(RunCommand(fit, &fitted, &err), kExitOk) << err;
  EXPECT_NE(Read(model).find("\"prior\""), std::string::npos);
  std::vector<std::string> reuse = search;
  reuse.insert(reuse.end(), {"--model", model});
  ASSERT_EQ(RunCommand(reuse, &reread, &err), kExitOk) << err;
  EXPECT_EQ(reread, fitted);

  const std::string broken = Write("broken.json", "{\"prior\": ");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;
  } cases[] = {
      {{"dupes", in, "--scoring", "best"},
       kExitUsage,
       "--scoring takes mean or estimated"},
      {{"dupes", in, "--model-out", model},
       kExitUsage,
       "need --scoring estimated"},
      {{"dupes", in, "--model", File("absent.json")},
       kExitUsage,
       "cannot read"},
      {{"dupes", in, "--model", broken}, kExitUsage, "broken.json"},
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(RunCommand(c.args, &out, &err), c.status) << c.message;
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
  }
}

}  // namespace
}  // namespace vexlor::cli

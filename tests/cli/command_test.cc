#include "cli/command.h"

#include <gtest/gtest.h>

#include <sstream>

namespace vexlor::cli {
namespace {

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

Outcome RunWith(std::vector<std::string> args, const std::string& input = "") {
  std::istringstream in(input);
  std::ostringstream out, err;
  int status = Run(args, {in, out, err});
  return {status, out.str(), err.str()};
}

TEST(CommandTest, SingleStringCommands) {
  struct Case {
    std::vector<std::string> args;
    std::string out;
  } cases[] = {
      {{"normalize", "Müller GmbH & Co. KG"}, "MULLER U.\n"},
      {{"normalize", "--mixed-case", "Hauptstrasse"}, "Hauptstr.\n"},
      {{"normalize", "Łódź"}, "LODZ\n"},
      {{"distance", "flaw", "lawn"}, "2\n"},
      {{"difference", "ABCD", "ABXD"}, "75\n"},
      {{"soundex", "Robert", "Tymczak"}, "r163\nt520\n"},
      {{"soundex", "--firstchar", "Lee"}, "4000\n"},
      {{"metaphone", "Peters"}, "B360\n"},
      {{"dmetaphone", "--length", "8", "Accident"}, "AKSTNT\n"},
      {{"compare", "Hello World", "world"}, "1\n"},
      {{"compare", "-i", "Hello World", "world"}, "0\n"},
      {{"call", "soundex", "Lee", "4", "0"}, "l000\n"},
      {{"call", "EditDistance", "ab", "ba"}, "2\n"},
      {{"call", "difference", "ABC", "ABC"}, "100\n"},
  };
  for (const Case& c : cases) {
    Outcome o = RunWith(c.args);
    EXPECT_EQ(o.status, kExitOk) << c.args[0] << ": " << o.err;
    EXPECT_EQ(o.out, c.out) << c.args[0];
  }
}

TEST(CommandTest, NamesFromStandardInput) {
  Outcome o = RunWith({"soundex", "-"}, "Robert\r\nLee\n");
  EXPECT_EQ(o.status, kExitOk);
  EXPECT_EQ(o.out, "r163\nl000\n");
}

TEST(CommandTest, UsageErrorsExitWithTwoAndAMessage) {
  struct Case {
    std::vector<std::string> args;
    std::string message_part;
  } cases[] = {
      {{"frobnicate"}, "unknown command"},
      {{"distance", "a"}, "exactly two"},
      {{"soundex", "--length", "70000", "Lee"}, "--length"},
      {{"soundex", "--bogus", "Lee"}, "unknown option"},
      {{"call", "soundex", "Lee", "70000", "0"}, "out of range"},
      {{"call", "ListAddField", "a", "b", "abc", "0"}, "cannot take"},
      {{"call", "nothing"}, "no member"},
      {{"members", "x"}, "no arguments"},
  };
  for (const Case& c : cases) {
    Outcome o = RunWith(c.args);
    EXPECT_EQ(o.status, kExitUsage) << c.args[0];
    EXPECT_NE(o.err.find(c.message_part), std::string::npos) << o.err;
    EXPECT_EQ(o.err.find('\n'), o.err.size() - 1) << "one line: " << o.err;
  }
}

TEST(CommandTest, HelpVersionAndMembers) {
  EXPECT_EQ(RunWith({"--version"}).out, "vexlor 5.7.0\n");
  EXPECT_NE(RunWith({"--about"}).out.find("Vexlor Control, Version 5.7.0"),
            std::string::npos);
  EXPECT_NE(RunWith({"--help"}).out.find("usage: vexlor"), std::string::npos);
  EXPECT_NE(RunWith({"soundex", "--help"}).out.find("--firstchar"),
            std::string::npos);
  Outcome members = RunWith({"members"});
  EXPECT_NE(members.out.find("DupeSearch"), std::string::npos);
  EXPECT_NE(members.out.find("-552"), std::string::npos);
}

}  // namespace
}  // namespace vexlor::cli

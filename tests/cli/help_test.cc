#include "cli/help.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace vexlor::cli {
namespace {

// The command reference in docs/ is the help text itself: a change to one
// without the other fails here.
TEST(HelpTest, DocumentationSaysWhatTheHelpSays) {
  const char* source = std::getenv("VEXLOR_SOURCE_DIR");
  if (source == nullptr) GTEST_SKIP() << "VEXLOR_SOURCE_DIR not set";
  std::ifstream in(std::string(source) + "/docs/cli.md", std::ios::binary);
  std::stringstream doc;
  doc << in.rdbuf();
  EXPECT_EQ(doc.str(), CliReference())
      << "regenerate with: vexlor help --markdown > docs/cli.md";
}

TEST(HelpTest, EveryCommandHasItsOwnHelp) {
  for (const std::string& name : DocumentedCommands()) {
    std::string help = SubcommandHelp(name);
    EXPECT_NE(help, MainHelp()) << name;
    EXPECT_EQ(help.rfind("usage: vexlor " + name, 0), 0u) << name;
    EXPECT_NE(MainHelp().find(name), std::string::npos) << name;
  }
}

}  // namespace
}  // namespace vexlor::cli

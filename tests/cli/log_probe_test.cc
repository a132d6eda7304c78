#include "cli/log_probe.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "tests/cli/command_file_test.h"
#include "vexlor/output/log_file.h"

namespace vexlor::cli {
namespace {

class LogProbeTest : public testing::CommandFileTest {};

// What the probe must leave as it found it: a file's bytes, or whether
// anything is there.
std::string State(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return "(nothing)";
  return S_ISREG(st.st_mode) ? testing::ReadBytes(path) : "(not a file)";
}

// Whatever the probe answers, the path holds afterwards what it held before.
TEST_F(LogProbeTest, AnswersWithoutChangingThePath) {
  const std::string kept = Write("kept.csv", "line 1\r\n");
  const std::string held = Write("held.csv", "line 2\r\n");
  CLogFile writer;
  ASSERT_TRUE(writer.Open(held));
  ASSERT_EQ(::mkdir(File("folder").c_str(), 0777), 0);
  struct Case {
    std::string path;
    bool writable;
  } cases[] = {
      {kept, true},
      {File("new.csv"), true},
      {File("missing/log.csv"), false},
      {File("folder"), false},
      {held, false},  // another writer holds it
      {"/dev/null", true},
      {"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const std::string before = State(c.path);
    EXPECT_EQ(CanWriteLog(c.path), c.writable);
    EXPECT_EQ(State(c.path), before);
  }
}

}  // namespace
}  // namespace vexlor::cli

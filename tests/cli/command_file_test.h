// The fixture of the command tests that work on files: a fresh folder per
// test, removed with everything in it afterwards, and helpers to write and
// read files there.
#ifndef VEXLOR_TESTS_CLI_COMMAND_FILE_TEST_H_
#define VEXLOR_TESTS_CLI_COMMAND_FILE_TEST_H_

#include <gtest/gtest.h>

#include <string>

#include "tests/output/temp_dir.h"

namespace vexlor::testing {

class CommandFileTest : public ::testing::Test {
 protected:
  // Writes `content` to the file `name` of the folder; returns its path.
  std::string Write(const std::string& name, const std::string& content) {
    const std::string path = File(name);
    WriteBytes(path, content);
    return path;
  }
  std::string File(const std::string& name) const { return temp_.File(name); }
  static std::string Read(const std::string& path) { return ReadBytes(path); }

  TempDir temp_;
  const std::string& dir_ = temp_.path();
};

}  // namespace vexlor::testing

#endif  // VEXLOR_TESTS_CLI_COMMAND_FILE_TEST_H_

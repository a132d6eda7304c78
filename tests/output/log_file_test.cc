#include "vexlor/output/log_file.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/output/temp_dir.h"

namespace vexlor {
namespace {

using testing::Exists;
using testing::kNullDevice;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

TEST(LogFileTest, LinesEndInCrLfAndReturnTheirByteCount) {
  TempDir dir;
  std::string path = dir.File("log.csv");
  CLogFile log;
  EXPECT_FALSE(log.IsOpen());
  ASSERT_TRUE(log.Open(path));
  EXPECT_TRUE(log.IsOpen());
  EXPECT_EQ(log.WriteLine("a;b"), 5u);
  EXPECT_EQ(log.WriteLine(""), 2u);
  EXPECT_EQ(log.WriteLine(std::string("\xFC\0x", 3)), 5u);
  // Unbuffered: a reader sees each line as soon as it is written.
  EXPECT_EQ(ReadBytes(path), std::string("a;b\r\n\r\n\xFC\0x\r\n", 12));
  log.Close();
  EXPECT_FALSE(log.IsOpen());
  EXPECT_EQ(log.error_count(), 0);
  EXPECT_EQ(log.WriteLine("late"), 0u);
  EXPECT_EQ(ReadBytes(path), std::string("a;b\r\n\r\n\xFC\0x\r\n", 12));
  log.Close();  // a second Close does nothing
}

TEST(LogFileTest, ExistingFileIsReplaced) {
  TempDir dir;
  std::string path = dir.File("old.csv");
  WriteBytes(path, std::string(1000, 'x'));
  CLogFile log;
  ASSERT_TRUE(log.Open(path));
  EXPECT_EQ(ReadBytes(path), "");
  log.WriteLine("new");
  log.Close();
  EXPECT_EQ(ReadBytes(path), "new\r\n");
}

TEST(LogFileTest, ReopeningClosesTheFirstFileWhichKeepsItsLines) {
  TempDir dir;
  CLogFile log;
  ASSERT_TRUE(log.Open(dir.File("first")));
  log.WriteLine("one");
  ASSERT_TRUE(log.Open(dir.File("second")));
  log.WriteLine("two");
  // The first file is closed: its lines are there and its lock is gone.
  EXPECT_EQ(ReadBytes(dir.File("first")), "one\r\n");
  CLogFile other;
  EXPECT_TRUE(other.Open(dir.File("first")));
  log.Close();
  EXPECT_EQ(ReadBytes(dir.File("second")), "two\r\n");
  // The same object may open the same path again after Close.
  ASSERT_TRUE(log.Open(dir.File("second")));
  EXPECT_EQ(ReadBytes(dir.File("second")), "");
}

TEST(LogFileTest, SecondWriterOfTheSameFileFailsWithoutTouchingIt) {
  TempDir dir;
  std::string path = dir.File("shared.csv");
  CLogFile first;
  ASSERT_TRUE(first.Open(path));
  first.WriteLine("first");
  CLogFile second;
  EXPECT_FALSE(second.Open(path));
  EXPECT_FALSE(second.IsOpen());
  EXPECT_EQ(second.WriteLine("second"), 0u);
  // Readers are welcome meanwhile.
  EXPECT_TRUE(std::ifstream(path, std::ios::binary).is_open());
  first.WriteLine("more");
  EXPECT_EQ(ReadBytes(path), "first\r\nmore\r\n");
  first.Close();
  EXPECT_TRUE(second.Open(path));
}

TEST(LogFileTest, DestructionClosesAndReleasesTheFile) {
  TempDir dir;
  std::string path = dir.File("scoped.csv");
  {
    CLogFile log;
    ASSERT_TRUE(log.Open(path));
    log.WriteLine("kept");
  }
  EXPECT_EQ(ReadBytes(path), "kept\r\n");
  CLogFile again;
  EXPECT_TRUE(again.Open(path));
}

TEST(LogFileTest, UnopenablePathsFailAndCreateNothing) {
  TempDir dir;
  WriteBytes(dir.File("plain"), "x");
  std::filesystem::create_directory(dir.File("folder"));
  struct Case {
    std::string path;
    std::string must_not_exist;
  } cases[] = {
      {dir.File("missing/log.csv"), dir.File("missing")},
      {dir.File("folder"), ""},
      {dir.File("plain/log.csv"), ""},
      {"", ""},
      {dir.File(std::string("cut\0name", 8)), dir.File("cut")},
  };
  for (const Case& c : cases) {
    CLogFile log;
    EXPECT_FALSE(log.Open(c.path)) << c.path;
    EXPECT_FALSE(log.IsOpen()) << c.path;
    EXPECT_EQ(log.WriteLine("x"), 0u);
    if (!c.must_not_exist.empty()) {
      EXPECT_FALSE(Exists(c.must_not_exist)) << c.path;
    }
  }
  EXPECT_EQ(ReadBytes(dir.File("plain")), "x");
}

// Names reach the file system in full, never through a code page that
// lacks their letters.
TEST(LogFileTest, FileNamesInAnyScript) {
  TempDir dir;
  const std::string name = "Łódź Иван.csv";
  CLogFile log;
  ASSERT_TRUE(log.Open(dir.File(name)));
  log.WriteLine("x");
  log.Close();
  std::filesystem::directory_iterator entries(dir.path());
  ASSERT_NE(entries, std::filesystem::directory_iterator());
  auto found = entries->path().filename().u8string();
  EXPECT_EQ(std::string(found.begin(), found.end()), name);
}

// The rest needs what only Linux has: a full device, per-process file size
// limits, and permissions that root can give up.
#ifndef _WIN32

// Root writes into read-only folders, so the attempt runs in a child that
// gives up root first.
TEST(LogFileTest, ReadOnlyFolderRefusesTheFile) {
  TempDir dir;
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  std::string folder = dir.File("ro");
  ASSERT_EQ(::mkdir(folder.c_str(), 0555), 0);
  ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
      ::_exit(77);
    }
    CLogFile log;
    ::_exit(log.Open(folder + "/log.csv") ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot give up root";
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_FALSE(Exists(folder + "/log.csv"));
}

TEST(LogFileTest, FullDeviceLosesTheLinesAndCountsThem) {
  CLogFile log;
  ASSERT_TRUE(log.Open("/dev/full"));
  EXPECT_EQ(log.WriteLine("a"), 0u);
  EXPECT_EQ(log.WriteLine("b"), 0u);
  EXPECT_TRUE(log.IsOpen());
  log.Close();
  EXPECT_EQ(log.error_count(), 2);
  // A new Open starts counting afresh.
  ASSERT_TRUE(log.Open(kNullDevice));
  EXPECT_EQ(log.WriteLine("a"), 3u);
  log.Close();
  EXPECT_EQ(log.error_count(), 0);
}

// A file-size limit makes the disk "fill up" in the middle of a line: the
// system takes the first bytes of the line and refuses the rest. The file
// must keep whole lines only, and a later line that fits is still written.
// Runs in a child process, since the limit is per process.
TEST(LogFileTest, DiskFullMidLineLeavesWholeLinesOnly) {
  TempDir dir;
  std::string path = dir.File("limited.csv");
  const std::string line30(30, 'x');
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {100, 100};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(10);
    CLogFile log;
    if (!log.Open(path)) ::_exit(11);
    int code = 0;
    for (int i = 0; i < 3; ++i) {
      if (log.WriteLine(line30) != 32) code |= 1;
    }
    if (log.WriteLine(line30) != 0) code |= 2;  // crosses the limit
    if (log.WriteLine("ab") != 4) code |= 4;    // fits exactly
    if (log.WriteLine("c") != 0) code |= 8;
    log.Close();
    if (log.error_count() != 2) code |= 16;
    ::_exit(code);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  std::string whole = line30 + "\r\n";
  EXPECT_EQ(ReadBytes(path), whole + whole + whole + "ab\r\n");
}

#endif  // _WIN32

}  // namespace
}  // namespace vexlor

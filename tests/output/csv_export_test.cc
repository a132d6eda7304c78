#include "vexlor/output/csv_export.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#ifdef _WIN32
#include <io.h>
#else
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/output/temp_dir.h"
#include "vexlor/output/log_file.h"
#include "vexlor/platform/locale_text.h"
#include "vexlor/platform/testing/locale_data.h"
#include "vexlor/variant.h"
#include "vexlor/variant_array.h"

namespace vexlor {
namespace {

using platform::LocaleText;
using platform::Variant;
using platform::VariantArray;
using testing::CountEntries;
using testing::Exists;
using testing::GoldenPath;
using testing::kNullDevice;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

double Day(int y, unsigned m, unsigned d) {
  using namespace std::chrono;
  return static_cast<double>(
      (sys_days(year(y) / month(m) / day(d)) - sys_days(1899y / 12 / 30))
          .count());
}

// Builds a table of `columns` x `rows` with the given lower bounds, filled
// row by row from `cells` (missing cells stay Empty).
Variant Table(uint32_t columns, uint32_t rows, std::vector<Variant> cells,
              int32_t column_lower = 0, int32_t row_lower = 0) {
  Variant table =
      VariantArray::NewTable(columns, rows, column_lower, row_lower);
  for (size_t i = 0; i < cells.size(); ++i) {
    table.AsArray()->cell(static_cast<uint32_t>(i % columns),
                          static_cast<uint32_t>(i / columns)) = cells[i];
  }
  return table;
}

CsvFormat Format(bool quotes = true, bool headers = true,
                 std::u16string delimiter = u";",
                 TextEncoding encoding = TextEncoding::kWindows1252) {
  CsvFormat format;
  format.delimiter = std::move(delimiter);
  format.text_in_quotes = quotes;
  format.column_headers = headers;
  format.encoding = encoding;
  return format;
}

struct GoldenCase {
  const char* golden;
  // Text outside Windows-1252 has its own nearest form on Windows (the
  // system's best fit, not a transliteration).
  const char* windows_golden;
  std::function<Variant()> table;
  CsvFormat format;
  std::vector<std::u16string> names;
};

std::vector<GoldenCase> GoldenCases() {
  std::vector<GoldenCase> cases;
  cases.push_back({"csv_quoted_a_quote_b.csv",
                   nullptr,
                   [] { return Table(1, 1, {Variant::String(u"a\"b")}); },
                   Format(),
                   {}});
  cases.push_back({"csv_plain_a_quote_b.csv",
                   nullptr,
                   [] { return Table(1, 1, {Variant::String(u"a\"b")}); },
                   Format(false),
                   {}});
  cases.push_back({"csv_no_header_no_rows.csv",
                   nullptr,
                   [] { return Table(3, 0, {}); },
                   Format(true, false),
                   {}});
  cases.push_back({"csv_500_columns.csv",
                   nullptr,
                   [] {
                     std::vector<Variant> row;
                     for (int c = 0; c < 500; ++c)
                       row.push_back(Variant::I4(c));
                     return Table(500, 1, row);
                   },
                   Format(),
                   {}});
  cases.push_back({"csv_columns_from_1.csv",
                   nullptr,
                   [] {
                     return Table(2, 2,
                                  {Variant::String(u"x"), Variant::I2(1),
                                   Variant::Null(), Variant::R8(2.5)},
                                  1, 1);
                   },
                   Format(),
                   {}});
  cases.push_back({"csv_crlf_in_string.csv",
                   nullptr,
                   [] {
                     return Table(2, 1,
                                  {Variant::String(u"two\r\nwords"),
                                   Variant::String(u"one\nline")});
                   },
                   Format(),
                   {}});
  cases.push_back({"csv_numbers.csv",
                   nullptr,
                   [] {
                     return Table(5, 1,
                                  {Variant::R8(0.1), Variant::R8(1e-9),
                                   Variant::R8(-2.50), Variant::Bool(true),
                                   Variant::Bool(false)});
                   },
                   Format(),
                   {u"Tenth", u"", u"Minus"}});
  cases.push_back({"csv_two_char_delimiter.csv",
                   nullptr,
                   [] {
                     return Table(3, 2,
                                  {Variant::String(u"a"), Variant::I4(1),
                                   Variant(), Variant::String(u"b"),
                                   Variant::I4(2), Variant::String(u"c")});
                   },
                   Format(false, true, u", "),
                   {}});
  cases.push_back(
      {"csv_german_locale.csv",
       nullptr,
       [] {
         double day = Day(2023, 12, 31);
         double leap = Day(2024, 2, 29);
         return Table(3, 2,
                      {Variant::Currency(125000), Variant::Date(day),
                       Variant::Date(day + 0.5625), Variant::Currency(-1),
                       Variant::Date(leap), Variant::Date(leap + 1.0 / 86400)});
       },
       Format(),
       {u"Betrag", u"Datum", u"Zeit"}});
  auto international = [] {
    return Table(2, 2,
                 {Variant::String(u"Łódź"), Variant::String(u"Kraków"),
                  Variant::String(u"\"Müller\""), Variant::String(u"Иванов")});
  };
  cases.push_back({"csv_utf8.csv",
                   nullptr,
                   international,
                   Format(true, true, u",", TextEncoding::kUtf8),
                   {u"Name", u"Stadt"}});
  cases.push_back({"csv_cp1252.csv",
                   "csv_cp1252_win.csv",
                   international,
                   Format(true, true, u","),
                   {u"Name", u"Stadt"}});
  return cases;
}

// Every golden file is written byte for byte by the line writer and by the
// buffered writer of the command line.
TEST(CsvExportTest, GoldenFiles) {
  TempDir dir;
  LocaleText german("de_DE");
  for (const GoldenCase& c : GoldenCases()) {
#ifdef _WIN32
    const char* golden = c.windows_golden ? c.windows_golden : c.golden;
#else
    const char* golden = c.golden;
#endif
    if (golden == std::string("csv_german_locale.csv") &&
        !platform::testing::GermanDatesAsPinned()) {
      continue;
    }
    std::string expected = ReadBytes(GoldenPath(golden));
    ASSERT_TRUE(Exists(GoldenPath(golden))) << golden;
    Variant table = c.table();
    std::string path = dir.File(c.golden);
    EXPECT_TRUE(
        ExportCsvFile(*table.AsArray(), c.format, c.names, path, &german))
        << c.golden;
    EXPECT_EQ(ReadBytes(path), expected) << c.golden;

    std::string buffered = dir.File(std::string("buffered_") + c.golden);
    int fd = ::open(buffered.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(WriteCsvTable(*table.AsArray(), c.format, c.names,
                              ExportLastColumn(*table.AsArray()), fd, &german));
    ::close(fd);
    EXPECT_EQ(ReadBytes(buffered), expected) << c.golden;
  }
}

TEST(CsvExportTest, ReplacesAnExistingFileAndWritesEveryRowInOrder) {
  TempDir dir;
  std::string path = dir.File("rows.csv");
  WriteBytes(path, std::string(5000, 'z'));
  std::vector<Variant> cells;
  std::string expected = "\"Column1\"\r\n";
  for (int r = 0; r < 1000; ++r) {
    cells.push_back(Variant::I4(r));
    expected += std::to_string(r) + "\r\n";
  }
  // Rows counted from 7: all of them are written all the same.
  Variant table = Table(1, 1000, cells, 0, 7);
  EXPECT_TRUE(ExportCsvFile(*table.AsArray(), Format(), {}, path));
  EXPECT_EQ(ReadBytes(path), expected);
}

TEST(CsvExportTest, UnopenablePathsReturnFalseAndLeaveNoFile) {
  TempDir dir;
  WriteBytes(dir.File("plain"), "x");
  std::filesystem::create_directory(dir.File("folder"));
  Variant table = Table(1, 1, {Variant::I4(1)});
  for (const std::string& path :
       {dir.File("missing/out.csv"), dir.File("folder"),
        dir.File("plain/out.csv"), std::string()}) {
    EXPECT_FALSE(ExportCsvFile(*table.AsArray(), Format(), {}, path)) << path;
  }
  EXPECT_FALSE(Exists(dir.File("missing")));
  EXPECT_EQ(CountEntries(dir.File("folder")), 0);
  EXPECT_EQ(ReadBytes(dir.File("plain")), "x");
}

TEST(CsvExportTest, FileHeldByAnotherWriterIsLeftAlone) {
  TempDir dir;
  std::string path = dir.File("held.csv");
  CLogFile holder;
  ASSERT_TRUE(holder.Open(path));
  holder.WriteLine("mine");
  Variant table = Table(1, 1, {Variant::I4(1)});
  EXPECT_FALSE(ExportCsvFile(*table.AsArray(), Format(), {}, path));
  EXPECT_EQ(ReadBytes(path), "mine\r\n");
}

// A full device, per-process file size limits, and permissions that root
// can give up are Linux's.
#ifndef _WIN32

TEST(CsvExportTest, FullDiskReportsFailure) {
  Variant table = Table(1, 2, {Variant::I4(1), Variant::I4(2)});
  EXPECT_FALSE(ExportCsvFile(*table.AsArray(), Format(), {}, "/dev/full"));
  EXPECT_TRUE(ExportCsvFile(*table.AsArray(), Format(), {}, kNullDevice));
}

// Runs `body` in a child process whose files may not grow beyond `limit`
// bytes (the disk is "full" there); returns the child's exit code.
int WithFileSizeLimit(rlim_t limit, const std::function<int()>& body) {
  pid_t child = ::fork();
  if (child < 0) return -1;
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit rl = {limit, limit};
    if (::setrlimit(RLIMIT_FSIZE, &rl) != 0) ::_exit(100);
    ::_exit(body());
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST(CsvExportTest, DiskFillingUpLosesOnlyTheLinesThatDidNotFit) {
  TempDir dir;
  std::string path = dir.File("partial.csv");
  // Lines of 9, 12, 7, 12 and 5 bytes with CR LF; 38 bytes fit, so the
  // fourth line breaks off and is cut, and the fifth fits after it.
  Variant table =
      Table(1, 4,
            {Variant::String(u"aaaaaaaaaa"), Variant::String(u"bbbbb"),
             Variant::String(u"cccccccccc"), Variant::String(u"ddd")},
            0, 0);
  CsvFormat format = Format(false);
  int code = WithFileSizeLimit(38, [&] {
    return ExportCsvFile(*table.AsArray(), format, {}, path) ? 1 : 0;
  });
  EXPECT_EQ(code, 0);  // false: lines were lost
  EXPECT_EQ(ReadBytes(path), "Column1\r\naaaaaaaaaa\r\nbbbbb\r\nddd\r\n");
}

TEST(CsvExportTest, ReadOnlyFolderReturnsFalse) {
  TempDir dir;
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  std::string folder = dir.File("ro");
  ASSERT_EQ(::mkdir(folder.c_str(), 0555), 0);
  ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
  Variant table = Table(1, 1, {Variant::I4(1)});
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
      ::_exit(77);
    }
    ::_exit(ExportCsvFile(*table.AsArray(), Format(), {}, folder + "/out.csv")
                ? 1
                : 0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot give up root";
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(CountEntries(folder), 0);
}

#endif  // _WIN32

TEST(CsvExportTest, WriteCsvTableToPathReplacesOnlyWhenComplete) {
  TempDir dir;
  std::string path = dir.File("out.csv");
  Variant table = Table(2, 1, {Variant::String(u"Łódź"), Variant::I4(3)});
  CsvFormat format = Format(false, true, u",", TextEncoding::kUtf8);
  std::string error;
  const std::string expected =
      "Column1,Column2\r\n\xC5\x81\xC3\xB3"
      "d\xC5\xBA,3\r\n";

  // A new file.
  ASSERT_TRUE(
      WriteCsvTableToPath(*table.AsArray(), format, {}, 1, path, &error))
      << error;
  EXPECT_EQ(ReadBytes(path), expected);
  WriteBytes(path, "old");
  ASSERT_TRUE(
      WriteCsvTableToPath(*table.AsArray(), format, {}, 1, path, &error));
  EXPECT_EQ(ReadBytes(path), expected);
  EXPECT_EQ(CountEntries(dir.path()), 1);

#ifndef _WIN32
  // An existing file keeps its permission bits.
  WriteBytes(path, "old");
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  ASSERT_TRUE(
      WriteCsvTableToPath(*table.AsArray(), format, {}, 1, path, &error));
  EXPECT_EQ(ReadBytes(path), expected);
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);

  // Through a symbolic link: the file it names is replaced, the link stays.
  std::string link = dir.File("link.csv");
  ASSERT_EQ(::symlink(path.c_str(), link.c_str()), 0);
  WriteBytes(path, "old");
  ASSERT_TRUE(
      WriteCsvTableToPath(*table.AsArray(), format, {}, 1, link, &error));
  EXPECT_EQ(ReadBytes(path), expected);
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));

  // A full disk: failure, the old content stays, no temporary file.
  WriteBytes(path, "old");
  std::vector<Variant> many;
  for (int i = 0; i < 20000; ++i) many.push_back(Variant::I4(i));
  Variant big = Table(1, 20000, many);
  int code = WithFileSizeLimit(50000, [&] {
    std::string e;
    return WriteCsvTableToPath(*big.AsArray(), format, {}, 0, path, &e) ? 1 : 0;
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(ReadBytes(path), "old");
  EXPECT_EQ(CountEntries(dir.path()), 2);  // out.csv and link.csv
#endif
}

TEST(CsvExportTest, WriteCsvTableToPathFailures) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("folder"));
  Variant table = Table(1, 1, {Variant::I4(1)});
  struct Case {
    std::string path;
    const char* reason;
  } cases[] = {
#ifndef _WIN32
      {"/dev/full", "No space left on device"},
#endif
      {dir.File("folder"), "Is a directory"},
      {dir.File("missing/out.csv"), "No such file or directory"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(
        WriteCsvTableToPath(*table.AsArray(), Format(), {}, 0, c.path, &error));
    EXPECT_EQ(error, "cannot write " + c.path + ": " + c.reason);
  }
  EXPECT_EQ(CountEntries(dir.path()), 1);
  EXPECT_EQ(CountEntries(dir.File("folder")), 0);
  // A device is written directly.
  std::string error;
  EXPECT_TRUE(WriteCsvTableToPath(*table.AsArray(), Format(), {}, 0,
                                  kNullDevice, &error));
}

TEST(CsvExportTest, WriteCsvTableToAPipeWritesAllColumnsAsked) {
  int fds[2];
#ifdef _WIN32
  ASSERT_EQ(::_pipe(fds, 1 << 16, _O_BINARY), 0);
#else
  ASSERT_EQ(::pipe(fds), 0);
#endif
  std::vector<Variant> row;
  for (int c = 0; c < 450; ++c) row.push_back(Variant::I4(c));
  Variant table = Table(450, 1, row);
  ASSERT_TRUE(
      WriteCsvTable(*table.AsArray(), Format(true, false), {}, 449, fds[1]));
  ::close(fds[1]);
  std::string got;
  char buffer[4096];
  int n;
  while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0) got.append(buffer, n);
  ::close(fds[0]);
  std::string expected;
  for (int c = 0; c < 450; ++c) {
    expected += (c ? ";" : "") + std::to_string(c);
  }
  EXPECT_EQ(got, expected + "\r\n");
}

}  // namespace
}  // namespace vexlor

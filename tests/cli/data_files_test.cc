// The built `vexlor` program on the files data people bring: what goes in
// comes out unchanged, and what cannot be right is refused with a reason.
// Needs VEXLOR_BINARY.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/cli/command_file_test.h"

namespace vexlor::cli {
namespace {

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

class DataFilesTest : public testing::CommandFileTest {
 protected:
  void SetUp() override {
    const char* binary = std::getenv("VEXLOR_BINARY");
    if (binary == nullptr || *binary == '\0') {
      GTEST_SKIP() << "VEXLOR_BINARY is not set";
    }
    binary_ = binary;
  }

  // Runs a shell command line in the test's folder, in which `vexlor`
  // stands for the program; standard error is a file, so no progress is
  // drawn.
  Outcome Shell(const std::string& line) {
    std::string command;
    for (size_t at = 0; at < line.size();) {
      const size_t found = line.find("vexlor", at);
      command += line.substr(at, found - at);
      if (found == std::string::npos) break;
      command += "'" + binary_ + "'";
      at = found + 6;
    }
    Outcome result;
    FILE* pipe =
        popen(("cd '" + dir_ + "' && " + command + " 2>err.txt").c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[1 << 16];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
      result.out.append(buffer, n);
    }
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.err = Read(File("err.txt"));
    return result;
  }

  std::string binary_;
};

// Every kind of cell that a writer may spoil, in a file written exactly as
// the program writes: quotes only where needed, CR LF line ends.
std::string HostileTable() {
  const std::vector<std::vector<std::string>> rows = {
      {"id", "name", "note"},
      {"00123",
       "R\xC3\xBC"
       "ckruf erbeten\nzweite Zeile",
       "  blanks  "},
      {"00456", "say \"hi\", then", "a;b\tc"},
      {"00789", "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD\xD0\xBE\xD0\xB2 \xE6\x9D\x8E",
       ""},
      {"01000", std::string(10'000, 'x'), "line\r\nbreak and lone\rCR"},
      {"01234", "", "\"quoted\""},
  };
  std::string csv;
  for (const auto& row : rows) {
    for (size_t c = 0; c < row.size(); ++c) {
      if (c > 0) csv += ',';
      const std::string& cell = row[c];
      if (cell.find_first_of(",\"\r\n") == std::string::npos) {
        csv += cell;
        continue;
      }
      csv += '"';
      for (char ch : cell)
        csv += ch == '"' ? std::string("\"\"") : std::string(1, ch);
      csv += '"';
    }
    csv += "\r\n";
  }
  return csv;
}

// Drops the label column that `dupes` appends last.
std::string WithoutLabels(std::string csv) {
  const std::string header_label = ",FuzzyDupesID\r\n";
  const size_t header = csv.find(header_label);
  if (header != std::string::npos)
    csv.replace(header, header_label.size(), "\r\n");
  for (size_t at = csv.find(",{"); at != std::string::npos;
       at = csv.find(",{", at)) {
    if (csv.compare(at + 38, 3, "}\r\n") == 0) {
      csv.erase(at, 39);
    } else {
      ++at;
    }
  }
  return csv;
}

// Equal bytes; else where they first differ, without the 10,000-character
// cells.
void ExpectSameBytes(const std::string& actual, const std::string& expected) {
  if (actual == expected) return;
  size_t at = 0;
  while (at < actual.size() && at < expected.size() &&
         actual[at] == expected[at]) {
    ++at;
  }
  ADD_FAILURE() << "first difference at byte " << at << ": '"
                << actual.substr(at, 40) << "' instead of '"
                << expected.substr(at, 40) << "'";
}

TEST_F(DataFilesTest, CellsComeOutAsTheyWentIn) {
  const std::string table = HostileTable();
  Write("in.csv", table);
  Outcome labelled =
      Shell("vexlor dupes in.csv --threshold 100 --return all --label-seed 1");
  ASSERT_EQ(labelled.status, 0) << labelled.err;
  ExpectSameBytes(WithoutLabels(labelled.out), table);
  // No row shares a label, so removing duplicates keeps them all.
  Outcome kept = Shell(
      "vexlor dupes in.csv --threshold 100 --label-seed 1 | vexlor "
      "delete-dupes - --max-column note");
  ASSERT_EQ(kept.status, 0) << kept.err;
  ExpectSameBytes(kept.out, table);

  // The logs the command line asks for are written by the same rule. Each
  // run sends every row to the log named, so each log is the table again.
  // (Every pair is compared: no 10,000-character text reaches its share of
  // trigram hits, whose counters stop at 255.)
  const std::string rows = table.substr(table.find("\r\n") + 2);
  Write("twice.csv", table + rows);
  Write("other.csv", "id,name,note\r\nzzz,qqq,www\r\n");
  const std::string all_pairs = " -t 100 --cluster-threshold 0";
  for (const std::string& run :
       {"match in.csv in.csv --log-positive log.csv" + all_pairs,
        "merge in.csv in.csv --log-rejected log.csv" + all_pairs,
        "merge other.csv in.csv --log-imported log.csv" + all_pairs,
        std::string("delete-dupes twice.csv --fid-column id --log log.csv")}) {
    SCOPED_TRACE(run);
    Outcome logged = Shell("vexlor " + run + " >/dev/null");
    ASSERT_EQ(logged.status, 0) << logged.err;
    ExpectSameBytes(Read(File("log.csv")), table);
  }
}

TEST_F(DataFilesTest, InputThatCannotBeRightIsRefused) {
  struct Case {
    const char* name;
    std::string file;
    std::string options;
    int status;
    std::string expected;  // the output, or a part of the message
  } cases[] = {
      {"blank lines skipped", "a,b\r\n\r\nx,y\n\n\r\nz,w\r\n\r\n", "", 0,
       "a,b\r\nx,y\r\nz,w\r\n"},
      {"a quoted empty field is a row", "a\r\n\"\"\r\nx\r\n", "", 0,
       "a\r\n\"\"\r\nx\r\n"},
      {"row longer than the header", "a,b\r\nx,y\r\n\r\nx,y,z\r\n", "", 1,
       "line 4: 3 fields, but the header has 2"},
      {"ragged rows allowed", "a,b\r\nx,y,z\r\n", "--allow-ragged", 0,
       "a,b,Column3\r\nx,y,z\r\n"},
      {"a name used twice", "id,phone,x,phone\r\n1,2,3,4\r\n",
       "--compare phone", 1, "columns 1 and 3 (from 0) are both named 'phone'"},
      {"columns named by index", "id,phone,x,phone\r\n1,2,3,4\r\n",
       "--compare 1,3", 0, "id,phone,x,phone\r\n1,2,3,4\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Write("in.csv", c.file);
    if (c.status != 0) {
      Outcome run = Shell("vexlor dupes in.csv " + c.options);
      EXPECT_EQ(run.status, c.status);
      EXPECT_NE(run.err.find(c.expected), std::string::npos) << run.err;
      continue;
    }
    // Rows that resemble no other keep their one-row groups: the pipeline
    // gives back the input's table.
    const size_t fields = std::count(
        c.expected.begin(), c.expected.begin() + c.expected.find('\r'), ',');
    Outcome run = Shell("vexlor dupes in.csv --threshold 100 " + c.options +
                        " | vexlor delete-dupes - --max-column " +
                        std::to_string(fields));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, c.expected);
  }
}

// Impossible settings stop the command before any file is read: the input
// named here does not exist, so reading it first would say so instead.
TEST_F(DataFilesTest, SettingsAreCheckedBeforeAnyFile) {
  struct Case {
    std::string command;
    std::string message;
  } cases[] = {
      {"dupes nosuch.csv --threshold 180", "--threshold takes a percentage"},
      {"dupes nosuch.csv --threshold -5", "--threshold takes a percentage"},
      {"dupes nosuch.csv --cluster-threshold 7", "from 0 to 1"},
      {"dupes nosuch.csv --weight name=-1", "a number of 0 or more"},
      {"match nosuch.csv nosuch.csv --threshold 101", "from 0 to 100"},
      {"match nosuch.csv nosuch.csv --log-positive nofolder/log.csv",
       "cannot create log nofolder/log.csv"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    Outcome run = Shell("vexlor " + c.command);
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("nosuch.csv"), std::string::npos) << run.err;
  }
  Write("in.csv", "id,name\r\n1,Hans\r\n");
  Outcome run = Shell("vexlor dupes in.csv --compare 'kunden nr'");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("no column 'kunden nr'; the columns are: id, name"),
            std::string::npos)
      << run.err;
  run = Shell("vexlor dupes in.csv --cluster-threshold 0.95");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.err.find("warning: --cluster-threshold 0.95 is above 0.9"),
            std::string::npos)
      << run.err;
}

// The short forms of the usual CSV tools, and an encoding per file: a UTF-8
// master against a Windows-1252 export matches only when each is read as
// what it is.
TEST_F(DataFilesTest, ShortFormsAndEncodingsPerFile) {
  Write("semi.csv", "a,b;c,d\r\nx;y\r\n");
  Write("bare.csv", "x,y\r\nz,w\r\n");
  Write("master.csv", "name\r\nFran\xC3\xA7ois M\xC3\xBCller\r\n");
  Write("export.csv", "name\r\nFran\xE7ois M\xFCller\r\n");
  struct Case {
    std::string command;
    std::string out;
  } cases[] = {
      {"dupes semi.csv -d ';' -t 100 | vexlor delete-dupes - --max-column 1",
       "\"a,b\",\"c,d\"\r\nx,y\r\n"},
      {"dupes bare.csv -H -t 100 | vexlor delete-dupes - --max-column 1",
       "Column1,Column2\r\nx,y\r\nz,w\r\n"},
      {"match master.csv export.csv -e cp1252 --master-encoding utf8 -t 100",
       "name,Match\r\nFran\xC3\xA7ois M\xC3\xBCller,1\r\n"},
      {"match master.csv export.csv --file-encoding cp1252 -t 100 "
       "--out-encoding cp1252",
       "name,Match\r\nFran\xE7ois M\xFCller,1\r\n"},
      {"exact export.csv master.csv --column name -e utf8 "
       "--master-encoding cp1252 --return positive",
       "name\r\nFran\xC3\xA7ois M\xC3\xBCller\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    Outcome run = Shell("vexlor " + c.command);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, c.out);
  }
}

// Compressed files are read by their content, from a file or a pipe, and
// written when the output's name ends in .gz; nothing changes on the way.
TEST_F(DataFilesTest, GzipInAndOut) {
  const std::string table = HostileTable();
  Write("in.csv", table);
  ASSERT_EQ(Shell("gzip -c in.csv > packed.bin && head -c 60 packed.bin > "
                  "cut.gz")
                .status,
            0);
  const std::string options = " -t 100 --label-seed 1";
  Outcome plain = Shell("vexlor dupes in.csv" + options);
  Outcome run = Shell("vexlor dupes packed.bin -o out.csv.gz" + options);
  ASSERT_EQ(run.status, 0) << run.err;
  ExpectSameBytes(Shell("gzip -dc out.csv.gz").out, plain.out);
  run = Shell("vexlor dupes -" + options + " < packed.bin");
  ExpectSameBytes(run.out, plain.out);
  run = Shell("vexlor dupes cut.gz");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("cut.gz: damaged or incomplete gzip data"),
            std::string::npos)
      << run.err;
}

// Two files with headers are compared column by column of the same name,
// wherever each stands; the second file's other columns reach the log.
TEST_F(DataFilesTest, TwoFilesLineUpByHeaderName) {
  Write("m.csv", "id,name,city\r\nm1,Hans Meier,Bonn\r\n");
  Write("f.csv", "city,extra,name\r\nBonn,x1,Hans Meier\r\n");
  struct Case {
    std::string command;
    std::string out;
  } cases[] = {
      {"match m.csv f.csv -t 100 --id-column id --log-positive log.csv",
       "id,name,city,Match\r\nm1,Hans Meier,Bonn,1\r\n"},
      {"match m.csv f.csv -t 100 --id-column id --by-position",
       "id,name,city,Match\r\nm1,Hans Meier,Bonn,0\r\n"},
      {"exact m.csv f.csv --column name --return positive",
       "id,name,city\r\nm1,Hans Meier,Bonn\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    Outcome run = Shell("vexlor " + c.command);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, "");
  }
  EXPECT_EQ(Read(File("log.csv")),
            "id,name,city,extra\r\n,Hans Meier,Bonn,x1\r\n");
}

// `exact` says which rows matched, and folds case and blanks when asked.
TEST_F(DataFilesTest, ExactMarksRowsAndFoldsKeysWhenAsked) {
  Write("m.csv", "id,name\r\n1,Meier\r\n2, SCHULZ \r\n3,Becker\r\n");
  Write("f.csv", "name\r\nmeier\r\nschulz\r\n");
  struct Case {
    std::string options;
    std::string out;
  } cases[] = {
      {"", "id,name,Matched\r\n1,Meier,0\r\n2, SCHULZ ,0\r\n3,Becker,0\r\n"},
      {"-i", "id,name,Matched\r\n1,Meier,1\r\n2, SCHULZ ,0\r\n3,Becker,0\r\n"},
      {"--ignore-case --trim",
       "id,name,Matched\r\n1,Meier,1\r\n2, SCHULZ ,1\r\n3,Becker,0\r\n"},
      {"-i --trim --return negative", "id,name\r\n3,Becker\r\n"},
      {"--trim --return positive", "id,name\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    Outcome run = Shell("vexlor exact m.csv f.csv --column name " + c.options);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, c.out);
  }
}

// With --summary (or on a terminal) each table command ends with one line
// on stderr; standard output holds the table alone.
TEST_F(DataFilesTest, SummaryLine) {
  Write("d.csv", "name\r\nMeier\r\nMeier\r\nSchulz\r\n");
  Write("f.csv", "name\r\nSchulz\r\n");
  std::string many = "name\r\n";
  for (int i = 0; i < 51; ++i) many += "Meier\r\n";
  Write("many.csv", many);
  const std::string hint =
      "largest group 51 records (chained groups this large often join "
      "different entities; on large tables --grouping clique --scoring "
      "estimated --swap 1,2 is advised, Options "
      "Grouping=Clique;Scoring=Estimated;Swap=1,2), ";
  struct Case {
    std::string command;
    std::string line;  // without the time
  } cases[] = {
      {"dupes d.csv -t 100 --label-seed 1",
       "vexlor: dupes: 3 records read, 1 groups, 2 records in groups, "},
      {"dupes many.csv -t 100 --label-seed 1",
       "vexlor: dupes: 51 records read, 1 groups, 51 records in groups, " +
           hint},
      {"dupes many.csv -t 100 --label-seed 1 --grouping clique",
       "vexlor: dupes: 51 records read, 1 groups, 51 records in groups, "},
      {"dupes d.csv -t 50 --label-seed 1 --scoring estimated",
       "vexlor: dupes: 3 records read, 1 groups, 2 records in groups, "
       "0 uncertain pairs (match probability 0.2 to 0.8), "},
      {"match d.csv f.csv -t 50 --scoring estimated",
       "vexlor: match: 3 + 1 records read, 1 matches, 0 uncertain pairs "
       "(match probability 0.2 to 0.8), "},
      {"match d.csv f.csv -t 100",
       "vexlor: match: 3 + 1 records read, 1 matches, "},
      {"merge d.csv f.csv -t 100 --label-seed 1",
       "vexlor: merge: 3 + 1 records read, 3 rows written, "},
      {"exact d.csv f.csv --column name",
       "vexlor: exact: 3 + 1 records read, 1 matched, "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    Outcome quiet = Shell("vexlor " + c.command);
    Outcome run = Shell("vexlor " + c.command + " --summary");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, quiet.out);
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(run.err.rfind(c.line, 0), 0u) << run.err;
    // Said once, and only of chained groups.
    EXPECT_EQ(run.err.find("largest group") != std::string::npos,
              c.line.find("largest group") != std::string::npos);
    EXPECT_EQ(run.err.substr(run.err.size() - 4), " s)\n");
    EXPECT_NE(run.err.find(" (read "), std::string::npos) << run.err;
  }
}

// A command that fails leaves the logs of an earlier run as they were.
TEST_F(DataFilesTest, FailedCommandKeepsOldLogs) {
  Write("m.csv", "name\r\nMeier\r\n");
  Write("f.csv", "name\r\nMeier\r\nSchulz\r\n");
  for (const std::string log : {"--log-positive", "--log-negative"}) {
    SCOPED_TRACE(log);
    Write("log.csv", "old\r\n");
    Outcome run = Shell("vexlor match m.csv f.csv " + log +
                        " log.csv -o nofolder/out.csv");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(Read(File("log.csv")), "old\r\n");
    run = Shell("vexlor match m.csv f.csv " + log + " log.csv");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(Read(File("log.csv")), "old\r\n");
  }
  Write("log.csv", "old\r\n");
  Outcome run = Shell(
      "vexlor dupes f.csv -t 100 --label-seed 1 | vexlor delete-dupes - "
      "--log log.csv -o nofolder/out.csv");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(Read(File("log.csv")), "old\r\n");
  EXPECT_EQ(Shell("ls").out, "err.txt\nf.csv\nlog.csv\nm.csv\n");
}

}  // namespace
}  // namespace vexlor::cli

// The control's export member: argument forms, the control's CSV properties
// and column names, the error state, and running out of memory.
#include <gtest/gtest.h>

#include <string>

#include "tests/output/temp_dir.h"
#include "vexlor/platform/testing/allocation_walk.h"
#include "vexlor/variant.h"
#include "vexlor/variant_array.h"
#include "vexlor/vexlor_ctrl.h"

namespace vexlor {
namespace {

using platform::Variant;
using platform::VariantArray;

class VariantArray2CSVFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(dir_.path().empty()); }

  std::string File(const std::string& name) const { return dir_.File(name); }
  static std::u16string Wide(const std::string& utf8) {
    return std::u16string(utf8.begin(), utf8.end());
  }
  static std::string Read(const std::string& path) {
    return testing::ReadBytes(path);
  }
  static bool Exists(const std::string& path) { return testing::Exists(path); }

  testing::TempDir dir_;
};

Variant QuoteTable() {
  Variant table = VariantArray::NewTable(1, 1);
  table.AsArray()->cell(0, 0) = Variant::String(u"a\"b");
  return table;
}

TEST_F(VariantArray2CSVFileTest, WritesWithTheControlsProperties) {
  CVexlorCtrl ctrl;
  Variant table = QuoteTable();
  ASSERT_TRUE(ctrl.VariantArray2CSVFile(table, Wide(File("a.csv"))));
  EXPECT_EQ(Read(File("a.csv")), "\"Column1\"\r\n\"a\"\"b\"\r\n");

  ctrl.SetCSVTextInQuotes(false);
  ctrl.SetCSVDelimiter(u", ");
  ctrl.SetColumnOption(1, true, true, 1.0, false, u"Zwei");
  Variant wide = VariantArray::NewTable(2, 1);
  wide.AsArray()->cell(0, 0) = Variant::String(u"a\"b");
  wide.AsArray()->cell(1, 0) = Variant::Bool(true);
  ASSERT_TRUE(ctrl.VariantArray2CSVFile(wide, Wide(File("b.csv"))));
  EXPECT_EQ(Read(File("b.csv")), "Column1, Zwei\r\na\"b, True\r\n");

  ctrl.SetCSVColumnHeaders(false);
  Variant by_ref = Variant::ByRef(&table);
  ASSERT_TRUE(ctrl.VariantArray2CSVFile(by_ref, Wide(File("c.csv"))));
  EXPECT_EQ(Read(File("c.csv")), "a\"b\r\n");
}

TEST_F(VariantArray2CSVFileTest, NonTablesAndUnopenablePathsReturnFalse) {
  CVexlorCtrl ctrl;
  Variant table = QuoteTable();
  Variant empty;
  Variant number = Variant::I4(3);
  Variant no_array = Variant::Array(nullptr);
  for (const Variant* argument : {&empty, &number, &no_array}) {
    ctrl.SetOutOfMemoryError();
    EXPECT_FALSE(ctrl.VariantArray2CSVFile(*argument, Wide(File("x.csv"))));
    EXPECT_EQ(ctrl.LastError(), 0);
    EXPECT_FALSE(Exists(File("x.csv")));
  }
  EXPECT_FALSE(ctrl.VariantArray2CSVFile(table, Wide(File("no/x.csv"))));
  EXPECT_FALSE(ctrl.VariantArray2CSVFile(table, Wide(dir_.path())));
  EXPECT_FALSE(ctrl.VariantArray2CSVFile(table, u"/dev/full"));
  EXPECT_EQ(ctrl.LastError(), 0);
}

TEST_F(VariantArray2CSVFileTest, FileNamesOutsideWindows1252AreKept) {
  CVexlorCtrl ctrl;
  ASSERT_TRUE(ctrl.VariantArray2CSVFile(QuoteTable(),
                                        Wide(dir_.path() + "/") + u"Łódź.csv"));
  EXPECT_TRUE(
      Exists(File("\xC5\x81\xC3\xB3"
                  "d\xC5\xBA.csv")));
}

TEST_F(VariantArray2CSVFileTest, RunningOutOfMemoryIsTheErrorState) {
  CVexlorCtrl ctrl;
  Variant table = QuoteTable();
  std::u16string name = Wide(File("oom.csv"));
  platform::testing::WalkAllocationFailures(
      [&](int64_t n) {
        bool ok = false;
        const bool failed = platform::testing::FailsAt(
            n, [&] { ok = ctrl.VariantArray2CSVFile(table, name); });
        if (!failed) {
          EXPECT_TRUE(ok);
          EXPECT_EQ(ctrl.LastError(), 0);
          return false;
        }
        EXPECT_FALSE(ok);
        EXPECT_EQ(ctrl.LastError(), -1);
        EXPECT_EQ(ctrl.LastErrorDescription(), u"Out of Memory");
        return true;
      },
      1000);
  EXPECT_EQ(Read(File("oom.csv")), "\"Column1\"\r\n\"a\"\"b\"\r\n");
}

}  // namespace
}  // namespace vexlor

#include "vexlor/vexlor_ctrl.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "vexlor/member_table.h"
#include "vexlor/platform/guid.h"
#include "vexlor/tables/column_options.h"
#include "vexlor/text.h"

namespace vexlor {
namespace {

using platform::Utf8ToUtf16;
using platform::Variant;

std::u16string U(const char* utf8) { return Utf8ToUtf16(utf8); }

TEST(VexlorCtrlTest, NewControlDefaults) {
  CVexlorCtrl c;
  EXPECT_EQ(c.LastError(), 0);
  EXPECT_EQ(c.LastErrorDescription(), u"");
  EXPECT_FALSE(c.CanceledByUser());
  EXPECT_EQ(c.GetCSVDelimiter(), u";");
  EXPECT_TRUE(c.GetCSVTextInQuotes());
  EXPECT_TRUE(c.GetCSVColumnHeaders());
  EXPECT_FALSE(c.IsModified());
  c.SetCSVDelimiter(u",");
  EXPECT_TRUE(c.IsModified());
  EXPECT_EQ(CVexlorCtrl().GetCSVDelimiter(), u";") << "not persisted";
}

TEST(VexlorCtrlTest, ErrorStateAndReset) {
  CVexlorCtrl c;
  c.SetOutOfMemoryError();
  EXPECT_EQ(c.LastError(), -1);
  EXPECT_EQ(c.LastErrorDescription(), u"Out of Memory");
  c.SetColumnOption(5, false, false, 2.5, true, u"Name");
  ColumnOptions& o = c.column_options();
  EXPECT_FALSE(o.cluster[5]);
  EXPECT_EQ(o.weight[5], 2.5);
  EXPECT_EQ(o.Name(5), u"Name");
  c.Reset();
  EXPECT_TRUE(o.cluster[5]);
  EXPECT_TRUE(o.dupe_search[5]);
  EXPECT_FALSE(o.compare_null[5]);
  EXPECT_EQ(o.weight[5], 1.0);
  EXPECT_TRUE(o.names.empty());
  EXPECT_EQ(c.LastError(), 0);
}

TEST(VexlorCtrlTest, ColumnOptionOutsideRangeIsIgnored) {
  CVexlorCtrl c;
  c.SetColumnOption(400, false, false, 3, true, u"x");
  c.SetColumnOption(-1, false, false, 3, true, u"x");
  EXPECT_TRUE(c.column_options().names.empty());
  EXPECT_TRUE(c.column_options().cluster[399]);
  EXPECT_TRUE(c.column_options().cluster[0]);
}

TEST(VexlorCtrlTest, CancelOnlySetsTheFlag) {
  CVexlorCtrl c;
  c.Cancel();
  EXPECT_TRUE(c.CanceledByUser());
}

TEST(VexlorCtrlTest, NewGuidTexts) {
  CVexlorCtrl c;
  std::u16string a = c.NewGUID(), b = c.NewGUID();
  EXPECT_NE(a, b);
  std::regex form(
      "\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}");
  EXPECT_TRUE(std::regex_match(platform::Utf16ToUtf8(a), form));
  CVexlorCtrl s1(7), s2(7);
  EXPECT_EQ(s1.NewGUID(), s2.NewGUID());
}

class FailingGuids : public platform::GuidSource {
 public:
  bool Create(platform::Guid*) override { return false; }
};

TEST(VexlorCtrlTest, NewGuidWithoutASourceIsEmpty) {
  CVexlorCtrl c(std::make_unique<FailingGuids>());
  EXPECT_EQ(c.NewGUID(), u"");
  EXPECT_EQ(c.LastError(), 0);
}

TEST(VexlorCtrlTest, TextCrossesTheBoundary) {
  CVexlorCtrl c;
  EXPECT_EQ(c.Normalize(U("Müller"), true), u"MULLER");
  EXPECT_EQ(c.Normalize(U("Łódź"), true), u"LODZ");
#ifndef _WIN32
  // Windows' best fit makes both "??????".
  EXPECT_NE(c.EditDistance(U("Иванов"), U("Петров")), 0);
#endif
  EXPECT_EQ(c.EditDistance(U("flaw"), U("lawn")), 2);
  EXPECT_EQ(c.Difference(U("ABCD"), U("ABXD")), 75.0);
  EXPECT_EQ(c.soundex(u"Lee", 4, false), u"l000");
}

// UTF-8 text meets the same Windows-1252 bytes as its UTF-16 form: one byte
// per letter, not two.
TEST(VexlorCtrlTest, Utf8Members) {
  CVexlorCtrl c;
  EXPECT_EQ(c.Normalize("Łódź", true), "LODZ");
  EXPECT_EQ(c.EditDistance("Müller", "Muller"), 1);
  EXPECT_EQ(c.EditDistance("x\xff", "x\xfe"), 0) << "both U+FFFD";
  EXPECT_EQ(c.Difference("ABCD", "ABXD"), 75.0);
  EXPECT_EQ(c.CompareStrings("Herr Müller", "Müller", false), 0);
  EXPECT_EQ(c.soundex("Lee", 4, false), "l000");
  EXPECT_EQ(c.metaphone("Peters", 4), "B360");
}

TEST(VexlorCtrlTest, FieldListThroughTheControl) {
  CVexlorCtrl c;
  c.ListCompareInit();
  c.ListAddField(u"name", U("Müller"), 1.0, false);
  c.ListSetCompare(u"name", u"Mueller");
  EXPECT_EQ(c.ListCalcDiff(), 100.0);
}

TEST(MemberTableTest, EveryIdentifierOnce) {
  std::set<int32_t> ids;
  for (const MemberInfo& m : Members())
    EXPECT_TRUE(ids.insert(m.dispid).second);
  std::set<int32_t> expected = {kDispidAboutBox};
  for (int id = 2; id <= 29; ++id) {
    if (id != 19) expected.insert(id);
  }
  EXPECT_EQ(ids, expected);
}

TEST(MemberTableTest, NamesResolveInAnyCase) {
  EXPECT_EQ(GetIDsOfNames("soundex"), 7);
  EXPECT_EQ(GetIDsOfNames("SOUNDEX"), 7);
  EXPECT_EQ(GetIDsOfNames("dupesearch"), 18);
  EXPECT_EQ(GetIDsOfNames("AboutBox"), kDispidAboutBox);
  EXPECT_EQ(GetIDsOfNames("nope"), kDispidUnknown);
}

Variant S(const char* utf8) { return Variant::Utf8String(utf8); }

TEST(MemberTableTest, InvokeConvertsArguments) {
  CVexlorCtrl c;
  Variant result;
  InvokeError error;
  std::vector<Variant> args = {S("Lee"), S("4"), S("0")};
  ASSERT_EQ(Invoke(c, 7, kDispatchMethod, args, &result, &error), kInvokeOk);
  EXPECT_EQ(result.AsString(), u"l000");

  args = {S("ABCD"), S("ABXD")};
  ASSERT_EQ(Invoke(c, 15, kDispatchMethod, args, &result, &error), kInvokeOk);
  EXPECT_EQ(result.AsDouble(), 75.0);

  args = {
      S(","),
  };
  ASSERT_EQ(Invoke(c, 2, kDispatchPropertyPut, args, &result, &error),
            kInvokeOk);
  ASSERT_EQ(Invoke(c, 2, kDispatchPropertyGet, {}, &result, &error), kInvokeOk);
  EXPECT_EQ(result.AsString(), u",");
  args = {S("False")};
  ASSERT_EQ(Invoke(c, 3, kDispatchPropertyPut, args, &result, &error),
            kInvokeOk);
  EXPECT_FALSE(c.GetCSVTextInQuotes());
}

TEST(MemberTableTest, InvokeRefusesWhatDoesNotFit) {
  CVexlorCtrl c;
  c.SetOutOfMemoryError();
  struct Case {
    int32_t dispid;
    std::vector<Variant> args;
    int32_t code;
  } cases[] = {
      {7,
       {S("Lee"), Variant::I4(70000), Variant::Bool(false)},
       kInvokeOverflow},
      {16, {S("a"), S("b"), S("abc"), S("0")}, kInvokeTypeMismatch},
      {10, {S("a")}, kInvokeBadParamCount},
      {19, {}, kInvokeMemberNotFound},
      {21,
       {Variant::R8(1e9), S("1"), S("1"), S("1"), S("0"), S("")},
       kInvokeOverflow},
  };
  for (const Case& k : cases) {
    Variant result;
    InvokeError error;
    EXPECT_EQ(Invoke(c, k.dispid, kDispatchMethod, k.args, &result, &error),
              k.code)
        << k.dispid;
    EXPECT_FALSE(error.message.empty());
  }
  EXPECT_EQ(c.LastError(), -1) << "a failed call leaves the error state alone";
}

}  // namespace
}  // namespace vexlor

#include "vexlor/output/csv_format.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "vexlor/platform/locale_text.h"
#include "vexlor/platform/testing/locale_data.h"
#include "vexlor/platform/testing/scoped_env.h"
#include "vexlor/text.h"
#include "vexlor/variant.h"
#include "vexlor/variant_array.h"

namespace vexlor {
namespace {

using platform::LocaleText;
using platform::Variant;
using platform::VariantArray;

CsvFormat Format(bool quotes,
                 TextEncoding encoding = TextEncoding::kWindows1252,
                 std::u16string delimiter = u";") {
  CsvFormat format;
  format.delimiter = std::move(delimiter);
  format.text_in_quotes = quotes;
  format.encoding = encoding;
  return format;
}

double Day(int y, unsigned m, unsigned d) {
  using namespace std::chrono;
  return static_cast<double>(
      (sys_days(year(y) / month(m) / day(d)) - sys_days(1899y / 12 / 30))
          .count());
}

TEST(CsvFormatTest, FieldTextOfEveryCellType) {
  static Variant target = Variant::I4(7);
  struct Case {
    Variant cell;
    const char* text;
  } cases[] = {
      {Variant(), ""},
      {Variant::Null(), ""},
      {Variant::I2(-32768), "-32768"},
      {Variant::I4(2147483647), "2147483647"},
      {Variant::I8(std::numeric_limits<int64_t>::min()),
       "-9223372036854775808"},
      {Variant::UI1(255), "255"},
      {Variant::R8(0.1), "0.1"},
      {Variant::R4(0.1f), "0.1"},
      {Variant::R8(1e-9), "0"},
      {Variant::R8(-1e-9), "-0"},
      {Variant::R8(-2.50), "-2.5"},
      {Variant::R8(3.0), "3"},
      {Variant::R8(0.0), "0"},
      {Variant::R8(1234.000000001), "1234"},
      {Variant::R8(0.123456785), "0.12345678"},
      {Variant::R8(1e20), "100000000000000000000"},
      {Variant::R8(2e-300), "0"},
      {Variant::Bool(true), "True"},
      {Variant::Bool(false), "False"},
      // Types without a file text.
      {Variant::I1(5), ""},
      {Variant::UI2(5), ""},
      {Variant::UI4(5), ""},
      {Variant::UI8(5), ""},
      {Variant::Int(5), ""},
      {Variant::UInt(5), ""},
      {Variant::Error(0x80020004), ""},
      {Variant::Opaque(platform::VT_DECIMAL), ""},
      {Variant::Opaque(platform::VT_DISPATCH), ""},
      {Variant::ByRef(&target), ""},
      {VariantArray::NewTable(1, 1), ""},
  };
  CsvFormatter formatter(Format(true));
  for (const Case& c : cases) {
    EXPECT_EQ(formatter.Field(c.cell), c.text) << "type " << c.cell.vt();
  }
  // The largest double in fixed notation: 309 digits, nothing cut.
  std::string max =
      formatter.Field(Variant::R8(std::numeric_limits<double>::max()));
  EXPECT_EQ(max.size(), 309u);
  EXPECT_EQ(max.substr(0, 6), "179769");
}

TEST(CsvFormatTest, StringCellsGoOnOneLineAndAreQuotedAsAsked) {
  struct Case {
    const char16_t* text;
    const char* quoted;
    const char* plain;
  } cases[] = {
      {u"a\"b", "\"a\"\"b\"", "a\"b"},
      {u"", "\"\"", ""},
      {u"two\r\nwords", "\"two words\"", "two words"},
      {u"two\nwords", "\"two words\"", "two words"},
      {u"\r\n\r\n", "\"  \"", "  "},
      {u"\r\r\n\n", "\"\r  \"", "\r  "},
      {u"lone\rcr\tand tab", "\"lone\rcr\tand tab\"", "lone\rcr\tand tab"},
      {u"a;b", "\"a;b\"", "a;b"},
      {u"\"\"", "\"\"\"\"\"\"", "\"\""},
  };
  CsvFormatter quoted(Format(true));
  CsvFormatter plain(Format(false));
  for (const Case& c : cases) {
    Variant cell = Variant::String(c.text);
    EXPECT_EQ(quoted.Field(cell), c.quoted);
    EXPECT_EQ(plain.Field(cell), c.plain);
  }
}

TEST(CsvFormatTest, TextIsEncodedFromTheWideString) {
  struct Case {
    const char16_t* text;
    const char* cp1252;
    const char* utf8;
  } cases[] = {
      {u"Łódź",
       "L\xF3"
       "dz",
       "\xC5\x81\xC3\xB3"
       "d\xC5\xBA"},
      {u"Müller €", "M\xFCller \x80", "M\xC3\xBCller \xE2\x82\xAC"},
#ifdef _WIN32
      // The system's best fit has no Latin form of Cyrillic.
      {u"Иванов", "??????", "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD\xD0\xBE\xD0\xB2"},
#else
      {u"Иванов", "Ivanov", "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD\xD0\xBE\xD0\xB2"},
#endif
      {u"\U0001F600", "?", "\xF0\x9F\x98\x80"},
      {u"\xD800", "?", "\xEF\xBF\xBD"},
  };
  CsvFormatter ansi(Format(false));
  CsvFormatter utf8(Format(false, TextEncoding::kUtf8));
  for (const Case& c : cases) {
    Variant cell = Variant::String(c.text);
    EXPECT_EQ(ansi.Field(cell), c.cp1252);
    EXPECT_EQ(utf8.Field(cell), c.utf8);
  }
}

TEST(CsvFormatTest, DatesAndCurrencyFollowTheLocaleUnquoted) {
  LocaleText de("de_DE");
  LocaleText en("en_US");
  CsvFormatter german(Format(true), &de);
  CsvFormatter american(Format(true), &en);
  const double day = Day(2024, 2, 29);
  EXPECT_EQ(german.Field(Variant::Currency(125000)), "12,5");
  EXPECT_EQ(american.Field(Variant::Currency(125000)), "12.5");
  if (platform::testing::GermanDatesAsPinned()) {
    EXPECT_EQ(german.Field(Variant::Date(day)), "29.02.2024");
    EXPECT_EQ(german.Field(Variant::Date(day + 0.75)), "29.02.2024 18:00:00");
  }
  EXPECT_EQ(american.Field(Variant::Date(day + 0.75)), "2/29/2024 6:00:00 PM");
  EXPECT_EQ(german.Field(Variant::Date(std::nan(""))), "");
  // Reals keep their point under any locale.
  EXPECT_EQ(german.Field(Variant::R8(12.5)), "12.5");
}

TEST(CsvFormatTest, LocaleComesFromTheEnvironmentWhenNoneIsGiven) {
#ifdef _WIN32
  GTEST_SKIP() << "the user's locale is the system's setting there";
#endif
  platform::testing::ScopedEnv env({{"LC_ALL", "de_DE.UTF-8"}});
  CsvFormatter formatter(Format(true));
  EXPECT_EQ(formatter.Field(Variant::Currency(125000)), "12,5");
}

TEST(CsvFormatTest, HeaderLineNamesAndNumbersColumns) {
  std::vector<std::u16string> names = {u"", u"Name", u"a\"b", u"Łódź"};
  struct Case {
    CsvFormat format;
    int64_t last;
    const char* line;
  } cases[] = {
      {Format(true), 4,
       "\"Column1\";\"Name\";\"a\"\"b\";\"L\xF3"
       "dz\";\"Column5\""},
      {Format(false), 4,
       "Column1;Name;a\"b;L\xF3"
       "dz;Column5"},
      {Format(false, TextEncoding::kUtf8, u", "), 3,
       "Column1, Name, a\"b, \xC5\x81\xC3\xB3"
       "d\xC5\xBA"},
      {Format(false, TextEncoding::kWindows1252, u""), 1, "Column1Name"},
      {Format(true), 0, "\"Column1\""},
      {Format(true), -1, ""},
      {Format(false), 11,
       "Column1;Name;a\"b;L\xF3"
       "dz;Column5;Column6;"
       "Column7;Column8;Column9;Column10;Column11;Column12"},
  };
  for (const Case& c : cases) {
    CsvFormatter formatter(c.format);
    EXPECT_EQ(formatter.HeaderLine(c.last, names), c.line);
  }
}

// A 3 x 2 table with the given column lower bound; row 1 holds the cells.
Variant SmallTable(int32_t column_lower) {
  Variant table = VariantArray::NewTable(3, 2, column_lower, 5);
  VariantArray* array = table.AsArray();
  array->cell(0, 1) = Variant::String(u"x");
  array->cell(1, 1) = Variant::I4(2);
  array->cell(2, 1) = Variant::R8(0.5);
  return table;
}

TEST(CsvFormatTest, RowLineTakesColumnsByIndexFromZero) {
  struct Case {
    int32_t column_lower;
    int64_t last;
    const char* line;
  } cases[] = {
      {0, 2, "\"x\";2;0.5"},
      {0, 4, "\"x\";2;0.5;;"},
      {0, 1, "\"x\";2"},
      // Index 0 does not exist: an empty first field.
      {1, 3, ";\"x\";2;0.5"},
      // Indexes -2 and -1 are never written.
      {-2, 0, "0.5"},
      {-3, 0, ""},
      {0, -1, ""},
  };
  CsvFormatter formatter(Format(true));
  for (const Case& c : cases) {
    Variant table = SmallTable(c.column_lower);
    EXPECT_EQ(formatter.RowLine(*table.AsArray(), 1, c.last), c.line)
        << c.column_lower << " " << c.last;
    EXPECT_EQ(formatter.RowLine(*table.AsArray(), 0, 1), ";");
  }
}

// Splits one RFC 4180 line (no line end) at `delimiter`: the reader the
// lossless rule must satisfy.
std::vector<std::string> SplitRfc4180(const std::string& line,
                                      const std::string& delimiter) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    if (quoted) {
      if (line[i] != '"') {
        fields.back() += line[i];
      } else if (i + 1 < line.size() && line[i + 1] == '"') {
        fields.back() += line[++i];
      } else {
        quoted = false;
      }
    } else if (line[i] == '"') {
      quoted = true;
    } else if (line.compare(i, delimiter.size(), delimiter) == 0) {
      fields.emplace_back();
      i += delimiter.size() - 1;
    } else {
      fields.back() += line[i];
    }
  }
  return fields;
}

TEST(CsvFormatTest, Rfc4180RuleGivesEveryFieldBack) {
  const std::vector<std::u16string> texts = {u"",
                                             u"plain",
                                             u"a\"b",
                                             u"two\r\nlines",
                                             u"lone\rCR",
                                             u"new\nline",
                                             u"  blanks  ",
                                             u"007",
                                             u"a.b",
                                             u"x;y",
                                             u"Ivanov \u0418\u0432",
                                             u"\"",
                                             std::u16string(5000, u'x')};
  for (const char16_t* delimiter : {u",", u";", u".", u"::"}) {
    CsvFormat format = Format(true, TextEncoding::kUtf8, delimiter);
    format.rule = CsvRule::kRfc4180;
    CsvFormatter formatter(format);
    const std::string utf8_delimiter = platform::Utf16ToUtf8(delimiter);
    // Row 0: the texts; row 1: numbers, which a '.' delimiter must quote.
    Variant table = VariantArray::NewTable(static_cast<uint32_t>(texts.size()),
                                           2, /*column_lower=*/1);
    VariantArray& cells = *table.AsArray();
    for (uint32_t c = 0; c < texts.size(); ++c) {
      cells.cell(c, 0) = Variant::String(texts[c]);
      cells.cell(c, 1) = Variant::R8(c + 0.5);
    }
    const int64_t last = static_cast<int64_t>(texts.size()) - 1;
    std::vector<std::string> expected;
    for (const std::u16string& text : texts) {
      expected.push_back(platform::Utf16ToUtf8(text));
    }
    std::vector<std::string> header = expected;
    header[0] = "Column1";  // an empty name is generated
    EXPECT_EQ(SplitRfc4180(formatter.HeaderLine(last, texts), utf8_delimiter),
              header)
        << utf8_delimiter;
    std::string line;
    formatter.AppendRowLineByOffset(cells, 0, last, &line);
    EXPECT_EQ(SplitRfc4180(line, utf8_delimiter), expected) << utf8_delimiter;
    line.clear();
    formatter.AppendRowLineByOffset(cells, 1, 0, &line);
    EXPECT_EQ(SplitRfc4180(line, utf8_delimiter)[0], "0.5");
    // Lower bound 1: index 0 is no column, and a lone empty field is "",
    // which does not read as a blank line.
    EXPECT_EQ(formatter.RowLine(cells, 0, 0), "\"\"");
  }
}

TEST(CsvFormatTest, ExportLastColumnIsCappedAt400) {
  struct Case {
    uint32_t columns;
    int32_t lower;
    int64_t last;
  } cases[] = {
      {1, 0, 0}, {401, 0, 400}, {500, 0, 400},  {0, 0, -1},
      {1, 1, 1}, {3, -5, -3},   {1, 1000, 400},
  };
  for (const Case& c : cases) {
    Variant table = VariantArray::NewTable(c.columns, 1, c.lower);
    EXPECT_EQ(ExportLastColumn(*table.AsArray()), c.last);
  }
}

TEST(CsvFormatTest, Utf8EncoderMatchesThePlatformConverter) {
  std::u16string all;
  for (char32_t c = 1; c < 0xD800; c += 7)
    all.push_back(static_cast<char16_t>(c));
  all += u"\U0001F600\U00010000\U0010FFFF";
  all.push_back(u'\xDC00');
  all.push_back(u'a');
  std::string mine;
  AppendUtf8(all, &mine);
  EXPECT_EQ(mine, platform::Utf16ToUtf8(all));
}

}  // namespace
}  // namespace vexlor

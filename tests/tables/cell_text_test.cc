#include "vexlor/tables/cell_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "tests/platform/numeric_locale.h"
#include "vexlor/variant.h"

namespace vexlor {
namespace {

using platform::Variant;
using platform::testing::NumericLocale;
using platform::testing::PrintfFixed8;

// "%.8f" in the C locale, trailing zeros cut, is the oracle; under a
// decimal comma the texts must not change, since keys and comparisons of
// one table would otherwise depend on the host.
TEST(CellTextTest, RealsReadAsPrintfInTheCLocaleWhateverTheHostSet) {
  std::vector<double> values = {0.0,
                                -0.0,
                                1.5,
                                -2.25,
                                12.0,
                                0.1,
                                1e-9,
                                5e-9,
                                2.5e-9,
                                123456789.123456789,
                                1e22,
                                std::numeric_limits<double>::max(),
                                -std::numeric_limits<double>::denorm_min(),
                                std::numeric_limits<double>::infinity(),
                                std::numeric_limits<double>::quiet_NaN()};
  std::mt19937_64 random(20240229);
  for (int i = 0; i < 2000; ++i) {
    // Every exponent from tiny to huge, and random digits.
    const uint64_t bits = random() & ~(uint64_t{0x7FF} << 52);
    const uint64_t exponent = 1023 - 40 + random() % 110;
    double v;
    const uint64_t pattern = bits | (exponent << 52);
    std::memcpy(&v, &pattern, sizeof v);
    values.push_back(v);
  }
  // A cell of each type with its expected text.
  std::vector<std::pair<Variant, std::string>> cases;
  {
    NumericLocale c("C");
    for (double v : values) {
      for (Variant cell :
           {Variant::R8(v), Variant::R4(static_cast<float>(v))}) {
        std::string text = PrintfFixed8(
            cell.vt() == platform::VT_R4 ? cell.AsFloat() : cell.AsDouble());
        TrimDecimalZeros(&text);
        cases.emplace_back(cell, text);
      }
    }
  }
  NumericLocale german("de_DE.UTF-8");
  if (!german.ok()) GTEST_SKIP() << "de_DE.UTF-8 is not generated";
  ASSERT_EQ(PrintfFixed8(1.5), "1,50000000");
  std::string text;
  for (const auto& [cell, expected] : cases) {
    ASSERT_TRUE(CellText(cell, &text));
    EXPECT_EQ(text, expected);
  }
}

}  // namespace
}  // namespace vexlor

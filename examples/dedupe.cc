// A C++ host: find the duplicates in a small table.
#include <iostream>
#include <string>
#include <vector>

#include "vexlor/text.h"
#include "vexlor/variant_array.h"
#include "vexlor/vexlor_ctrl.h"

int main() {
  using vexlor::platform::Variant;
  using vexlor::platform::VariantArray;
  const std::vector<std::vector<std::string>> rows = {
      {"Meier", "Hauptstraße 12", "Berlin"},
      {"Meyer", "Hauptstr. 12", "Berlin"},
      {"Schulz", "Parkweg 7", "Hamburg"},
  };
  Variant table = VariantArray::NewTable(3, static_cast<uint32_t>(rows.size()));
  for (uint32_t r = 0; r < rows.size(); ++r) {
    for (uint32_t c = 0; c < 3; ++c) {
      table.AsArray()->cell(c, r) = Variant::Utf8String(rows[r][c]);
    }
  }
  vexlor::CVexlorCtrl control(uint64_t{1});
  Variant result =
      control.DupeSearch(table, -1, 80.0, 0.3, u"", vexlor::DRR_ALL, false);
  VariantArray* out = result.AsArray();
  if (out == nullptr) return 1;
  for (uint32_t r = 0; r < out->rows(); ++r) {
    std::cout << vexlor::platform::Utf16ToUtf8(out->cell(0, r).AsString())
              << " "
              << vexlor::platform::Utf16ToUtf8(out->cell(3, r).AsString())
              << "\n";
  }
  std::cout << "Difference(Meier, Meyer) = "
            << control.Difference(u"Meier", u"Meyer") << "\n";
  return 0;
}

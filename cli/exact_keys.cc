#include "cli/exact_keys.h"

#include "vexlor/variant_array.h"

namespace vexlor::cli {

using platform::Variant;
using platform::VariantArray;

namespace {

char16_t Lower(char16_t c) {
  if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) {
    return c + 32;
  }
  // Latin Extended-A: capitals on even code points, but for a stretch
  // where they are on odd ones.
  if (c >= 0x100 && c <= 0x137) return c | 1;
  if (c >= 0x139 && c <= 0x148) return (c & 1) ? c + 1 : c;
  if (c >= 0x14A && c <= 0x177) return c | 1;
  if (c == 0x178) return 0xFF;
  if (c >= 0x179 && c <= 0x17E) return (c & 1) ? c + 1 : c;
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;  // Greek
  if (c >= 0x410 && c <= 0x42F) return c + 32;                // Cyrillic
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  return c;
}

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == 0xA0;
}

}  // namespace

std::u16string FoldKey(std::u16string_view text, const KeyFolding& folding) {
  if (folding.trim) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  }
  std::u16string key(text);
  if (folding.ignore_case) {
    for (char16_t& c : key) c = Lower(c);
  }
  return key;
}

Variant KeyTable(const Variant& table, uint32_t column,
                 const KeyFolding& folding) {
  const VariantArray& from = *table.AsArray();
  const uint32_t rows = from.rows();
  Variant keys = VariantArray::NewTable(2, rows);
  VariantArray& to = *keys.AsArray();
  for (uint32_t r = 0; r < rows; ++r) {
    const Variant& cell = from.cell(column, r);
    to.cell(0, r) = cell.IsString()
                        ? Variant::String(FoldKey(cell.AsString(), folding))
                        : cell;
    to.cell(1, r) = Variant::I4(static_cast<int32_t>(r));
  }
  return keys;
}

std::vector<bool> MatchedRows(const Variant& keys, size_t rows) {
  std::vector<bool> matched(rows, false);
  const VariantArray* found = keys.AsArray();
  if (found == nullptr) return matched;
  for (uint32_t r = 0; r < found->rows(); ++r) {
    const int32_t row = found->cell(1, r).AsInt32();
    if (row >= 0 && static_cast<size_t>(row) < rows) matched[row] = true;
  }
  return matched;
}

}  // namespace vexlor::cli

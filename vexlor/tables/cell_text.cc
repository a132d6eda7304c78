#include "vexlor/tables/cell_text.h"

#include <charconv>
#include <cstdio>
#include <system_error>

#include "vexlor/text.h"

namespace vexlor {

using platform::Variant;

void TrimDecimalZeros(std::string* text) {
  while (!text->empty() && text->back() == '0') text->pop_back();
  if (!text->empty() && text->back() == '.') text->pop_back();
}

bool CellText(const Variant& cell, std::string* out) {
  out->clear();
  char buffer[400];
  switch (cell.vt()) {
    case platform::VT_NULL:
      return true;
    case platform::VT_I2:
      out->assign(buffer, std::snprintf(buffer, sizeof buffer, "%i",
                                        static_cast<int>(cell.AsInt16())));
      return true;
    case platform::VT_I4:
      out->assign(buffer,
                  std::snprintf(buffer, sizeof buffer, "%i", cell.AsInt32()));
      return true;
    case platform::VT_UI1:
      out->assign(buffer,
                  std::snprintf(buffer, sizeof buffer, "%i",
                                static_cast<int>(cell.AsUInt64() & 0xFF)));
      return true;
    case platform::VT_R4:
    case platform::VT_R8: {
      double v =
          cell.vt() == platform::VT_R4 ? cell.AsFloat() : cell.AsDouble();
      // The digits of "%.8f" in the C locale, whatever locale the host set,
      // so that keys compare alike everywhere. The largest doubles need 309
      // integer digits; the buffer holds them.
      const auto result = std::to_chars(buffer, buffer + sizeof buffer, v,
                                        std::chars_format::fixed, 8);
      out->assign(buffer, result.ec == std::errc() ? result.ptr : buffer);
      TrimDecimalZeros(out);
      return true;
    }
    case platform::VT_BSTR:
      platform::Utf16ToAnsiInto(cell.AsString(), out);
      return true;
    case platform::VT_BOOL:
      out->push_back(cell.AsBool() ? 'T' : 'F');
      return true;
    default:
      return false;
  }
}

}  // namespace vexlor

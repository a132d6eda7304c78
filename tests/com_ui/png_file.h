// Writes an image as a PNG file for a person to look at: 8-bit RGB, the
// data in stored (uncompressed) deflate blocks, so no compression library
// is needed. Screenshots are small enough for that.
#ifndef VEXLOR_TESTS_COM_UI_PNG_FILE_H_
#define VEXLOR_TESTS_COM_UI_PNG_FILE_H_

#include <cstdint>
#include <string>
#include <vector>

namespace vexlor::ui_test {

// `rgb` holds `height` rows of `width` pixels, three bytes each, top row
// first. Returns false when the file cannot be written.
bool WritePng(const std::string& path, int width, int height,
              const std::vector<uint8_t>& rgb);

}  // namespace vexlor::ui_test

#endif  // VEXLOR_TESTS_COM_UI_PNG_FILE_H_

// sources: vexlor/strings/gestalt_similarity.cc vexlor/strings/edit_distance.cc
//
// Input: two bytes giving the first text's length, then the two texts.
// Cross-checks the gestalt match count and similarity and the edit
// distance against the straightforward versions (on texts short enough for
// them), and checks the bounds and symmetries that hold for any length.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "tests/reference/matrix_edit_distance.h"
#include "tests/reference/naive_gestalt.h"
#include "vexlor/strings/edit_distance.h"
#include "vexlor/strings/gestalt_similarity.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

// The cubic oracle stays fast below this length.
constexpr size_t kNaiveGestaltLimit = 300;
constexpr size_t kMatrixLimit = 2000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t first = std::min<size_t>(data[0] | data[1] << 8, size - 2);
  const char* bytes = reinterpret_cast<const char*>(data + 2);
  const std::string_view a(bytes, first);
  const std::string_view b(bytes + first, size - 2 - first);

  const int64_t matched = vexlor::GestaltMatchCount(a, b);
  Check(matched >= 0 &&
        matched <= static_cast<int64_t>(std::min(a.size(), b.size())));
  const double similarity = vexlor::GestaltSimilarity(a, b);
  Check(similarity >= 0.0 && similarity <= 100.0);
  Check((similarity == 100.0) == (a == b));
  if (a.size() <= kNaiveGestaltLimit && b.size() <= kNaiveGestaltLimit) {
    Check(matched == vexlor::reference::NaiveGestaltMatchCount(a, b));
    Check(similarity == vexlor::reference::NaiveGestaltSimilarity(a, b));
  }

  const int32_t distance = vexlor::EditDistance(a, b);
  Check(distance == vexlor::EditDistance(b, a));
  const int64_t longer = static_cast<int64_t>(std::max(a.size(), b.size()));
  const int64_t shorter = static_cast<int64_t>(std::min(a.size(), b.size()));
  Check(distance >= longer - shorter && distance <= longer);
  Check((distance == 0) == (a == b));
  if (a.size() <= kMatrixLimit && b.size() <= kMatrixLimit) {
    Check(distance == vexlor::reference::MatrixEditDistance(a, b));
  }
  return 0;
}

#include "vexlor/tables/trigram.h"

#include <algorithm>
#include <cstring>

namespace vexlor {
namespace {

// The padded text: '_', the first L bytes, '_'. Returns L.
size_t Pad(std::string_view text, char (&padded)[kMaxTrigramText + 2]) {
  const size_t length = std::min(text.size(), kMaxTrigramText);
  padded[0] = '_';
  if (length > 0) std::memcpy(padded + 1, text.data(), length);
  padded[length + 1] = '_';
  return length;
}

}  // namespace

void AddTrigrams(std::string_view text, uint32_t record, LLHash& index) {
  char padded[kMaxTrigramText + 2];
  const size_t length = Pad(text, padded);
  for (size_t i = 0; i < length; ++i) {
    index.Add(std::string_view(padded + i, 3), record);
  }
}

void CountTrigramHits(std::string_view text, uint32_t record,
                      const LLHash& index, uint8_t* counters) {
  char padded[kMaxTrigramText + 2];
  const size_t length = Pad(text, padded);
  for (size_t i = 0; i < length; ++i) {
    for (uint32_t v : index.Find(std::string_view(padded + i, 3))) {
      // Branch-free: the posting lists are long and the outcome is random.
      const uint8_t count = counters[v];
      counters[v] = static_cast<uint8_t>(count + ((count != 255) & (v != record)));
    }
  }
}

void CountTrigramHits(std::string_view text, uint32_t record,
                      const LLHash& index, uint8_t* counters,
                      std::vector<uint32_t>* touched) {
  char padded[kMaxTrigramText + 2];
  const size_t length = Pad(text, padded);
  for (size_t i = 0; i < length; ++i) {
    for (uint32_t v : index.Find(std::string_view(padded + i, 3))) {
      const uint8_t count = counters[v];
      if (count == 0) {
        if (v == record) continue;
        touched->push_back(v);
      }
      counters[v] = static_cast<uint8_t>(count + ((count != 255) & (v != record)));
    }
  }
}

}  // namespace vexlor

// Codes per second of the three phonetic codes over real names: the first
// and last names of the 10k-customer sample (UTF-8, turned into
// Windows-1252 here), or generated names when the sample is missing.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "vexlor/strings/double_metaphone.h"
#include "vexlor/strings/phonex.h"
#include "vexlor/strings/soundex.h"

namespace vexlor {
namespace {

// Windows-1252 byte of a code point: Latin-1 maps to itself, a few letters
// live in 0x80-0x9F, anything else becomes '?'.
char To1252(uint32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  switch (cp) {
    case 0x0160:
      return static_cast<char>(0x8A);  // Š
    case 0x0152:
      return static_cast<char>(0x8C);  // Œ
    case 0x017D:
      return static_cast<char>(0x8E);  // Ž
    case 0x0161:
      return static_cast<char>(0x9A);  // š
    case 0x0153:
      return static_cast<char>(0x9C);  // œ
    case 0x017E:
      return static_cast<char>(0x9E);  // ž
    case 0x0178:
      return static_cast<char>(0x9F);  // Ÿ
    default:
      return '?';
  }
}

std::string Utf8To1252(std::string_view in) {
  std::string out;
  out.reserve(in.size());
  for (size_t i = 0; i < in.size();) {
    const unsigned char lead = static_cast<unsigned char>(in[i]);
    int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    uint32_t cp = extra == 0 ? lead : lead & (0x3F >> extra);
    ++i;
    for (; extra > 0 && i < in.size(); --extra, ++i) {
      cp = (cp << 6) | (static_cast<unsigned char>(in[i]) & 0x3F);
    }
    out += To1252(cp);
  }
  return out;
}

// Splits one CSV record (quoted fields may hold commas, quotes and line
// breaks). Returns false at the end of the input.
bool ReadRecord(std::istream& in, std::vector<std::string>* fields) {
  fields->clear();
  std::string field;
  bool quoted = false;
  bool any = false;
  char c;
  while (in.get(c)) {
    any = true;
    if (quoted) {
      if (c == '"') {
        if (in.peek() == '"') {
          field += '"';
          in.get();
        } else {
          quoted = false;
        }
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      fields->push_back(field);
      field.clear();
    } else if (c == '\n') {
      break;
    } else if (c != '\r') {
      field += c;
    }
  }
  if (!any) return false;
  fields->push_back(field);
  return true;
}

std::vector<std::string> GeneratedNames() {
  const char* kParts[] = {"sch", "mi", "dt", "ka", "ro", "ber", "th", "ph",
                          "gh",  "c",  "zh", "ll", "w",  "ann", "ey", "o"};
  std::mt19937 rng(1);
  std::vector<std::string> names;
  for (int i = 0; i < 20000; ++i) {
    std::string name;
    for (int parts = 2 + static_cast<int>(rng() % 3); parts > 0; --parts) {
      name += kParts[rng() % 16];
    }
    name[0] = static_cast<char>(name[0] - 32);
    names.push_back(name);
  }
  return names;
}

const std::vector<std::string>& Names() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> result;
    std::ifstream in(VEXLOR_DATA_DIR "/customers-10k.csv", std::ios::binary);
    std::vector<std::string> fields;
    if (in && ReadRecord(in, &fields)) {  // header
      int first = -1;
      int last = -1;
      for (size_t i = 0; i < fields.size(); ++i) {
        if (fields[i] == "first_name") first = static_cast<int>(i);
        if (fields[i] == "last_name") last = static_cast<int>(i);
      }
      while (first >= 0 && last >= 0 && ReadRecord(in, &fields)) {
        for (int column : {first, last}) {
          if (column < static_cast<int>(fields.size()) &&
              !fields[column].empty()) {
            result.push_back(Utf8To1252(fields[column]));
          }
        }
      }
    }
    return result.empty() ? GeneratedNames() : result;
  }();
  return names;
}

template <typename Code>
void RunOverNames(benchmark::State& state, Code code) {
  const std::vector<std::string>& names = Names();
  for (auto _ : state) {
    for (const std::string& name : names) {
      benchmark::DoNotOptimize(code(name));
    }
  }
  state.SetItemsProcessed(state.iterations() *
                          static_cast<int64_t>(names.size()));
}

void BM_Soundex(benchmark::State& state) {
  const int length = static_cast<int>(state.range(0));
  RunOverNames(state, [length](const std::string& s) {
    return Soundex(s, length, false);
  });
}
BENCHMARK(BM_Soundex)->Arg(4)->Arg(9);

void BM_SoundexDigits(benchmark::State& state) {
  const int length = static_cast<int>(state.range(0));
  RunOverNames(state, [length](const std::string& s) {
    return Soundex(s, length, true);
  });
}
BENCHMARK(BM_SoundexDigits)->Arg(4);

void BM_Phonex(benchmark::State& state) {
  const int length = static_cast<int>(state.range(0));
  RunOverNames(state,
               [length](const std::string& s) { return Phonex(s, length); });
}
BENCHMARK(BM_Phonex)->Arg(4)->Arg(9);

void BM_DoubleMetaphone(benchmark::State& state) {
  const int length = static_cast<int>(state.range(0));
  RunOverNames(state, [length](const std::string& s) {
    return DoubleMetaphone(s, length);
  });
}
BENCHMARK(BM_DoubleMetaphone)->Arg(4)->Arg(8);

}  // namespace
}  // namespace vexlor

// Writing a table of 1,000,000 rows x 8 columns as delimited text: the
// control's export (one system call per line, fsync at the end), the
// buffered writer of the command line, and the formatting alone, in
// Windows-1252 and UTF-8. The cells are those of a customer table: name,
// first name, street, city (strings, some with accents or quotes), an
// integer id, a real, a boolean and a Null.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "benchmark/benchmark.h"
#include "vexlor/output/csv_export.h"
#include "vexlor/output/csv_format.h"
#include "vexlor/platform/locale_text.h"
#include "vexlor/variant.h"
#include "vexlor/variant_array.h"

namespace vexlor {
namespace {

using platform::Variant;
using platform::VariantArray;

constexpr uint32_t kRows = 1000000;
constexpr uint32_t kColumns = 8;

// Distinct strings per column, shared by the rows (as a host's repeated
// values would be): enough to defeat the caches, few enough to build fast.
std::vector<Variant> Pool(const std::vector<std::u16string>& parts_a,
                          const std::vector<std::u16string>& parts_b,
                          size_t count, std::mt19937* rng) {
  std::vector<Variant> pool;
  pool.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    std::u16string text =
        parts_a[(*rng)() % parts_a.size()] + parts_b[(*rng)() % parts_b.size()];
    pool.push_back(Variant::String(text));
  }
  return pool;
}

const Variant& CustomerTable() {
  static const Variant* table = [] {
    std::mt19937 rng(42);
    auto names =
        Pool({u"Müller", u"Schmidt", u"Schneider", u"O'Brien", u"Łukasiewicz",
              u"Dupont", u"García", u"Smith"},
             {u"", u"-Lüdenscheid", u" Jr.", u"son", u"mann"}, 20000, &rng);
    auto first = Pool({u"Anna", u"Bernd", u"Chloé", u"Dieter", u"Eva"},
                      {u"", u" Maria", u"-Luise"}, 5000, &rng);
    auto streets =
        Pool({u"Hauptstraße ", u"Main Street ", u"Rue de la Paix ",
              u"\"Am Markt\" ", u"ul. Żółta "},
             {u"1", u"12a", u"7", u"104", u"3\r\nHinterhaus"}, 50000, &rng);
    auto cities = Pool({u"Berlin", u"München", u"Köln", u"Kraków", u"Paris"},
                       {u"", u" Nord", u" (Süd)"}, 2000, &rng);
    auto* t = new Variant(VariantArray::NewTable(kColumns, kRows));
    VariantArray* a = t->AsArray();
    std::uniform_real_distribution<double> amount(0, 10000);
    for (uint32_t r = 0; r < kRows; ++r) {
      a->cell(0, r) = Variant::I4(static_cast<int32_t>(r + 1));
      a->cell(1, r) = names[rng() % names.size()];
      a->cell(2, r) = first[rng() % first.size()];
      a->cell(3, r) = streets[rng() % streets.size()];
      a->cell(4, r) = cities[rng() % cities.size()];
      a->cell(5, r) = Variant::R8(amount(rng));
      a->cell(6, r) = Variant::Bool(rng() % 2 == 0);
      a->cell(7, r) = Variant::Null();
    }
    return t;
  }();
  return *table;
}

std::string OutputPath() {
  return (std::filesystem::temp_directory_path() /
          ("vexlor-csv-bench-" + std::to_string(::getpid()) + ".csv"))
      .string();
}

CsvFormat Format(int64_t encoding) {
  CsvFormat format;
  format.encoding =
      encoding == 0 ? TextEncoding::kWindows1252 : TextEncoding::kUtf8;
  return format;
}

void SetCounters(benchmark::State& state, uint64_t bytes) {
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kRows);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
  state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}

// The control's export: CLogFile, one write per line, fsync on close.
void BM_ExportCsvFile(benchmark::State& state) {
  const VariantArray& table = *CustomerTable().AsArray();
  CsvFormat format = Format(state.range(0));
  std::string path = OutputPath();
  for (auto _ : state) {
    if (!ExportCsvFile(table, format, {}, path)) state.SkipWithError("failed");
  }
  SetCounters(state, std::filesystem::file_size(path));
  std::filesystem::remove(path);
}
BENCHMARK(BM_ExportCsvFile)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("utf8")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

// The command line's writer: 64 KiB blocks, temporary file, fsync, rename.
void BM_WriteCsvTableToPath(benchmark::State& state) {
  const VariantArray& table = *CustomerTable().AsArray();
  CsvFormat format = Format(state.range(0));
  std::string path = OutputPath();
  std::string error;
  for (auto _ : state) {
    if (!WriteCsvTableToPath(table, format, {}, kColumns - 1, path, &error)) {
      state.SkipWithError(error.c_str());
    }
  }
  SetCounters(state, std::filesystem::file_size(path));
  std::filesystem::remove(path);
}
BENCHMARK(BM_WriteCsvTableToPath)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("utf8")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

// Formatting alone, into one reused line: the CPU part of both writers.
void BM_FormatRows(benchmark::State& state) {
  const VariantArray& table = *CustomerTable().AsArray();
  CsvFormatter formatter(Format(state.range(0)));
  std::string line;
  uint64_t bytes = 0;
  for (auto _ : state) {
    bytes = 0;
    for (uint32_t r = 0; r < kRows; ++r) {
      line.clear();
      formatter.AppendRowLine(table, r, kColumns - 1, &line);
      bytes += line.size() + 2;
    }
    benchmark::DoNotOptimize(line.data());
  }
  SetCounters(state, bytes);
}
BENCHMARK(BM_FormatRows)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("utf8")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

// Date and currency cells go through ICU's formatters.
void BM_FormatDateAndCurrency(benchmark::State& state) {
  platform::LocaleText locale("de_DE");
  CsvFormatter formatter(CsvFormat(), &locale);
  Variant date = Variant::Date(45291.5625);
  Variant money = Variant::Currency(1234567);
  std::string out;
  for (auto _ : state) {
    out.clear();
    formatter.AppendField(date, &out);
    formatter.AppendField(money, &out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_FormatDateAndCurrency);

}  // namespace
}  // namespace vexlor

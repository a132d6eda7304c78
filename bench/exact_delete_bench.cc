// The two linear batch methods on generated tables of 1,000,000 rows x 4
// columns, through the control's members with progress as events (no sink
// connected), so the figures include the whole call: index, passes, result.
//
// ExactMatchByColumn: master and match tables of 1,000,000 rows each; keys
// are 9-character texts (or integers, whose key is formatted per row), half
// of the match rows hit a master key, a tenth of the master keys repeat.
// DeleteDupes: a label column of 38-character GUID texts in groups of one to
// four rows (about 400,000 groups), with and without a log of the deleted
// rows; and a table that is one single group, where every row is a duplicate
// of the same label.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "benchmark/benchmark.h"
#include "vexlor/platform/guid.h"
#include "vexlor/variant.h"
#include "vexlor/variant_array.h"
#include "vexlor/vexlor_ctrl.h"

namespace vexlor {
namespace {

using platform::Variant;
using platform::VariantArray;

constexpr uint32_t kRows = 1000000;
constexpr uint32_t kColumns = 4;

Variant Key(uint32_t n, bool number) {
  if (number) return Variant::I4(static_cast<int32_t>(n));
  char text[16];
  std::snprintf(text, sizeof text, "K%08u", n);
  return Variant::AnsiString(text);
}

// Columns: an id, a name from a small pool, the key, a real.
Variant KeyTable(uint64_t seed, bool numbers, bool match_side) {
  std::mt19937 rng(static_cast<uint32_t>(seed));
  std::vector<Variant> names;
  for (const char* n : {"Meier", "Schulz", "Dupont", "Smith", "Garcia"}) {
    names.push_back(Variant::AnsiString(n));
  }
  Variant table = VariantArray::NewTable(kColumns, kRows);
  VariantArray* a = table.AsArray();
  for (uint32_t r = 0; r < kRows; ++r) {
    uint32_t key;
    if (match_side) {
      // Half hit a master key (0 to kRows - 1), half miss.
      key = rng() % 2 ? rng() % kRows : kRows + rng() % kRows;
    } else {
      key = r % 10 == 9 ? rng() % kRows : r;
    }
    a->cell(0, r) = Variant::I4(static_cast<int32_t>(r));
    a->cell(1, r) = names[r % names.size()];
    a->cell(2, r) = Key(key, numbers);
    a->cell(3, r) = Variant::R8(r * 0.25);
  }
  return table;
}

const Variant& Table(int which) {
  static const Variant tables[] = {
      KeyTable(1, false, false), KeyTable(2, false, true),
      KeyTable(3, true, false), KeyTable(4, true, true)};
  return tables[which];
}

void BM_ExactMatchByColumn(benchmark::State& state) {
  const bool numbers = state.range(0) != 0;
  const int16_t mode = static_cast<int16_t>(state.range(1));
  const Variant& master = Table(numbers ? 2 : 0);
  const Variant& match = Table(numbers ? 3 : 1);
  CVexlorCtrl control;
  int64_t rows = 0;
  for (auto _ : state) {
    Variant result = control.ExactMatchByColumn(master, match, 2, mode, false);
    rows = result.AsArray() ? result.AsArray()->rows() : 0;
    benchmark::DoNotOptimize(result);
  }
  state.counters["result_rows"] = static_cast<double>(rows);
  state.SetItemsProcessed(state.iterations() * 2 * int64_t{kRows});
}
BENCHMARK(BM_ExactMatchByColumn)
    ->ArgNames({"numbers", "mode"})
    ->Args({0, MAR_ALL})
    ->Args({0, MAR_POSITIVE})
    ->Args({1, MAR_ALL})
    ->Unit(benchmark::kMillisecond);

// Labels in column 3, groups of 1 to 4 consecutive-or-scattered rows.
const Variant& LabelledTable() {
  static const Variant table = [] {
    std::mt19937 rng(7);
    platform::SeededGuidSource guids(11);
    std::vector<Variant> labels;
    while (labels.size() < kRows) {
      platform::Guid guid;
      guids.Create(&guid);
      Variant label = Variant::AnsiString(platform::FormatGuid(guid));
      for (uint32_t n = 1 + rng() % 4; n > 0 && labels.size() < kRows; --n) {
        labels.push_back(label);
      }
    }
    std::shuffle(labels.begin(), labels.end(), rng);
    Variant t = VariantArray::NewTable(kColumns, kRows);
    VariantArray* a = t.AsArray();
    for (uint32_t r = 0; r < kRows; ++r) {
      a->cell(0, r) = Variant::I4(static_cast<int32_t>(r));
      a->cell(1, r) = Variant::AnsiString(r % 2 ? "Meier" : "Schulz");
      a->cell(2, r) = Variant::R8(r * 0.5);
      a->cell(3, r) = labels[r];
    }
    return t;
  }();
  return table;
}

const Variant& OneGroupTable() {
  static const Variant table = [] {
    Variant t = VariantArray::NewTable(kColumns, kRows);
    Variant label =
        Variant::AnsiString("{01234567-89AB-CDEF-0123-456789ABCDEF}");
    VariantArray* a = t.AsArray();
    for (uint32_t r = 0; r < kRows; ++r) {
      a->cell(0, r) = Variant::I4(static_cast<int32_t>(r));
      a->cell(3, r) = label;
    }
    return t;
  }();
  return table;
}

void BM_DeleteDupes(benchmark::State& state) {
  const int16_t mode = static_cast<int16_t>(state.range(0));
  const bool log = state.range(1) != 0;
  const bool one_group = state.range(2) != 0;
  const Variant& table = one_group ? OneGroupTable() : LabelledTable();
  const std::filesystem::path log_path =
      std::filesystem::temp_directory_path() / "vexlor_delete_bench_log.csv";
  const std::u16string log_name = log ? log_path.u16string() : u"";
  CVexlorCtrl control;
  int64_t rows = 0;
  for (auto _ : state) {
    // Automatic detection of the label column.
    Variant result = control.DeleteDupes(table, -1, -1, DO_KEEP_FIRST, mode,
                                         false, log_name);
    rows = result.AsArray() ? result.AsArray()->rows() : 0;
    benchmark::DoNotOptimize(result);
  }
  std::error_code ignored;
  std::filesystem::remove(log_path, ignored);
  state.counters["result_rows"] = static_cast<double>(rows);
  state.SetItemsProcessed(state.iterations() * int64_t{kRows});
}
BENCHMARK(BM_DeleteDupes)
    ->ArgNames({"mode", "log", "one_group"})
    ->Args({DER_CLEAN, 0, 0})
    ->Args({DER_DELETED, 0, 0})
    ->Args({DER_CLEAN, 1, 0})
    ->Args({DER_CLEAN, 0, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vexlor
